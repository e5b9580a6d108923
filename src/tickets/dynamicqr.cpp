#include "tickets/dynamicqr.h"

#include "tickets/qrfields.h"

#include <QDebug>

#include <climits>

const QString DynamicQr::MyTemplate = QStringLiteral("dynamicqr");

namespace {

const char kTag[] = "[qr/DynamicQr] ";

const QString kTickInterval = QStringLiteral("tickInterval");
const QString kTickCount = QStringLiteral("tickCount");

} // namespace

DynamicQr::DynamicQr(QString text)
    : QrFieldTicket("DynamicQr", std::move(text))
{
    using namespace qrfields;
    const QStringList f = scannedFields();
    if (f.isEmpty())
        return;
    if (f.size() != 12) {
        qWarning().noquote().nospace() << kTag << "Ticket length (" << f.size() << ") is not valid.";
        mFields.insert(kEmpty, true);
        return;
    }
    // -1 is the issuer's mark of a ticket that must not be used.
    const int start = parseInt(f.at(7));
    if (start == -1) {
        mFields.insert(kEmpty, true);
        return;
    }

    mFields.insert(kValidityStartDate, start);
    mFields.insert(kLifeSpan, parseInt(f.at(8)));
    mFields.insert(kCarrierId, parseInt(f.at(9)));
    mFields.insert(kEmpty, false);
    mFields.insert(kTicketType, f.at(0));
    mFields.insert(kUserId, parseInt(f.at(1)));
    mFields.insert(kDeviceUuid, f.at(2));
    mFields.insert(kIssueTimestamp, parseInt(f.at(3)));
    mFields.insert(kIssuedTicketId, parseInt(f.at(4)));
    mFields.insert(kFareProductId, parseInt(f.at(5)));
    mFields.insert(kPassengerTypeId, parseInt(f.at(6)));
    mFields.insert(kTickInterval, parseUInt(f.at(10)));
    mFields.insert(kTickCount, parseUInt(f.at(11)));
}

DynamicQr::DynamicQr(const QJsonObject &object)
    : QrFieldTicket("DynamicQr", object)
{
}

DynamicQr::~DynamicQr() = default;

int DynamicQr::tickCount() const { return intField(kTickCount); }
int DynamicQr::tickInterval() const { return intField(kTickInterval); }

bool DynamicQr::validityStartDateIsNull() const
{
    return !mFields.contains(kValidityStartDate);
}

int DynamicQr::remainingSec() const
{
    const int span = lifeSpan();
    if (validityStartDateIsNull() || span <= 0)
        return 0;
    // 64 bits throughout: the start is unsigned and the span reaches INT_MAX, so the
    // distance to the end can pass INT_MAX.
    const qint64 startSecs = static_cast<quint32>(intField(kValidityStartDate));
    const qint64 endMs = (startSecs + span) * 1000;
    const qint64 leftMs = endMs - QDateTime::currentMSecsSinceEpoch();
    if (leftMs <= 0)
        return 0;
    return static_cast<int>(qMin<qint64>(leftMs / 1000, INT_MAX));
}

QString DynamicQr::uid() const
{
    // One pass: a device id such as "X%5" must stand as written, since this text is the
    // pass-back key sent to the database service.
    using qrfields::padded;
    const QChar sep(QLatin1Char('-'));
    return padded(carrierId(), 3) + sep + padded(0, 3) + sep + padded(userId(), 8) + sep
        + deviceUuid().rightJustified(3, QLatin1Char('0')) + sep + padded(id(), 7);
}

QString DynamicQr::toString() const
{
    if (isEmpty())
        return QStringLiteral("Empty ticket.");

    using qrfields::appendLine;
    using qrfields::storedText;
    QString out(QLatin1Char('\n'));
    appendLine(out, QLatin1String("Ticket type"), storedText(mFields.value(kTicketType)));
    appendLine(out, QLatin1String("User id"), storedText(mFields.value(kUserId)));
    appendLine(out, QLatin1String("Device id"), storedText(mFields.value(kDeviceUuid)));
    appendLine(out, QLatin1String("Issue date time"), issueDateTime().toString(Qt::ISODate));
    appendLine(out, QLatin1String("Issued ticket id"), storedText(mFields.value(kIssuedTicketId)));
    appendLine(out, QLatin1String("Fare product id"), storedText(mFields.value(kFareProductId)));
    appendLine(out, QLatin1String("Passenger type id"), storedText(mFields.value(kPassengerTypeId)));
    appendLine(out, QLatin1String("Validity start date"),
               validityStartDateIsNull() ? QString() : validityStartDate().toString(Qt::ISODate));
    appendLine(out, QLatin1String("Life span"), storedText(mFields.value(kLifeSpan)));
    appendLine(out, QLatin1String("Carrier id"), storedText(mFields.value(kCarrierId)));
    appendLine(out, QLatin1String("Tick interval sec"), storedText(mFields.value(kTickInterval)));
    appendLine(out, QLatin1String("Tick count"), storedText(mFields.value(kTickCount)));
    appendLine(out, QLatin1String("Ticket UUID"), uid());
    return out;
}

QJsonObject DynamicQr::toJson() const
{
    QJsonObject o = commonJson(MyTemplate);
    o.insert(QLatin1String("tickCount"), tickCount());
    o.insert(QLatin1String("tickInterval"), tickInterval());
    return o;
}

#include "tickets/dynamicqr.h"

#include "tickets/qrfields.h"

#include <QDebug>
#include <QJsonValue>

#include <climits>

const QString DynamicQr::MyTemplate = QStringLiteral("dynamicqr");

namespace {

const char kTag[] = "[qr/DynamicQr] ";

const QString kEmpty = QStringLiteral("empty");
const QString kTicketType = QStringLiteral("ticketType");
const QString kUserId = QStringLiteral("userId");
const QString kDeviceUuid = QStringLiteral("deviceUuid");
const QString kIssueTimestamp = QStringLiteral("issueTimestamp");
const QString kIssuedTicketId = QStringLiteral("issuedTicketId");
const QString kFareProductId = QStringLiteral("fareProductId");
const QString kPassengerTypeId = QStringLiteral("passengerTypeId");
const QString kValidityStartDate = QStringLiteral("validityStartDate");
const QString kLifeSpan = QStringLiteral("lifeSpan");
const QString kCarrierId = QStringLiteral("carrierId");
const QString kTickInterval = QStringLiteral("tickInterval");
const QString kTickCount = QStringLiteral("tickCount");
const QString kAxisId = QStringLiteral("axisId");
const QString kRouteExecutionId = QStringLiteral("routeExecutionId");

} // namespace

DynamicQr::DynamicQr(QString text)
    : QrTicket("DynamicQr")
    , mSerialized(std::move(text))
{
    using namespace qrfields;
    if (mSerialized.isEmpty()) {
        mFields.insert(kEmpty, true);
        return;
    }
    mSerialized = withoutTrailingBar(mSerialized);
    const QStringList f = split(mSerialized);
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
    : QrTicket("DynamicQr")
{
    mFields.insert(kEmpty, object.isEmpty());
    if (object.isEmpty())
        return;
    // A missing key stores an undefined value, which reads as 0 or empty text.
    mFields.insert(kAxisId, QVariant(object.value(QLatin1String("routeId"))));
    mFields.insert(kUserId, QVariant(object.value(QLatin1String("driverId"))));
    mFields.insert(kDeviceUuid, QVariant(object.value(QLatin1String("deviceUuid"))));
    mFields.insert(kIssuedTicketId, QVariant(object.value(QLatin1String("ticketId"))));
    mFields.insert(kLifeSpan, QVariant(object.value(QLatin1String("lifeSpan"))));
    mFields.insert(kCarrierId, QVariant(object.value(QLatin1String("carrierId"))));
}

DynamicQr::~DynamicQr() = default;

int DynamicQr::intField(const QString &key) const
{
    return qrfields::intOf(mFields.value(key));
}

bool DynamicQr::isEmpty() const
{
    return mFields.value(kEmpty).toBool();
}

int DynamicQr::id() const { return intField(kIssuedTicketId); }
int DynamicQr::axisId() const { return intField(kAxisId); }
int DynamicQr::userId() const { return intField(kUserId); }
QString DynamicQr::deviceUuid() const { return qrfields::textOf(mFields.value(kDeviceUuid)); }
int DynamicQr::issueTimestamp() const { return intField(kIssueTimestamp); }
int DynamicQr::routeExecutionId() const { return intField(kRouteExecutionId); }
int DynamicQr::fareProductId() const { return intField(kFareProductId); }
QString DynamicQr::ticketType() const { return qrfields::textOf(mFields.value(kTicketType)); }
int DynamicQr::passengerTypeId() const { return intField(kPassengerTypeId); }
int DynamicQr::lifeSpan() const { return intField(kLifeSpan); }
int DynamicQr::carrierId() const { return intField(kCarrierId); }
int DynamicQr::tickCount() const { return intField(kTickCount); }
int DynamicQr::tickInterval() const { return intField(kTickInterval); }

QDateTime DynamicQr::issueDateTime() const
{
    return QDateTime::fromSecsSinceEpoch(issueTimestamp(), Qt::UTC);
}

bool DynamicQr::validityStartDateIsNull() const
{
    return !mFields.contains(kValidityStartDate);
}

QDateTime DynamicQr::validityStartDate() const
{
    if (validityStartDateIsNull())
        return QDateTime();
    return qrfields::localFromUnsigned(intField(kValidityStartDate));
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
    using qrfields::jsonDateTime;
    QJsonObject o;
    o.insert(QLatin1String("axisId"), axisId());
    o.insert(QLatin1String("fareProductId"), fareProductId());
    o.insert(QLatin1String("issuedTicketId"), id());
    o.insert(QLatin1String("issuerDeviceId"), deviceUuid());
    o.insert(QLatin1String("issuerId"), userId());
    o.insert(QLatin1String("lifeSpan"), lifeSpan());
    o.insert(QLatin1String("passengerTypeId"), passengerTypeId());
    o.insert(QLatin1String("routeExecutionId"), routeExecutionId());
    o.insert(QLatin1String("template"), MyTemplate);
    o.insert(QLatin1String("type"), ticketType());
    o.insert(QLatin1String("carrierId"), carrierId());
    o.insert(QLatin1String("tickCount"), tickCount());
    o.insert(QLatin1String("tickInterval"), tickInterval());
    o.insert(QLatin1String("issueDateTime"), jsonDateTime(issueTimestamp()));
    o.insert(QLatin1String("validityStartDate"),
             validityStartDateIsNull() ? QJsonValue(QJsonValue::Null)
                                       : QJsonValue(jsonDateTime(intField(kValidityStartDate))));
    return o;
}

#include "tickets/urbanmelva_v1.h"

#include "tickets/qrfields.h"

#include <QDebug>

const QString UrbanMelva_v1::MyTemplate = QStringLiteral("urban_melva_v1");

namespace {

const char kTag[] = "[qr/UrbanMelva_v1] ";

const QString kReservationCode = QStringLiteral("reservationCode");
const QString kFromStopGroupId = QStringLiteral("fromStopGroupId");
const QString kToStopGroupId = QStringLiteral("toStopGroupId");
const QString kSeatNumber = QStringLiteral("seatNumber");
const QString kOpenTicket = QStringLiteral("openTicket");
const QString kParcelId = QStringLiteral("parcelId");
const QString kExpiryDate = QStringLiteral("expiryDate");

} // namespace

UrbanMelva_v1::UrbanMelva_v1(QString text)
    : QrFieldTicket("UrbanMelva_v1", std::move(text))
{
    using namespace qrfields;
    const QStringList f = scannedFields();
    if (f.isEmpty())
        return;
    if (f.size() != 16 && f.size() != 19) {
        qWarning().noquote() << kTag << "Ticket does not have " << 19 << " or 16 fields";
        mFields.insert(kEmpty, true);
        return;
    }

    mFields.insert(kEmpty, false);
    mFields.insert(kAxisId, parseInt(f.at(0)));
    mFields.insert(kUserId, parseInt(f.at(1)));
    mFields.insert(kDeviceUuid, f.at(2));
    mFields.insert(kReservationCode, f.at(3));
    mFields.insert(kFromStopGroupId, parseInt(f.at(4)));
    mFields.insert(kToStopGroupId, parseInt(f.at(5)));
    mFields.insert(kIssueTimestamp, parseInt(f.at(6)));
    mFields.insert(kIssuedTicketId, parseInt(f.at(7)));
    mFields.insert(kRouteExecutionId, parseInt(f.at(8)));
    mFields.insert(kSeatNumber, parseInt(f.at(9)));
    mFields.insert(kOpenTicket, f.at(10) == QLatin1String("true"));
    mFields.insert(kTicketType, f.at(11));
    mFields.insert(kParcelId, parseInt(f.at(12)));
    mFields.insert(kFareProductId, parseInt(f.at(13)));
    mFields.insert(kPassengerTypeId, parseInt(f.at(14)));
    mFields.insert(kExpiryDate, parseInt(f.at(15)));

    if (f.size() == 19) {
        // -1 is the issuer's mark of a ticket that must not be used.
        const int start = parseInt(f.at(16));
        if (start == -1) {
            mFields.insert(kEmpty, true);
            return;
        }
        mFields.insert(kValidityStartDate, start);
        mFields.insert(kCarrierId, parseInt(f.at(18)));
        mFields.insert(kLifeSpan, parseInt(f.at(17)));
    } else {
        mFields.insert(kValidityStartDate, QVariant());
        mFields.insert(kCarrierId, -1);
        mFields.insert(kLifeSpan, -1);
    }
}

UrbanMelva_v1::UrbanMelva_v1(const QJsonObject &object)
    : QrFieldTicket("UrbanMelva_v1", object)
{
}

UrbanMelva_v1::~UrbanMelva_v1() = default;

QString UrbanMelva_v1::reservationCode() const { return textField(kReservationCode); }
int UrbanMelva_v1::fromStopGroupId() const { return intField(kFromStopGroupId); }
int UrbanMelva_v1::toStopGroupId() const { return intField(kToStopGroupId); }
int UrbanMelva_v1::seatNumber() const { return intField(kSeatNumber); }
int UrbanMelva_v1::parcelId() const { return intField(kParcelId); }

QDate UrbanMelva_v1::expiryDate() const
{
    return qrfields::localFromUnsigned(intField(kExpiryDate)).date();
}

bool UrbanMelva_v1::hasExpiryDate() const
{
    return intField(kExpiryDate) != 0;
}

bool UrbanMelva_v1::openTicket() const
{
    const QVariant v = mFields.value(kOpenTicket);
    return v.userType() == QMetaType::Bool && v.toBool();
}

bool UrbanMelva_v1::validityStartDateIsNull() const
{
    return mFields.value(kValidityStartDate).isNull();
}

QString UrbanMelva_v1::toString() const
{
    if (isEmpty())
        return QStringLiteral("Empty ticket.");

    // Built by concatenation: scanned text may hold "%1"-like runs that a placeholder
    // template would fill with later values.
    using qrfields::appendLine;
    using qrfields::storedText;
    QString out(QLatin1Char('\n'));
    appendLine(out, QLatin1String("Axis id"), storedText(mFields.value(kAxisId)));
    appendLine(out, QLatin1String("User id"), storedText(mFields.value(kUserId)));
    appendLine(out, QLatin1String("Device id"), storedText(mFields.value(kDeviceUuid)));
    appendLine(out, QLatin1String("Reservation code"), storedText(mFields.value(kReservationCode)));
    appendLine(out, QLatin1String("From stop group id"), storedText(mFields.value(kFromStopGroupId)));
    appendLine(out, QLatin1String("To stop group id"), storedText(mFields.value(kToStopGroupId)));
    appendLine(out, QLatin1String("Issue date time"), issueDateTime().toString(Qt::ISODate));
    appendLine(out, QLatin1String("Issued ticket id"), storedText(mFields.value(kIssuedTicketId)));
    appendLine(out, QLatin1String("Route execution id"), storedText(mFields.value(kRouteExecutionId)));
    appendLine(out, QLatin1String("Selected seat"), storedText(mFields.value(kSeatNumber)));
    appendLine(out, QLatin1String("Open ticket"), openTicket() ? QStringLiteral("true") : QStringLiteral("false"));
    appendLine(out, QLatin1String("Ticket type"), storedText(mFields.value(kTicketType)));
    appendLine(out, QLatin1String("Parcel"), storedText(mFields.value(kParcelId)));
    appendLine(out, QLatin1String("Fare product id"), storedText(mFields.value(kFareProductId)));
    appendLine(out, QLatin1String("Passenger type id"), storedText(mFields.value(kPassengerTypeId)));
    appendLine(out, QLatin1String("Expiry date"), expiryDate().toString(Qt::ISODate));
    appendLine(out, QLatin1String("Validity start date"),
               validityStartDateIsNull() ? QString() : validityStartDate().toString(Qt::ISODate));
    appendLine(out, QLatin1String("Life span"), storedText(mFields.value(kLifeSpan)));
    appendLine(out, QLatin1String("Carrier id"), storedText(mFields.value(kCarrierId)));
    return out;
}

QJsonObject UrbanMelva_v1::toJson() const
{
    QJsonObject o = commonJson(MyTemplate);
    o.insert(QLatin1String("fromStopGroupId"), fromStopGroupId());
    o.insert(QLatin1String("toStopGroupId"), toStopGroupId());
    o.insert(QLatin1String("isOpenTicket"), openTicket());
    o.insert(QLatin1String("parcelId"), parcelId());
    o.insert(QLatin1String("reservationCode"), reservationCode());
    o.insert(QLatin1String("seatNumber"), seatNumber());
    o.insert(QLatin1String("expiryDate"),
             qrfields::localFromUnsigned(intField(kExpiryDate)).toString(QStringLiteral("yyyy/MM/dd")));
    return o;
}

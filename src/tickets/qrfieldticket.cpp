#include "tickets/qrfieldticket.h"

#include "tickets/qrfields.h"

#include <QJsonValue>

const QString QrFieldTicket::kEmpty = QStringLiteral("empty");
const QString QrFieldTicket::kAxisId = QStringLiteral("axisId");
const QString QrFieldTicket::kUserId = QStringLiteral("userId");
const QString QrFieldTicket::kDeviceUuid = QStringLiteral("deviceUuid");
const QString QrFieldTicket::kIssueTimestamp = QStringLiteral("issueTimestamp");
const QString QrFieldTicket::kIssuedTicketId = QStringLiteral("issuedTicketId");
const QString QrFieldTicket::kRouteExecutionId = QStringLiteral("routeExecutionId");
const QString QrFieldTicket::kFareProductId = QStringLiteral("fareProductId");
const QString QrFieldTicket::kTicketType = QStringLiteral("ticketType");
const QString QrFieldTicket::kPassengerTypeId = QStringLiteral("passengerTypeId");
const QString QrFieldTicket::kValidityStartDate = QStringLiteral("validityStartDate");
const QString QrFieldTicket::kLifeSpan = QStringLiteral("lifeSpan");
const QString QrFieldTicket::kCarrierId = QStringLiteral("carrierId");

QrFieldTicket::QrFieldTicket(const char *typeName, QString serialized)
    : QrTicket(typeName)
    , mSerialized(std::move(serialized))
{
}

QrFieldTicket::QrFieldTicket(const char *typeName, const QJsonObject &object)
    : QrTicket(typeName)
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

QrFieldTicket::~QrFieldTicket() = default;

QStringList QrFieldTicket::scannedFields()
{
    if (mSerialized.isEmpty()) {
        mFields.insert(kEmpty, true);
        return QStringList();
    }
    mSerialized = qrfields::withoutTrailingBar(mSerialized);
    return qrfields::split(mSerialized);
}

int QrFieldTicket::intField(const QString &key) const
{
    return qrfields::intOf(mFields.value(key));
}

QString QrFieldTicket::textField(const QString &key) const
{
    return qrfields::textOf(mFields.value(key));
}

bool QrFieldTicket::isEmpty() const
{
    return mFields.value(kEmpty).toBool();
}

int QrFieldTicket::id() const { return intField(kIssuedTicketId); }
int QrFieldTicket::axisId() const { return intField(kAxisId); }
int QrFieldTicket::userId() const { return intField(kUserId); }
QString QrFieldTicket::deviceUuid() const { return textField(kDeviceUuid); }
int QrFieldTicket::issueTimestamp() const { return intField(kIssueTimestamp); }
int QrFieldTicket::routeExecutionId() const { return intField(kRouteExecutionId); }
int QrFieldTicket::fareProductId() const { return intField(kFareProductId); }
QString QrFieldTicket::ticketType() const { return textField(kTicketType); }
int QrFieldTicket::passengerTypeId() const { return intField(kPassengerTypeId); }
int QrFieldTicket::lifeSpan() const { return intField(kLifeSpan); }
int QrFieldTicket::carrierId() const { return intField(kCarrierId); }

QDateTime QrFieldTicket::issueDateTime() const
{
    return QDateTime::fromSecsSinceEpoch(issueTimestamp(), Qt::UTC);
}

QDateTime QrFieldTicket::validityStartDate() const
{
    if (validityStartDateIsNull())
        return QDateTime();
    return qrfields::localFromUnsigned(intField(kValidityStartDate));
}

QJsonObject QrFieldTicket::commonJson(const QString &templateName) const
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
    o.insert(QLatin1String("template"), templateName);
    o.insert(QLatin1String("type"), ticketType());
    o.insert(QLatin1String("carrierId"), carrierId());
    o.insert(QLatin1String("issueDateTime"), jsonDateTime(issueTimestamp()));
    o.insert(QLatin1String("validityStartDate"),
             validityStartDateIsNull() ? QJsonValue(QJsonValue::Null)
                                       : QJsonValue(jsonDateTime(intField(kValidityStartDate))));
    return o;
}

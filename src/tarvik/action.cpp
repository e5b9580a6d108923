#include "tarvik/action.h"

#include "framework/logger.h"
#include "tarvik/jsonread.h"
#include "tarvik/jsonsnapshot.h"

#include <QStringList>

namespace tarvik {

namespace {
const QLatin1String kId("id");
const QLatin1String kAccountToken("accountToken");
const QLatin1String kSmartCardUuid("smartCardUuid");
const QLatin1String kStatus("status");
const QLatin1String kCounter("counter");
const QLatin1String kTransactionType("transactionType");
const QLatin1String kFareProductCode("fareProductCode");
const QLatin1String kPassengerTypeCode("passengerTypeCode");
const QLatin1String kPassengerTypeExpirationDate("passengerTypeExpirationDate");
const QLatin1String kActionDate("actionDate");
const QString kDateFormat = QStringLiteral("dd/MM/yyyy hh:mm:ss");
} // namespace

Action::Action(const QJsonObject &json)
    : mJson(json)
{
}

Action::Ptr Action::fromJson(const QJsonObject &json)
{
    return Ptr::create(json);
}

Action::Ptr Action::fromSnapshot(const QString &snapshot)
{
    return Ptr::create(json::fromSnapshot(snapshot));
}

int Action::id() const { return json::readInt(mJson, kId); }
QString Action::accountToken() const { return json::readString(mJson, kAccountToken); }
QString Action::smartCardUuid() const { return json::readString(mJson, kSmartCardUuid); }
QString Action::status() const { return json::readString(mJson, kStatus); }
int Action::counter() const { return json::readInt(mJson, kCounter); }
QString Action::transactionType() const { return json::readString(mJson, kTransactionType); }
QString Action::fareProductCode() const { return json::readString(mJson, kFareProductCode); }
QString Action::passengerTypeCode() const { return json::readString(mJson, kPassengerTypeCode); }

QDateTime Action::passengerTypeExpirationDate() const
{
    return json::toLocalDateTime(mJson.value(kPassengerTypeExpirationDate));
}

QDateTime Action::actionDate() const
{
    return json::toLocalDateTime(mJson.value(kActionDate));
}

QString Action::snapshot() const
{
    return json::toSnapshot(mJson);
}

QString Action::toString() const
{
    const QStringList lines = {
        QStringLiteral("--- Action ----------------------------------------"),
        QStringLiteral("ID                 : %1").arg(id()),
        QStringLiteral("Account Token      : %1").arg(accountToken()),
        QStringLiteral("Smart Card UID     : %1").arg(smartCardUuid()),
        QStringLiteral("Action Status      : %1").arg(status()),
        QStringLiteral("Action Counter     : %1").arg(counter()),
        QStringLiteral("Transaction Type   : %1").arg(transactionType()),
        QStringLiteral("FareProduct Code   : %1").arg(fareProductCode()),
        QStringLiteral("PassengerType Code : %1").arg(passengerTypeCode()),
        QStringLiteral("PT Expiration Date : %1").arg(passengerTypeExpirationDate().toString(kDateFormat)),
        QStringLiteral("Action Date        : %1").arg(actionDate().toString(kDateFormat)),
        QStringLiteral("-------------------------------------------------"),
    };
    return manager::Logger::joinLines(lines);
}

} // namespace tarvik

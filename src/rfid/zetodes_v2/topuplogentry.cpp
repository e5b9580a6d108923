#include "rfid/zetodes_v2/topuplogentry.h"

#include "rfid/cardjsonreader.h"

namespace ZetoDes_v2 {

TopupLogEntry::TopupLogEntry(const QJsonObject &json)
{
    fromJson(json);
}

void TopupLogEntry::fromJson(const QJsonObject &json)
{
    const CardJsonReader in(json, "card missing '", "' field in topup log");
    mBalanceBefore = in.toUInt(QLatin1String("balanceBefore"));
    mBalanceAfter = in.toUInt(QLatin1String("balanceAfter"));
    mDeviceId = in.toUInt(QLatin1String("deviceId"));
    mDeviceType = in.toUInt(QLatin1String("deviceType"));
    mJourneysAfter = in.toUInt(QLatin1String("journeysAfter"));
    mJourneysBefore = in.toUInt(QLatin1String("journeysBefore"));
    mProductId = in.toUInt(QLatin1String("productId"));
    mProductType = in.toUInt(QLatin1String("productType"));
    mTransactionCounter = in.toUInt(QLatin1String("transactionCounter"));
    mTimestamp = in.toTime(QLatin1String("timestamp"));
}

QJsonObject TopupLogEntry::toJson() const
{
    QJsonObject json;
    json.insert(QLatin1String("balanceBefore"), CardJsonReader::fromUInt(mBalanceBefore));
    json.insert(QLatin1String("balanceAfter"), CardJsonReader::fromUInt(mBalanceAfter));
    json.insert(QLatin1String("deviceType"), CardJsonReader::fromUInt(mDeviceType));
    json.insert(QLatin1String("deviceId"), CardJsonReader::fromUInt(mDeviceId));
    json.insert(QLatin1String("journeysAfter"), CardJsonReader::fromUInt(mJourneysAfter));
    json.insert(QLatin1String("journeysBefore"), CardJsonReader::fromUInt(mJourneysBefore));
    json.insert(QLatin1String("productId"), CardJsonReader::fromUInt(mProductId));
    json.insert(QLatin1String("productType"), CardJsonReader::fromUInt(mProductType));
    json.insert(QLatin1String("transactionCounter"), CardJsonReader::fromUInt(mTransactionCounter));
    json.insert(QLatin1String("timestamp"), mTimestamp.toJson());
    return json;
}

} // namespace ZetoDes_v2

#include "rfid/zetodes_v2/usagelogentry.h"

#include "rfid/cardjsonreader.h"

namespace ZetoDes_v2 {

UsageLogEntry::UsageLogEntry(const QJsonObject &json)
{
    fromJson(json);
}

void UsageLogEntry::fromJson(const QJsonObject &json)
{
    const CardJsonReader in(json, "card missing'", "' field in usage log");
    mBalanceAfter = in.toUInt(QLatin1String("balanceAfter"));
    mBalanceBefore = in.toUInt(QLatin1String("balanceBefore"));
    mDeviceId = in.toUInt(QLatin1String("deviceId"));
    mDeviceType = in.toUInt(QLatin1String("deviceType"));
    mFromStopId = in.toUInt(QLatin1String("fromStopId"));
    mJourneysAfter = in.toUInt(QLatin1String("journeysAfter"));
    mJourneysBefore = in.toUInt(QLatin1String("journeysBefore"));
    mProductId = in.toUInt(QLatin1String("productId"));
    mProductType = in.toUInt(QLatin1String("productType"));
    mRouteExecutionId = in.toUInt(QLatin1String("routeExecutionId"));
    mRouteId = in.toUInt(QLatin1String("routeId"));
    mToStopId = in.toUInt(QLatin1String("toStopId"));
    mTransactionCounter = in.toUInt(QLatin1String("transactionCounter"));
    mTimestamp = in.toTime(QLatin1String("timestamp"));
}

QJsonObject UsageLogEntry::toJson() const
{
    QJsonObject json;
    json.insert(QLatin1String("balanceAfter"), CardJsonReader::fromUInt(mBalanceAfter));
    json.insert(QLatin1String("balanceBefore"), CardJsonReader::fromUInt(mBalanceBefore));
    json.insert(QLatin1String("deviceId"), CardJsonReader::fromUInt(mDeviceId));
    json.insert(QLatin1String("deviceType"), CardJsonReader::fromUInt(mDeviceType));
    json.insert(QLatin1String("fromStopId"), CardJsonReader::fromUInt(mFromStopId));
    json.insert(QLatin1String("journeysAfter"), CardJsonReader::fromUInt(mJourneysAfter));
    json.insert(QLatin1String("journeysBefore"), CardJsonReader::fromUInt(mJourneysBefore));
    json.insert(QLatin1String("productId"), CardJsonReader::fromUInt(mProductId));
    json.insert(QLatin1String("productType"), CardJsonReader::fromUInt(mProductType));
    json.insert(QLatin1String("routeExecutionId"), CardJsonReader::fromUInt(mRouteExecutionId));
    json.insert(QLatin1String("routeId"), CardJsonReader::fromUInt(mRouteId));
    json.insert(QLatin1String("toStopId"), CardJsonReader::fromUInt(mToStopId));
    json.insert(QLatin1String("transactionCounter"), CardJsonReader::fromUInt(mTransactionCounter));
    json.insert(QLatin1String("timestamp"), mTimestamp.toJson());
    return json;
}

} // namespace ZetoDes_v2

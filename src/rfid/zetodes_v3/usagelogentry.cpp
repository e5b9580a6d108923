#include "rfid/zetodes_v3/usagelogentry.h"

#include "rfid/cardjsonreader.h"

namespace ZetoDes_v3 {

UsageLogEntry::UsageLogEntry(const QJsonObject &json)
{
    fromJson(json);
}

void UsageLogEntry::fromJson(const QJsonObject &json)
{
    const CardJsonReader in(json, "card missing'", "' field in usage log");
    mTransType = in.toUInt(QLatin1String("transType"));
    mTransCounter = in.toUInt(QLatin1String("transCounter"));
    mTransAmount = in.toUInt(QLatin1String("transAmount"));
    mDeviceId = in.toUInt(QLatin1String("deviceId"));
    mDeviceType = in.toUInt(QLatin1String("deviceType"));
    mBoardingStopId = in.toUInt(QLatin1String("boardingStopId"));
    mProductId = in.toUInt(QLatin1String("productId"));
    mRouteExecutionId = in.toUInt(QLatin1String("routeExecutionId"));
    mRouteId = in.toUInt(QLatin1String("routeId"));
    mVehicleId = in.toUInt(QLatin1String("vehicleId"));
    mAlightingStopId = in.toUInt(QLatin1String("alightingStopId"));
    mInitialTimestamp = in.toTime(QLatin1String("initialTimestamp"));
    mTransTimestamp = in.toTime(QLatin1String("transTimestamp"));
}

QJsonObject UsageLogEntry::toJson() const
{
    QJsonObject json;
    json.insert(QLatin1String("transType"), CardJsonReader::fromUInt(mTransType));
    json.insert(QLatin1String("transCounter"), CardJsonReader::fromUInt(mTransCounter));
    json.insert(QLatin1String("transAmount"), CardJsonReader::fromUInt(mTransAmount));
    json.insert(QLatin1String("deviceId"), CardJsonReader::fromUInt(mDeviceId));
    json.insert(QLatin1String("deviceType"), CardJsonReader::fromUInt(mDeviceType));
    json.insert(QLatin1String("boardingStopId"), CardJsonReader::fromUInt(mBoardingStopId));
    json.insert(QLatin1String("productId"), CardJsonReader::fromUInt(mProductId));
    json.insert(QLatin1String("routeExecutionId"), CardJsonReader::fromUInt(mRouteExecutionId));
    json.insert(QLatin1String("routeId"), CardJsonReader::fromUInt(mRouteId));
    json.insert(QLatin1String("vehicleId"), CardJsonReader::fromUInt(mVehicleId));
    json.insert(QLatin1String("alightingStopId"), CardJsonReader::fromUInt(mAlightingStopId));
    json.insert(QLatin1String("initialTimestamp"), mInitialTimestamp.toJson());
    json.insert(QLatin1String("transTimestamp"), mTransTimestamp.toJson());
    return json;
}

} // namespace ZetoDes_v3

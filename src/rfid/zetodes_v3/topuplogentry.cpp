#include "rfid/zetodes_v3/topuplogentry.h"

#include "rfid/cardjsonreader.h"

namespace ZetoDes_v3 {

TopupLogEntry::TopupLogEntry(const QJsonObject &json)
{
    fromJson(json);
}

void TopupLogEntry::fromJson(const QJsonObject &json)
{
    const CardJsonReader in(json, "card missing '", "' field in topup log");
    mTransType = in.toInt(QLatin1String("transType"));
    mTransCounter = in.toInt(QLatin1String("transCounter"));
    mTransAmount = in.toInt(QLatin1String("transAmount"));
    mDeviceId = in.toInt(QLatin1String("deviceId"));
    mDeviceType = in.toInt(QLatin1String("deviceType"));
    mProductId = in.toInt(QLatin1String("productId"));
    mTransTimestamp = in.toTime(QLatin1String("transTimestamp"));
}

QJsonObject TopupLogEntry::toJson() const
{
    QJsonObject json;
    json.insert(QLatin1String("transType"), mTransType);
    json.insert(QLatin1String("transCounter"), mTransCounter);
    json.insert(QLatin1String("transAmount"), mTransAmount);
    json.insert(QLatin1String("deviceId"), mDeviceId);
    json.insert(QLatin1String("deviceType"), mDeviceType);
    json.insert(QLatin1String("productId"), mProductId);
    json.insert(QLatin1String("transTimestamp"), mTransTimestamp.toJson());
    return json;
}

} // namespace ZetoDes_v3

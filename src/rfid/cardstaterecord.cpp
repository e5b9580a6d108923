#include "rfid/cardstaterecord.h"

#include "rfid/cardjsonreader.h"

void CardStateRecord::readStatusFields(const CardJsonReader &in)
{
    mStatus = in.toUInt(QLatin1String("status"));
    mStatusDeviceId = in.toInt(QLatin1String("statusDeviceId"));
    mStatusDeviceType = in.toInt(QLatin1String("statusDeviceType"));
    mPassengerType = in.toUInt(QLatin1String("passengerType"));
}

void CardStateRecord::writeStatusFields(QJsonObject &json) const
{
    json.insert(QLatin1String("status"), CardJsonReader::fromUInt(mStatus));
    json.insert(QLatin1String("statusDeviceId"), mStatusDeviceId);
    json.insert(QLatin1String("statusDeviceType"), mStatusDeviceType);
    json.insert(QLatin1String("passengerType"), CardJsonReader::fromUInt(mPassengerType));
}

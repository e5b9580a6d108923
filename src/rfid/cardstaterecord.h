#pragma once

#include "rfid/cardstatuscodes.h"

#include <QJsonObject>

class CardJsonReader;

// The fields every layout's state record has: the status code, the passenger type and
// the device that set the status. Each layout's State derives from it and adds its
// own flags, time and getter names.
class CardStateRecord : public CardStatusCodes<unsigned int>
{
public:
    unsigned int getStatus() const { return mStatus; }
    unsigned int getPassengerType() const { return mPassengerType; }

    void setStatus(unsigned int status) { mStatus = status; }
    void setPassengerType(unsigned int type) { mPassengerType = type; }
    void setStatusDeviceId(int id) { mStatusDeviceId = id; }
    void setStatusDeviceType(int type) { mStatusDeviceType = type; }

protected:
    // "status", "statusDeviceId", "statusDeviceType" and "passengerType", read in this
    // order; throws std::runtime_error on a missing key.
    void readStatusFields(const CardJsonReader &in);
    void writeStatusFields(QJsonObject &json) const;

    unsigned int mStatus = 0;
    unsigned int mPassengerType = 0;
    int mStatusDeviceId = 0;
    int mStatusDeviceType = 0;
};

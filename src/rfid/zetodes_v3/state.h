#pragma once

#include "rfid/cardstatuscodes.h"
#include "rfid/cardtime.h"

#include <QDateTime>
#include <QJsonObject>

namespace ZetoDes_v3 {

// The card's status and presence flags, JSON "state" of a DES v3 card:
//
//   status, statusDeviceId, statusDeviceType, passengerType   numbers
//   flags {employee, personalized, hasEPurse, hasProduct0..2}  booleans
//   statusTimestamp                                           card time
class State : public CardStatusCodes<unsigned int>
{
public:
    struct Flags
    {
        bool employee = false;
        bool personalized = false;
        bool hasEPurse = false;
        bool hasProduct0 = false;
        bool hasProduct1 = false;
        bool hasProduct2 = false;
    };

    State() = default;
    explicit State(const QJsonObject &json);
    virtual ~State() = default;

    void fromJson(const QJsonObject &json); // throws std::runtime_error on a missing key
    QJsonObject toJson() const;

    unsigned int getStatus() const { return mStatus; }
    QDateTime getStatusTimestamp() const { return mStatusTimestamp.value(); }
    int getStatusDeviceId() const { return mStatusDeviceId; }
    int getStatusDeviceType() const { return mStatusDeviceType; }
    unsigned int getPassengerType() const { return mPassengerType; }
    const Flags &getFlags() const { return mFlags; }
    Flags &getFlags() { return mFlags; }

    void setStatus(unsigned int status) { mStatus = status; }
    void setPassengerType(unsigned int type) { mPassengerType = type; }
    void setStatusTimestamp(const QDateTime &time) { mStatusTimestamp = CardTime(time); }
    void setFlags(Flags flags) { mFlags = flags; }
    void setStatusDeviceId(int id) { mStatusDeviceId = id; }
    void setStatusDeviceType(int type) { mStatusDeviceType = type; }

    void log() const;

private:
    Flags mFlags;
    unsigned int mPassengerType = 0;
    unsigned int mStatus = 0;
    int mStatusDeviceId = 0;
    int mStatusDeviceType = 0;
    CardTime mStatusTimestamp;
};

} // namespace ZetoDes_v3

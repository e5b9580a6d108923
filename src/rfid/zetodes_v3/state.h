#pragma once

#include "rfid/cardstaterecord.h"
#include "rfid/cardtime.h"

#include <QDateTime>
#include <QJsonObject>

namespace ZetoDes_v3 {

// The card's status and presence flags, JSON "state" of a DES v3 card:
//
//   status, statusDeviceId, statusDeviceType, passengerType   numbers
//   flags {employee, personalized, hasEPurse, hasProduct0..2}  booleans
//   statusTimestamp                                           card time
class State : public CardStateRecord
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

    QDateTime getStatusTimestamp() const { return mStatusTimestamp.value(); }
    int getStatusDeviceId() const { return mStatusDeviceId; }
    int getStatusDeviceType() const { return mStatusDeviceType; }
    const Flags &getFlags() const { return mFlags; }
    Flags &getFlags() { return mFlags; }

    void setStatusTimestamp(const QDateTime &time) { mStatusTimestamp = CardTime(time); }
    void setFlags(Flags flags) { mFlags = flags; }

    void log() const;

private:
    Flags mFlags;
    CardTime mStatusTimestamp;
};

} // namespace ZetoDes_v3

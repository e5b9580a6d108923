#pragma once

#include "rfid/cardstatuscodes.h"
#include "rfid/cardtime.h"

#include <QDateTime>
#include <QJsonObject>

namespace ZetoDes_v2 {

// The card's status and presence flags, JSON "state" of a DES v2 card:
//
//   status, statusDeviceId, statusDeviceType, passengerType          numbers
//   cardType {personalized, hasPeriodPass0, hasPeriodPass1,
//             hasStoredJourneys, hasEPurse}                          booleans
//   statusTimestamp                                                  card time
class State : public CardStatusCodes<unsigned int>
{
public:
    struct CardType
    {
        bool personalized = false;
        bool hasPeriodPass0 = false;
        bool hasPeriodPass1 = false;
        bool hasStoredJourneys = false;
        bool hasEPurse = false;
    };

    State() = default;
    explicit State(const QJsonObject &json);
    virtual ~State() = default;

    void fromJson(const QJsonObject &json); // throws std::runtime_error on a missing key
    QJsonObject toJson() const;

    unsigned int getStatus() const { return mStatus; }
    QDateTime getTimestamp() const { return mTimestamp.value(); }
    int getDeviceId() const { return mStatusDeviceId; }
    int getDeviceType() const { return mStatusDeviceType; }
    CardType getCardType() const { return mCardType; }
    unsigned int getPassengerType() const { return mPassengerType; }

    void setStatus(unsigned int status) { mStatus = status; }
    void setPassengerType(unsigned int type) { mPassengerType = type; }
    void setCardType(CardType cardType) { mCardType = cardType; }
    void setTimestamp(const QDateTime &time) { mTimestamp = CardTime(time); }
    void setStatusDeviceId(int id) { mStatusDeviceId = id; }
    void setStatusDeviceType(int type) { mStatusDeviceType = type; }

    void log() const;

private:
    CardTime mTimestamp;
    CardType mCardType;
    int mStatusDeviceId = 0;
    int mStatusDeviceType = 0;
    unsigned int mStatus = 0;
    unsigned int mPassengerType = 0;
};

} // namespace ZetoDes_v2

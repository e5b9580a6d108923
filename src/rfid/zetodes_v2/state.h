#pragma once

#include "rfid/cardstaterecord.h"
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
class State : public CardStateRecord
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

    QDateTime getTimestamp() const { return mTimestamp.value(); }
    int getDeviceId() const { return mStatusDeviceId; }
    int getDeviceType() const { return mStatusDeviceType; }
    CardType getCardType() const { return mCardType; }

    void setCardType(CardType cardType) { mCardType = cardType; }
    void setTimestamp(const QDateTime &time) { mTimestamp = CardTime(time); }

    void log() const;

private:
    CardTime mTimestamp;
    CardType mCardType;
};

} // namespace ZetoDes_v2

#pragma once

#include "rfid/cardstatuscodes.h"
#include "rfid/cardtime.h"

#include <QDateTime>

namespace ZetoLUC {

// The status and product flags of a LUC card; its keys are mapped in card.h.
class State : public CardStatusCodes<unsigned int>
{
public:
    // Which of the card's two products it carries.
    struct CardType
    {
        bool hasPeriodPass = false;
        bool hasStoredJourneys = false;
    };

    unsigned int getStatus() const { return mStatus; }
    unsigned int getPassengerType() const { return mPassengerType; }
    int getDeviceId() const { return mStatusDeviceId; }
    int getDeviceType() const { return mStatusDeviceType; }
    QDateTime getTimestamp() const { return mTimestamp; }
    CardType getCardType() const { return mCardType; }

    void setStatus(unsigned int status) { mStatus = status; }
    void setPassengerType(unsigned int type) { mPassengerType = type; }
    void setStatusDeviceId(int id) { mStatusDeviceId = id; }
    void setStatusDeviceType(int type) { mStatusDeviceType = type; }
    void setTimestamp(const QDateTime &time) { mTimestamp = time; }
    void setCardType(CardType cardType) { mCardType = cardType; }

private:
    unsigned int mStatus = 0;
    unsigned int mPassengerType = 0;
    int mStatusDeviceId = 0;
    int mStatusDeviceType = 0;
    QDateTime mTimestamp = CardTime::unset();
    CardType mCardType;
};

} // namespace ZetoLUC

#pragma once

#include "rfid/cardstaterecord.h"
#include "rfid/cardtime.h"

#include <QDateTime>

namespace ZetoLUC {

// The status and product flags of a LUC card; its keys are mapped in card.h.
class State : public CardStateRecord
{
public:
    // Which of the card's two products it carries.
    struct CardType
    {
        bool hasPeriodPass = false;
        bool hasStoredJourneys = false;
    };

    int getDeviceId() const { return mStatusDeviceId; }
    int getDeviceType() const { return mStatusDeviceType; }
    QDateTime getTimestamp() const { return mTimestamp; }
    CardType getCardType() const { return mCardType; }

    void setTimestamp(const QDateTime &time) { mTimestamp = time; }
    void setCardType(CardType cardType) { mCardType = cardType; }

private:
    QDateTime mTimestamp = CardTime::unset();
    CardType mCardType;
};

} // namespace ZetoLUC

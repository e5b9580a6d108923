#pragma once

#include "rfid/cardproductstatus.h"

namespace ZetoLUC {

// The stored-journeys product of a LUC card; its keys are mapped in card.h.
class StoredJourneys : public CardProductStatus
{
public:
    unsigned int getStatus() const { return mStatus; }
    unsigned int getProductId() const { return mProductId; }
    unsigned int getRemainingJourneys() const { return mRemainingJourneys; }

    void setStatus(unsigned int status) { mStatus = status; }
    void setProductId(unsigned int id) { mProductId = id; }
    void setRemainingJourneys(unsigned int journeys) { mRemainingJourneys = journeys; }

private:
    unsigned int mStatus = 0;
    unsigned int mProductId = 0;
    unsigned int mRemainingJourneys = 0;
};

} // namespace ZetoLUC

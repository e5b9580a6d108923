#pragma once

#include <QString>

namespace ZetoLUC {

// The stored-journeys product of a LUC card; its keys are mapped in card.h.
class StoredJourneys
{
public:
    enum Status : unsigned int {
        Expired = 12,
        Active = 15,
        Preallocated = 16,
        Blocked = 19,
        Pending = 33,
    };

    unsigned int getStatus() const { return mStatus; }
    unsigned int getProductId() const { return mProductId; }
    unsigned int getRemainingJourneys() const { return mRemainingJourneys; }

    void setStatus(unsigned int status) { mStatus = status; }
    void setProductId(unsigned int id) { mProductId = id; }
    void setRemainingJourneys(unsigned int journeys) { mRemainingJourneys = journeys; }

    static QString statusToString(int status); // "UNKNOWN" for other codes

private:
    unsigned int mStatus = 0;
    unsigned int mProductId = 0;
    unsigned int mRemainingJourneys = 0;
};

} // namespace ZetoLUC

#pragma once

#include "rfid/cardtime.h"

#include <QDateTime>
#include <QString>

namespace ZetoLUC {

// The period pass of a LUC card; its keys are mapped in card.h.
class PeriodPass
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
    unsigned int getDays() const { return mDays; }
    QDateTime getActivationTimestamp() const { return mActivationTimestamp; }

    void setStatus(unsigned int status) { mStatus = status; }
    void setProductId(unsigned int id) { mProductId = id; }
    void setDays(unsigned int days) { mDays = days; }
    void setActivationTimestamp(const QDateTime &time) { mActivationTimestamp = time; }

    // The product status table of the layout, shared with StoredJourneys.
    static QString statusToString(int status); // "UNKNOWN" for other codes

private:
    unsigned int mStatus = 0;
    unsigned int mProductId = 0;
    unsigned int mDays = 0;
    QDateTime mActivationTimestamp = CardTime::unset();
};

} // namespace ZetoLUC

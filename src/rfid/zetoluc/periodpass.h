#pragma once

#include "rfid/cardproductstatus.h"
#include "rfid/cardtime.h"

#include <QDateTime>
#include <QString>

namespace ZetoLUC {

// The period pass of a LUC card; its keys are mapped in card.h.
class PeriodPass : public CardProductStatus
{
public:
    unsigned int getStatus() const { return mStatus; }
    unsigned int getProductId() const { return mProductId; }
    unsigned int getDays() const { return mDays; }
    QDateTime getActivationTimestamp() const { return mActivationTimestamp; }

    void setStatus(unsigned int status) { mStatus = status; }
    void setProductId(unsigned int id) { mProductId = id; }
    void setDays(unsigned int days) { mDays = days; }
    void setActivationTimestamp(const QDateTime &time) { mActivationTimestamp = time; }

private:
    unsigned int mStatus = 0;
    unsigned int mProductId = 0;
    unsigned int mDays = 0;
    QDateTime mActivationTimestamp = CardTime::unset();
};

} // namespace ZetoLUC

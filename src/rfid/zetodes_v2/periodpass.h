#pragma once

#include "rfid/cardproductstatus.h"
#include "rfid/cardtime.h"

#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QString>

namespace ZetoDes_v2 {

// One period pass slot of a DES v2 card, an element of "periodPass":
//
//   productId, status, days                   numbers
//   issueTimestamp, activationTimestamp       card times
//
// The slot number is not on the wire; the card sets it from the array position.
class PeriodPass : public CardProductStatus
{
public:
    PeriodPass() = default;
    explicit PeriodPass(const QJsonObject &json);
    virtual ~PeriodPass() = default;

    void fromJson(const QJsonObject &json); // throws std::runtime_error on a missing key
    QJsonObject toJson() const;

    unsigned int getPeriodPassNum() const { return mPeriodPassNum; }
    unsigned int getProductId() const { return mProductId; }
    unsigned int getStatus() const { return mStatus; }
    QDateTime getIssueTimestamp() const { return mIssueTimestamp.value(); }
    QDateTime getActivationTimestamp() const { return mActivationTimestamp.value(); }
    unsigned int getDays() const { return mDays; }

    void setPeriodPassNum(unsigned int num) { mPeriodPassNum = num; }
    void setStatus(unsigned int status) { mStatus = status; }
    void setActivationTimestamp(const QDateTime &time) { mActivationTimestamp = CardTime(time); }
    void setProductId(unsigned int id) { mProductId = id; }
    void setDays(unsigned int days) { mDays = days; }

    // The product status table, shared with StoredJourneys.
    QMap<QString, int> getStatusAsMap() const { return statusNames(); }

private:
    unsigned int mPeriodPassNum = 0;
    unsigned int mProductId = 0;
    unsigned int mStatus = 0;
    unsigned int mDays = 0;
    CardTime mIssueTimestamp;
    CardTime mActivationTimestamp;
};

} // namespace ZetoDes_v2

#pragma once

#include "rfid/cardproductstatus.h"
#include "rfid/cardtime.h"

#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QString>

namespace ZetoDes_v2 {

// The stored-journeys product of a DES v2 card, JSON "storedJourneys":
//
//   productId, status, journeys               numbers
//   issueTimestamp, activationTimestamp       card times
//
// The journeys left are the card's "remainingJourneys", not this record's count.
class StoredJourneys : public CardProductStatus
{
public:
    StoredJourneys() = default;
    explicit StoredJourneys(const QJsonObject &json);
    virtual ~StoredJourneys() = default;

    void fromJson(const QJsonObject &json); // throws std::runtime_error on a missing key
    QJsonObject toJson() const;

    unsigned int getProductId() const { return mProductId; }
    unsigned int getStatus() const { return mStatus; }
    unsigned int getJourneys() const { return mJourneys; }
    QDateTime getActivationTimestamp() const { return mActivationTimestamp.value(); }
    QDateTime getIssueTimestamp() const { return mIssueTimestamp.value(); }

    void setStatus(unsigned int status) { mStatus = status; }
    void setActivationTimestamp(const QDateTime &time) { mActivationTimestamp = CardTime(time); }
    void setProductId(unsigned int id) { mProductId = id; }
    void setJourneys(unsigned int journeys) { mJourneys = journeys; }

    QMap<QString, int> getStatusAsMap() const { return statusNames(); }

private:
    unsigned int mProductId = 0;
    unsigned int mStatus = 0;
    CardTime mIssueTimestamp;
    CardTime mActivationTimestamp;
    unsigned int mJourneys = 0;
};

} // namespace ZetoDes_v2

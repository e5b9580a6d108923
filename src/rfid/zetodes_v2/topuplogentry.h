#pragma once

#include "rfid/cardtime.h"

#include <QJsonObject>

namespace ZetoDes_v2 {

// One load of the card, an element of "topupLog" of a DES v2 card; only read:
//
//   balanceBefore, balanceAfter, deviceId, deviceType, journeysAfter, journeysBefore,
//   productId, productType, transactionCounter                              numbers
//   timestamp                                                              card time
class TopupLogEntry
{
public:
    TopupLogEntry() = default;
    explicit TopupLogEntry(const QJsonObject &json);
    virtual ~TopupLogEntry() = default;

    void fromJson(const QJsonObject &json); // throws std::runtime_error on a missing key
    QJsonObject toJson() const;

private:
    unsigned int mBalanceBefore = 0;
    unsigned int mBalanceAfter = 0;
    unsigned int mDeviceType = 0;
    unsigned int mDeviceId = 0;
    unsigned int mJourneysAfter = 0;
    unsigned int mJourneysBefore = 0;
    unsigned int mProductId = 0;
    unsigned int mProductType = 0;
    unsigned int mTransactionCounter = 0;
    CardTime mTimestamp;
};

} // namespace ZetoDes_v2

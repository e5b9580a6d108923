#pragma once

#include "rfid/cardtime.h"

#include <QDateTime>
#include <QJsonObject>

namespace ZetoDes_v2 {

// One ride, an element of "usageLog" of a DES v2 card; the reader keeps the log newest
// first. All numbers, then the time of the ride:
//
//   balanceAfter, balanceBefore, deviceId, deviceType, fromStopId, journeysAfter,
//   journeysBefore, productId, productType, routeExecutionId, routeId, toStopId,
//   transactionCounter                                                      numbers
//   timestamp                                                              card time
class UsageLogEntry
{
public:
    UsageLogEntry() = default;
    explicit UsageLogEntry(const QJsonObject &json);
    virtual ~UsageLogEntry() = default;

    void fromJson(const QJsonObject &json); // throws std::runtime_error on a missing key
    QJsonObject toJson() const;

    QDateTime getTimestamp() const { return mTimestamp.value(); }
    unsigned int getProductId() const { return mProductId; }
    // 1 period pass slot 0, 2 period pass slot 1, 3 stored journeys
    unsigned int getProductType() const { return mProductType; }
    unsigned int getRouteId() const { return mRouteId; }
    unsigned int getExecutionRouteId() const { return mRouteExecutionId; }
    unsigned int getFromStopId() const { return mFromStopId; }
    unsigned int getDeviceType() const { return mDeviceType; }
    unsigned int getJourneysBefore() const { return mJourneysBefore; }
    unsigned int getJourneysAfter() const { return mJourneysAfter; }

    void setBalanceAfter(unsigned int value) { mBalanceAfter = value; }
    void setBalanceBefore(unsigned int value) { mBalanceBefore = value; }
    void setDeviceType(unsigned int value) { mDeviceType = value; }
    void setDeviceId(unsigned int value) { mDeviceId = value; }
    void setFromStopId(unsigned int value) { mFromStopId = value; }
    void setJourneysAfter(unsigned int value) { mJourneysAfter = value; }
    void setJourneysBefore(unsigned int value) { mJourneysBefore = value; }
    void setProductId(unsigned int value) { mProductId = value; }
    void setProductType(unsigned int value) { mProductType = value; }
    void setRouteExecutionId(unsigned int value) { mRouteExecutionId = value; }
    void setRouteId(unsigned int value) { mRouteId = value; }
    void setToStopId(unsigned int value) { mToStopId = value; }
    void setTransactionCounter(unsigned int value) { mTransactionCounter = value; }
    void setTimeStamp(const QDateTime &time) { mTimestamp = CardTime(time); }

private:
    unsigned int mBalanceAfter = 0;
    unsigned int mBalanceBefore = 0;
    unsigned int mDeviceId = 0;
    unsigned int mDeviceType = 0;
    unsigned int mFromStopId = 0;
    unsigned int mJourneysAfter = 0;
    unsigned int mJourneysBefore = 0;
    unsigned int mProductId = 0;
    unsigned int mProductType = 0;
    unsigned int mRouteExecutionId = 0;
    unsigned int mRouteId = 0;
    unsigned int mToStopId = 0;
    unsigned int mTransactionCounter = 0;
    CardTime mTimestamp;
};

} // namespace ZetoDes_v2

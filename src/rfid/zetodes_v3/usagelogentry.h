#pragma once

#include "rfid/cardtime.h"

#include <QDateTime>
#include <QJsonObject>

namespace ZetoDes_v3 {

// One ride, an element of "usageLog" of a DES v3 card. The validators build a new one
// with the setters and add it to the card; the reader keeps the log newest first.
//
//   transType, transCounter, transAmount, deviceId, deviceType, boardingStopId,
//   productId, routeExecutionId, routeId, vehicleId, alightingStopId     numbers
//   initialTimestamp, transTimestamp                                     card times
class UsageLogEntry
{
public:
    UsageLogEntry() = default;
    explicit UsageLogEntry(const QJsonObject &json);
    virtual ~UsageLogEntry() = default;

    void fromJson(const QJsonObject &json); // throws std::runtime_error on a missing key
    QJsonObject toJson() const;

    QDateTime getInitialTimestamp() const { return mInitialTimestamp.value(); }
    QDateTime getTransTimestamp() const { return mTransTimestamp.value(); }
    unsigned int getProductId() const { return mProductId; }
    unsigned int getTransType() const { return mTransType; }
    unsigned int getRouteId() const { return mRouteId; }
    unsigned int getVehicleId() const { return mVehicleId; }
    unsigned int getRouteExecutionId() const { return mRouteExecutionId; }
    unsigned int getBoardingStopId() const { return mBoardingStopId; }
    unsigned int getDeviceType() const { return mDeviceType; }

    void setDeviceType(unsigned int value) { mDeviceType = value; }
    void setDeviceId(unsigned int value) { mDeviceId = value; }
    void setBoardingStopId(unsigned int value) { mBoardingStopId = value; }
    void setProductId(unsigned int value) { mProductId = value; }
    void setRouteExecutionId(unsigned int value) { mRouteExecutionId = value; }
    void setRouteId(unsigned int value) { mRouteId = value; }
    void setAlightingStopId(unsigned int value) { mAlightingStopId = value; }
    void setVehicleId(unsigned int value) { mVehicleId = value; }
    void setTransType(unsigned int value) { mTransType = value; }
    void setTransAmount(unsigned int value) { mTransAmount = value; }
    void setTransCounter(unsigned int value) { mTransCounter = value; }
    void setInitialTimeStamp(const QDateTime &time) { mInitialTimestamp = CardTime(time); }
    void setTransTimeStamp(const QDateTime &time) { mTransTimestamp = CardTime(time); }

private:
    unsigned int mTransType = 0;
    CardTime mTransTimestamp;
    unsigned int mTransCounter = 0;
    unsigned int mTransAmount = 0;
    unsigned int mDeviceId = 0;
    unsigned int mDeviceType = 0;
    unsigned int mProductId = 0;
    CardTime mInitialTimestamp;
    unsigned int mRouteExecutionId = 0;
    unsigned int mRouteId = 0;
    unsigned int mVehicleId = 0;
    unsigned int mBoardingStopId = 0;
    unsigned int mAlightingStopId = 0;
};

} // namespace ZetoDes_v3

#pragma once

#include "rfid/cardtime.h"

#include <QDateTime>
#include <QString>

namespace ZetoLUC {

// The card's last ride, the single usage-log entry of a LUC card; its keys are mapped in
// card.h.
class UsageLogEntry
{
public:
    unsigned int getProductType() const { return mProductType; } // 1 period pass, 2 stored journeys
    unsigned int getProductId() const { return mProductId; }
    QDateTime getTimestamp() const { return mTimestamp; }
    QString getVehicleId() const { return mVehicleId; }
    unsigned int getDeviceId() const { return mDeviceId; }
    unsigned int getDeviceType() const { return mDeviceType; }
    unsigned int getRouteId() const { return mRouteId; }
    unsigned int getRouteExecutionId() const { return mRouteExecutionId; }
    unsigned int getFromStopId() const { return mFromStopId; }
    unsigned int getJourneysBefore() const { return mJourneysBefore; }
    unsigned int getJourneysAfter() const { return mJourneysAfter; }

    void setProductType(unsigned int value) { mProductType = value; }
    void setProductId(unsigned int value) { mProductId = value; }
    void setTimestamp(const QDateTime &time) { mTimestamp = time; }
    void setVehicleId(const QString &value) { mVehicleId = value; }
    void setDeviceId(unsigned int value) { mDeviceId = value; }
    void setDeviceType(unsigned int value) { mDeviceType = value; }
    void setRouteId(unsigned int value) { mRouteId = value; }
    void setRouteExecutionId(unsigned int value) { mRouteExecutionId = value; }
    void setFromStopId(unsigned int value) { mFromStopId = value; }
    void setJourneysBefore(unsigned int value) { mJourneysBefore = value; }
    void setJourneysAfter(unsigned int value) { mJourneysAfter = value; }

private:
    unsigned int mProductType = 0;
    unsigned int mProductId = 0;
    QDateTime mTimestamp = CardTime::unset();
    QString mVehicleId;
    unsigned int mDeviceId = 0;
    unsigned int mDeviceType = 0;
    unsigned int mRouteId = 0;
    unsigned int mRouteExecutionId = 0;
    unsigned int mFromStopId = 0;
    unsigned int mJourneysBefore = 0;
    unsigned int mJourneysAfter = 0;
};

} // namespace ZetoLUC

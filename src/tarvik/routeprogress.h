#pragma once

#include <QString>

class QJsonObject;

namespace tarvik {

// One progress event of the route from the OBU: approaching, arrived at or leaving a stop.
// An immutable value once built.
class RouteProgress
{
public:
    enum EventType { Approaching = 0, Arrived = 1, Leaving = 2 };

    RouteProgress() = default;
    RouteProgress(int axisId, int stopId);
    explicit RouteProgress(const QJsonObject &json);
    virtual ~RouteProgress() = default;
    RouteProgress(const RouteProgress &) = default;
    RouteProgress &operator=(const RouteProgress &) = default;
    RouteProgress(RouteProgress &&) = default;
    RouteProgress &operator=(RouteProgress &&) = default;

    int getEventType() const { return mEventType; }
    QString getEventTypeStr() const;
    double getProgress() const { return mProgress; }
    int getAxisId() const { return mAxisId; }
    int getStopId() const { return mStopId; }
    int getStopSequence() const { return mStopSequence; }
    bool getHasGpsLock() const { return mHasGpsLock; }

private:
    int mEventType = Approaching;
    double mProgress = 0;
    int mAxisId = 0;
    int mStopId = 0;
    int mStopSequence = 0;
    bool mHasGpsLock = false;
};

} // namespace tarvik

#pragma once

#include "tarvik/route.h"

#include <QHash>
#include <QPair>
#include <QSharedData>

namespace tarvik {

// Everything a route holds, shared between copies until one of them changes.
class RouteData : public QSharedData
{
public:
    int mAxisId = 0;
    int mPublicId = 0;
    QString mAxisName;
    Route::RouteExecution mRouteExecution;
    int mStatus = 0;
    int mCurrentStopId = 0;
    FareProduct::MultiMap mFareProducts;
    QMap<int, StopGroup> mStopGroups;
    QVector<Stop> mStops;
    QMap<int, QString> mPassengerTypes;
    QString mVehicleId;
    int mCarrierId = 0;
    int mDeviceId = 0;
    bool mUseAxisProducts = false;

    // First and last stop ordinal of each zone, fixed once parsing ends; the window rule
    // reads them for every product at every progress event.
    QHash<int, QPair<int, int>> mZoneSpans;
};

} // namespace tarvik

#pragma once

#include "tarvik/axis.h"
#include "tarvik/axisstop.h"
#include "tarvik/stop2.h"
#include "tarvik/stopgroup2.h"
#include "tarvik/stopgroupstops.h"

#include <memory>

namespace tarvik {

// One consistent state of the route network, linked and then published by the route manager.
// Once published nothing in it changes again, so any thread may query it without a lock; a
// caller that holds it also keeps its records and their links alive.
class RouteSnapshot
{
public:
    using ConstPtr = std::shared_ptr<const RouteSnapshot>;

    struct Tables
    {
        Axis::Map axes;
        AxisStop::MultiMap axisStops;           // by axis id
        Stop2::Map stops;
        StopGroup2::Map stopGroups;
        StopGroupStops::MultiMap stopGroupStops; // by stop group id
    };

    RouteSnapshot() = default;
    explicit RouteSnapshot(Tables tables);

    const Tables &tables() const { return mTables; }

    Axis::List findAllAxis() const;
    Axis::Ptr findAxis(int id) const;
    Stop2::Ptr findStop(int id) const;
    StopGroup2::Ptr findStopGroup(int id) const;
    // In the order of `ids`; unknown ids are left out, an id given twice comes twice.
    StopGroup2::List findStopGroups(const QList<int> &ids) const;
    // Logs the members that name an unknown stop.
    Stop2::List findStopsInStopGroup(int stopGroupId) const;
    // Ascending by ordinal, each with the stop the manager linked to it.
    AxisStop::List findAxisStopsInAxis(int axisId) const;

private:
    Tables mTables;
};

} // namespace tarvik

#include "tarvik/routesnapshot.h"

#include <QDebug>

#include <algorithm>

namespace tarvik {

namespace {
const char kTag[] = "[tarvik::RouteManager] ";
} // namespace

RouteSnapshot::RouteSnapshot(Tables tables)
    : mTables(std::move(tables))
{
}

Axis::List RouteSnapshot::findAllAxis() const
{
    return mTables.axes.values();
}

Axis::Ptr RouteSnapshot::findAxis(int id) const
{
    return mTables.axes.value(id);
}

Stop2::Ptr RouteSnapshot::findStop(int id) const
{
    return mTables.stops.value(id);
}

StopGroup2::Ptr RouteSnapshot::findStopGroup(int id) const
{
    return mTables.stopGroups.value(id);
}

StopGroup2::List RouteSnapshot::findStopGroups(const QList<int> &ids) const
{
    StopGroup2::List result;
    for (const int id : ids) {
        const StopGroup2::Ptr group = findStopGroup(id);
        if (group)
            result.append(group);
    }
    return result;
}

Stop2::List RouteSnapshot::findStopsInStopGroup(int stopGroupId) const
{
    Stop2::List result;
    const StopGroupStops::MultiMap &members = mTables.stopGroupStops;
    for (auto it = members.constFind(stopGroupId); it != members.cend() && it.key() == stopGroupId; ++it) {
        const int stopId = it.value()->stopId();
        const Stop2::Ptr stop = findStop(stopId);
        if (stop)
            result.append(stop);
        else
            qWarning().noquote().nospace() << kTag << "WARNING: Could not find stopId : " << stopId;
    }
    return result;
}

AxisStop::List RouteSnapshot::findAxisStopsInAxis(int axisId) const
{
    AxisStop::List result;
    const AxisStop::MultiMap &axisStops = mTables.axisStops;
    for (auto it = axisStops.constFind(axisId); it != axisStops.cend() && it.key() == axisId; ++it)
        result.append(it.value());
    std::stable_sort(result.begin(), result.end(),
                     [](const AxisStop::Ptr &a, const AxisStop::Ptr &b) { return a->ordinal() < b->ordinal(); });
    return result;
}

} // namespace tarvik

#include "tarvik/routemanager.h"

#include "tarvik/connector.h"
#include "tarvik/freshcopy.h"
#include "tarvik/utils.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>

#include <atomic>

namespace tarvik {

namespace {
const char kTag[] = "[tarvik::RouteManager] ";

const QString kAxisKey = QStringLiteral("Axis");
const QString kAxisStopsKey = QStringLiteral("AxisStops");
const QString kStopsKey = QStringLiteral("Stops");
const QString kStopGroupsKey = QStringLiteral("StopGroups");
const QString kStopGroupStopsKey = QStringLiteral("StopGroupStops");
} // namespace

RouteManager::RouteManager(Connector &connector, const QString &deviceUuid, const QString &storagePath,
                           QObject *parent)
    : DataManager(connector, deviceUuid, storagePath,
                  {kTag, "Route Data", QStringLiteral("routes.json"), QStringLiteral("routesLastSyncDate"),
                   QStringLiteral("Syncing Route Data with Tarvik : deviceUuid=%1, lastSyncDate=%2"),
                   "Route Data changed!"},
                  parent)
    , mSnapshot(std::make_shared<const RouteSnapshot>())
{
}

RouteManager::~RouteManager() = default;

void RouteManager::connectRecords()
{
    connect(&connector(), &Connector::axisReceived, this,
            [this](const Axis::List &list) { receive(mTables.axes, list, "Received Axis            : "); },
            Qt::DirectConnection);
    connect(&connector(), &Connector::stopsReceived, this,
            [this](const Stop2::List &list) { receive(mTables.stops, list, "Received Stops           : "); },
            Qt::DirectConnection);
    connect(&connector(), &Connector::stopGroupsReceived, this,
            [this](const StopGroup2::List &list) {
                receive(mTables.stopGroups, list, "Received StopGroups      : ");
            },
            Qt::DirectConnection);
    connect(&connector(), &Connector::stopGroupStopsReceived, this, &RouteManager::onStopGroupStopsReceived,
            Qt::DirectConnection);
    connect(&connector(), &Connector::axisStopsReceived, this, &RouteManager::onAxisStopsReceived,
            Qt::DirectConnection);
    connect(&connector(), &Connector::onRouteDataSyncEnd, this, &RouteManager::onDataSyncEnd,
            Qt::DirectConnection);
}

RouteSnapshot::ConstPtr RouteManager::snapshot() const
{
    return std::atomic_load(&mSnapshot);
}

bool RouteManager::anyTableEmpty() const
{
    return mTables.axes.isEmpty() || mTables.stops.isEmpty() || mTables.stopGroups.isEmpty()
        || mTables.stopGroupStops.isEmpty() || mTables.axisStops.isEmpty();
}

void RouteManager::requestData(const QDateTime &since)
{
    connector().requestRouteData(deviceUuid(), since);
}

void RouteManager::onStopGroupStopsReceived(const StopGroupStops::List &list)
{
    logReceived("Received StopGroup/Stops : ", list.size());
    Utils::appendListToStopGroupStops<StopGroupStops>(mTables.stopGroupStops, list);
    setChanged();
}

void RouteManager::onAxisStopsReceived(const AxisStop::List &list)
{
    logReceived("Received Axis/Stops      : ", list.size());
    Utils::appendListToAxisStops<AxisStop>(mTables.axisStops, list);
    setChanged();
}

void RouteManager::onEntityDeleted(const QString &entityName, int id)
{
    bool removed = false;
    if (entityName == QLatin1String("AXIS"))
        removed = Utils::deleteItemFromMap<Axis>(mTables.axes, id);
    else if (entityName == QLatin1String("STOPS"))
        removed = Utils::deleteItemFromMap<Stop2>(mTables.stops, id);
    else if (entityName == QLatin1String("STOP_GROUPS"))
        removed = Utils::deleteItemFromMap<StopGroup2>(mTables.stopGroups, id);
    else if (entityName == QLatin1String("AXIS_STOPS"))
        removed = Utils::deleteItemFromMultiMap<AxisStop>(mTables.axisStops, id);
    else if (entityName == QLatin1String("STOPS_GROUPS_STOPS"))
        removed = Utils::deleteItemFromMultiMap<StopGroupStops>(mTables.stopGroupStops, id);
    if (removed)
        markDeleted(entityName, id);
}

void RouteManager::associate()
{
    QElapsedTimer timer;
    timer.start();
    qInfo().noquote().nospace() << kTag << "Associating StopGroups with Stops";

    QHash<const Axis *, Axis::Ptr> axisOrigins;
    QHash<const AxisStop *, AxisStop::Ptr> axisStopOrigins;
    RouteSnapshot::Tables tables;
    tables.axes = freshCopies(mTables.axes, &axisOrigins);
    tables.axisStops = freshCopies(mTables.axisStops, &axisStopOrigins);
    tables.stops = freshCopies(mTables.stops);
    tables.stopGroups = freshCopies(mTables.stopGroups);
    tables.stopGroupStops = mTables.stopGroupStops; // never linked, so shared as they are
    const auto next = std::make_shared<RouteSnapshot>(std::move(tables));
    const RouteSnapshot::Tables &linked = next->tables();

    for (const StopGroup2::Ptr &group : linked.stopGroups) {
        const Stop2::List stops = next->findStopsInStopGroup(group->id());
        for (const Stop2::Ptr &stop : stops)
            stop->setStopGroup(group);
        group->setStops(stops);
    }

    qInfo().noquote().nospace() << kTag << "Associating Axes with Stops";
    QHash<AxisStop::Ptr, Stop2::Ptr> linkedStops;
    QHash<Axis::Ptr, QWeakPointer<Axis>> linkedOpposites;
    for (const Axis::Ptr &axis : linked.axes) {
        const AxisStop::List axisStops = next->findAxisStopsInAxis(axis->id());
        for (const AxisStop::Ptr &axisStop : axisStops) {
            const AxisStop::Ptr origin = axisStopOrigins.value(axisStop.data());
            Stop2::Ptr stop = next->findStop(axisStop->stopId());
            if (!stop)
                stop = mLinkedStops.value(origin);
            if (stop) {
                axisStop->setStop(stop);
                linkedStops.insert(origin, stop);
            }
        }
        axis->setAxisStops(axisStops);

        const Axis::Ptr origin = axisOrigins.value(axis.data());
        Axis::Ptr opposite = next->findAxis(axis->oppositeAxisId());
        if (!opposite)
            opposite = mLinkedOpposites.value(origin).toStrongRef();
        if (opposite) {
            axis->setOppositeAxis(opposite);
            linkedOpposites.insert(origin, opposite);
        }
    }

    std::atomic_store(&mSnapshot, RouteSnapshot::ConstPtr(next));
    mLinkedStops = linkedStops;
    mLinkedOpposites = linkedOpposites;
    qInfo().noquote().nospace() << kTag << "Route data associated in : " << timer.elapsed() << " msec(s)";
}

void RouteManager::readTables(const QJsonObject &root)
{
    mTables.axes = Utils::jsonToMap<Axis>(root.value(kAxisKey).toArray());
    mTables.stops = Utils::jsonToMap<Stop2>(root.value(kStopsKey).toArray());
    mTables.stopGroups = Utils::jsonToMap<StopGroup2>(root.value(kStopGroupsKey).toArray());
    mTables.stopGroupStops = Utils::jsonToStopGroupStops(root.value(kStopGroupStopsKey).toArray());
    mTables.axisStops = Utils::jsonToAxisStops(root.value(kAxisStopsKey).toArray());
}

QJsonObject RouteManager::tablesToJson() const
{
    return QJsonObject{
        {kAxisKey, Utils::listToJson<Axis>(mTables.axes.values())},
        {kAxisStopsKey, Utils::listToJson<AxisStop>(mTables.axisStops.values())},
        {kStopsKey, Utils::listToJson<Stop2>(mTables.stops.values())},
        {kStopGroupsKey, Utils::listToJson<StopGroup2>(mTables.stopGroups.values())},
        {kStopGroupStopsKey, Utils::listToJson<StopGroupStops>(mTables.stopGroupStops.values())},
    };
}

void RouteManager::printSummary() const
{
    printSummaryLines("--- ROUTE DATA SUMMARY ----------------------",
                      {{" Axes           : ", mTables.axes.size()},
                       {" AxisStops      : ", mTables.axisStops.size()},
                       {" Stops          : ", mTables.stops.size()},
                       {" StopGroups     : ", mTables.stopGroups.size()},
                       {" StopGroupStops : ", mTables.stopGroupStops.size()}});
}

Axis::List RouteManager::findAllAxis() const
{
    return snapshot()->findAllAxis();
}

Axis::Ptr RouteManager::findAxis(int id) const
{
    return snapshot()->findAxis(id);
}

Stop2::Ptr RouteManager::findStop(int id) const
{
    return snapshot()->findStop(id);
}

StopGroup2::Ptr RouteManager::findStopGroup(int id) const
{
    return snapshot()->findStopGroup(id);
}

StopGroup2::List RouteManager::findStopGroups(const QList<int> &ids) const
{
    return snapshot()->findStopGroups(ids);
}

Stop2::List RouteManager::findStopsInStopGroup(int stopGroupId) const
{
    return snapshot()->findStopsInStopGroup(stopGroupId);
}

AxisStop::List RouteManager::findAxisStopsInAxis(int axisId) const
{
    return snapshot()->findAxisStopsInAxis(axisId);
}

} // namespace tarvik

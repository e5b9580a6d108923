#include "tarvik/routemanager.h"

#include "tarvik/connector.h"
#include "tarvik/datafile.h"
#include "tarvik/freshcopy.h"
#include "tarvik/utils.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>

#include <atomic>
#include <limits>

namespace tarvik {

namespace {
const char kTag[] = "[tarvik::RouteManager] ";
const QString kFileName = QStringLiteral("routes.json");
const QString kSyncDateKey = QStringLiteral("routesLastSyncDate");

const QString kAxisKey = QStringLiteral("Axis");
const QString kAxisStopsKey = QStringLiteral("AxisStops");
const QString kStopsKey = QStringLiteral("Stops");
const QString kStopGroupsKey = QStringLiteral("StopGroups");
const QString kStopGroupStopsKey = QStringLiteral("StopGroupStops");

// QTimer counts in int milliseconds: a long period saturates rather than wraps.
int periodMsec(int minutes)
{
    return int(qMin<qint64>(qint64(minutes) * 60000, std::numeric_limits<int>::max()));
}
} // namespace

RouteManager::RouteManager(Connector &connector, const QString &deviceUuid, const QString &storagePath,
                           QObject *parent)
    : QObject(parent)
    , mConnector(connector)
    , mTimer(this)
    , mStoragePath(storagePath)
    , mDeviceUuid(deviceUuid)
    , mSnapshot(std::make_shared<const RouteSnapshot>())
{
}

RouteManager::~RouteManager() = default;

void RouteManager::start(int syncPeriodMin)
{
    loadFromFile();
    associate();
    printSummary();
    connectSignals();
    if (syncPeriodMin <= 0)
        return;
    syncWithTarvik();
    mTimer.start(periodMsec(syncPeriodMin));
}

void RouteManager::stop()
{
    mTimer.stop();
}

void RouteManager::connectSignals()
{
    if (mConnected)
        return;
    mConnected = true;
    connect(&mTimer, &QTimer::timeout, this, &RouteManager::syncWithTarvik);
    connect(&mConnector, &Connector::entityDeleted, this, &RouteManager::onEntityDeleted);
    connect(&mConnector, &Connector::axisReceived, this,
            [this](const Axis::List &list) { receive(mTables.axes, list, "Received Axis            : "); },
            Qt::DirectConnection);
    connect(&mConnector, &Connector::stopsReceived, this,
            [this](const Stop2::List &list) { receive(mTables.stops, list, "Received Stops           : "); },
            Qt::DirectConnection);
    connect(&mConnector, &Connector::stopGroupsReceived, this,
            [this](const StopGroup2::List &list) {
                receive(mTables.stopGroups, list, "Received StopGroups      : ");
            },
            Qt::DirectConnection);
    connect(&mConnector, &Connector::stopGroupStopsReceived, this, &RouteManager::onStopGroupStopsReceived,
            Qt::DirectConnection);
    connect(&mConnector, &Connector::axisStopsReceived, this, &RouteManager::onAxisStopsReceived,
            Qt::DirectConnection);
    connect(&mConnector, &Connector::onRouteDataSyncEnd, this, &RouteManager::onRouteDataSyncEnd,
            Qt::DirectConnection);
}

RouteSnapshot::ConstPtr RouteManager::snapshot() const
{
    return std::atomic_load(&mSnapshot);
}

void RouteManager::syncWithTarvik()
{
    const QDateTime date = lastSyncDate();
    qInfo().noquote().nospace() << kTag
                                << QStringLiteral("Syncing Route Data with Tarvik : deviceUuid=%1, lastSyncDate=%2")
                                       .arg(mDeviceUuid, DataFile::formatSyncDate(date));
    if (!mMutex.tryLock()) {
        qWarning().noquote().nospace() << kTag << "WARNING: Syncing not allowed while db is updating.";
        return;
    }
    QDateTime since = date;
    if (mTables.axes.isEmpty() || mTables.stops.isEmpty() || mTables.stopGroups.isEmpty()
        || mTables.stopGroupStops.isEmpty() || mTables.axisStops.isEmpty()) {
        qWarning().noquote().nospace() << kTag << "WARNING: Some data are empty. Performing full sync.";
        since = QDateTime();
    }
    mConnector.requestRouteData(mDeviceUuid, since);
    mMutex.unlock();
    emit syncStarted();
}

template <typename T>
void RouteManager::receive(QMap<int, QSharedPointer<T>> &map, const QList<QSharedPointer<T>> &list,
                           const char *label)
{
    qInfo().noquote().nospace() << kTag << label << list.size();
    for (const QSharedPointer<T> &record : list) {
        if (record)
            map.insert(record->id(), record);
    }
    mChanged = true;
}

void RouteManager::onStopGroupStopsReceived(const StopGroupStops::List &list)
{
    qInfo().noquote().nospace() << kTag << "Received StopGroup/Stops : " << list.size();
    Utils::appendListToStopGroupStops<StopGroupStops>(mTables.stopGroupStops, list);
    mChanged = true;
}

void RouteManager::onAxisStopsReceived(const AxisStop::List &list)
{
    qInfo().noquote().nospace() << kTag << "Received Axis/Stops      : " << list.size();
    Utils::appendListToAxisStops<AxisStop>(mTables.axisStops, list);
    mChanged = true;
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
    if (!removed)
        return;
    qWarning().noquote().nospace()
        << kTag << QStringLiteral("WARN: Deleted entity from '%1' with id : %2").arg(entityName).arg(id);
    mChanged = true;
}

void RouteManager::onRouteDataSyncEnd(const QDateTime &newSyncDate)
{
    if (!mChanged) {
        setLastSyncDate(newSyncDate);
        emit syncEnded();
        return;
    }
    qWarning().noquote().nospace() << kTag << "Route Data changed!";
    // Only a saved change moves the date on: otherwise the next cycle asks for it again, and
    // the data stay marked changed so that it saves again.
    const bool saved = saveToFile();
    if (saved)
        setLastSyncDate(newSyncDate);
    else
        qWarning().noquote().nospace() << kTag << "WARN: Last Sync Date kept, Route Data will be saved at next sync";
    associate();
    printSummary();
    mChanged = !saved;
    emit dataChanged();
    emit syncEnded();
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

QString RouteManager::filePath() const
{
    return QDir(mStoragePath).filePath(kFileName);
}

void RouteManager::loadFromFile()
{
    const QString path = filePath();
    qInfo().noquote().nospace() << kTag << "Loading Route Data from file : " << path;
    QElapsedTimer timer;
    timer.start();

    QJsonObject root;
    QString error;
    switch (DataFile::read(path, &root, &error)) {
    case DataFile::ReadStatus::NotOpened:
        qWarning().noquote().nospace() << kTag << "WARN: Could not open file : " << path;
        return;
    case DataFile::ReadStatus::Malformed:
        qCritical().noquote().nospace() << kTag << "ERROR: JSON syntax error : " << error;
        return;
    case DataFile::ReadStatus::Ok:
        break;
    }

    QMutexLocker lock(&mMutex);
    mTables.axes = Utils::jsonToMap<Axis>(root.value(kAxisKey).toArray());
    mTables.stops = Utils::jsonToMap<Stop2>(root.value(kStopsKey).toArray());
    mTables.stopGroups = Utils::jsonToMap<StopGroup2>(root.value(kStopGroupsKey).toArray());
    mTables.stopGroupStops = Utils::jsonToStopGroupStops(root.value(kStopGroupStopsKey).toArray());
    mTables.axisStops = Utils::jsonToAxisStops(root.value(kAxisStopsKey).toArray());
    lock.unlock();

    qInfo().noquote().nospace() << kTag << "Loading completed in : " << timer.elapsed() << " msec(s)";
}

bool RouteManager::saveToFile()
{
    const QString path = filePath();
    qInfo().noquote().nospace() << kTag << "Saving Route Data to file : " << path;
    QElapsedTimer timer;
    timer.start();

    QMutexLocker lock(&mMutex);
    const QJsonObject root{
        {kAxisKey, Utils::listToJson<Axis>(mTables.axes.values())},
        {kAxisStopsKey, Utils::listToJson<AxisStop>(mTables.axisStops.values())},
        {kStopsKey, Utils::listToJson<Stop2>(mTables.stops.values())},
        {kStopGroupsKey, Utils::listToJson<StopGroup2>(mTables.stopGroups.values())},
        {kStopGroupStopsKey, Utils::listToJson<StopGroupStops>(mTables.stopGroupStops.values())},
    };
    lock.unlock();

    bool opened = false;
    QString error;
    if (!DataFile::write(path, root, &opened, &error)) {
        if (opened)
            qCritical().noquote().nospace() << kTag << "ERROR: Could not write file : " << path << " (" << error << ')';
        else
            qCritical().noquote().nospace() << kTag << "ERROR: Could not open file : " << path;
        return false;
    }
    qInfo().noquote().nospace() << kTag << "Saving completed in : " << timer.elapsed() << " msec(s)";
    return true;
}

QDateTime RouteManager::lastSyncDate() const
{
    const QString text = DataFile::syncDateText(mStoragePath, kSyncDateKey);
    qDebug().noquote().nospace() << kTag << "Last Sync Date is : " << text;
    return DataFile::parseSyncDate(text);
}

void RouteManager::setLastSyncDate(const QDateTime &date)
{
    const QString text = DataFile::formatSyncDate(date);
    qInfo().noquote().nospace() << kTag << "Setting Last Sync Date to : " << text;
    if (!DataFile::storeSyncDateText(mStoragePath, kSyncDateKey, text))
        qCritical().noquote().nospace() << kTag << "ERROR: Could not write file : "
                                        << QDir(mStoragePath).filePath(QStringLiteral(".sync"));
}

void RouteManager::printSummary() const
{
    qInfo().noquote().nospace() << kTag << "--- ROUTE DATA SUMMARY ----------------------";
    qInfo().noquote().nospace() << kTag << " Axes           : " << mTables.axes.size();
    qInfo().noquote().nospace() << kTag << " AxisStops      : " << mTables.axisStops.size();
    qInfo().noquote().nospace() << kTag << " Stops          : " << mTables.stops.size();
    qInfo().noquote().nospace() << kTag << " StopGroups     : " << mTables.stopGroups.size();
    qInfo().noquote().nospace() << kTag << " StopGroupStops : " << mTables.stopGroupStops.size();
    qInfo().noquote().nospace() << kTag << "---------------------------------------------";
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

#pragma once

#include "tarvik/routesnapshot.h"

#include <QDateTime>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QTimer>

namespace tarvik {

class Connector;

// Keeps the operator's route network: loads "routes.json", syncs it with the back-end on a
// timer, merges the records received, saves the file and links the records. Each linked state
// is published as an immutable RouteSnapshot; the find queries read the current one and may be
// called from any thread. Everything else runs on the main thread. Emits syncStarted,
// dataChanged (the data changed and were linked anew) and syncEnded.
class RouteManager : public QObject
{
    Q_OBJECT
public:
    RouteManager(Connector &connector, const QString &deviceUuid, const QString &storagePath,
                 QObject *parent = nullptr);
    ~RouteManager() override;

    // Loads, links and connects; with a positive period also syncs at once and every period.
    void start(int syncPeriodMin);
    void stop();
    void loadFromFile();
    // False when the file could not be written whole; the previous file is then left as it was.
    bool saveToFile();
    QDateTime lastSyncDate() const;
    void setLastSyncDate(const QDateTime &date);
    void printSummary() const;
    void connectSignals();

    // The current linked state; hold it for a whole tap to read one consistent network.
    RouteSnapshot::ConstPtr snapshot() const;

    Axis::List findAllAxis() const;
    Axis::Ptr findAxis(int id) const;
    Stop2::Ptr findStop(int id) const;
    StopGroup2::Ptr findStopGroup(int id) const;
    StopGroup2::List findStopGroups(const QList<int> &ids) const;
    Stop2::List findStopsInStopGroup(int stopGroupId) const;
    AxisStop::List findAxisStopsInAxis(int axisId) const;

public slots:
    void syncWithTarvik();
    void onEntityDeleted(const QString &entityName, int id);
    // Links fresh copies of the records and publishes them as the new snapshot.
    void associate();

signals:
    void syncStarted();
    void dataChanged();
    void syncEnded();

private:
    Q_DISABLE_COPY(RouteManager)

    template <typename T>
    void receive(QMap<int, QSharedPointer<T>> &map, const QList<QSharedPointer<T>> &list, const char *label);
    void onStopGroupStopsReceived(const StopGroupStops::List &list);
    void onAxisStopsReceived(const AxisStop::List &list);
    void onRouteDataSyncEnd(const QDateTime &newSyncDate);
    QString filePath() const;

    Connector &mConnector;
    // The records as loaded and received; never linked, so they can be copied for each snapshot.
    RouteSnapshot::Tables mTables;
    QTimer mTimer;
    QMutex mMutex;
    QString mStoragePath;
    QString mDeviceUuid;
    bool mChanged = false;
    bool mConnected = false;
    RouteSnapshot::ConstPtr mSnapshot; // read and replaced only through std::atomic_load/store
    // The links of the last association, by received record: an axis stop whose stop and an
    // axis whose opposite axis are no longer known keep the link they had.
    QHash<AxisStop::Ptr, Stop2::Ptr> mLinkedStops;
    QHash<Axis::Ptr, QWeakPointer<Axis>> mLinkedOpposites;
};

} // namespace tarvik

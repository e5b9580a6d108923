#pragma once

#include "tarvik/datamanager.h"
#include "tarvik/routesnapshot.h"

#include <QHash>

namespace tarvik {

class Connector;

// Keeps the operator's route network: loads "routes.json", syncs it with the back-end on a
// timer, merges the records received, saves the file and links the records. Each linked state
// is published as an immutable RouteSnapshot; the find queries read the current one and may be
// called from any thread. Everything else runs on the main thread. Emits syncStarted,
// dataChanged (the data changed and were linked anew) and syncEnded.
class RouteManager : public DataManager
{
    Q_OBJECT
public:
    RouteManager(Connector &connector, const QString &deviceUuid, const QString &storagePath,
                 QObject *parent = nullptr);
    ~RouteManager() override;

    void printSummary() const override;

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
    void onEntityDeleted(const QString &entityName, int id) override;
    // Links fresh copies of the records and publishes them as the new snapshot.
    void associate() override;

private:
    Q_DISABLE_COPY(RouteManager)

    void readTables(const QJsonObject &root) override;
    QJsonObject tablesToJson() const override;
    bool anyTableEmpty() const override;
    void requestData(const QDateTime &since) override;
    void connectRecords() override;
    void onStopGroupStopsReceived(const StopGroupStops::List &list);
    void onAxisStopsReceived(const AxisStop::List &list);

    // The records as loaded and received; never linked, so they can be copied for each snapshot.
    RouteSnapshot::Tables mTables;
    RouteSnapshot::ConstPtr mSnapshot; // read and replaced only through std::atomic_load/store
    // The links of the last association, by received record: an axis stop whose stop and an
    // axis whose opposite axis are no longer known keep the link they had.
    QHash<AxisStop::Ptr, Stop2::Ptr> mLinkedStops;
    QHash<Axis::Ptr, QWeakPointer<Axis>> mLinkedOpposites;
};

} // namespace tarvik

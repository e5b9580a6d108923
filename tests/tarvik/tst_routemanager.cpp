#include "tarvik/connector.h"
#include "tarvik/routemanager.h"

#include "support/filesizelimit.h"
#include "support/httptestserver.h"
#include "support/logcapture.h"
#include "support/testenv.h"

#include <QtTest>

#include <climits>

using namespace tarvik;

namespace {
const QString kTag = QStringLiteral("[tarvik::RouteManager] ");

QJsonObject axis(int id, int oppositeId)
{
    return {{"id", id}, {"oppositeAxisId", oppositeId}, {"name", QStringLiteral("Axis %1").arg(id)}};
}

QJsonObject axisStop(int id, int axisId, int stopId, int ordinal)
{
    return {{"id", id}, {"axisId", axisId}, {"stopId", stopId}, {"ordinal", ordinal}};
}

QJsonObject member(int id, int groupId, int stopId)
{
    return {{"id", id}, {"stopGroupId", groupId}, {"stopId", stopId}};
}

// Zones 10 (stops 1, 2), 20 (stops 3, 4) and 30 (stops 5, 6 and the unknown stop 99);
// axes 100 and 200 opposite each other, 300 whose opposite is unknown.
QJsonObject network()
{
    QJsonArray stops;
    for (int id = 1; id <= 6; ++id)
        stops.append(QJsonObject{{"id", id}, {"name", QStringLiteral("Stop %1").arg(id)}});
    return {
        {"Axis", QJsonArray{axis(100, 200), axis(200, 100), axis(300, 999)}},
        {"AxisStops", QJsonArray{axisStop(1003, 100, 5, 3), axisStop(1001, 100, 1, 1), axisStop(1002, 100, 3, 2),
                                 axisStop(2001, 200, 5, 1), axisStop(2002, 200, 1, 2),
                                 axisStop(3001, 300, 77, 1)}},
        {"Stops", stops},
        {"StopGroups", QJsonArray{QJsonObject{{"id", 10}, {"userIdentifier", "Z1"}},
                                  QJsonObject{{"id", 20}, {"userIdentifier", "Z2"}},
                                  QJsonObject{{"id", 30}, {"userIdentifier", "Z3"}}}},
        {"StopGroupStops", QJsonArray{member(1, 10, 1), member(2, 10, 2), member(3, 20, 3), member(4, 20, 4),
                                      member(5, 30, 5), member(6, 30, 6), member(7, 30, 99)}},
    };
}

QByteArray indented(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QList<int> ids(const Stop2::List &stops)
{
    QList<int> out;
    for (const Stop2::Ptr &stop : stops)
        out << stop->id();
    std::sort(out.begin(), out.end());
    return out;
}
} // namespace

class tst_RouteManager : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void loadsFromFile_data();
    void loadsFromFile();
    void linksTheNetwork();
    void queries();
    void syncWithChangeSavesAndRelinks();
    void failedSaveKeepsDateAndChange_data();
    void failedSaveKeepsDateAndChange();
    void heldSnapshotNeverChanges();
    void syncCyclesAgainstServer();

private:
    std::unique_ptr<TestEnv> mEnv;
    std::unique_ptr<Connector> mConnector;
    std::unique_ptr<RouteManager> mManager;
    std::unique_ptr<LogCapture> mLog;
};

void tst_RouteManager::init()
{
    mEnv = std::make_unique<TestEnv>();
    QVERIFY(mEnv->isValid());
    mConnector = std::make_unique<Connector>();
    mManager = std::make_unique<RouteManager>(*mConnector, QStringLiteral("SN-1"), mEnv->path());
    mLog = std::make_unique<LogCapture>();
}

void tst_RouteManager::cleanup()
{
    if (QTest::currentTestFailed())
        qWarning().noquote() << "Log of the failed test:\n" << mLog->texts().join('\n');
    mLog.reset();
    mManager.reset();
    mConnector.reset();
    mEnv.reset();
}

void tst_RouteManager::loadsFromFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("expectedAxes");
    QTest::addColumn<int>("expectedStops");
    QTest::addColumn<QString>("expectedLog");
    const QByteArray valid = indented(network());
    QTest::newRow("valid") << valid << 3 << 6 << QStringLiteral("Loading completed in : ");
    QTest::newRow("missing") << QByteArray() << 0 << 0 << QStringLiteral("WARN: Could not open file : ");
    QTest::newRow("truncated") << valid.left(valid.size() / 2) << 0 << 0
                               << QStringLiteral("ERROR: JSON syntax error : ");
    QTest::newRow("not-an-object") << QByteArray("[1, 2]") << 0 << 0 << QStringLiteral("Loading completed in : ");
    QTest::newRow("keys-not-arrays") << QByteArray(R"({"Axis": 5, "Stops": {"id": 1}})") << 0 << 0
                                     << QStringLiteral("Loading completed in : ");
}

void tst_RouteManager::loadsFromFile()
{
    QFETCH(QByteArray, content);
    QFETCH(int, expectedAxes);
    QFETCH(int, expectedStops);
    QFETCH(QString, expectedLog);
    if (!content.isNull())
        QVERIFY(mEnv->writeFile(QStringLiteral("routes.json"), content));

    mManager->start(0);

    QVERIFY2(mLog->containsPart(kTag + expectedLog), qPrintable(mLog->texts().join('\n')));
    QCOMPARE(mManager->findAllAxis().size(), expectedAxes);
    QCOMPARE(mManager->snapshot()->tables().stops.size(), expectedStops);
    QVERIFY(mLog->contains(kTag + QStringLiteral(" Axes           : %1").arg(expectedAxes)));
    QVERIFY(mLog->contains(kTag + QStringLiteral(" Stops          : %1").arg(expectedStops)));
}

void tst_RouteManager::linksTheNetwork()
{
    QVERIFY(mEnv->writeFile(QStringLiteral("routes.json"), indented(network())));
    mManager->start(0);

    const RouteSnapshot::ConstPtr snapshot = mManager->snapshot();
    const StopGroup2::Ptr zone3 = snapshot->findStopGroup(30);
    QVERIFY(zone3);
    QCOMPARE(ids(zone3->stops()), (QList<int>{5, 6}));
    QCOMPARE(snapshot->findStop(5)->stopGroup(), zone3);
    QVERIFY(mLog->contains(kTag + QStringLiteral("WARNING: Could not find stopId : 99")));

    const Axis::Ptr forth = snapshot->findAxis(100);
    QCOMPARE(forth->oppositeAxis(), snapshot->findAxis(200));
    QCOMPARE(snapshot->findAxis(200)->oppositeAxis(), forth);
    QVERIFY(!snapshot->findAxis(300)->oppositeAxis());
    QCOMPARE(forth->axisStops().size(), 3);
    QCOMPARE(forth->axisStops().at(0)->stop(), snapshot->findStop(1));
    QCOMPARE(forth->stopGroups().size(), 3);

    QVERIFY(mLog->contains(kTag + QStringLiteral("Associating StopGroups with Stops")));
    QVERIFY(mLog->contains(kTag + QStringLiteral("Associating Axes with Stops")));
    QVERIFY(mLog->containsPart(kTag + QStringLiteral("Route data associated in : ")));
}

void tst_RouteManager::queries()
{
    QVERIFY(mEnv->writeFile(QStringLiteral("routes.json"), indented(network())));
    mManager->start(0);

    QVERIFY(!mManager->findAxis(1));
    QVERIFY(!mManager->findStop(42));
    QVERIFY(!mManager->findStopGroup(0));

    QList<int> allAxes;
    for (const Axis::Ptr &a : mManager->findAllAxis())
        allAxes << a->id();
    QCOMPARE(allAxes, (QList<int>{100, 200, 300}));

    QList<int> groups;
    for (const StopGroup2::Ptr &g : mManager->findStopGroups({30, 5, 10, 30}))
        groups << g->id();
    QCOMPARE(groups, (QList<int>{30, 10, 30}));
    QVERIFY(mManager->findStopGroups({1, 2}).isEmpty());

    mLog->clear();
    QCOMPARE(ids(mManager->findStopsInStopGroup(30)), (QList<int>{5, 6}));
    QCOMPARE(mLog->count(kTag + QStringLiteral("WARNING: Could not find stopId : 99")), 1);
    QVERIFY(mManager->findStopsInStopGroup(77).isEmpty());

    QList<int> ordinals;
    for (const AxisStop::Ptr &s : mManager->findAxisStopsInAxis(100))
        ordinals << s->ordinal();
    QCOMPARE(ordinals, (QList<int>{1, 2, 3}));
    const AxisStop::List unknownStop = mManager->findAxisStopsInAxis(300);
    QCOMPARE(unknownStop.size(), 1);
    QVERIFY(!unknownStop.first()->stop());
    QVERIFY(mManager->findAxisStopsInAxis(400).isEmpty());
}

void tst_RouteManager::syncWithChangeSavesAndRelinks()
{
    QVERIFY(mEnv->writeFile(QStringLiteral("routes.json"), indented(network())));
    mManager->start(0);
    QList<int> order;
    connect(mManager.get(), &RouteManager::dataChanged, this, [&order] { order << 1; });
    connect(mManager.get(), &RouteManager::syncEnded, this, [&order] { order << 2; });

    emit mConnector->stopsReceived({Stop2::Ptr::create(QJsonObject{{"id", 7}, {"name", "New"}})});
    emit mConnector->stopGroupStopsReceived({StopGroupStops::Ptr::create(member(8, 20, 7))});
    emit mConnector->axisReceived({Axis::Ptr::create(QJsonObject{{"id", 100}, {"name", "Renamed"}})});
    emit mConnector->onRouteDataSyncEnd(QDateTime(QDate(2024, 3, 2), QTime(9, 0)));

    QCOMPARE(order, (QList<int>{1, 2}));
    QVERIFY(mLog->contains(kTag + QStringLiteral("Route Data changed!")));
    QVERIFY(mLog->contains(kTag + QStringLiteral("Received Stops           : 1")));
    QVERIFY(mLog->containsPart(kTag + QStringLiteral("Saving completed in : ")));
    QCOMPARE(mManager->findStop(7)->stopGroup(), mManager->findStopGroup(20));
    QCOMPARE(mManager->findAxis(100)->name(), QStringLiteral("Renamed"));
    QCOMPARE(mManager->findAllAxis().size(), 3);
    QCOMPARE(mManager->lastSyncDate(), QDateTime(QDate(2024, 3, 2), QTime(9, 0)));
}

void tst_RouteManager::failedSaveKeepsDateAndChange_data()
{
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<QString>("expectedLog");
    QTest::newRow("folder-in-the-way") << false << QStringLiteral("ERROR: Could not open file : ");
    QTest::newRow("disk-full") << true << QStringLiteral("ERROR: Could not write file : ");
}

void tst_RouteManager::failedSaveKeepsDateAndChange()
{
    QFETCH(bool, diskFull);
    QFETCH(QString, expectedLog);
    const QString path = mEnv->filePath(QStringLiteral("routes.json"));
    const QByteArray original = indented(network());
    if (diskFull)
        QVERIFY(mEnv->writeFile(QStringLiteral("routes.json"), original));
    else
        QVERIFY(QDir(mEnv->path()).mkdir(QStringLiteral("routes.json")));
    mManager->start(0);
    const QDateTime first(QDate(2024, 3, 1), QTime(8, 0));
    emit mConnector->onRouteDataSyncEnd(first);
    QSignalSpy changed(mManager.get(), &RouteManager::dataChanged);

    emit mConnector->stopsReceived({Stop2::Ptr::create(QJsonObject{{"id", 7}})});
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (diskFull) {
            limit = std::make_unique<FileSizeLimit>(64);
            QVERIFY(limit->isActive());
        }
        emit mConnector->onRouteDataSyncEnd(QDateTime(QDate(2024, 3, 2), QTime(8, 0)));
    }

    QVERIFY2(mLog->containsPart(kTag + expectedLog + path), qPrintable(mLog->texts().join('\n')));
    QCOMPARE(mManager->lastSyncDate(), first);
    QCOMPARE(changed.count(), 1);
    QVERIFY(mManager->findStop(7));
    if (diskFull) {
        // The file on disk is the previous one, whole.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), original);
    } else {
        QVERIFY(QDir(mEnv->path()).rmdir(QStringLiteral("routes.json")));
    }

    // Once the disk takes the file, a cycle that brings nothing new still saves it.
    const QDateTime third(QDate(2024, 3, 3), QTime(8, 0));
    emit mConnector->onRouteDataSyncEnd(third);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(mManager->lastSyncDate(), third);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(file.readAll()).object().value("Stops").toArray().size(), diskFull ? 7 : 1);
}

void tst_RouteManager::heldSnapshotNeverChanges()
{
    QVERIFY(mEnv->writeFile(QStringLiteral("routes.json"), indented(network())));
    mManager->start(0);
    const RouteSnapshot::ConstPtr held = mManager->snapshot();
    const Stop2::Ptr stop = held->findStop(1);
    const StopGroup2::Ptr zone = stop->stopGroup();

    emit mConnector->entityDeleted(QStringLiteral("STOP_GROUPS"), 10);
    emit mConnector->onRouteDataSyncEnd(QDateTime(QDate(2024, 3, 1), QTime(8, 0)));

    QVERIFY(!mManager->findStopGroup(10));
    QVERIFY(!mManager->findStop(1)->stopGroup());
    QCOMPARE(held->findStopGroup(10), zone);
    QCOMPARE(stop->stopGroup(), zone);
    QCOMPARE(ids(zone->stops()), (QList<int>{1, 2}));
}

void tst_RouteManager::syncCyclesAgainstServer()
{
    HttpTestServer server;
    QVERIFY(server.start());
    mConnector->setUrl(server.baseUrl());
    mConnector->setStoragePath(mEnv->path());
    const QString path = QStringLiteral("/web/api/sync_bo");
    const auto reply = [](QJsonObject object) {
        object.insert("resp", "OK");
        return HttpTestServer::Response::json(200, QJsonDocument(object).toJson(QJsonDocument::Compact));
    };
    const auto requestedSince = [&server] {
        return QJsonDocument::fromJson(server.lastRequest().body).object().value("lastSyncDate");
    };
    QSignalSpy ended(mManager.get(), &RouteManager::syncEnded);
    QSignalSpy changed(mManager.get(), &RouteManager::dataChanged);

    // 1. Nothing on the device: everything is asked for.
    QJsonObject full = network();
    full.insert("newsyncdate", "01/03/2024 08:00:00");
    server.setResponse(path, reply(full));
    mManager->start(120);
    QVERIFY(ended.wait(10000));
    QCOMPARE(requestedSince(), QJsonValue(QJsonValue::Null));
    QVERIFY(mLog->contains(kTag + QStringLiteral("WARNING: Some data are empty. Performing full sync.")));
    QVERIFY(mLog->contains(kTag + QStringLiteral("Syncing Route Data with Tarvik : deviceUuid=SN-1, "
                                                 "lastSyncDate=01/01/1970 00:00:00")));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(mManager->findAllAxis().size(), 3);
    QVERIFY(QFileInfo(mEnv->filePath(QStringLiteral("routes.json"))).isFile());
    QCOMPARE(mManager->lastSyncDate(), QDateTime(QDate(2024, 3, 1), QTime(8, 0)));

    // 2. Every table filled: only what changed since the stored date, here one deletion.
    server.setResponse(path, reply({{"newsyncdate", "02/03/2024 09:00:00"}, {"Axis", QJsonArray()},
                                    {"DeletedEntities", QJsonArray{QJsonObject{{"tableName", "STOPS"},
                                                                               {"tableId", 6}}}}}));
    mManager->syncWithTarvik();
    QVERIFY(ended.wait(10000));
    QCOMPARE(requestedSince(), QJsonValue("01/03/2024 08:00:00"));
    QVERIFY(!mManager->findStop(6));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(mManager->lastSyncDate(), QDateTime(QDate(2024, 3, 2), QTime(9, 0)));

    // 3. A refused reply ends nothing: the next cycle asks from the same date.
    server.setResponse(path, HttpTestServer::Response::json(200, R"({"resp":"ERROR","error":"busy"})"));
    mManager->syncWithTarvik();
    QTRY_COMPARE_WITH_TIMEOUT(server.requestCount(), 3, 10000);
    QVERIFY(QTest::qWaitFor([this] { return mLog->containsPart(QStringLiteral("sync-bo failed")); }, 10000));
    QCOMPARE(ended.count(), 2);
    QCOMPARE(mManager->lastSyncDate(), QDateTime(QDate(2024, 3, 2), QTime(9, 0)));

    // 4. Nothing new: the date moves on, the file is not written again.
    const int saves = mLog->count(kTag + QStringLiteral("Saving Route Data to file : ")
                                  + mEnv->filePath(QStringLiteral("routes.json")));
    server.setResponse(path, reply({{"newsyncdate", "03/03/2024 10:00:00"}, {"Axis", QJsonArray()}}));
    mManager->syncWithTarvik();
    QVERIFY(ended.wait(10000));
    QCOMPARE(requestedSince(), QJsonValue("02/03/2024 09:00:00"));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(mLog->count(kTag + QStringLiteral("Saving Route Data to file : ")
                         + mEnv->filePath(QStringLiteral("routes.json"))), saves);
    QCOMPARE(mManager->lastSyncDate(), QDateTime(QDate(2024, 3, 3), QTime(10, 0)));
    mManager->stop();
    QVERIFY(!mManager->findChild<QTimer *>()->isActive());
}

QTEST_GUILESS_MAIN(tst_RouteManager)
#include "tst_routemanager.moc"

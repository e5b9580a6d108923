#include "managerfixture.h"

#include "support/filesizelimit.h"
#include "support/httptestserver.h"


using namespace tarvik;

namespace {
const QString kTag = QStringLiteral("[tarvik::RouteManager] ");

// The network of data/routemanager.json.
QJsonObject network()
{
    return sample("network", "routemanager.json");
}

QByteArray indented(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}
} // namespace

class tst_RouteManager : public QObject, ManagerFixture
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void cases_data();
    void cases();
    void syncCyclesAgainstServer();

};

void tst_RouteManager::init()
{
    QVERIFY(setUp());
}

void tst_RouteManager::cleanup()
{
    tearDown();
}

// Route files and look-ups; the answers and every line logged are pinned in
// data/routemanager.expected.json. A "?" marks a link to a record that is not the manager's own.
void tst_RouteManager::cases_data()
{
    addCaseRows(sample("cases", "routemanager.json"));
}

void tst_RouteManager::cases()
{
    QFETCH(QString, name);
    QFETCH(QJsonObject, testCase);
    QByteArray content = testCase.contains("file") ? indented(network()) : testCase.value("text").toString().toUtf8();
    if (testCase.value("truncate").toBool())
        content.truncate(content.size() / 2);
    if (testCase.contains("file") || testCase.contains("text"))
        QVERIFY(mEnv->writeFile(QStringLiteral("routes.json"), content));
    mRoutes->start(0);
    const RouteSnapshot::ConstPtr snapshot = mRoutes->snapshot();
    const auto own = [&snapshot](const auto &record, const auto &mine) {
        return !record ? QStringLiteral("-") : QString::number(record->id()) + (record == mine(record->id()) ? "" : "?");
    };
    const auto group = [&](const StopGroup2::Ptr &g) { return own(g, [&](int id) { return snapshot->findStopGroup(id); }); };
    const auto stop = [&](const Stop2::Ptr &s) { return own(s, [&](int id) { return snapshot->findStop(id); }); };
    const auto axisStop = [&](const AxisStop::Ptr &s) { return stop(s->stop()); };
    QStringList answers;
    for (const QJsonValue &query : testCase.value("queries").toArray()) {
        const QStringList q = query.toString().split(' ');
        const int a = q.value(1).toInt();
        QString answer = "-";
        if (q.at(0) == "axis") {
            if (const Axis::Ptr axis = mRoutes->findAxis(a))
                answer = QStringLiteral("opposite=%1 stops=%2 zones=%3")
                             .arg(own(axis->oppositeAxis(), [&](int id) { return snapshot->findAxis(id); }),
                                  joined(axis->axisStops(), axisStop), ids(axis->stopGroups()));
        } else if (q.at(0) == "stop") {
            if (const Stop2::Ptr s = mRoutes->findStop(a))
                answer = stop(s) + " zone=" + group(s->stopGroup());
        } else if (q.at(0) == "stopGroup") {
            if (const StopGroup2::Ptr g = mRoutes->findStopGroup(a))
                answer = group(g) + " stops=" + joined(g->stops(), stop, true);
        } else if (q.at(0) == "allAxes") {
            answer = ids(mRoutes->findAllAxis());
        } else if (q.at(0) == "stopGroups") {
            QList<int> wanted;
            for (const QString &id : q.mid(1))
                wanted << id.toInt();
            answer = ids(mRoutes->findStopGroups(wanted));
        } else if (q.at(0) == "stopsIn") {
            answer = ids(mRoutes->findStopsInStopGroup(a), true);
        } else if (q.at(0) == "axisStops") {
            answer = joined(mRoutes->findAxisStopsInAxis(a), [&](const AxisStop::Ptr &s) {
                return QStringLiteral("%1:%2").arg(s->ordinal()).arg(axisStop(s));
            });
        }
        answers << query.toString() + " => " + answer;
    }
    compareGolden(TEST_DATA_DIR "/routemanager.expected.json", name, answers);
}

// Cycles against the back-end: a full sync of an empty device, the changes since the stored date
// (a new stop joins its zone, deletions), a refused reply that ends nothing, a reply with nothing
// new that moves the date on without writing the file again, then saves that fail (a full disk, a
// folder in the way) and keep the date and the change for the next sync. What each cycle asked and
// left, and the manager's lines, are pinned in data/routemanager.expected.json. A snapshot held
// from the first cycle on never changes.
void tst_RouteManager::syncCyclesAgainstServer()
{
    HttpTestServer server;
    QVERIFY(server.start());
    mConnector->setUrl(server.baseUrl());
    mConnector->setStoragePath(mEnv->path());
    QStringList answers;
    connect(mRoutes.get(), &RouteManager::dataChanged, this, [&answers] { answers << "changed"; });
    connect(mRoutes.get(), &RouteManager::syncEnded, this, [&answers] { answers << "ended"; });
    const auto cycle = [&](QJsonObject reply) {
        reply.insert("resp", reply.value("resp").toString("OK"));
        server.setResponse("/web/api/sync_bo", HttpTestServer::Response::json(200, QJsonDocument(reply).toJson(QJsonDocument::Compact)));
        const int requests = server.requestCount(), ends = answers.count("ended");
        const int failures = mLog->texts().filter("sync-bo failed").size();
        requests == 0 ? mRoutes->start(120) : mRoutes->syncWithTarvik();
        QVERIFY(QTest::qWaitFor([&] { return answers.count("ended") > ends || mLog->texts().filter("sync-bo failed").size() > failures; }, 10000));
        const Stop2::Ptr added = mRoutes->findStop(7);
        answers << QStringLiteral("requests=%1 since=%2 last=%3 axes=%4 axis100=%5 stops6/9/10=%6%7%8 stop7=%9")
                       .arg(server.requestCount() - requests)
                       .arg(QJsonDocument::fromJson(server.lastRequest().body).object().value("lastSyncDate").toString("null"))
                       .arg(mRoutes->lastSyncDate().toString(Qt::ISODate)).arg(mRoutes->findAllAxis().size())
                       .arg(mRoutes->findAxis(100)->name()).arg(bool(mRoutes->findStop(6))).arg(bool(mRoutes->findStop(9)))
                       .arg(bool(mRoutes->findStop(10))).arg(!added ? "-" : QString::number(added->stopGroup() == mRoutes->findStopGroup(20)));
    };
    QJsonObject full = network();
    full.insert("newsyncdate", "01/03/2024 08:00:00");
    cycle(full);
    const RouteSnapshot::ConstPtr held = mRoutes->snapshot(); // as a validator holds it through every later cycle
    const StopGroup2::Ptr zone = held->findStopGroup(10);
    cycle({{"newsyncdate", "02/03/2024 09:00:00"}, {"Axis", QJsonArray{QJsonObject{{"id", 100}, {"name", "Renamed"}}}},
           {"Stops", QJsonArray{QJsonObject{{"id", 7}, {"name", "New"}}}},
           {"StopGroupStops", QJsonArray{QJsonObject{{"id", 8}, {"stopGroupId", 20}, {"stopId", 7}}}},
           {"DeletedEntities", QJsonArray{QJsonObject{{"tableName", "STOPS"}, {"tableId", 6}},
                                              QJsonObject{{"tableName", "STOP_GROUPS"}, {"tableId", 10}}}}});
    cycle({{"resp", "ERROR"}, {"error", "busy"}});
    cycle({{"newsyncdate", "03/03/2024 10:00:00"}, {"Axis", QJsonArray()}});
    const QString path = mEnv->filePath(QStringLiteral("routes.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    file.close();
    {
        const FileSizeLimit limit(64);
        QVERIFY(limit.isActive());
        cycle({{"newsyncdate", "04/03/2024 11:00:00"}, {"Axis", QJsonArray()}, {"Stops", QJsonArray{QJsonObject{{"id", 9}}}}});
    }
    QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == saved); // the previous file, whole
    file.close();
    QVERIFY(QFile::remove(path) && QDir().mkdir(path));
    cycle({{"newsyncdate", "05/03/2024 12:00:00"}, {"Axis", QJsonArray()}, {"Stops", QJsonArray{QJsonObject{{"id", 10}}}}});
    QVERIFY(!mRoutes->findStopGroup(10) && !mRoutes->findStop(1)->stopGroup());
    QVERIFY(zone && held->findStop(6) && held->findStop(1)->stopGroup() == zone);
    QCOMPARE(ids(zone->stops(), true), QStringLiteral("[1,2]"));
    mRoutes->stop();
    QVERIFY(!mRoutes->findChild<QTimer *>()->isActive());
    compareGolden(TEST_DATA_DIR "/routemanager.expected.json", "sync-cycles", answers, kTag);
}

QTEST_GUILESS_MAIN(tst_RouteManager)
#include "tst_routemanager.moc"

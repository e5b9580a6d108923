#include "db/customerdb.h"
#include "db/dbmanager.h"
#include "db/deviceparamsdb.h"
#include "framework/configuration.h"
#include "framework/mqttclient.h"
#include "framework/serialnumber_p.h"
#include "framework/settings.h"
#include "tarvik/actionlistmanager.h"
#include "tarvik/faremanager.h"
#include "tarvik/routemanager.h"

#include "gatewayrig.h"

#include "support/brokerfixture.h"
#include "support/dbservicepeer.h"
#include "support/filesizelimit.h"
#include "support/httptestserver.h"
#include "support/logcapture.h"
#include "support/testenv.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>

using Response = HttpTestServer::Response;

namespace {

const QString kSyncPath = QStringLiteral("/bo/web/api/sync_bo");
const QString kCustomerPath = QStringLiteral("/bo/web/api/customers/get_details");
const QString kActionPath = QStringLiteral("/bo/web/abt/client/action");
const QString kTag = QStringLiteral("[DBManager] ");
const int kWaitMs = 10000;

QJsonObject param(int id, const QString &key, const QString &value)
{
    return {{"id", id}, {"carriersId", 1}, {"key", key}, {"value", value}, {"keyDescription", "test"}};
}

// One answer for every sync: the route manager, the fare manager and the device parameters
// each take their part of it.
QJsonObject syncReply(const QJsonArray &params, const QJsonArray &deleted = QJsonArray())
{
    QJsonObject reply{
        {"resp", "OK"},
        {"newsyncdate", "06/12/2026 10:00:00"},
        {"DeviceTypeKeyValues", params},
        {"Axis", QJsonArray{QJsonObject{{"id", 101}, {"userIdentifier", "1A"}}}},
        {"Stops", QJsonArray{QJsonObject{{"id", 1}}}},
    };
    if (!deleted.isEmpty())
        reply.insert("DeletedEntities", deleted);
    return reply;
}

QByteArray png()
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QJsonObject customerJson(int id, const QString &card, const QString &first, const QString &last)
{
    return {{"id", id},
            {"uuid", QStringLiteral("uuid-%1").arg(id)},
            {"smartCardUuid", card},
            {"passengerType", QJsonObject{{"code", "PT_ADULT"}}},
            {"name", first},
            {"surname", last},
            {"accountCreationDate", "04/03/2023 05:06:07"}};
}

QJsonObject body(const HttpTestServer::Request &request)
{
    return QJsonDocument::fromJson(request.body).object();
}

// The device-parameter syncs among the requests, in order.
QList<QJsonObject> paramSyncs(const HttpTestServer &server)
{
    QList<QJsonObject> out;
    for (const HttpTestServer::Request &request : server.requests()) {
        if (request.path() == kSyncPath && body(request).value("syncTables").toArray() == QJsonArray{20})
            out << body(request);
    }
    return out;
}

int countRequests(const HttpTestServer &server, const QString &path, const QJsonArray &tables = QJsonArray())
{
    int n = 0;
    for (const HttpTestServer::Request &request : server.requests()) {
        if (request.path() == path && (tables.isEmpty() || body(request).value("syncTables").toArray() == tables))
            ++n;
    }
    return n;
}

} // namespace

class tst_DBManagerBackend : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void storagePath_data();
    void storagePath();
    void startsWithConfiguredUrl();
    void nothingWithoutUrl_data();
    void nothingWithoutUrl();
    void startsWhenServiceNamesBackend();
    void secondBackendUrlKeepsLink();
    void timerPeriods_data();
    void timerPeriods();
    void findCustomer_data();
    void findCustomer();
    void prefetchCustomer_data();
    void prefetchCustomer();
    void prefetchFromAnotherThreadStoresAnswer();
    void failedParamSyncForcesFullSync_data();
    void failedParamSyncForcesFullSync();
    void deviceManagementReportGoesToBackend();

private:
    QString url() const { return mServer->baseUrl().toString() + QStringLiteral("/bo"); }
    QString storage() { return mRig.env().filePath(QStringLiteral("tarvik/127_0_0_1/bo")); }
    // The gateway without a broker: the back-end side needs none.
    DBManagerPrivate &gateway();
    // A facade on the broker with a scripted database service, its back-end URL unknown.
    DBManager &connectedGateway();
    void seedStores(const QList<QJsonObject> &params, const QList<QJsonObject> &customers);
    bool waitForSyncDate(int count);

    BrokerFixture mBroker;
    GatewayRig mRig;
    std::unique_ptr<HttpTestServer> mServer;
    std::unique_ptr<LogCapture> mLog;
    std::unique_ptr<DBManagerPrivate> mGateway;
};

DBManagerPrivate &tst_DBManagerBackend::gateway()
{
    if (!mGateway)
        mGateway = std::make_unique<DBManagerPrivate>(nullptr);
    return *mGateway;
}

DBManager &tst_DBManagerBackend::connectedGateway()
{
    GatewayRig::setSetting(QStringLiteral("tarvik/url"), QString());
    [&] { QVERIFY(mRig.start(mBroker, true)); }();
    return *mRig.db();
}

// Stores filled before the gateway opens them, through stores of their own on the same files.
void tst_DBManagerBackend::seedStores(const QList<QJsonObject> &params, const QList<QJsonObject> &customers)
{
    QVERIFY(QDir().mkpath(storage()));
    {
        DeviceParamsDB store(storage() + QStringLiteral("/deviceParams.sqlite"));
        for (const QJsonObject &p : params)
            store.insert(tarvik::KeyValue::Ptr::create(p));
    }
    {
        CustomerDB store(storage() + QStringLiteral("/customers.sqlite"));
        for (const QJsonObject &c : customers) {
            auto customer = tarvik::Customer::Ptr::create(c);
            customer->setImage(c.value("image").toString());
            QVERIFY(store.insert(customer));
        }
    }
}

// The back-end client has handled a sync reply with device parameters once it logs the
// stored date: the gateway's handlers ran before that.
bool tst_DBManagerBackend::waitForSyncDate(int count)
{
    return QTest::qWaitFor(
        [&] { return mLog->texts().filter(QStringLiteral("Setting Last Sync Date to : ")).size() >= count; }, kWaitMs);
}

void tst_DBManagerBackend::initTestCase()
{
    qRegisterMetaType<tarvik::KeyValue::Ptr>();
    QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
}

void tst_DBManagerBackend::init()
{
    QVERIFY(mRig.prepare());
    QVERIFY(mRig.env().writeFile(QStringLiteral("serialnumber"), QByteArrayLiteral("ZUB-TEST-7\n")));
    setSerialNumberFile(mRig.env().filePath(QStringLiteral("serialnumber")).toStdString());
    mServer = std::make_unique<HttpTestServer>();
    QVERIFY(mServer->start());
    mServer->setResponse(kSyncPath, Response::json(200, QJsonDocument(syncReply({})).toJson()));
    mServer->setResponse(kActionPath, Response::json(200, "[]"));
    mLog = std::make_unique<LogCapture>();
}

void tst_DBManagerBackend::cleanup()
{
    if (QTest::currentTestFailed())
        qWarning().noquote() << "Log of the failed test:\n" << mLog->texts().join('\n');
    mGateway.reset();
    mRig.stop();
    mLog.reset();
    mServer.reset();
    setSerialNumberFile(std::string());
}

void tst_DBManagerBackend::storagePath_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("expected"); // below the root

    QTest::newRow("ip-with-path") << "https://10.0.0.5/bo" << "10_0_0_5/bo";
    QTest::newRow("port-and-scheme-ignored") << "https://bo.example.com:8443/api/v2/" << "bo_example_com/api/v2";
    QTest::newRow("dot-dot-segments") << "http://host/a/../../../../etc" << "host/a/etc";
    QTest::newRow("encoded-slash-hides-dot-dot") << "http://host/a%2f..%2f..%2f..%2fetc" << "host/a/etc";
    QTest::newRow("no-host") << "file:///../../root" << "root";
}

void tst_DBManagerBackend::storagePath()
{
    QFETCH(QString, url);
    QFETCH(QString, expected);

    const QString root = mRig.env().filePath(QStringLiteral("tarvik"));
    const QString path = gateway().storagePath(QUrl(url, QUrl::TolerantMode));
    QCOMPARE(path, root + QLatin1Char('/') + expected);
    QVERIFY(QFileInfo(path).isDir());
    QVERIFY(mLog->contains(kTag + QStringLiteral("WARN: Storage path does not exist. Creating : ") + path));

    // Computed again, it exists: no second warning.
    mLog->clear();
    QCOMPARE(gateway().storagePath(QUrl(url, QUrl::TolerantMode)), path);
    QVERIFY(!mLog->containsPart(QStringLiteral("Storage path does not exist")));
}

void tst_DBManagerBackend::startsWithConfiguredUrl()
{
    GatewayRig::setSetting(QStringLiteral("tarvik/url"), url());
    QMap<QString, qint64> firstSeen;
    QElapsedTimer clock;
    connect(mServer.get(), &HttpTestServer::requestReceived, this, [&] {
        const HttpTestServer::Request request = mServer->lastRequest();
        QString name = request.path();
        if (request.path() == kSyncPath)
            name = QString::fromUtf8(QJsonDocument(body(request).value("syncTables").toArray()).toJson(QJsonDocument::Compact));
        if (!firstSeen.contains(name))
            firstSeen.insert(name, clock.elapsed());
    });

    clock.start();
    gateway().initialize();

    // At once: the stores, the managers, the first clean-up and the first (full) parameter sync.
    QVERIFY(QFileInfo::exists(storage() + QStringLiteral("/deviceParams.sqlite")));
    QVERIFY(QFileInfo::exists(storage() + QStringLiteral("/customers.sqlite")));
    QVERIFY(gateway().routeData());
    QVERIFY(gateway().fareData());
    QVERIFY(gateway().actionList());
    QVERIFY(mLog->contains(kTag + QStringLiteral("WARN: Device Parameter Database is empty. Performing full sync with Tarvik.")));
    QVERIFY(mLog->contains(kTag + QStringLiteral("Syncing device parameters with Tarvik.")));
    QVERIFY(mLog->contains(kTag + QStringLiteral("Deleted 0 entry(s)")));

    // The managers one after the other, 1, 2 and 3 seconds later.
    QTRY_VERIFY_WITH_TIMEOUT(firstSeen.contains(kActionPath), kWaitMs);
    const qint64 route = firstSeen.value("[1,2,3,19]", -1);
    const qint64 fare = firstSeen.value("[7,8,9,10,11,12,14,15,16,17,18,41,42]", -1);
    const qint64 actions = firstSeen.value(kActionPath);
    QVERIFY2(firstSeen.value("[20]", -1) >= 0 && firstSeen.value("[20]") < route, qPrintable(QString::number(route)));
    // Coarse timers may fire up to 5 % early.
    QVERIFY2(route >= 950 && fare >= 1900 && actions >= 2850 && route < fare && fare < actions,
             qPrintable(QStringLiteral("%1 %2 %3").arg(route).arg(fare).arg(actions)));

    const QList<QJsonObject> syncs = paramSyncs(*mServer);
    QCOMPARE(syncs.size(), 1);
    QCOMPARE(syncs.first().value("devicesUuid"), QJsonValue("ZUB-TEST-7"));
    QCOMPARE(syncs.first().value("lastSyncDate"), QJsonValue(QJsonValue::Null));
    QCOMPARE(mServer->requests().first().header("x-api-key"), QByteArray("7c1e9a04b5d36f28e0a9c41b7d2f6e53"));
    QTRY_VERIFY_WITH_TIMEOUT(gateway().routeData()->findAxis(101), kWaitMs);
}

void tst_DBManagerBackend::nothingWithoutUrl_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("configuredUrl");
    QTest::newRow("url-empty") << true << QString();
    QTest::newRow("link-disabled") << false << QStringLiteral("set");
}

void tst_DBManagerBackend::nothingWithoutUrl()
{
    QFETCH(bool, enabled);
    QFETCH(QString, configuredUrl);

    GatewayRig::setSetting(QStringLiteral("tarvik/enabled"), enabled);
    GatewayRig::setSetting(QStringLiteral("tarvik/url"), configuredUrl.isEmpty() ? QString() : url());
    gateway();
    mLog->clear();
    gateway().initialize();

    QVERIFY(!QFileInfo::exists(mRig.env().filePath(QStringLiteral("tarvik"))));
    QCOMPARE(gateway().routeData(), nullptr);
    QCOMPARE(gateway().fareData(), nullptr);
    QCOMPARE(gateway().actionList(), nullptr);
    QVERIFY(!gateway().findCustomer(1));
    QVERIFY(!gateway().findDeviceParam(QStringLiteral("CARD_VALIDATION_HIDE_NAME")));
    gateway().prefetchCustomer(1);
    gateway().prefetchCustomer(QStringLiteral("04AABB"));
    gateway().syncDatabase();
    gateway().cleanupDatabase();
    QVERIFY2(mLog->texts().filter(kTag).isEmpty(), qPrintable(mLog->texts().join('\n')));
    QCOMPARE(mServer->requestCount(), 0);
}

void tst_DBManagerBackend::startsWhenServiceNamesBackend()
{
    DBManager &db = connectedGateway();
    QCOMPARE(db.routeData(), nullptr);

    // The validation thread asks all along; it sees nothing, then a working link.
    std::atomic<int> nullAnswers{0};
    std::atomic<bool> axisFound{false};
    std::atomic<bool> stop{false};
    std::unique_ptr<QThread> worker(QThread::create([&] {
        while (!stop && !axisFound) {
            tarvik::RouteManager *routes = db.routeData();
            tarvik::FareManager *fares = db.fareData();
            tarvik::ActionListManager *actions = db.actionList();
            if (!routes) {
                // No store yet: nothing is looked up, nothing is fetched.
                db.prefetchCustomer(7);
                db.prefetchCustomer(QStringLiteral("04AABB"));
                if (!db.findCustomer(7) && !db.findDeviceParam(QStringLiteral("CARD_VALIDATION_HIDE_NAME")))
                    ++nullAnswers;
                continue;
            }
            db.findDeviceParam(QStringLiteral("CARD_VALIDATION_HIDE_NAME"));
            if (fares)
                fares->findFareProduct(1);
            if (actions)
                actions->actionsByUid(QStringLiteral("04AABB"), 0);
            axisFound = !routes->findAxis(101).isNull();
        }
    }));
    worker->start();
    // Let the worker ask a while before the URL comes.
    QTRY_VERIFY_WITH_TIMEOUT(nullAnswers > 20, kWaitMs);
    mRig.peer().publishConfig(QJsonObject{{"bo_url", url()}});
    QTRY_VERIFY_WITH_TIMEOUT(axisFound, kWaitMs);
    stop = true;
    worker->wait();

    QSettings file(mRig.env().settingsFile(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("tarvik/url")).toString(), url());
    QVERIFY(QFileInfo::exists(storage() + QStringLiteral("/deviceParams.sqlite")));
    // No sync at once: the sync timer makes the first one.
    QCOMPARE(countRequests(*mServer, kSyncPath, QJsonArray{20}), 0);
    QVERIFY(mLog->contains(kTag + QStringLiteral("WARN : Configured Tarvik URL is empty. Extracting from DBManager : ") + url()));
}

void tst_DBManagerBackend::secondBackendUrlKeepsLink()
{
    DBManager &db = connectedGateway();
    mRig.peer().publishConfig(QJsonObject{{"bo_url", url()}});
    QVERIFY(mRig.sync());
    tarvik::RouteManager *routes = db.routeData();
    tarvik::FareManager *fares = db.fareData();
    tarvik::ActionListManager *actions = db.actionList();
    QVERIFY(routes && fares && actions);

    mLog->clear();
    // The same URL again says nothing; another one is written down but changes no link.
    mRig.peer().publishConfig(QJsonObject{{"bo_url", url()}});
    mRig.peer().publishConfig(QJsonObject{{"bo_url", "http://10.9.9.9/other"}});
    QVERIFY(mRig.sync());
    QCOMPARE(db.routeData(), routes);
    QCOMPARE(db.fareData(), fares);
    QCOMPARE(db.actionList(), actions);
    QCOMPARE(mLog->texts().filter(QStringLiteral("Tarvik URL")),
             QStringList{"[DBManager] WARN : Mismatched configured Tarvik URL. Updating from DBManager : http://10.9.9.9/other"});

    // One set of managers, still hearing the back-end client at the first URL.
    QTRY_VERIFY_WITH_TIMEOUT(countRequests(*mServer, kActionPath) > 0, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(routes->findAxis(101), kWaitMs);
    QCOMPARE(countRequests(*mServer, kSyncPath, QJsonArray{1, 2, 3, 19}), 1);
    QCOMPARE(countRequests(*mServer, kActionPath), 1);
}

void tst_DBManagerBackend::timerPeriods_data()
{
    QTest::addColumn<QVariant>("syncMinutes");
    QTest::addColumn<QVariant>("cleanupMinutes");
    QTest::addColumn<int>("expectedSyncMs"); // 0: not running
    QTest::addColumn<int>("expectedCleanupMs");

    QTest::newRow("defaults") << QVariant() << QVariant() << 10 * 60000 << 60 * 60000;
    QTest::newRow("sync-zero") << QVariant(0) << QVariant(60) << 0 << 60 * 60000;
    QTest::newRow("cleanup-negative") << QVariant(10) << QVariant(-5) << 10 * 60000 << 0;
    QTest::newRow("too-long-saturates") << QVariant(100000000) << QVariant(60) << std::numeric_limits<int>::max()
                                        << 60 * 60000;
}

void tst_DBManagerBackend::timerPeriods()
{
    QFETCH(QVariant, syncMinutes);
    QFETCH(QVariant, cleanupMinutes);
    QFETCH(int, expectedSyncMs);
    QFETCH(int, expectedCleanupMs);

    GatewayRig::setSetting(QStringLiteral("tarvik/url"), url());
    if (syncMinutes.isValid()) {
        GatewayRig::setSetting(QStringLiteral("tarvik/deviceParamSyncMin"), syncMinutes);
        GatewayRig::setSetting(QStringLiteral("tarvik/dbCleanupMins"), cleanupMinutes);
    }
    gateway().initialize();

    const auto check = [&](const QString &name, const QString &key, const QVariant &minutes, int expectedMs) {
        const QTimer *timer = gateway().findChild<QTimer *>(name);
        QVERIFY(timer);
        QCOMPARE(timer->isActive(), expectedMs > 0);
        if (expectedMs > 0)
            QCOMPARE(timer->interval(), expectedMs);
        const QString warning = kTag + QStringLiteral("WARN: Setting %1 is not a positive number of minutes : %2. Not repeated.")
                                           .arg(key, minutes.toString());
        QCOMPARE(mLog->count(warning), expectedMs > 0 ? 0 : 1);
    };
    check(QStringLiteral("deviceParamSyncTimer"), QStringLiteral("tarvik/deviceParamSyncMin"), syncMinutes, expectedSyncMs);
    check(QStringLiteral("cleanupTimer"), QStringLiteral("tarvik/dbCleanupMins"), cleanupMinutes, expectedCleanupMs);
    // The start-up sync and clean-up run once either way.
    QTRY_COMPARE_WITH_TIMEOUT(paramSyncs(*mServer).size(), 1, kWaitMs);
    QCOMPARE(mLog->texts().filter(QStringLiteral("Cleaning database customer entries older than")).size(), 1);
}

void tst_DBManagerBackend::findCustomer_data()
{
    QTest::addColumn<QVariant>("hideName"); // invalid: no such parameter
    QTest::addColumn<QString>("expectedFirst");
    QTest::addColumn<QString>("expectedLast");

    const QString first = QStringLiteral("Ελένη");
    const QString last = QStringLiteral("Anne-Marie \U0001D49C");
    QTest::newRow("parameter-absent") << QVariant() << first << last;
    QTest::newRow("true") << QVariant("true") << "*****" << "************";
    QTest::newRow("zero") << QVariant("0") << first << last;
}

void tst_DBManagerBackend::findCustomer()
{
    QFETCH(QVariant, hideName);
    QFETCH(QString, expectedFirst);
    QFETCH(QString, expectedLast);

    const QString first = QStringLiteral("Ελένη");
    const QString last = QStringLiteral("Anne-Marie \U0001D49C");
    QList<QJsonObject> params;
    if (hideName.isValid())
        params << param(1, QStringLiteral("CARD_VALIDATION_HIDE_NAME"), hideName.toString());
    seedStores(params, {customerJson(501, "CARD-501", first, last), customerJson(1, "CARD-1", "Old", "Customer")});
    // Customer 501 within "tarvik/dbKeepDays", customer 1 beyond: the start-up clean-up takes it.
    {
        CustomerDB store(storage() + QStringLiteral("/customers.sqlite"));
        QVERIFY(store.updateLastAccessTime(501, QDateTime::currentDateTime().addDays(-10)));
        QVERIFY(store.updateLastAccessTime(1, QDateTime::currentDateTime().addDays(-31)));
    }
    GatewayRig::setSetting(QStringLiteral("tarvik/url"), url());
    GatewayRig::setSetting(QStringLiteral("tarvik/dbKeepDays"), 30);
    const QDateTime expectedLimit = QDateTime::currentDateTime().addDays(-30);
    gateway().initDatabase();
    const QString prefix = kTag + QStringLiteral("Cleaning database customer entries older than 30 day(s) : ");
    const QStringList lines = mLog->texts().filter(prefix);
    QCOMPARE(lines.size(), 1);
    const QDateTime limit = QDateTime::fromString(lines.first().mid(prefix.size()), QStringLiteral("yyyy-MM-ddThh:mm:ss"));
    QVERIFY2(qAbs(limit.secsTo(expectedLimit)) <= 2, qPrintable(lines.first()));
    QVERIFY(mLog->contains(kTag + QStringLiteral("Deleted 1 entry(s)")));
    QVERIFY(!gateway().findCustomer(1));
    mLog->clear();

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const tarvik::Customer::Ptr customer = gateway().findCustomer(501);
    QVERIFY(customer);
    QCOMPARE(customer->firstname(), expectedFirst);
    QCOMPARE(customer->lastname(), expectedLast);
    QVERIFY(mLog->contains(kTag + QStringLiteral("Looking up customer with id : 501")));
    QVERIFY(mLog->contains(kTag + QStringLiteral("Result : 501 / uuid-501 / PT_ADULT")));
    QCOMPARE(mLog->contains(kTag + QStringLiteral("Hiding customer name due to Tarvik configuration")),
             expectedFirst != first);

    // The store keeps the names; the last access time moves on, in the background.
    CustomerDB store(storage() + QStringLiteral("/customers.sqlite"));
    QTRY_VERIFY_WITH_TIMEOUT(mLog->containsPart(kTag + QStringLiteral("Update completed in ")), kWaitMs);
    QVERIFY(mLog->containsPart(kTag + QStringLiteral("Updating last access time to : ")));
    const tarvik::Customer::Ptr stored = store.find(501);
    QCOMPARE(stored->firstname(), first);
    QCOMPARE(stored->lastname(), last);
    QVERIFY2(stored->lastAccessTime() >= before.addMSecs(-before.time().msec()),
             qPrintable(stored->lastAccessTime().toString(Qt::ISODate)));

    mLog->clear();
    QVERIFY(!gateway().findCustomer(502));
    QVERIFY(mLog->contains(kTag + QStringLiteral("Result : not found")));
}

void tst_DBManagerBackend::prefetchCustomer_data()
{
    QTest::addColumn<QString>("cardId"); // empty: by customer id 501
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QString>("image"); // "", "missing" or "present"
    QTest::addColumn<QString>("expectedLog"); // empty: not fetched

    QTest::newRow("by-id-not-stored") << QString() << false << "" << "Customer not found in database. Fetching online.";
    QTest::newRow("by-id-image-missing") << QString() << true << "missing"
                                         << "Customer image does not exist locally. Fetching online.";
    QTest::newRow("by-card-not-stored") << "CARD-501" << false << "" << "Customer not found in database. Fetching online.";
    QTest::newRow("by-card-image-present") << "CARD-501" << true << "present" << QString();
}

void tst_DBManagerBackend::prefetchCustomer()
{
    QFETCH(QString, cardId);
    QFETCH(bool, stored);
    QFETCH(QString, image);
    QFETCH(QString, expectedLog);

    QJsonObject customer = customerJson(501, "CARD-501", "Ann", "Lee");
    if (image == QLatin1String("missing"))
        customer.insert("image", mRig.env().filePath(QStringLiteral("gone.png")));
    if (image == QLatin1String("present")) {
        QVERIFY(mRig.env().writeFile(QStringLiteral("there.png"), png()));
        customer.insert("image", mRig.env().filePath(QStringLiteral("there.png")));
    }
    seedStores({}, stored ? QList<QJsonObject>{customer} : QList<QJsonObject>());
    GatewayRig::setSetting(QStringLiteral("tarvik/url"), url());
    gateway().initDatabase();
    gateway().initAfcConnection();
    mLog->clear();

    if (cardId.isEmpty())
        gateway().prefetchCustomer(501);
    else
        gateway().prefetchCustomer(cardId);

    QVERIFY(mLog->contains(kTag + (cardId.isEmpty() ? QStringLiteral("Prefetching customer with id : 501")
                                                     : QStringLiteral("Prefetching customer assigned to cardId : CARD-501"))));
    // The request is made before the call returns.
    const bool fetched = mLog->containsPart(QStringLiteral("Performing POST request : ") + url() + "/web/api/customers/get_details");
    QCOMPARE(fetched, !expectedLog.isEmpty());
    if (!fetched)
        return;
    QVERIFY(mLog->contains(kTag + expectedLog));
    QTRY_COMPARE_WITH_TIMEOUT(countRequests(*mServer, kCustomerPath), 1, kWaitMs);
    const QJsonObject request = body(mServer->requests().last());
    QCOMPARE(request.value("id"), cardId.isEmpty() ? QJsonValue(501) : QJsonValue(QJsonValue::Null));
    QCOMPARE(request.value("smartCardUuid"), cardId.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(cardId));
}

void tst_DBManagerBackend::prefetchFromAnotherThreadStoresAnswer()
{
    QJsonObject answer = customerJson(501, "CARD-501", "Ann", "Lee");
    answer.insert("customerImageBase64", QString::fromLatin1(png().toBase64()));
    mServer->setResponse(kCustomerPath,
                         Response::json(200, QJsonDocument(QJsonObject{{"status", "OK"},
                                                                       {"customerDetailsDtoList", QJsonArray{answer}}})
                                                 .toJson()));
    GatewayRig::setSetting(QStringLiteral("tarvik/url"), url());
    gateway().initDatabase();
    gateway().initAfcConnection();

    // As the validation thread does: from a thread with its own event loop.
    QThread validation;
    QObject context;
    context.moveToThread(&validation);
    validation.start();
    QMetaObject::invokeMethod(&context, [this] { gateway().prefetchCustomer(QStringLiteral("CARD-501")); });

    QTRY_VERIFY_WITH_TIMEOUT(mLog->containsPart(kTag + QStringLiteral("Customer info received, updating database :\n")),
                             kWaitMs);
    validation.quit();
    validation.wait();
    const tarvik::Customer::Ptr customer = gateway().findCustomer(501);
    QVERIFY(customer);
    QCOMPARE(customer->smartCardUuid(), QStringLiteral("CARD-501"));
    QCOMPARE(customer->image(), storage() + QStringLiteral("/.cache/uuid-501.png"));
    QVERIFY(QFileInfo::exists(customer->image()));

    // Now at hand: no second fetch.
    mLog->clear();
    gateway().prefetchCustomer(QStringLiteral("CARD-501"));
    QVERIFY(!mLog->containsPart(QStringLiteral("Fetching online.")));
}

void tst_DBManagerBackend::failedParamSyncForcesFullSync_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<int>("fileSizeLimit"); // 0: none
    QTest::addColumn<QString>("expectedLog"); // empty: nothing failed

    const QString big(200 * 1024, QLatin1Char('x'));
    const QJsonArray deleted{QJsonObject{{"tableName", "DEVICE_TYPE_KEY_VALUE"}, {"tableId", 1}, {"carriersId", 4}}};
    QTest::newRow("insert-fails") << syncReply({param(2, "BIG", big)}) << 64 * 1024
                                  << "[DBManager] ERROR: 1 of 1 Device Parameter(s) not stored. Next sync is a full one.";
    QTest::newRow("removal-fails") << syncReply({}, deleted) << 512
                                   << "[DBManager] ERROR: Device Parameter 1 not removed. Next sync is a full one.";
    QTest::newRow("all-stored") << syncReply({param(2, "SMALL", "x")}, deleted) << 0 << QString();
}

void tst_DBManagerBackend::failedParamSyncForcesFullSync()
{
    QFETCH(QJsonObject, reply);
    QFETCH(int, fileSizeLimit);
    QFETCH(QString, expectedLog);

    GatewayRig::setSetting(QStringLiteral("tarvik/url"), url());
    GatewayRig::setSetting(QStringLiteral("tarvik/routeDataSyncMin"), 0);
    GatewayRig::setSetting(QStringLiteral("tarvik/fareDataSyncMin"), 0);
    const auto answer = [this](const QJsonObject &object) {
        mServer->setResponse(kSyncPath, Response::json(200, QJsonDocument(object).toJson()));
    };

    QSignalSpy changed(&gateway(), &DBManagerPrivate::onDeviceParamChanged);
    QSignalSpy removed(&gateway(), &DBManagerPrivate::onDeviceParamRemoved);

    // 1. An empty store: full.
    answer(syncReply({param(1, "FIRST", "a")}));
    gateway().initialize();
    QVERIFY(waitForSyncDate(1));
    QCOMPARE(changed.count(), 1);
    QVERIFY(mLog->contains(kTag + QStringLiteral("Received Device Parameters from Tarvik : 1 item(s)")));
    const tarvik::KeyValue::Ptr found = gateway().findDeviceParam(QStringLiteral("FIRST"));
    QVERIFY(found);
    QVERIFY(mLog->contains(kTag + QStringLiteral("Looking up device parameter with key : FIRST")));
    QVERIFY(mLog->contains(kTag + QStringLiteral("Result : ") + found->toString()));
    QVERIFY(mLog->containsPart(kTag + QStringLiteral("Operation completed in ")));
    QVERIFY(!gateway().findDeviceParam(QStringLiteral("first")));

    // 2. Incremental; the reply's date is stored whatever the store made of it.
    answer(reply);
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (fileSizeLimit > 0) {
            limit = std::make_unique<FileSizeLimit>(rlim_t(fileSizeLimit));
            QVERIFY(limit->isActive());
        }
        gateway().syncDatabase();
        QVERIFY(waitForSyncDate(2));
    }
    QCOMPARE(mLog->contains(expectedLog), !expectedLog.isEmpty());
    QCOMPARE(mLog->containsPart(QStringLiteral("Next sync is a full one.")), !expectedLog.isEmpty());
    if (expectedLog.isEmpty()) {
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.first().first().value<tarvik::KeyValue::Ptr>()->key(), QStringLiteral("FIRST"));
        QVERIFY(mLog->contains(kTag + QStringLiteral("Received Device Parameter deletion (carrierId=4) : 1")));
        QVERIFY(!gateway().findDeviceParam(QStringLiteral("FIRST")));
    }

    // 3. After a failure the next sync is full, once.
    answer(syncReply({param(3, "THIRD", "c")}));
    gateway().syncDatabase();
    QVERIFY(waitForSyncDate(3));
    gateway().syncDatabase();
    QTRY_COMPARE_WITH_TIMEOUT(paramSyncs(*mServer).size(), 4, kWaitMs);

    const QList<QJsonObject> syncs = paramSyncs(*mServer);
    QCOMPARE(syncs.at(0).value("lastSyncDate"), QJsonValue(QJsonValue::Null));
    QCOMPARE(syncs.at(1).value("lastSyncDate"), QJsonValue("06/12/2026 10:00:00"));
    QCOMPARE(syncs.at(2).value("lastSyncDate"),
             expectedLog.isEmpty() ? QJsonValue("06/12/2026 10:00:00") : QJsonValue(QJsonValue::Null));
    QCOMPARE(mLog->count(kTag + QStringLiteral("WARN: Device Parameters of an earlier sync were not stored. Performing full sync with Tarvik.")),
             expectedLog.isEmpty() ? 0 : 1);
    QCOMPARE(syncs.at(3).value("lastSyncDate"), QJsonValue("06/12/2026 10:00:00"));
}

void tst_DBManagerBackend::deviceManagementReportGoesToBackend()
{
    GatewayRig::setSetting(QStringLiteral("tarvik/url"), url());
    gateway().initAfcConnection();
    const QJsonObject report{{"deviceUuid", "ZUB-TEST-7"}, {"status", "GOOD"}};
    gateway().sendDeviceManagementInfo(report);
    QTRY_COMPARE_WITH_TIMEOUT(countRequests(*mServer, QStringLiteral("/bo/web/api/deviceManager/save")), 1, kWaitMs);
    QCOMPARE(body(mServer->requests().last()), report);
}

QTEST_GUILESS_MAIN(tst_DBManagerBackend)
#include "tst_dbmanager_backend.moc"

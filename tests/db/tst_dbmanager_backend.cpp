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
#include "support/jsonpath.h"
#include "support/logcapture.h"
#include "support/testenv.h"

#include <QBuffer>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QThread>
#include <QThreadPool>
#include <QtTest>

#include <atomic>

using Response = HttpTestServer::Response;

namespace {

const QString kSyncPath = QStringLiteral("/bo/web/api/sync_bo");
const QString kCustomerPath = QStringLiteral("/bo/web/api/customers/get_details");
const QString kActionPath = QStringLiteral("/bo/web/abt/client/action");
const QString kTag = QStringLiteral("[DBManager] ");
const int kWaitMs = 10000;

// One answer for every sync: the route manager, the fare manager and the device parameters
// each take their part of it.
const QJsonObject kSyncReply{{"resp", "OK"},
                             {"newsyncdate", "06/12/2026 10:00:00"},
                             {"DeviceTypeKeyValues", QJsonArray()},
                             {"Axis", QJsonArray{QJsonObject{{"id", 101}, {"userIdentifier", "1A"}}}},
                             {"Stops", QJsonArray{QJsonObject{{"id", 1}}}}};

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

QJsonObject body(const HttpTestServer::Request &request)
{
    return QJsonDocument::fromJson(request.body).object();
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

    void startsWithConfiguredUrl();
    void startsWhenServiceNamesBackend();
    void sessions_data();
    void sessions();

private:
    QString url() const { return mServer->baseUrl().toString() + QStringLiteral("/bo"); }
    QString storage() { return mRig.env().filePath(QStringLiteral("tarvik/127_0_0_1/bo")); }
    // The gateway without a broker: the back-end side needs none.
    DBManagerPrivate &gateway();
    // A facade on the broker with a scripted database service, its back-end URL unknown.
    DBManager &connectedGateway();
    void seedStores(const QJsonArray &params, const QJsonArray &customers);
    QJsonValue call(const QJsonObject &step, QObject *validation);

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

// Stores filled before the gateway opens them, through stores of their own on the same files;
// a customer's "daysAgo" is its last access, "<folder>" in its image the test's folder.
void tst_DBManagerBackend::seedStores(const QJsonArray &params, const QJsonArray &customers)
{
    QVERIFY(QDir().mkpath(storage()));
    DeviceParamsDB paramStore(storage() + QStringLiteral("/deviceParams.sqlite"));
    for (const QJsonValue &p : params)
        paramStore.insert(tarvik::KeyValue::Ptr::create(p.toObject()));
    CustomerDB customerStore(storage() + QStringLiteral("/customers.sqlite"));
    for (const QJsonValue &value : customers) {
        const QJsonObject c = value.toObject();
        auto customer = tarvik::Customer::Ptr::create(c);
        customer->setImage(c.value("image").toString().replace("<folder>", mRig.env().path()));
        QVERIFY(customerStore.insert(customer));
        if (c.contains("daysAgo"))
            QVERIFY(customerStore.updateLastAccessTime(customer->id(), QDateTime::currentDateTime().addDays(-c.value("daysAgo").toInt())));
    }
}

// The gateway's call named by the step, with its argument; what it returned.
QJsonValue tst_DBManagerBackend::call(const QJsonObject &step, QObject *validation)
{
    const QString name = step.value("call").toString();
    const QJsonValue arg = step.value("arg");
    if (name == QLatin1String("initialize"))
        gateway().initialize();
    else if (name == QLatin1String("initDatabase"))
        gateway().initDatabase();
    else if (name == QLatin1String("initAfcConnection"))
        gateway().initAfcConnection();
    else if (name == QLatin1String("syncDatabase"))
        gateway().syncDatabase();
    else if (name == QLatin1String("cleanupDatabase"))
        gateway().cleanupDatabase();
    else if (name == QLatin1String("sendDeviceManagementInfo"))
        gateway().sendDeviceManagementInfo(arg.toObject());
    else if (name == QLatin1String("prefetchCustomer")) {
        const auto prefetch = [this, arg] {
            arg.isString() ? gateway().prefetchCustomer(arg.toString()) : gateway().prefetchCustomer(arg.toInt());
        };
        if (step.value("fromThread").toBool()) // as the validation thread does: from a thread with its own event loop
            QMetaObject::invokeMethod(validation, prefetch);
        else
            prefetch();
    } else if (name == QLatin1String("storagePath")) {
        return gateway().storagePath(QUrl(arg.toString(), QUrl::TolerantMode));
    }
    else if (name == QLatin1String("findDeviceParam")) {
        const tarvik::KeyValue::Ptr found = gateway().findDeviceParam(arg.toString());
        return found ? QJsonValue(found->toString()) : QJsonValue();
    } else if (name == QLatin1String("findCustomer") || name == QLatin1String("storedCustomer")) {
        tarvik::Customer::Ptr found;
        if (name == QLatin1String("findCustomer"))
            found = gateway().findCustomer(arg.toInt());
        else
            found = CustomerDB(storage() + QStringLiteral("/customers.sqlite")).find(arg.toInt());
        return found ? QJsonValue(found->toJson()) : QJsonValue();
    }
    return QJsonValue(QJsonValue::Undefined);
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
    mServer->setResponse(kSyncPath, Response::json(200, QJsonDocument(kSyncReply).toJson()));
    mServer->setResponse(kActionPath, Response::json(200, "[]"));
    mLog = std::make_unique<LogCapture>();
}

void tst_DBManagerBackend::cleanup()
{
    if (QTest::currentTestFailed())
        qWarning().noquote() << "Log of the failed test:\n" << mLog->texts().join('\n');
    // Last access times are written in the background: their log lines belong to this test.
    QThreadPool::globalInstance()->waitForDone();
    mGateway.reset();
    mRig.stop();
    mLog.reset();
    mServer.reset();
    setSerialNumberFile(std::string());
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

    QCOMPARE(countRequests(*mServer, kSyncPath, QJsonArray{20}), 1);
    QCOMPARE(mServer->requests().first().header("x-api-key"), QByteArray("7c1e9a04b5d36f28e0a9c41b7d2f6e53"));
    QTRY_VERIFY_WITH_TIMEOUT(gateway().routeData()->findAxis(101), kWaitMs);
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

    // The same URL again says nothing; another one is written down but changes no link.
    tarvik::RouteManager *routes = db.routeData();
    tarvik::FareManager *fares = db.fareData();
    tarvik::ActionListManager *actions = db.actionList();
    mLog->clear();
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
    QCOMPARE(countRequests(*mServer, kSyncPath, QJsonArray{1, 2, 3, 19}), 1);
    QCOMPARE(countRequests(*mServer, kActionPath), 1);
}

// The sessions of data/backend-sessions.json, each on a fresh gateway without a broker: steps
// that set settings ("<url>" is the back-end's), fill the stores, set the back-end's replies to
// the device-parameter sync and the customer look-up ("<png>" an image), limit the size of files
// and call the gateway, from this thread or another, waiting for a log line or a number of
// requests. What each step did (the call's result, the gateway's log lines,
// the device-parameter signals, the requests the back-end got but the managers' own, the files
// below the storage root, the periods of the sync and clean-up timers) is pinned in data/backend-sessions.expected.json
// (ZUB_WRITE_GOLDEN=1 writes it).
void tst_DBManagerBackend::sessions_data()
{
    QTest::addColumn<QJsonArray>("steps");
    QTest::addColumn<QJsonArray>("expected");
    const QJsonObject sessions = JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/backend-sessions.json")).object();
    const QJsonObject expected = JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/backend-sessions.expected.json")).object();
    QVERIFY(!sessions.isEmpty());
    for (auto it = sessions.begin(); it != sessions.end(); ++it)
        QTest::newRow(qPrintable(it.key())) << it.value().toArray() << expected.value(it.key()).toArray();
}

void tst_DBManagerBackend::sessions()
{
    QFETCH(QJsonArray, steps);
    QFETCH(QJsonArray, expected);
    QVERIFY(mRig.env().writeFile(QStringLiteral("there.png"), png()));
    QThread validation;
    QObject context;
    context.moveToThread(&validation);
    validation.start();
    const auto stop = qScopeGuard([&] {
        validation.quit();
        validation.wait();
    });
    QJsonArray fired;
    connect(&gateway(), &DBManagerPrivate::onDeviceParamChanged, this,
            [&](const tarvik::KeyValue::Ptr &p) { fired.append("changed " + p->key()); });
    connect(&gateway(), &DBManagerPrivate::onDeviceParamRemoved, this,
            [&](const tarvik::KeyValue::Ptr &p) { fired.append("removed " + p->key()); });
    const auto normal = [this](QString text) {
        return text.replace(url(), "<url>").replace(mRig.env().path(), "<folder>")
            .replace(QRegularExpression("\\d+ msec"), "<n> msec")
            .replace(QRegularExpression("(older than \\d+ day\\(s\\)|access time to) : .*"), "\\1 : <time>");
    };
    QJsonArray actual;
    for (const QJsonValue &value : steps) {
        const QJsonObject step = value.toObject();
        const QJsonObject settings = step.value("settings").toObject();
        for (auto it = settings.begin(); it != settings.end(); ++it)
            GatewayRig::setSetting(it.key(), it.value() == QJsonValue("<url>") ? QVariant(url()) : it.value().toVariant());
        if (step.contains("seed"))
            seedStores(step.value("seed").toObject().value("params").toArray(), step.value("seed").toObject().value("customers").toArray());
        QJsonObject reply = step.value("reply").toObject();
        if (step.contains("padTo")) { // the first parameter's value made that long
            QJsonArray params = reply.value("DeviceTypeKeyValues").toArray();
            QJsonObject first = params.at(0).toObject();
            first.insert("value", QString(step.value("padTo").toInt(), QLatin1Char('x')));
            params.replace(0, first);
            reply.insert("DeviceTypeKeyValues", params);
        }
        if (step.contains("reply"))
            mServer->setResponse(kSyncPath, Response::json(200, QJsonDocument(reply).toJson()));
        if (step.contains("customerReply")) {
            const QByteArray customers = QJsonDocument(step.value("customerReply").toObject()).toJson();
            mServer->setResponse(kCustomerPath, Response::json(200, QByteArray(customers).replace("<png>", png().toBase64())));
        }
        const int before = mServer->requestCount();
        fired = QJsonArray();
        mLog->clear();
        QJsonValue result;
        {
            std::unique_ptr<FileSizeLimit> limit;
            if (step.contains("fileSizeLimit")) {
                limit = std::make_unique<FileSizeLimit>(rlim_t(step.value("fileSizeLimit").toInt()));
                QVERIFY(limit->isActive());
            }
            result = call(step, &context);
            const QString until = step.value("until").toString();
            QVERIFY2(QTest::qWaitFor([&] { return until.isEmpty() || !mLog->texts().filter(until).isEmpty(); }, kWaitMs),
                     qPrintable(until));
        }
        QTRY_VERIFY_WITH_TIMEOUT(mServer->requestCount() >= before + step.value("requests").toInt(), kWaitMs);
        QJsonArray requests;
        for (const HttpTestServer::Request &request : mServer->requests().mid(before)) {
            if (request.path() != kActionPath && (request.path() != kSyncPath || body(request).value("syncTables") == QJsonArray{20}))
                requests.append(QJsonArray{request.path(), body(request)});
        }
        QStringList log;
        for (const QString &line : mLog->texts()) {
            if (line.startsWith(kTag))
                log << normal(line);
        }
        log.sort(); // the last access time is written in the background
        QStringList files;
        QDirIterator it(mRig.env().filePath(QStringLiteral("tarvik")), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << normal(it.next());
        files.sort();
        QJsonObject timers; // running: their periods, stopped: 0
        for (const QTimer *timer : gateway().findChildren<QTimer *>(QRegularExpression("^(deviceParamSync|cleanup)Timer$")))
            timers.insert(timer->objectName(), timer->isActive() ? timer->interval() : 0);
        if (!result.isUndefined())
            result = QJsonDocument::fromJson(normal(QJsonDocument(QJsonArray{result}).toJson()).toUtf8()).array().at(0);
        actual.append(QJsonObject{{"step", step}, {"result", result}, {"log", QJsonArray::fromStringList(log)},
                                  {"signals", fired}, {"requests", requests}, {"files", QJsonArray::fromStringList(files)},
                                  {"timers", timers}});
    }
    if (qEnvironmentVariableIsSet("ZUB_WRITE_GOLDEN")) {
        const QString name = QStringLiteral(TEST_DATA_DIR "/backend-sessions.expected.json");
        QJsonObject all = JsonPath::readFile(name).object();
        all.insert(QString::fromLatin1(QTest::currentDataTag()), actual);
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(all).toJson());
        return;
    }
    QCOMPARE(actual.size(), expected.size());
    for (int i = 0; i < actual.size(); ++i)
        QVERIFY2(actual.at(i) == expected.at(i),
                 JsonPath::describeMismatch(actual.at(i).toObject(), expected.at(i).toObject()).constData());
}

QTEST_GUILESS_MAIN(tst_DBManagerBackend)
#include "tst_dbmanager_backend.moc"

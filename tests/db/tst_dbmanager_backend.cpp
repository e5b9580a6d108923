#include "db/customerdb.h"
#include "db/deviceparamsdb.h"
#include "framework/serialnumber_p.h"
#include "tarvik/actionlistmanager.h"
#include "tarvik/faremanager.h"
#include "tarvik/routemanager.h"

#include "caserows.h"
#include "gatewayrig.h"

#include "support/filesizelimit.h"
#include "support/goldenfile.h"
#include "support/httptestserver.h"
#include "support/logcapture.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QThread>
#include <QThreadPool>

#include <atomic>

using Response = HttpTestServer::Response;

namespace {

const QString kSyncPath = QStringLiteral("/bo/web/api/sync_bo");
const QString kActionPath = QStringLiteral("/bo/web/abt/client/action");
const int kWaitMs = 10000;
// A picture of 3 x 2 pixels.
const QByteArray kPng = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAMAAAACCAIAAAASFvFNAAAAD0lEQVR4nGNgYPgPQzAWADXeBfvilmCeAAAAAElFTkSuQmCC");

// One answer for every sync: the route manager, the fare manager and the device parameters
// each take their part of it.
const QJsonObject kSyncReply{{"resp", "OK"}, {"newsyncdate", "06/12/2026 10:00:00"}, {"DeviceTypeKeyValues", QJsonArray()},
                             {"Axis", QJsonArray{QJsonObject{{"id", 101}, {"userIdentifier", "1A"}}}},
                             {"Stops", QJsonArray{QJsonObject{{"id", 1}}}}};

} // namespace

class tst_DBManagerBackend : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qRegisterMetaType<tarvik::KeyValue::Ptr>();
        QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
    }
    void init()
    {
        QVERIFY(mRig.prepare());
        QVERIFY(mRig.env().writeFile("serialnumber", "ZUB-TEST-7\n"));
        setSerialNumberFile(mRig.env().filePath("serialnumber").toStdString());
        mServer = std::make_unique<HttpTestServer>();
        QVERIFY(mServer->start());
        mServer->setResponse(kSyncPath, Response::json(200, QJsonDocument(kSyncReply).toJson()));
        mServer->setResponse(kActionPath, Response::json(200, "[]"));
        mGateway = std::make_unique<DBManagerPrivate>(nullptr); // without a broker: the back-end side needs none
        mLog = std::make_unique<LogCapture>();
    }
    void cleanup()
    {
        QThreadPool::globalInstance()->waitForDone(); // last access times are written in the background
        mGateway.reset();
        mRig.stop();
        mLog.reset();
        mServer.reset();
        setSerialNumberFile(std::string());
    }

    void startsWhenServiceNamesBackend()
    {
        GatewayRig::setSetting("tarvik/url", QString());
        QVERIFY(mRig.start(mBroker, true));
        DBManager &db = *mRig.db();
        QCOMPARE(db.routeData(), nullptr);
        QMap<QString, qint64> firstSeen; // a sync by its tables, or a path
        QElapsedTimer clock;
        connect(mServer.get(), &HttpTestServer::requestReceived, this, [&] {
            const HttpTestServer::Request request = mServer->lastRequest();
            const QJsonValue tables = QJsonDocument::fromJson(request.body)["syncTables"];
            const QString name = request.path() == kSyncPath ? QJsonDocument(tables.toArray()).toJson(QJsonDocument::Compact) : request.path();
            if (!firstSeen.contains(name))
                firstSeen.insert(name, clock.elapsed());
        });

        // The validation thread asks all along; it sees nothing, then a working link, and the
        // device record replaced meanwhile.
        std::atomic<int> nullAnswers{0}, devices{0};
        std::atomic<bool> axisFound{false}, stop{false};
        std::unique_ptr<QThread> worker(QThread::create([&] {
            while (!stop && !axisFound) {
                if (const Device::Ptr device = db.device())
                    devices += device->userId() >= 0;
                tarvik::RouteManager *routes = db.routeData();
                if (!routes) {
                    // No store yet: nothing is looked up, nothing is fetched.
                    db.prefetchCustomer(7);
                    db.prefetchCustomer(QStringLiteral("04AABB"));
                    nullAnswers += !db.findCustomer(7) && !db.findDeviceParam(QStringLiteral("CARD_VALIDATION_HIDE_NAME"));
                    continue;
                }
                db.findDeviceParam(QStringLiteral("CARD_VALIDATION_HIDE_NAME"));
                if (tarvik::FareManager *fares = db.fareData())
                    fares->findFareProduct(1);
                if (tarvik::ActionListManager *actions = db.actionList())
                    actions->actionsByUid(QStringLiteral("04AABB"), 0);
                axisFound = !routes->findAxis(101).isNull();
            }
        }));
        worker->start();
        for (int i = 0; i < 50; ++i)
            mRig.peer().publishStatus(QJsonObject{{"service", true}, {"device", QJsonObject{{"userId", i}}}});
        QTRY_VERIFY_WITH_TIMEOUT(nullAnswers > 20 && devices > 0, kWaitMs);
        clock.start();
        mRig.peer().publishConfig(QJsonObject{{"bo_url", url()}});
        QTRY_VERIFY_WITH_TIMEOUT(axisFound, kWaitMs);
        stop = true;
        worker->wait();

        QCOMPARE(db.device()->userId(), 49);
        // The managers one after the other, 1, 2 and 3 seconds after the link; the device parameters
        // wait for their timer.
        QTRY_VERIFY_WITH_TIMEOUT(firstSeen.contains(kActionPath), kWaitMs);
        const qint64 route = firstSeen.value("[1,2,3,19]", -1), fare = firstSeen.value("[7,8,9,10,11,12,14,15,16,17,18,41,42]", -1),
                     actions = firstSeen.value(kActionPath);
        QVERIFY2(route >= 950 && fare >= 1900 && actions >= 2850 && route < fare && fare < actions, // coarse timers fire up to 5 % early
                 qPrintable(QStringLiteral("%1 %2 %3").arg(route).arg(fare).arg(actions)));
        QVERIFY(!firstSeen.contains("[20]"));
        QCOMPARE(mServer->requests().first().header("x-api-key"), QByteArray("7c1e9a04b5d36f28e0a9c41b7d2f6e53"));

        // The same URL again says nothing; another one is written down but changes no link.
        const QList<QObject *> managers{db.routeData(), db.fareData(), db.actionList()};
        mLog->clear();
        mRig.peer().publishConfig(QJsonObject{{"bo_url", url()}});
        mRig.peer().publishConfig(QJsonObject{{"bo_url", "http://10.9.9.9/other"}});
        QVERIFY(mRig.sync());
        QCOMPARE((QList<QObject *>{db.routeData(), db.fareData(), db.actionList()}), managers);
        QCOMPARE(mLog->texts().filter("Tarvik URL"),
                 QStringList{"[DBManager] WARN : Mismatched configured Tarvik URL. Updating from DBManager : http://10.9.9.9/other"});
    }

    // Taps of unknown cards on the validation thread against a back-end that knows none: one
    // look-up per card at a time, none again before the retry time, a burst over the bound dropped.
    void customerLookUpsStayBounded()
    {
        GatewayRig::setSetting("tarvik/url", url());
        mGateway->initialize();
        std::atomic<qint64> now{0};
        CustomerRequests &book = mGateway->customerRequests();
        book.setClock([&now] { return now.load(); });
        const QString path = "/bo/web/api/customers/get_details";
        mServer->setResponse(path, Response::json(200, R"({"status":"OK","customerDetailsDtoList":[]})"));
        const auto taps = [&](const QStringList &cards) {
            std::unique_ptr<QThread> validation(QThread::create([&] {
                for (const QString &card : cards)
                    mGateway->prefetchCustomer(card);
            }));
            validation->start();
            QVERIFY(validation->wait(kWaitMs));
            QTRY_COMPARE_WITH_TIMEOUT(book.inFlight(), 0, kWaitMs);
        };
        taps({"04A1", "04A1", "04A1"});
        taps({"04A1"});
        now += 5 * 60000; // the default retry time
        taps({"04A1", "04B0", "04B1", "04B2", "04B3", "04B4"}); // one over the bound of 4 with the card before
        QCOMPARE(int(std::count_if(mServer->requests().cbegin(), mServer->requests().cend(),
                                   [&](const HttpTestServer::Request &r) { return r.path() == path; })),
                 1 + CustomerRequests::Capacity);
        QCOMPARE(mLog->count("[DBManager] Customer request already in flight : card:04A1"), 2);
        QCOMPARE(mLog->count("[DBManager] Customer recently unknown to Tarvik. Not fetching : card:04A1"), 1);
        QCOMPARE(mLog->texts().filter(QRegularExpression("^\\[DBManager\\] WARN: 4 customer requests in flight. "
                                                         "Dropping prefetch : card:04B[34]$")).size(), 2);
    }

    // The sessions of data/backend-sessions.json, each on a fresh gateway without a broker: steps
    // that set settings ("<url>" is the back-end's), fill the stores, set the back-end's replies to
    // the device-parameter sync ("padTo": its first value made that long) and the customer look-up
    // ("<png>" an image), limit the size of files and call the gateway, from this thread or another,
    // waiting for a log line or a number of requests. What each step did (the call's result, the
    // gateway's log lines, the device-parameter signals, the requests the back-end got but the
    // managers' own, the files below the storage root, the periods of the sync and clean-up timers)
    // is pinned in data/backend-sessions.expected.json (ZUB_WRITE_GOLDEN=1 writes it).
    void sessions_data() { addCaseRows(TEST_DATA_DIR "/backend-sessions.json"); }

    void sessions()
    {
        QFETCH(QJsonValue, testCase);
        QVERIFY(mRig.env().writeFile("there.png", kPng));
        QThread validation;
        QObject context;
        context.moveToThread(&validation);
        validation.start();
        const auto stop = qScopeGuard([&] { validation.quit(), validation.wait(); });
        QJsonArray fired;
        const auto note = [&](QString what) { return [&, what](const tarvik::KeyValue::Ptr &p) { fired.append(what + p->key()); }; };
        connect(mGateway.get(), &DBManagerPrivate::onDeviceParamChanged, this, note("changed "));
        connect(mGateway.get(), &DBManagerPrivate::onDeviceParamRemoved, this, note("removed "));
        QJsonArray actual;
        for (const QJsonValue &value : testCase.toArray()) {
            const QByteArray text = QJsonDocument(value.toObject()).toJson().replace("<url>", url().toUtf8()).replace("<png>", kPng.toBase64())
                                     .replace("<folder>", mRig.env().path().toUtf8());
            const QJsonObject step = QJsonDocument::fromJson(text).object(), settings = step["settings"].toObject();
            for (auto it = settings.begin(); it != settings.end(); ++it)
                GatewayRig::setSetting(it.key(), it.value().toVariant());
            if (step.contains("seed"))
                seedStores(step["seed"].toObject());
            QJsonObject reply = step["reply"].toObject();
            if (step.contains("padTo"))
                reply = JsonPath::withValue(reply, "DeviceTypeKeyValues/0/value", QString(step["padTo"].toInt(), 'x'));
            if (step.contains("reply"))
                mServer->setResponse(kSyncPath, Response::json(200, QJsonDocument(reply).toJson()));
            if (step.contains("customerReply"))
                mServer->setResponse("/bo/web/api/customers/get_details",
                                     Response::json(200, QJsonDocument(step["customerReply"].toObject()).toJson()));
            const int before = mServer->requestCount();
            fired = QJsonArray();
            mLog->clear();
            auto limit = step.contains("fileSizeLimit") ? std::make_unique<FileSizeLimit>(rlim_t(step["fileSizeLimit"].toInt())) : nullptr;
            QVERIFY(!limit || limit->isActive());
            const QJsonValue result = call(step, &context);
            const QString until = step["until"].toString();
            QVERIFY2(QTest::qWaitFor([&] { return until.isEmpty() || !mLog->texts().filter(until).isEmpty(); }, kWaitMs), qPrintable(until));
            limit.reset();
            QTRY_VERIFY_WITH_TIMEOUT(mServer->requestCount() >= before + step["requests"].toInt(), kWaitMs);
            QJsonArray requests;
            for (const HttpTestServer::Request &request : mServer->requests().mid(before)) {
                const QJsonObject body = QJsonDocument::fromJson(request.body).object();
                if (request.path() != kActionPath && (request.path() != kSyncPath || body["syncTables"] == QJsonArray{20}))
                    requests.append(QJsonArray{request.path(), body});
            }
            QStringList log = mLog->texts().filter(QRegularExpression("^\\[DBManager\\] "));
            log.sort(); // the last access time is written in the background
            QDirIterator it(mRig.env().filePath("tarvik"), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            QStringList files;
            while (it.hasNext())
                files << it.next();
            files.sort();
            QJsonObject timers; // running: their periods, stopped: 0
            for (const QTimer *timer : mGateway->findChildren<QTimer *>(QRegularExpression("^(deviceParamSync|cleanup)Timer$")))
                timers.insert(timer->objectName(), timer->isActive() ? timer->interval() : 0);
            QString done = QJsonDocument(QJsonObject{{"step", value}, {"result", result}, {"log", QJsonArray::fromStringList(log)},
                                                     {"signals", fired}, {"requests", requests}, {"files", QJsonArray::fromStringList(files)},
                                                     {"timers", timers}}).toJson();
            done.replace(url(), "<url>").replace(mRig.env().path(), "<folder>").replace(QRegularExpression("\\d+ msec"), "<n> msec");
            done.replace(QRegularExpression("(older than \\d+ day\\(s\\)|access time to) : [^\"]*"), "\\1 : <time>");
            actual.append(QJsonDocument::fromJson(done.toUtf8()).object());
        }
        const QByteArray diff = GoldenFile::mismatch(TEST_DATA_DIR "/backend-sessions.expected.json", QTest::currentDataTag(), actual);
        QVERIFY2(diff.isEmpty(), diff.constData());
    }
private:
    QString url() const { return mServer->baseUrl().toString() + "/bo"; }
    QString storage() { return mRig.env().filePath("tarvik/127_0_0_1/bo"); }
    void seedStores(const QJsonObject &seed);
    QJsonValue call(const QJsonObject &step, QObject *validation);

    BrokerFixture mBroker;
    GatewayRig mRig;
    std::unique_ptr<HttpTestServer> mServer;
    std::unique_ptr<LogCapture> mLog;
    std::unique_ptr<DBManagerPrivate> mGateway;
};

// Stores filled before the gateway opens them, through stores of their own on the same files;
// a customer's "daysAgo" is its last access.
void tst_DBManagerBackend::seedStores(const QJsonObject &seed)
{
    QVERIFY(QDir().mkpath(storage()));
    DeviceParamsDB paramStore(storage() + "/deviceParams.sqlite");
    for (const QJsonValue &p : seed["params"].toArray())
        paramStore.insert(tarvik::KeyValue::Ptr::create(p.toObject()));
    CustomerDB customerStore(storage() + "/customers.sqlite");
    for (const QJsonValue &c : seed["customers"].toArray()) {
        auto customer = tarvik::Customer::Ptr::create(c.toObject());
        QVERIFY(customerStore.insert(customer));
        if (c.toObject().contains("daysAgo"))
            QVERIFY(customerStore.updateLastAccessTime(customer->id(), QDateTime::currentDateTime().addDays(-c["daysAgo"].toInt())));
    }
}

// The gateway's call named by the step, with its argument; what it returned.
QJsonValue tst_DBManagerBackend::call(const QJsonObject &step, QObject *validation)
{
    static const QMap<QString, void (DBManagerPrivate::*)()> kPlain{
        {"initialize", &DBManagerPrivate::initialize},           {"initDatabase", &DBManagerPrivate::initDatabase},
        {"initAfcConnection", &DBManagerPrivate::initAfcConnection}, {"syncDatabase", &DBManagerPrivate::syncDatabase},
        {"cleanupDatabase", &DBManagerPrivate::cleanupDatabase}};
    DBManagerPrivate &g = *mGateway;
    const QString name = step["call"].toString();
    const QJsonValue arg = step["arg"];
    if (kPlain.contains(name))
        (g.*kPlain.value(name))();
    if (name == "sendDeviceManagementInfo")
        g.sendDeviceManagementInfo(arg.toObject());
    if (name == "prefetchCustomer") {
        const auto prefetch = [&g, arg] { arg.isString() ? g.prefetchCustomer(arg.toString()) : g.prefetchCustomer(arg.toInt()); };
        if (step["fromThread"].toBool()) // as the validation thread does: from a thread with its own event loop
            QMetaObject::invokeMethod(validation, prefetch);
        else
            prefetch();
    }
    if (name == "storagePath")
        return g.storagePath(QUrl(arg.toString(), QUrl::TolerantMode));
    if (name == "findDeviceParam") {
        const tarvik::KeyValue::Ptr found = g.findDeviceParam(arg.toString());
        return found ? QJsonValue(found->toString()) : QJsonValue();
    }
    if (name == "findCustomer" || name == "storedCustomer") {
        const tarvik::Customer::Ptr found =
            name == "findCustomer" ? g.findCustomer(arg.toInt()) : CustomerDB(storage() + "/customers.sqlite").find(arg.toInt());
        return found ? QJsonValue(found->toJson()) : QJsonValue();
    }
    return QJsonValue(QJsonValue::Undefined);
}

QTEST_GUILESS_MAIN(tst_DBManagerBackend)
#include "tst_dbmanager_backend.moc"

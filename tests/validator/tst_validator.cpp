#include "validator/validator.h"
#include "validator/validator_p.h"

#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "framework/mqttclient.h"
#include "framework/settings.h"
#include "tarvik/fareproducts.h"

#include "support/brokerfixture.h"
#include "support/dbservicepeer.h"
#include "support/logcapture.h"
#include "support/qrscannerpeer.h"
#include "support/qrtestkey.h"
#include "support/testenv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>

namespace {

const QDateTime kNow(QDate(2026, 3, 10), QTime(12, 0), Qt::UTC);

QString secs(qint64 offset)
{
    return QString::number(kNow.toSecsSinceEpoch() + offset);
}

// Axis 6, user 1234, device A1, product 5, passenger type 1, valid for an hour from `from`,
// carrier 7: valid at stop 21, denied at stop 31 (product 5 is not active there).
QString urban(int id = 99, qint64 from = -600, int count = 19)
{
    return QStringLiteral("6|1234|A1|R1|2|3|%1|%2|0|0|false|PASSENGER|0|5|1|0|%3|3600|7")
        .arg(secs(-3600)).arg(id).arg(from == 0 ? QStringLiteral("-1") : secs(from))
        .split('|').mid(0, count).join('|');
}

QString dynamic()
{
    return QStringLiteral("DYNAMIC|1234|A1|%1|99|5|1|%2|3600|7|30|3").arg(secs(-3600), secs(-95));
}

QString enciphered(const QString &text)
{
    return QrTestKey::encipher(QrTestKey::pad(text.toUtf8()));
}

QJsonObject zone(int id, int stop)
{
    return {{"id", id}, {"name", QStringLiteral("Z%1").arg(id)}, {"ordinal", id},
            {"stops", QJsonArray{QJsonObject{{"id", stop}, {"name", QStringLiteral("S%1").arg(stop)}, {"ordinal", id}}}}};
}

QJsonObject product(int id, int zoneId)
{
    return {{"fareProductId", id}, {"fromStopGroupId", zoneId}, {"toStopGroupId", zoneId},
            {"passengerTypes", QJsonArray{QJsonObject{{"id", 1}, {"description", "Adult"}}}}};
}

QVariantMap remoteTicket(const QString &id, const QString &validationTime)
{
    return {{"ticketId", id}, {"validationTime", validationTime}, {"deviceId", "D9"},
            {"routeExecutionId", 77}, {"routeId", 88}, {"stopId", 21}};
}

QString localText(qint64 offset)
{
    return kNow.addSecs(offset).toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

// The validation service between a scanner peer, a reader peer and a scripted database service on
// one broker, with "now" pinned. The route: carrier 7, axis 6, stop 21 in zone 2 (product 5
// active) and stop 31 in zone 3.
class tst_Validator : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void scanEndToEnd_data();
    void scanEndToEnd();
    void scanDuringPassbackWaitGetsItsOwnVerdict();
    void statusMap_data();
    void statusMap();
    void barcodeSwitch();
    void routeFollowing();
    void routeProgressWhileScanning();
    void cleanTimerAgainstInserts();
    void storeEMVResults_data();
    void storeEMVResults();

private:
    ValidatorResult scanOnce(const QString &text);
    void settle();
    QList<int> reasons(const QSignalSpy &spy) const;

    BrokerFixture mBroker;
    TestEnv mEnv;
    std::unique_ptr<LogCapture> mLog;
    std::unique_ptr<DbServicePeer> mDbPeer;
    std::unique_ptr<QrScannerPeer> mScanner;
    std::unique_ptr<manager::MqttClient> mClient;
    std::unique_ptr<DBManager> mDb;
    std::unique_ptr<tarvik::Route> mRoute;
    std::unique_ptr<Validator> mValidator;
};

void tst_Validator::initTestCase()
{
    if (qgetenv("TZ") == "America/New_York")
        QVERIFY2(QDateTime::currentDateTime().offsetFromUtc() < 0, "no time-zone data for America/New_York");
    qRegisterMetaType<ValidatorResult>("ValidatorResult");
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=true\nqt.*=false"));
    // A clean period under a minute is raised to one, so the timer never fires during a test.
    QVERIFY(mEnv.writeFile("zub.conf", "[validator]\ndb_clean_minutes=-5\n[db]\ntimeout_ms=5000\n"));
    manager::Settings::instance()->setDefaultLocation(QFileInfo(mEnv.settingsFile()));

    QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
    mLog = std::make_unique<LogCapture>();
    mDbPeer = std::make_unique<DbServicePeer>();
    QVERIFY(mDbPeer->connectTo(mBroker.host(), mBroker.port()));
    mScanner = std::make_unique<QrScannerPeer>();
    QVERIFY(mScanner->connectTo(mBroker.host(), mBroker.port()));
    mClient = std::make_unique<manager::MqttClient>();
    mClient->setHostname(mBroker.host());
    mClient->setPort(mBroker.port());
    mDb = std::make_unique<DBManager>(mClient.get());
    QSignalSpy connected(mClient.get(), &manager::MqttClient::connected);
    mClient->connect();
    QVERIFY(connected.wait(10000));
    QSignalSpy ready(mDb.get(), &DBManager::onPaperTicketIssuingStarted);
    QVERIFY(QTest::qWaitFor([&] { return mDbPeer->publishUiRequest("issueSingleTicket", 0), ready.wait(20); }, 10000));

    mRoute = std::make_unique<tarvik::Route>(QJsonObject{
        {"status", "start"},
        {"data", QJsonObject{{"axis", QJsonObject{{"routeId", 6}}},
                             {"routeExecution", QJsonObject{{"tripsExecutionId", 77}, {"tripsRouteId", 88}}},
                             {"stopGroups", QJsonArray{zone(2, 21), zone(3, 31)}}}}});
    mRoute->setCarrierId(7);
    mRoute->setVehicleId(QStringLiteral("BUS-1"));
    mRoute->setFareProducts(tarvik::FareProducts(QJsonObject{{"axisId", 6}, {"products", QJsonArray{product(5, 2)}}}));
    QVERIFY(mRoute->acceptRouteProgress(tarvik::RouteProgress(6, 21)));
}

void tst_Validator::init()
{
    Configuration().set("validator/qr_passback", true);
    mDbPeer->setScript([this](const QJsonObject &request) {
        mDbPeer->reply(request, DbServicePeer::answer(request.value("method").toString(), QJsonArray()));
    });
    mLog->clear();
    mValidator = std::make_unique<Validator>(mClient.get(), *mDb, nullptr, nullptr);
    mValidator->worker()->setClock([] { return kNow; });
    // Both clients' subscriptions stand once an info report of each gets through.
    QSignalSpy qrInfo(mValidator.get(), &Validator::receivedQrInfo);
    QSignalSpy rfidInfo(mValidator.get(), &Validator::receivedRfidInfo);
    QVERIFY(QTest::qWaitFor([&] { return mScanner->publishInfo({}), qrInfo.wait(20); }, 10000));
    QVERIFY(QTest::qWaitFor([&] { return mScanner->mqtt().publish("zeto/rfid/info", "{}"), rfidInfo.wait(20); }, 10000));
}

void tst_Validator::cleanup()
{
    mValidator.reset();
    mScanner->clear();
    mDbPeer->clear();
}

// Everything queued so far has been handled by the worker and re-emitted by the facade.
void tst_Validator::settle()
{
    QMetaObject::invokeMethod(mValidator->worker(), [] {}, Qt::BlockingQueuedConnection);
    QCoreApplication::processEvents();
}

QList<int> tst_Validator::reasons(const QSignalSpy &spy) const
{
    QList<int> list;
    for (const QList<QVariant> &args : spy)
        list << int(args.at(0).value<ValidatorResult>().getDenyReason());
    return list;
}

ValidatorResult tst_Validator::scanOnce(const QString &text)
{
    QSignalSpy scanned(mValidator.get(), &Validator::scannedTicket);
    if (!mScanner->scan(enciphered(text)) || !scanned.wait(10000))
        return ValidatorResult();
    settle();
    return scanned.count() == 1 ? scanned.at(0).at(0).value<ValidatorResult>() : ValidatorResult();
}

void tst_Validator::scanEndToEnd_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("onRoute");
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("logLine");
    QTest::newRow("urban") << urban() << true << 0 << QStringLiteral("Ticket is valid");
    QTest::newRow("urban-short-form") << urban(99, -600, 16) << true << 0 << QStringLiteral("Ticket is valid");
    QTest::newRow("dynamic") << dynamic() << true << 0 << QStringLiteral("Ticket is valid");
    QTest::newRow("urban-not-yet-active") << urban(99, 60) << true << 104 << QStringLiteral("Ticket is not valid");
    QTest::newRow("urban-without-route") << urban() << false << 100 << QStringLiteral("Ticket scanned while not on route");
    QTest::newRow("dynamic-without-route") << dynamic() << false << 100 << QStringLiteral("Ticket scanned while not on route");
    QTest::newRow("empty-ticket") << urban(99, 0).replace("|3600|", "|-1|") << true << 100 << QStringLiteral("Invalid ticket");
    QTest::newRow("unknown-field-count") << QStringLiteral("a|b|c") << true << 100 << QStringLiteral("Invalid ticket");
}

void tst_Validator::scanEndToEnd()
{
    QFETCH(QString, text);
    QFETCH(bool, onRoute);
    QFETCH(int, reason);
    QFETCH(QString, logLine);
    if (onRoute)
        mValidator->routeStarted(*mRoute);

    const ValidatorResult result = scanOnce(text);
    QCOMPARE(int(result.getDenyReason()), reason);
    QCOMPARE(result.getResult(), reason == 0);
    QCOMPARE(result.getTransactionType(), ValidatorResult::Barcode);
    QVERIFY2(mLog->contains("[validator] " + logLine), qPrintable(mLog->texts().join('\n')));
    QCOMPARE(mLog->count("[validator] Transaction >>>>>>>> "), 1);
    QCOMPARE(mLog->containsPart("[validator] Parsing done in "), text != "a|b|c");
}

void tst_Validator::scanDuringPassbackWaitGetsItsOwnVerdict()
{
    mValidator->routeStarted(*mRoute);
    QList<QJsonObject> held;
    mDbPeer->setScript([&](const QJsonObject &request) {
        const QString asked = request.value("params").toArray().at(0).toObject().value("value").toString();
        if (asked.endsWith("-99"))
            held.append(request); // answered below, once the second scan waits behind it
        else
            mDbPeer->reply(request, DbServicePeer::answer("getValidatedTicket", QJsonArray()));
    });
    QSignalSpy scanned(mValidator.get(), &Validator::scannedTicket);
    QVERIFY(mScanner->scan(enciphered(urban(99))));
    QTRY_COMPARE(held.size(), 1);
    QVERIFY(mScanner->scan(enciphered(urban(100))));
    QTRY_COMPARE(mLog->count("[qr] Received scanned data"), 2);
    mDbPeer->reply(held.first(), DbServicePeer::answer("getValidatedTicket", QJsonArray{QJsonObject{{"ticketId", 99}}}));

    QTRY_COMPARE(scanned.count(), 2);
    settle();
    QCOMPARE(reasons(scanned), (QList<int>{103, 0}));
    QCOMPARE(scanned.at(0).at(0).value<ValidatorResult>().getTicketUID(), QStringLiteral("7-1234-A1-99"));
    QCOMPARE(scanned.at(1).at(0).value<ValidatorResult>().getTicketUID(), QStringLiteral("7-1234-A1-100"));
    QCOMPARE(mDbPeer->requests().size(), 2);
}

void tst_Validator::statusMap_data()
{
    QTest::addColumn<QByteArray>("qrStatus");
    QTest::addColumn<QByteArray>("rfidStatus");
    QTest::addColumn<QString>("flags"); // qr, qrEnabled, rfid, rfidEnabled
    const QByteArray up = R"({"service":true,"device":{"active":true,"enabled":true}})";
    QTest::newRow("qr-enabled") << up << QByteArray() << QStringLiteral("1100");
    QTest::newRow("qr-not-enabled") << QByteArray(R"({"service":true,"device":{"active":true,"enabled":false}})")
                                    << QByteArray() << QStringLiteral("1000");
    QTest::newRow("qr-active-as-text") << QByteArray(R"({"service":true,"device":{"active":"true","enabled":true}})")
                                       << QByteArray() << QStringLiteral("0000");
    QTest::newRow("qr-service-down") << QByteArray(R"({"service":false,"device":{"active":true,"enabled":true}})")
                                     << QByteArray() << QStringLiteral("0000");
    QTest::newRow("qr-without-service") << QByteArray("{}") << QByteArray() << QStringLiteral("0000");
    for (int state : {-1, 0, 1, 2, 3, 4}) {
        QTest::addRow("rfid-state-%d", state)
            << QByteArray() << QStringLiteral(R"({"service":true,"device":{"state":%1}})").arg(state).toUtf8()
            << QString(state == 1 ? "0010" : state == 2 || state == 3 ? "0011" : "0000");
    }
    QTest::newRow("rfid-service-down") << QByteArray() << QByteArray(R"({"service":false,"device":{"state":2}})") << QStringLiteral("0000");
    QTest::newRow("each-keeps-the-other") << up << QByteArray(R"({"service":true,"device":{"state":2}})") << QStringLiteral("1111");
}

void tst_Validator::statusMap()
{
    QFETCH(QByteArray, qrStatus);
    QFETCH(QByteArray, rfidStatus);
    QFETCH(QString, flags);
    QSignalSpy status(mValidator.get(), &Validator::status);
    QSignalSpy qr(mValidator.get(), &Validator::receivedQrStatus);
    QSignalSpy rfid(mValidator.get(), &Validator::receivedRfidStatus);
    if (!qrStatus.isEmpty()) {
        QVERIFY(mScanner->publishRaw("status", qrStatus));
        QVERIFY(qr.wait(5000));
    }
    if (!rfidStatus.isEmpty()) {
        QVERIFY(mScanner->mqtt().publish("zeto/rfid/status", rfidStatus) >= 0);
        QVERIFY(rfid.wait(5000));
    }
    const QVariantMap map = status.last().at(0).toMap();
    QCOMPARE(map.keys(), (QStringList{"qr", "qrEnabled", "rfid", "rfidEnabled"}));
    QString got;
    for (const QVariant &flag : map)
        got += flag.toBool() ? '1' : '0';
    QCOMPARE(got, flags);
    if (!qrStatus.isEmpty())
        QCOMPARE(qr.last().at(0).toMap(), QJsonDocument::fromJson(qrStatus).object().toVariantMap());
}

void tst_Validator::barcodeSwitch()
{
    mValidator->setBarcode(true);
    QVERIFY(mScanner->waitForCommands(1));
    QCOMPARE(mScanner->commands(), QStringList{"enable"});
    QVERIFY(mLog->contains("[validator] Setting barcode : true"));
    QCOMPARE(mValidator->qrServiceStatus(), QString());
    QSignalSpy qr(mValidator.get(), &Validator::receivedQrStatus);
    QVERIFY(mScanner->publishStatus(true, true, true));
    QVERIFY(qr.wait(5000));
    QCOMPARE(mValidator->qrServiceStatus(), QStringLiteral("GOOD"));
    mValidator->setBarcode(false);
    QVERIFY(mScanner->waitForCommands(2));
    QCOMPARE(mScanner->commands(), (QStringList{"enable", "disable"}));
}

void tst_Validator::routeFollowing()
{
    mValidator->routeEnded();
    mValidator->routeStarted(*mRoute);
    mValidator->routeProgress(tarvik::RouteProgress(6, 31));
    mValidator->routeProgress(tarvik::RouteProgress(9, 21)); // another route's: the stop stays
    mValidator->routeEnded();
    mValidator->routeEnded();
    QCOMPARE(mLog->count("[validator] No route to stop"), 2);
    QVERIFY(mLog->contains("[validator] Starting route 6 with execution id 77"));
    QCOMPARE(mLog->count("[validator] Current stop set to 'S31' (id=31) stop group 'Z3' (id=3)"), 2);
    QCOMPARE(mLog->count("[validator] Stopping route 6 with execution id 77"), 1);
    QCOMPARE(mRoute->getCurrentStop().getId(), 21); // the caller's route is never moved
}

// The route moves, ends and restarts on this thread while scans are validated on the other:
// each verdict agrees with the one route it was taken against.
void tst_Validator::routeProgressWhileScanning()
{
    Configuration().set("validator/qr_passback", false);
    mValidator->routeStarted(*mRoute);
    ValidatorPrivate *worker = mValidator->worker();
    QSignalSpy scanned(mValidator.get(), &Validator::scannedTicket);
    constexpr int kScans = 200;
    std::atomic<int> baskets{0};
    for (int i = 0; i < kScans; ++i) {
        switch (i % 4) {
        case 0: mValidator->routeProgress(tarvik::RouteProgress(6, 31)); break;
        case 1: mValidator->routeProgress(tarvik::RouteProgress(6, 21)); break;
        case 2: mValidator->routeEnded(); break;
        default: mValidator->routeStarted(*mRoute); break;
        }
        mValidator->setBasket(i % 2 ? std::make_shared<Basket>() : nullptr);
        QMetaObject::invokeMethod(worker, "onTicketScanned", Qt::QueuedConnection, Q_ARG(QString, urban(1000 + i)));
        QMetaObject::invokeMethod(worker, [&, worker] { baskets += worker->basketSnapshot() ? 1 : 0; });
        // At most two scans in flight: each is validated while the next route change is made.
        QVERIFY(QTest::qWaitFor([&] { return scanned.count() >= i - 1; }, 10000));
    }
    QTRY_COMPARE(scanned.count(), kScans);
    settle();
    QSet<int> outcomes;
    for (const QList<QVariant> &args : scanned) {
        const ValidatorResult result = args.at(0).value<ValidatorResult>();
        const int stop = result.getRouteInfo().stopId;
        const int expected = stop == 21 ? 0 : stop == 31 ? 102 : 100;
        QCOMPARE(int(result.getDenyReason()), expected);
        outcomes << expected;
    }
    QVERIFY(outcomes.size() > 1);
    QVERIFY(baskets > 0);
}

void tst_Validator::cleanTimerAgainstInserts()
{
    QVERIFY(mLog->contains("[validator] WARN: validator/db_clean_minutes is -5, cleaning every minute instead"));
    mValidator->remotelyValidatedTicket(remoteTicket("R-none", localText(0)));
    QVERIFY(mLog->contains("[validator] Remotely validated ticket received while not on route. Ignoring..."));

    Configuration().set("validator/db_keep_minutes", 1);
    mValidator->routeStarted(*mRoute);
    mValidator->remotelyValidatedTicket(remoteTicket("R-61", localText(-61)));
    mValidator->remotelyValidatedTicket(remoteTicket("R-60", localText(-60)));
    mValidator->remotelyValidatedTicket(remoteTicket("R-59", localText(-59)));
    mValidator->remotelyValidatedTicket(remoteTicket("R-garbled", "10/03/2026 12:00"));
    QVERIFY(mLog->contains("[validator] WARN: Remotely validated ticket R-garbled has an unreadable validationTime "
                           "'10/03/2026 12:00', stored with the time of receipt"));
    constexpr int kRounds = 20;
    for (int i = 0; i < kRounds; ++i) {
        QMetaObject::invokeMethod(mValidator->worker(), "onCleanTimer", Qt::QueuedConnection);
        mValidator->remotelyValidatedTicket(remoteTicket(QStringLiteral("R-fresh-%1").arg(i), localText(0)));
    }
    settle();
    QCOMPARE(mLog->count("[validator] Cleaned 2 tickets older than 2026-03-10T11:59:00Z")
                 + mLog->count("[validator] Cleaned 0 tickets older than 2026-03-10T11:59:00Z"),
             kRounds);
    QCOMPARE(mLog->count("[validator] Cleaned 2 tickets older than 2026-03-10T11:59:00Z"), 1);

    mLog->clear();
    for (const QString id : {"R-61", "R-60", "R-59", "R-garbled", "R-fresh-0", "R-fresh-19"})
        mValidator->remotelyValidatedTicket(remoteTicket(id, localText(0)));
    QCOMPARE(mLog->count("[validator] Storing remotely validated ticket with uid: R-61")
                 + mLog->count("[validator] Storing remotely validated ticket with uid: R-60"),
             2);
    QCOMPARE(mLog->count("[validator] Storing remotely validated ticket with uid: R-59"), 0);
    QVERIFY(mLog->contains("[validator] Ignoring remotely validated ticket R-fresh-19, already stored..."));
}

void tst_Validator::storeEMVResults_data()
{
    QTest::addColumn<bool>("answered");
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<bool>("withBasket");
    QTest::addColumn<QByteArray>("params");
    QTest::addColumn<QString>("logLine");
    QTest::newRow("answered") << true << 0 << true
                              << QByteArray(R"([{"errorCode":0,"ticketId":"T1"},{"errorCode":0,"ticketId":"T2"}])")
                              << QStringLiteral("[validator] DB Response: ");
    QTest::newRow("timed-out-null-basket") << false << 402 << false << QByteArray("[]")
                                           << QStringLiteral("[validator] DBmanager returned null on storeEMVResult() request");
}

void tst_Validator::storeEMVResults()
{
    QFETCH(bool, answered);
    QFETCH(int, errorCode);
    QFETCH(bool, withBasket);
    QFETCH(QByteArray, params);
    QFETCH(QString, logLine);
    Configuration().set("db/timeout_ms", answered ? 5000 : 300);
    const QJsonObject answer = DbServicePeer::answer("storeEMVResult", QJsonArray{QJsonObject{{"id", 4}}});
    if (answered)
        logLine += QJsonDocument(answer).toJson(QJsonDocument::Indented);
    mDbPeer->setScript([&](const QJsonObject &request) {
        if (answered)
            mDbPeer->reply(request, answer);
    });
    Basket::Ptr basket;
    if (withBasket) {
        basket = std::make_shared<Basket>();
        basket->setPreviousTickets({{2, {QStringLiteral("T2")}}, {1, {QStringLiteral("T1")}}});
    }
    ValidatorPrivate *worker = mValidator->worker();
    std::atomic<int> outcome{-1};
    QMetaObject::invokeMethod(worker, [&, worker] { outcome = worker->storeEMVResults(basket, errorCode) ? 1 : 0; });
    QTRY_VERIFY_WITH_TIMEOUT(outcome >= 0, 10000);
    Configuration().set("db/timeout_ms", 5000);
    QCOMPARE(outcome == 1, answered);
    QCOMPARE(mDbPeer->requests().size(), 1);
    QCOMPARE(mDbPeer->requests().first().value("method").toString(), QStringLiteral("storeEMVResult"));
    QCOMPARE(QJsonDocument(mDbPeer->requests().first().value("params").toArray()).toJson(QJsonDocument::Compact), params);
    QVERIFY2(mLog->contains(logLine), qPrintable(mLog->texts().join('\n')));
}

QTEST_GUILESS_MAIN(tst_Validator)
#include "tst_validator.moc"

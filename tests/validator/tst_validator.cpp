#include "validator/validator.h"
#include "validator/validator_p.h"

#include "db/dbmanager.h"
#include "framework/configuration.h"

#include "support/dbservicepeer.h"
#include "support/harness.h"
#include "support/logcapture.h"
#include "support/qrscannerpeer.h"
#include "support/qrtestkey.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QDateTime kNow(QDate(2026, 3, 10), QTime(12, 0), Qt::UTC);

QString secs(qint64 offset) { return QString::number(kNow.toSecsSinceEpoch() + offset); }

// Carrier 7, axis 6, product 5, passenger type 1, valid for an hour from `from` (none for 0).
QString urban(int id = 99, qint64 from = -600)
{
    return QStringLiteral("6|1234|A1|R1|2|3|%1|%2|0|0|false|PASSENGER|0|5|1|0|%3|3600|7")
        .arg(secs(-3600)).arg(id).arg(from == 0 ? QStringLiteral("-1") : secs(from));
}

ValidatorResult resultAt(const QSignalSpy &spy, int i) { return spy.at(i).at(0).value<ValidatorResult>(); }

} // namespace

// The service between a scanner peer, a reader peer and a scripted database service on one
// broker, "now" pinned. The route of tests/qr/data/route.json: carrier 7, axis 6, stop 21 in zone
// 2 where product 5 is active, stop 31 in zone 3 where it is not.
class tst_Validator : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup() { mValidator.reset(); }
    void scanEndToEnd_data();
    void scanEndToEnd();
    void scanDuringPassbackWaitGetsItsOwnVerdict();
    void statusMap_data();
    void statusMap();
    void facadeCallsReachTheWorker();

private:
    // Everything queued so far has been handled by the worker and re-emitted by the facade.
    void settle()
    {
        QMetaObject::invokeMethod(mValidator->worker(), [] {}, Qt::BlockingQueuedConnection);
        QCoreApplication::processEvents();
    }
    bool scan(const QString &text) { return mScanner.scan(QrTestKey::encipher(QrTestKey::pad(text.toUtf8()))); }

    BrokerFixture mBroker;
    TestEnv mEnv;
    std::unique_ptr<LogCapture> mLog;
    DbServicePeer mDbPeer;
    QrScannerPeer mScanner;
    manager::MqttClient mClient;
    std::unique_ptr<DBManager> mDb;
    std::shared_ptr<tarvik::Route> mRoute;
    std::unique_ptr<Validator> mValidator;
};

void tst_Validator::initTestCase()
{
    QVERIFY2(Harness::zoneKnown(), "no time-zone data for America/New_York");
    qRegisterMetaType<ValidatorResult>("ValidatorResult");
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=true\nqt.*=false"));
    // Raised to one minute: the clean timer never fires by itself during a test.
    QVERIFY(Harness::useSettings(mEnv, "[validator]\ndb_clean_minutes=-5\n[db]\ntimeout_ms=5000\n"));

    QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
    mLog = std::make_unique<LogCapture>();
    QVERIFY(mDbPeer.connectTo(mBroker.host(), mBroker.port()));
    QVERIFY(mScanner.connectTo(mBroker.host(), mBroker.port()));
    mDb = std::make_unique<DBManager>(&mClient);
    QVERIFY(Harness::connect(mClient, mBroker));
    QVERIFY(mRoute = Harness::loadRoute(ROUTE_FILE));
}

void tst_Validator::init()
{
    Configuration().set("validator/qr_passback", true);
    mDbPeer.clear();
    mDbPeer.setScript([this](const QJsonObject &request) {
        mDbPeer.reply(request, DbServicePeer::answer(request.value("method").toString(), QJsonArray()));
    });
    mScanner.clear();
    mLog->clear();
    mValidator = std::make_unique<Validator>(&mClient, *mDb, nullptr, nullptr);
    mValidator->worker()->setClock([] { return kNow; });
    // Both clients' subscriptions stand once an info report of each gets through.
    QSignalSpy qrInfo(mValidator.get(), &Validator::receivedQrInfo);
    QSignalSpy rfidInfo(mValidator.get(), &Validator::receivedRfidInfo);
    QVERIFY(QTest::qWaitFor([&] { return mScanner.publishInfo({}), qrInfo.wait(20); }, 10000));
    QVERIFY(QTest::qWaitFor([&] { return mScanner.mqtt().publish("zeto/rfid/info", "{}"), rfidInfo.wait(20); }, 10000));
}

void tst_Validator::scanEndToEnd_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("onRoute");
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("logLine");
    const QString valid = QStringLiteral("Ticket is valid");
    const QString invalid = QStringLiteral("Invalid ticket");
    QTest::newRow("urban") << urban() << true << 0 << valid;
    QTest::newRow("urban-not-yet-active") << urban(99, 60) << true << 104 << QStringLiteral("Ticket is not valid");
    QTest::newRow("urban-without-route") << urban() << false << 100 << QStringLiteral("Ticket scanned while not on route");
    QTest::newRow("empty-ticket") << urban(99, 0).replace("|3600|", "|-1|") << true << 100 << invalid;
    QTest::newRow("unknown-field-count") << QStringLiteral("a|b|c") << true << 100 << invalid;
}

void tst_Validator::scanEndToEnd()
{
    QFETCH(QString, text);
    QFETCH(bool, onRoute);
    QFETCH(int, reason);
    QFETCH(QString, logLine);
    if (onRoute)
        mValidator->routeStarted(*mRoute);
    QSignalSpy scanned(mValidator.get(), &Validator::scannedTicket);
    QVERIFY(scan(text));
    QVERIFY(scanned.wait(10000));
    settle();
    QCOMPARE(scanned.count(), 1);
    const ValidatorResult r = resultAt(scanned, 0);
    QCOMPARE(QList<int>({r.getDenyReason(), r.getResult(), r.getTransactionType()}), QList<int>({reason, reason == 0, ValidatorResult::Barcode}));
    QVERIFY2(mLog->contains("[validator] " + logLine), qPrintable(mLog->texts().join('\n')));
    QCOMPARE(mLog->count("[validator] Transaction >>>>>>>> "), 1);
    QCOMPARE(mLog->containsPart("[validator] Parsing done in "), text != "a|b|c");
}

void tst_Validator::scanDuringPassbackWaitGetsItsOwnVerdict()
{
    mValidator->routeStarted(*mRoute);
    QList<QJsonObject> held;
    mDbPeer.setScript([&](const QJsonObject &request) {
        if (request.value("params").toArray().at(0).toObject().value("value").toString().endsWith("-99"))
            held.append(request); // answered below, once the second scan waits behind it
        else
            mDbPeer.reply(request, DbServicePeer::answer("getValidatedTicket", QJsonArray()));
    });
    QSignalSpy scanned(mValidator.get(), &Validator::scannedTicket);
    QVERIFY(scan(urban(99)));
    QTRY_COMPARE(held.size(), 1);
    QVERIFY(scan(urban(100)));
    QTRY_COMPARE(mLog->count("[qr] Received scanned data"), 2);
    mDbPeer.reply(held.first(), DbServicePeer::answer("getValidatedTicket", QJsonArray{QJsonObject{{"ticketId", 99}}}));

    QTRY_COMPARE(scanned.count(), 2);
    settle();
    QCOMPARE(scanned.count(), 2);
    QCOMPARE(int(resultAt(scanned, 0).getDenyReason()), 103);
    QCOMPARE(resultAt(scanned, 0).getTicketUID(), QStringLiteral("7-1234-A1-99"));
    QCOMPARE(int(resultAt(scanned, 1).getDenyReason()), 0);
    QCOMPARE(resultAt(scanned, 1).getTicketUID(), QStringLiteral("7-1234-A1-100"));
}

// The rows of data/statuses.json: the scanner's and the reader's status reports, and the flags.
void tst_Validator::statusMap_data()
{
    QTest::addColumn<QJsonObject>("row");
    for (const QJsonValue &row : JsonPath::readFile(TEST_DATA_DIR "/statuses.json").array())
        QTest::newRow(qPrintable(row["row"].toString())) << row.toObject();
}

void tst_Validator::statusMap()
{
    QFETCH(QJsonObject, row);
    const auto report = [&](const char *key) { return row[key].isObject() ? QJsonDocument(row[key].toObject()).toJson() : QByteArray(); };
    const QByteArray qrStatus = report("qr");
    const QByteArray rfidStatus = report("rfid");
    QSignalSpy status(mValidator.get(), &Validator::status);
    QSignalSpy qr(mValidator.get(), &Validator::receivedQrStatus);
    if (!qrStatus.isEmpty())
        QVERIFY(mScanner.publishRaw("status", qrStatus));
    if (!rfidStatus.isEmpty())
        QVERIFY(mScanner.mqtt().publish("zeto/rfid/status", rfidStatus) >= 0);
    QTRY_COMPARE(status.count(), int(!qrStatus.isEmpty()) + int(!rfidStatus.isEmpty()));
    // The worker emits the status map first: the report it passes on may still be queued.
    QTRY_COMPARE(qr.count(), int(!qrStatus.isEmpty()));
    if (!qrStatus.isEmpty())
        QCOMPARE(qr.value(0).value(0).toMap(), QJsonDocument::fromJson(qrStatus).object().toVariantMap());
    const QVariantMap map = status.last().at(0).toMap();
    QCOMPARE(map.keys(), (QStringList{"qr", "qrEnabled", "rfid", "rfidEnabled"}));
    QString got;
    for (const QVariant &flag : map)
        got += flag.toBool() ? '1' : '0';
    QCOMPARE(got, row["flags"].toString()); // qr, qrEnabled, rfid, rfidEnabled
}

void tst_Validator::facadeCallsReachTheWorker()
{
    mValidator->setBarcode(true);
    QVERIFY(mScanner.waitForCommands(1));
    QCOMPARE(mScanner.commands(), QStringList{"enable"});

    mValidator->routeEnded();
    mValidator->routeStarted(*mRoute);
    mValidator->routeProgress(tarvik::RouteProgress(6, 31));
    mValidator->routeProgress(tarvik::RouteProgress(9, 21)); // another route's event: the stop stays
    mValidator->routeEnded();
    mValidator->routeEnded();
    QCOMPARE(mLog->count("[validator] No route to stop"), 2);
    QVERIFY(mLog->contains("[validator] Starting route 6 with execution id 77"));
    QCOMPARE(mLog->count("[validator] Current stop set to 'S31' (id=31) stop group 'Z3' (id=3)"), 2);
    QCOMPARE(mLog->count("[validator] Stopping route 6 with execution id 77"), 1);
    QVERIFY(mLog->contains("[validator] WARN: validator/db_clean_minutes is -5, cleaning every minute instead"));
}

QTEST_GUILESS_MAIN(tst_Validator)
#include "tst_validator.moc"

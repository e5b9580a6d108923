#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "framework/mqttclient.h"
#include "framework/settings.h"
#include "tickets/urbanmelva_v1.h"
#include "vehicle/obumanager.h"

#include "gatewayrig.h"

#include "support/brokerfixture.h"
#include "support/dbservicepeer.h"
#include "support/jsonpath.h"
#include "support/logcapture.h"
#include "support/testenv.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>

namespace {

// One record answers every look-up: a ticket reads "ticketId", a blacklist entry and an
// employee "id", and a blacklist entry names its card in "smartCardBlacklistUid".
QJsonObject record(const QJsonValue &marker, const QJsonValue &uid)
{
    return QJsonObject{{QStringLiteral("id"), marker}, {QStringLiteral("ticketId"), marker},
                       {QStringLiteral("smartCardBlacklistUid"), uid}};
}

template <typename T>
int marker(const T &record)
{
    return record ? record->id() : -1;
}

template <>
int marker(const EMVticketResp::Ptr &response)
{
    if (!response)
        return -1;
    return response->toJson().value(QLatin1String("resp")).toArray().at(0).toObject().value(QLatin1String("id")).toInt();
}

// Runs f on a thread of its own standing in for the validation thread, while this thread's
// event loop goes on; false when it did not finish in time.
template <typename F>
bool runOnWorker(F f)
{
    std::unique_ptr<QThread> thread(QThread::create(f));
    thread->start();
    const bool inTime = QTest::qWaitFor([&] { return thread->isFinished(); }, 10000);
    thread->wait();
    return inTime;
}

} // namespace

class tst_DBManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void calls_data();
    void calls();
    void blockCardFromAnotherThread();
    void serviceMessages();
    void gatewayDestroyedDuringWait_data();
    void gatewayDestroyedDuringWait();
    void deviceReadWhileReplaced();

private:
    int call(const QString &caller, const QString &method, const QString &argument, DBManager *db = nullptr);
    static int callNow(DBManager *db, const QString &method, const QString &argument);

    BrokerFixture mBroker;
    GatewayRig mRig;
    std::unique_ptr<LogCapture> mLog;
};

void tst_DBManager::initTestCase()
{
    // The card-block topic is written relative to the OBU link's base.
    QVERIFY(ObuManager::Defaults.contains(QStringLiteral("obu/base")));
    // Request times are UTC in every zone: the second run must really be west of UTC.
    if (qgetenv("TZ") == "America/New_York")
        QVERIFY2(QDateTime::currentDateTime().offsetFromUtc() < 0, "no time-zone data for America/New_York");
    QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
}

void tst_DBManager::init()
{
    // Long enough for a loaded machine; the time-out tests set their own.
    QVERIFY(mRig.prepare({{"db/timeout_ms", 5000}}));
    mLog = std::make_unique<LogCapture>();
    QVERIFY(mRig.start(mBroker, false));
    QVERIFY(mRig.peer().listen(QStringLiteral("zeto/obu/services/smartcard/block")));
    mLog->clear();
}

void tst_DBManager::cleanup()
{
    mRig.stop();
    mLog.reset();
}

// One blocking call named by its method; what it returned as the record's marker, -1 for null.
int tst_DBManager::callNow(DBManager *db, const QString &method, const QString &argument)
{
    const QJsonArray tickets{QJsonObject{{QStringLiteral("ticket"), argument}}};
    if (method == QLatin1String("getValidatedTicket"))
        return marker(db->findQRTicket(argument));
    if (method == QLatin1String("getBlacklistedSmartCard"))
        return marker(db->findSCTicket(argument));
    if (method == QLatin1String("loginCard"))
        return marker(db->login(argument));
    if (method == QLatin1String("issueEMVTickets"))
        return marker(db->issueEMVTickets(tickets));
    if (method == QLatin1String("storeEMVTickets"))
        return marker(db->storeEMVticketsData(tickets));
    if (method == QLatin1String("storeEMVResult"))
        return marker(db->storeEMVResults(tickets));
    return -2;
}

int tst_DBManager::call(const QString &caller, const QString &method, const QString &argument, DBManager *db)
{
    if (!db)
        db = mRig.db();
    if (caller == QLatin1String("async")) { // the slot of the same request, which returns nothing
        static const QMap<QString, const char *> kSlots = {
            {"getValidatedTicket", "findQRTicketAsync"}, {"getBlacklistedSmartCard", "findSCTicketAsync"},
            {"loginCard", "loginAsync"},                 {"issueEMVTickets", "issueEMVTicketsAsync"},
            {"storeEMVTickets", "storeEMVTicketsAsync"}, {"storeEMVResult", "storeEMVResultAsync"}};
        const bool emv = method.contains(QLatin1String("EMV"));
        const QJsonArray tickets{QJsonObject{{QStringLiteral("ticket"), argument}}};
        const bool invoked = emv ? QMetaObject::invokeMethod(db, kSlots.value(method), Q_ARG(QJsonArray, tickets))
                                 : QMetaObject::invokeMethod(db, kSlots.value(method), Q_ARG(QString, argument));
        return invoked ? -5 : -6;
    }
    if (caller == QLatin1String("main"))
        return callNow(db, method, argument);
    int result = -3;
    if (!runOnWorker([&] { result = callNow(db, method, argument); }))
        return -4;
    return result;
}

// The cases of data/calls.json: calls [caller ("main", "worker" standing in for the validation
// thread, or "async" for the slot), method, argument, time-out in ms], and the service's script:
// for the n-th request, its replies ({"to": a request's index, "marker", "uid" of the card,
// "error"}). What the calls returned (the record's marker, -1 for null), the requests (time stamp
// checked, then masked), the login answers passed on and the gateway's log lines are pinned in
// data/calls.expected.json (ZUB_WRITE_GOLDEN=1 writes it).
void tst_DBManager::calls_data()
{
    QTest::addColumn<QJsonObject>("session");
    QTest::addColumn<QJsonObject>("expected");
    const QJsonObject cases = JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/calls.json")).object();
    const QJsonObject expected = JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/calls.expected.json")).object();
    QVERIFY(!cases.isEmpty());
    for (auto it = cases.begin(); it != cases.end(); ++it)
        QTest::newRow(qPrintable(it.key())) << it.value().toObject() << expected.value(it.key()).toObject();
}

void tst_DBManager::calls()
{
    QFETCH(QJsonObject, session);
    QFETCH(QJsonObject, expected);
    const QJsonObject script = session.value("script").toObject();
    int heard = 0;
    mRig.peer().setScript([&](const QJsonObject &) {
        for (const QJsonValue &value : script.value(QString::number(heard++)).toArray()) {
            const QJsonObject reply = value.toObject();
            const QJsonObject to = mRig.peer().requests().at(reply.value("to").toInt());
            const QJsonValue asked = to.value("params").toArray().at(0).toObject().value("value");
            mRig.peer().reply(to, DbServicePeer::answer(to.value("method").toString(),
                                                        {record(reply.value("marker"), reply.value("uid").isUndefined() ? asked : reply.value("uid"))},
                                                        reply.contains("error") ? 4 : 0, reply.value("error").toString()));
        }
    });
    QSignalSpy logins(mRig.db(), &DBManager::onLoginResponse);
    QJsonArray results;
    for (const QJsonValue &value : session.value("calls").toArray()) {
        const QJsonArray c = value.toArray();
        GatewayRig::setSetting(QStringLiteral("db/timeout_ms"), c.at(3).toInt(5000));
        const int before = mRig.peer().requests().size();
        const int result = call(c.at(0).toString(), c.at(1).toString(), c.at(2).toString());
        if (result == -5)
            QVERIFY(mRig.peer().waitForRequests(before + 1));
        else
            results.append(result);
    }
    QJsonArray requests;
    for (QJsonObject request : mRig.peer().requests()) {
        const QDateTime stamp = QDateTime::fromString(request.value("timestamp").toString(), Qt::ISODate);
        QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$").match(request.value("timestamp").toString()).hasMatch()
                     && qAbs(stamp.secsTo(QDateTime::currentDateTimeUtc())) < 60,
                 qPrintable(request.value("timestamp").toString()));
        request.insert("timestamp", "<utc>");
        requests.append(request);
    }
    // Written as indented text, not retained.
    for (const MqttPeer::Message &message : mRig.peer().mqtt().messages(QStringLiteral("zeto/db/request"))) {
        if (QJsonDocument::fromJson(message.payload).object().value("src") == QJsonValue("zub"))
            QVERIFY(message.payload.contains("\n    \"method\"") && !message.retain);
    }
    QJsonArray log;
    for (const LogCapture::Entry &entry : mLog->entries()) {
        if (entry.text.startsWith(QLatin1String("[DBManager]")))
            log.append(QStringLiteral("%1 %2").arg(entry.type).arg(entry.text).replace(QRegularExpression("\\d+ msec"), "<n> msec"));
    }
    const QJsonObject actual{{"results", results}, {"requests", requests}, {"logins", logins.count()}, {"log", log}};
    if (qEnvironmentVariableIsSet("ZUB_WRITE_GOLDEN")) {
        const QString name = QStringLiteral(TEST_DATA_DIR "/calls.expected.json");
        QJsonObject all = JsonPath::readFile(name).object();
        all.insert(QString::fromLatin1(QTest::currentDataTag()), actual);
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(all).toJson());
        return;
    }
    QVERIFY2(actual == expected, JsonPath::describeMismatch(actual, expected).constData());
}

// The service's messages of data/gateway-session.json, in order ({"topic": below "zeto/db/",
// "payload"}, or {"settings": {...}} written first), and what each did to the gateway: its
// signals with their values, its state, health word, device record, language and back-end URL
// setting and its lines logged, pinned in data/gateway-session.expected.json (ZUB_WRITE_GOLDEN=1
// writes it).
void tst_DBManager::serviceMessages()
{
    DBManager *db = mRig.db();
    QJsonArray fired;
    QObject context;
    const auto note = [&](const char *name, const QJsonValue &value = QJsonValue()) {
        fired.append(value.isUndefined() || value.isNull() ? QJsonValue(name) : QJsonValue(QJsonArray{name, value}));
    };
    connect(db, &DBManager::onInfoChanged, &context, [&](DBManagerPrivate::Info i) {
        if (!i.serviceVersion.startsWith(QLatin1String("sync-")))
            note("info", QStringList{i.serviceVersion, i.databaseSchema, i.databaseVersion}.join('|'));
    });
    connect(db, &DBManager::onStateChanged, &context, [&](DBManagerPrivate::State st) { note("state", int(st)); });
    connect(db, &DBManager::onDeviceChanged, &context, [&](Device::Ptr d) { note("device", d ? d->toJson() : QJsonObject()); });
    connect(db, &DBManager::onFindQRTicketResponse, &context, [&](qrticket_ptr t) { note("qrTicket", t ? t->id() : -1); });
    connect(db, &DBManager::onLanguageChanged, &context, [&](const QString &l) { note("language", l); });
    connect(db, &DBManager::onPaperTicketIssuingStarted, &context, [&] { note("singleStarted"); });
    connect(db, &DBManager::onPaperTicketIssuingEnded, &context, [&](int e) { note("singleEnded", e); });
    connect(db, &DBManager::onMultipleTicketsIssuingStarted, &context, [&] { note("multipleStarted"); });
    connect(db, &DBManager::onMultipleTicketsIssuingEnded, &context, [&](int e) { note("multipleEnded", e); });
    // "#" also gives the gateway's client the topics without the id level.
    mRig.client()->subscribe("zeto/db/#", 0);
    QVERIFY(mRig.sync());

    QJsonArray actual;
    for (const QJsonValue &value : JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/gateway-session.json")).array()) {
        const QJsonObject step = value.toObject();
        const QJsonObject settings = step.value("settings").toObject();
        for (auto it = settings.begin(); it != settings.end(); ++it)
            GatewayRig::setSetting(it.key(), it.value().toVariant());
        fired = QJsonArray();
        mLog->clear();
        if (step.contains("topic"))
            mRig.peer().mqtt().publish("zeto/db/" + step.value("topic").toString(), step.value("payload").toString().toUtf8());
        QVERIFY(mRig.sync());
        QJsonArray log;
        for (const LogCapture::Entry &entry : mLog->entries()) {
            if (entry.text.startsWith(QLatin1String("[DBManager]")) && !entry.text.contains(QLatin1String("version=sync-")))
                log.append(QStringLiteral("%1 %2").arg(entry.type).arg(entry.text)
                               .replace(mRig.env().path(), QStringLiteral("<folder>"))
                               .replace(QRegularExpression("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d"), "<time>"));
        }
        QSettings file(mRig.env().settingsFile(), QSettings::IniFormat);
        actual.append(QJsonObject{{"step", step}, {"signals", fired}, {"log", log}, {"state", int(db->state())},
                                  {"service", db->service()}, {"health", db->serviceStatus()},
                                  {"device", db->device() ? db->device()->toJson() : QJsonObject()},
                                  {"language", db->selectedLanguage()},
                                  {"url", file.value(QStringLiteral("tarvik/url")).toString()}});
    }
    const QString expectedFile = QStringLiteral(TEST_DATA_DIR "/gateway-session.expected.json");
    if (qEnvironmentVariableIsSet("ZUB_WRITE_GOLDEN")) {
        QFile file(expectedFile);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(actual).toJson());
    }
    const QJsonArray expected = JsonPath::readFile(expectedFile).array();
    QCOMPARE(actual.size(), expected.size());
    for (int i = 0; i < actual.size(); ++i)
        QVERIFY2(actual.at(i) == expected.at(i),
                 JsonPath::describeMismatch(actual.at(i).toObject(), expected.at(i).toObject()).constData());
}

void tst_DBManager::blockCardFromAnotherThread()
{
    DBManager *db = mRig.db();
    QVERIFY(runOnWorker([db] {
        QMetaObject::invokeMethod(db, "blockCard", Qt::QueuedConnection, Q_ARG(QString, QStringLiteral("04A1B2")),
                                  Q_ARG(SCBlacklistEntry::BlockReason, SCBlacklistEntry::Lost));
    }));
    const QString topic = QStringLiteral("zeto/obu/services/smartcard/block");
    QVERIFY(mRig.peer().mqtt().waitForMessages(topic));
    const auto message = mRig.peer().mqtt().messages(topic).at(0);
    QCOMPARE(QJsonDocument::fromJson(message.payload).object(),
             (QJsonObject{{"status", 5}, {"reason", 3}, {"uid", "04A1B2"}}));
    QVERIFY(message.payload.contains("\n    \"reason\": 3"));
    QCOMPARE(message.retain, false);
}

void tst_DBManager::gatewayDestroyedDuringWait_data()
{
    QTest::addColumn<QString>("caller");
    QTest::newRow("main") << "main";
    QTest::newRow("worker") << "worker";
}

void tst_DBManager::gatewayDestroyedDuringWait()
{
    QFETCH(QString, caller);
    // The wait ends with the gateway, long before this time-out.
    GatewayRig::setSetting(QStringLiteral("db/timeout_ms"), 60000);
    DBManager *db = mRig.releaseDb();
    mRig.peer().setScript([&](const QJsonObject &) {
        delete db;
        db = nullptr;
    });

    QCOMPARE(call(caller, QStringLiteral("getBlacklistedSmartCard"), QStringLiteral("04A1"), db), -1);
    QVERIFY(!db);
    // The wait ended with the gateway, not with the time-out.
    const QStringList done = mLog->texts().filter(QStringLiteral("[DBManager] Operation completed in "));
    QCOMPARE(done.size(), 1);
    const QRegularExpressionMatch elapsed = QRegularExpression(QStringLiteral("in (\\d+) msec")).match(done.at(0));
    QVERIFY(elapsed.hasMatch());
    QVERIFY2(elapsed.captured(1).toInt() < 60000, qPrintable(done.at(0)));
    // A reply after the gateway went away reaches nobody.
    mRig.stop();
}

void tst_DBManager::deviceReadWhileReplaced()
{
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    DBManager *db = mRig.db();
    std::unique_ptr<QThread> reader(QThread::create([&] {
        while (!stop) {
            if (const Device::Ptr device = db->device())
                reads += device->userId() >= 0 ? 1 : 0;
        }
    }));
    reader->start();
    for (int i = 0; i < 50; ++i)
        mRig.peer().publishStatus(QJsonObject{{"service", true}, {"device", QJsonObject{{"userId", i}}}});
    QVERIFY(mRig.sync());
    QTRY_VERIFY(reads > 0);
    stop = true;
    reader->wait();
    QCOMPARE(mRig.db()->device()->userId(), 49);
}

QTEST_GUILESS_MAIN(tst_DBManager)
#include "tst_dbmanager.moc"

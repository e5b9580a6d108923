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
QJsonObject record(int marker, const QString &uid = QString())
{
    return QJsonObject{
        {QStringLiteral("id"), marker},
        {QStringLiteral("ticketId"), marker},
        {QStringLiteral("smartCardBlacklistUid"), uid},
    };
}

QString askedValue(const QJsonObject &request)
{
    return request.value(QLatin1String("params")).toArray().at(0).toObject().value(QLatin1String("value")).toString();
}

// The reply to a request carrying the record `marker`, for the card the request asked about.
QJsonObject replyWith(const QJsonObject &request, int marker)
{
    return DbServicePeer::answer(request.value(QLatin1String("method")).toString(),
                                 QJsonArray{record(marker, askedValue(request))});
}

int marker(const qrticket_ptr &ticket)
{
    return ticket ? ticket->id() : -1;
}

int marker(const SCBlacklistEntry::Ptr &entry)
{
    return entry ? entry->id() : -1;
}

int marker(const Employee::Ptr &employee)
{
    return employee ? employee->id() : -1;
}

int marker(const EMVticketResp::Ptr &response)
{
    if (!response)
        return -1;
    return response->toJson().value(QLatin1String("resp")).toArray().at(0).toObject().value(QLatin1String("id")).toInt();
}

// Runs f on a thread of its own standing in for the validation thread, while this thread's
// event loop goes on; false when it did not finish in time.
template <typename F>
bool runOnWorker(F f, int timeoutMs = 10000)
{
    std::unique_ptr<QThread> thread(QThread::create(f));
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    thread->start();
    deadline.start(timeoutMs);
    loop.exec();
    // finished() comes just before the thread is done: wait for that in any case.
    const bool inTime = deadline.isActive();
    thread->wait();
    return inTime;
}

const QStringList kBlockingMethods = {
    QStringLiteral("getValidatedTicket"), QStringLiteral("getBlacklistedSmartCard"), QStringLiteral("loginCard"),
    QStringLiteral("issueEMVTickets"),    QStringLiteral("storeEMVTickets"),         QStringLiteral("storeEMVResult"),
};

} // namespace

class tst_DBManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void requestEnvelope_data();
    void requestEnvelope();
    void lateReplyDoesNotAnswerNextCall_data();
    void lateReplyDoesNotAnswerNextCall();
    void repeatedReplyDoesNotAnswerNextCall_data();
    void repeatedReplyDoesNotAnswerNextCall();
    void findSCTicketChecksCard_data();
    void findSCTicketChecksCard();
    void emptyArgumentAnswersNullWithoutRequest_data();
    void emptyArgumentAnswersNullWithoutRequest();
    void failedReplies_data();
    void failedReplies();
    void blockCardFromAnotherThread();
    void serviceMessages();
    void gatewayDestroyedDuringWait_data();
    void gatewayDestroyedDuringWait();
    void deviceReadWhileReplaced();

private:
    void callers_data();
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

void tst_DBManager::callers_data()
{
    QTest::addColumn<QString>("caller");
    QTest::addColumn<QString>("method");
    // Each method once, from the main thread and the validation thread in turn.
    for (int i = 0; i < kBlockingMethods.size(); ++i) {
        const QString caller = i % 2 ? QStringLiteral("worker") : QStringLiteral("main");
        QTest::addRow("%s-%s", qPrintable(kBlockingMethods.at(i)), qPrintable(caller)) << caller << kBlockingMethods.at(i);
    }
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
    if (caller == QLatin1String("main"))
        return callNow(db, method, argument);
    int result = -3;
    if (!runOnWorker([&] { result = callNow(db, method, argument); }))
        return -4;
    return result;
}

void tst_DBManager::requestEnvelope_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QJsonArray>("expectedParams");
    QTest::addColumn<QString>("expectedLog");

    const QJsonArray tickets{QJsonObject{{QStringLiteral("ticket"), QStringLiteral("04A1")}}, 7};
    const auto param = [](const char *name) {
        return QJsonArray{QJsonObject{{QStringLiteral("name"), QLatin1String(name)}, {QStringLiteral("value"), QStringLiteral("04A1")}}};
    };
    QTest::newRow("qr-ticket") << "getValidatedTicket" << param("ticketId") << "[DBManager] Requesting to find ticket : 04A1";
    QTest::newRow("blacklist") << "getBlacklistedSmartCard" << param("uid")
                               << "[DBManager] Requesting to find card in blacklist : 04A1";
    QTest::newRow("login") << "loginCard" << param("card_id") << "[DBManager] Requesting Log-in with card ID : '04A1'";
    QTest::newRow("issue-emv") << "issueEMVTickets" << tickets << "[DBManager] Requesting to issue EMV tickets...";
    QTest::newRow("store-emv") << "storeEMVTickets" << tickets << "[DBManager] Requesting to store EMV tickets...";
    QTest::newRow("store-result") << "storeEMVResult" << tickets << "[DBManager] Requesting to store EMV result...";
}

void tst_DBManager::requestEnvelope()
{
    QFETCH(QString, method);
    QFETCH(QJsonArray, expectedParams);
    QFETCH(QString, expectedLog);

    // Two requests: the counter grows by one with each and travels as text.
    for (int i = 0; i < 2; ++i) {
        if (method == QLatin1String("getValidatedTicket"))
            mRig.db()->findQRTicketAsync(QStringLiteral("04A1"));
        else if (method == QLatin1String("getBlacklistedSmartCard"))
            mRig.db()->findSCTicketAsync(QStringLiteral("04A1"));
        else if (method == QLatin1String("loginCard"))
            mRig.db()->loginAsync(QStringLiteral("04A1"));
        else if (method == QLatin1String("issueEMVTickets"))
            mRig.db()->issueEMVTicketsAsync(expectedParams);
        else if (method == QLatin1String("storeEMVTickets"))
            mRig.db()->storeEMVTicketsAsync(expectedParams);
        else
            mRig.db()->storeEMVResultAsync(expectedParams);
    }
    QVERIFY(mRig.peer().waitForRequests(2));

    const QJsonObject request = mRig.peer().requests().at(1);
    QCOMPARE(request.value("src").toString(), QStringLiteral("zub"));
    QCOMPARE(request.value("method").toString(), method);
    QCOMPARE(request.value("id"), QJsonValue(QStringLiteral("1")));
    QCOMPARE(request.value("params").toArray(), expectedParams);
    QCOMPARE(request.value("userId"), QJsonValue(0));
    const QString timestamp = request.value("timestamp").toString();
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$")).match(timestamp).hasMatch(),
             qPrintable(timestamp));
    QVERIFY(qAbs(QDateTime::fromString(timestamp, Qt::ISODate).secsTo(QDateTime::currentDateTimeUtc())) < 60);
    // Written as indented text, not retained.
    const auto published = mRig.peer().mqtt().messages(QStringLiteral("zeto/db/request"));
    QVERIFY(published.last().payload.contains("\n    \"method\""));
    QVERIFY(!published.last().retain);
    QCOMPARE(mLog->count(expectedLog), 2);
}

void tst_DBManager::lateReplyDoesNotAnswerNextCall_data()
{
    callers_data();
}

void tst_DBManager::lateReplyDoesNotAnswerNextCall()
{
    QFETCH(QString, caller);
    QFETCH(QString, method);

    QSignalSpy async(mRig.db(), &DBManager::onLoginResponse);
    GatewayRig::setSetting(QStringLiteral("db/timeout_ms"), 150);
    QCOMPARE(call(caller, method, QStringLiteral("CARD-A")), -1);
    QCOMPARE(mRig.peer().requests().size(), 1);
    QCOMPARE(mRig.peer().requests().at(0).value("method").toString(), method);
    QVERIFY(mLog->containsPart(QStringLiteral("[DBManager] Operation completed in ")));
    const QJsonObject first = mRig.peer().requests().at(0);

    // The first request's answer comes while the second call waits, just before its own.
    GatewayRig::setSetting(QStringLiteral("db/timeout_ms"), 5000);
    mRig.peer().setScript([&](const QJsonObject &request) {
        mRig.peer().reply(first, replyWith(first, 111));
        mRig.peer().reply(request, replyWith(request, 222));
    });
    QCOMPARE(call(caller, method, QStringLiteral("CARD-B")), 222);
    QVERIFY2(mLog->contains(QStringLiteral("[DBManager] WARN: Dropped late '%1' response to request %2 : its caller no longer waits")
                                .arg(method, first.value("id").toString())),
             qPrintable(mLog->texts().join('\n')));
    // The facade passes the private signal on to asynchronous listeners as well.
    QCOMPARE(async.count(), method == QLatin1String("loginCard") ? 1 : 0);
}

void tst_DBManager::repeatedReplyDoesNotAnswerNextCall_data()
{
    callers_data();
}

void tst_DBManager::repeatedReplyDoesNotAnswerNextCall()
{
    QFETCH(QString, caller);
    QFETCH(QString, method);

    QJsonObject first;
    mRig.peer().setScript([&](const QJsonObject &request) {
        if (first.isEmpty()) {
            first = request;
            mRig.peer().reply(request, replyWith(request, 111));
            return;
        }
        mRig.peer().reply(first, replyWith(first, 111)); // the service says it again
        mRig.peer().reply(request, replyWith(request, 222));
    });
    QCOMPARE(call(caller, method, QStringLiteral("CARD-A")), 111);
    QCOMPARE(call(caller, method, QStringLiteral("CARD-B")), 222);
    QVERIFY(mLog->containsPart(QStringLiteral("[DBManager] WARN: Dropped late '%1' response to request 0").arg(method)));
}

void tst_DBManager::findSCTicketChecksCard_data()
{
    QTest::addColumn<QString>("caller");
    QTest::addColumn<QString>("answeredCard");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("expectedLog");

    QTest::newRow("other-card") << "worker" << "0A0A0A0A" << 222
                                << "[DBManager] WARN: Dropped blacklist entry of card 0A0A0A0A while waiting for card 0B0B0B0B";
    QTest::newRow("same-card-other-case") << "main" << "0b0b0b0b" << 111 << QString();
    QTest::newRow("no-card-named") << "main" << QString() << 111 << QString();
}

void tst_DBManager::findSCTicketChecksCard()
{
    QFETCH(QString, caller);
    QFETCH(QString, answeredCard);
    QFETCH(int, expected);
    QFETCH(QString, expectedLog);

    mRig.peer().setScript([&](const QJsonObject &request) {
        const QString method = QStringLiteral("getBlacklistedSmartCard");
        mRig.peer().reply(request, DbServicePeer::answer(method, {record(111, answeredCard)}));
        mRig.peer().reply(request, DbServicePeer::answer(method, {record(222, askedValue(request))}));
    });
    QCOMPARE(call(caller, QStringLiteral("getBlacklistedSmartCard"), QStringLiteral("0B0B0B0B")), expected);
    if (!expectedLog.isEmpty())
        QVERIFY2(mLog->contains(expectedLog), qPrintable(mLog->texts().join('\n')));
}

void tst_DBManager::emptyArgumentAnswersNullWithoutRequest_data()
{
    QTest::addColumn<QString>("caller");
    QTest::addColumn<QString>("method");
    for (int i = 0; i < 3; ++i)
        QTest::newRow(qPrintable(kBlockingMethods.at(i))) << (i % 2 ? "worker" : "main") << kBlockingMethods.at(i);
}

void tst_DBManager::emptyArgumentAnswersNullWithoutRequest()
{
    QFETCH(QString, caller);
    QFETCH(QString, method);
    // A wait for the time-out would outlast the worker's deadline.
    GatewayRig::setSetting(QStringLiteral("db/timeout_ms"), 60000);

    QCOMPARE(call(caller, method, QString()), -1);
    mRig.db()->findSCTicketAsync(QStringLiteral("04A1"));
    QVERIFY(mRig.peer().waitForRequests(1));
    QCOMPARE(mRig.peer().requests().size(), 1);
    QCOMPARE(mRig.peer().requests().at(0).value("id").toString(), QStringLiteral("0"));
}

void tst_DBManager::failedReplies_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("expectedLog");
    QTest::addColumn<int>("expected");

    QTest::newRow("qr-ticket") << "getValidatedTicket" << "[DBManager] Request failed: boom" << -1;
    QTest::newRow("login") << "loginCard" << "[DBManager] ERROR: Request failed : boom" << -1;
    // The failed store still hands its reply on: the caller reads the error from it.
    QTest::newRow("store-emv") << "storeEMVTickets" << "[DBManager] Request failed: boom" << 5;
}

void tst_DBManager::failedReplies()
{
    QFETCH(QString, method);
    QFETCH(QString, expectedLog);
    QFETCH(int, expected);

    mRig.peer().setScript([&](const QJsonObject &request) {
        mRig.peer().reply(request, DbServicePeer::answer(method, {record(5)}, 4, QStringLiteral("boom")));
    });
    QCOMPARE(call(QStringLiteral("main"), method, QStringLiteral("04A1")), expected);
    const auto entries = mLog->entries();
    const bool critical = std::any_of(entries.begin(), entries.end(), [&](const LogCapture::Entry &e) {
        return e.type == QtCriticalMsg && e.text == expectedLog;
    });
    QVERIFY2(critical, qPrintable(mLog->texts().join('\n')));
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

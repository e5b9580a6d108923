#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "framework/mqttclient.h"
#include "framework/settings.h"
#include "tickets/urbanmelva_v1.h"
#include "vehicle/obumanager.h"

#include "gatewayrig.h"

#include "support/brokerfixture.h"
#include "support/dbservicepeer.h"
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
    void blockingCallAnswered_data();
    void blockingCallAnswered();
    void blockingCallTimesOut_data();
    void blockingCallTimesOut();
    void lateReplyDoesNotAnswerNextCall_data();
    void lateReplyDoesNotAnswerNextCall();
    void repeatedReplyDoesNotAnswerNextCall_data();
    void repeatedReplyDoesNotAnswerNextCall();
    void findSCTicketChecksCard_data();
    void findSCTicketChecksCard();
    void emptyArgumentAnswersNullWithoutRequest_data();
    void emptyArgumentAnswersNullWithoutRequest();
    void ignoredReplies_data();
    void ignoredReplies();
    void failedReplies_data();
    void failedReplies();
    void malformedPayloadDropped_data();
    void malformedPayloadDropped();
    void blockCardFromAnotherThread();
    void statusMessage_data();
    void statusMessage();
    void deviceChangedOnlyWhenItChanges();
    void infoMessage();
    void configMessage_data();
    void configMessage();
    void languageReply_data();
    void languageReply();
    void paperTicketIssuing_data();
    void paperTicketIssuing();
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

void tst_DBManager::blockingCallAnswered_data()
{
    callers_data();
}

void tst_DBManager::blockingCallAnswered()
{
    QFETCH(QString, caller);
    QFETCH(QString, method);
    QSignalSpy async(mRig.db(), &DBManager::onLoginResponse);
    mRig.peer().setScript([this](const QJsonObject &request) { mRig.peer().reply(request, replyWith(request, 7)); });

    QCOMPARE(call(caller, method, QStringLiteral("04A1")), 7);
    QCOMPARE(mRig.peer().requests().size(), 1);
    QCOMPARE(mRig.peer().requests().at(0).value("method").toString(), method);
    QVERIFY(mLog->containsPart(QStringLiteral("[DBManager] Operation completed in ")));
    // The facade passes the private signal on to asynchronous listeners as well.
    QCOMPARE(async.count(), method == QLatin1String("loginCard") ? 1 : 0);
}

void tst_DBManager::blockingCallTimesOut_data()
{
    callers_data();
}

void tst_DBManager::blockingCallTimesOut()
{
    QFETCH(QString, caller);
    QFETCH(QString, method);
    GatewayRig::setSetting(QStringLiteral("db/timeout_ms"), 150);

    QCOMPARE(call(caller, method, QStringLiteral("04A1")), -1);
    QCOMPARE(mRig.peer().requests().size(), 1);
    QVERIFY(mLog->containsPart(QStringLiteral("[DBManager] Operation completed in ")));
}

void tst_DBManager::lateReplyDoesNotAnswerNextCall_data()
{
    callers_data();
}

void tst_DBManager::lateReplyDoesNotAnswerNextCall()
{
    QFETCH(QString, caller);
    QFETCH(QString, method);

    GatewayRig::setSetting(QStringLiteral("db/timeout_ms"), 150);
    QCOMPARE(call(caller, method, QStringLiteral("CARD-A")), -1);
    QCOMPARE(mRig.peer().requests().size(), 1);
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

    for (const QString &caller : {QStringLiteral("main"), QStringLiteral("worker")}) {
        const QByteArray c = caller.toLatin1();
        QTest::addRow("other-card-%s", c.constData())
            << caller << "0A0A0A0A" << 222 << "[DBManager] WARN: Dropped blacklist entry of card 0A0A0A0A while waiting for card 0B0B0B0B";
        QTest::addRow("same-card-other-case-%s", c.constData()) << caller << "0b0b0b0b" << 111 << QString();
        QTest::addRow("no-card-named-%s", c.constData()) << caller << QString() << 111 << QString();
    }
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
    for (const QString &caller : {QStringLiteral("main"), QStringLiteral("worker")}) {
        for (const QString &method : kBlockingMethods.mid(0, 3))
            QTest::addRow("%s-%s", qPrintable(method), qPrintable(caller)) << caller << method;
    }
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

void tst_DBManager::ignoredReplies_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");

    const QByteArray ticket = QJsonDocument(DbServicePeer::answer("getValidatedTicket", {record(9)})).toJson();
    QTest::newRow("other-requester") << "zeto/db/response/other/0" << ticket;
    QTest::newRow("extra-level") << "zeto/db/response/zub/0/1" << ticket;
    QTest::newRow("ui-method") << "zeto/db/response/ui/0" << ticket;
}

void tst_DBManager::ignoredReplies()
{
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);
    QSignalSpy async(mRig.db(), &DBManager::onFindQRTicketResponse);
    QSignalSpy language(mRig.db(), &DBManager::onLanguageChanged);

    // "#" above also gives the gateway's client the topics without the id level.
    mRig.client()->subscribe("zeto/db/#", 0);
    QVERIFY(mRig.sync());
    mLog->clear();
    mRig.peer().mqtt().publish(topic, payload);
    QVERIFY(mRig.sync());
    QCOMPARE(async.count(), 0);
    QCOMPARE(language.count(), 0);
    for (const QString &line : mLog->texts().filter(QStringLiteral("[DBManager]")))
        QVERIFY2(line.startsWith(QLatin1String("[DBManager] Info : version=sync-")), qPrintable(line));
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

void tst_DBManager::malformedPayloadDropped_data()
{
    QTest::addColumn<QString>("topic");
    QTest::newRow("status") << "zeto/db/status";
    QTest::newRow("request") << "zeto/db/request";
}

void tst_DBManager::malformedPayloadDropped()
{
    QFETCH(QString, topic);
    QSignalSpy state(mRig.db(), &DBManager::onStateChanged);
    QSignalSpy device(mRig.db(), &DBManager::onDeviceChanged);

    for (const QByteArray &payload : {QByteArray("{"), QByteArray("\x00\xff garbage", 10), QByteArray("null")})
        mRig.peer().mqtt().publish(topic, payload);
    QVERIFY(mRig.sync());
    const auto entries = mLog->entries();
    const int warnings = std::count_if(entries.begin(), entries.end(), [&](const LogCapture::Entry &e) {
        return e.type == QtWarningMsg && e.text == QStringLiteral("[DBManager] Received malformed data on topic: ") + topic;
    });
    QCOMPARE(warnings, 3);
    QCOMPARE(state.count(), 0);
    QCOMPARE(device.count(), 0);
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

void tst_DBManager::statusMessage_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("expectedState");
    QTest::addColumn<bool>("expectedService");
    QTest::addColumn<QString>("expectedWord");
    QTest::addColumn<QString>("expectedLog");

    QTest::newRow("up-state-7") << QByteArray(R"({"service": true, "state": 7})") << 3 << true << "GOOD"
                                << "[DBManager] Status : service=true state=7";
    QTest::newRow("up-state-1") << QByteArray(R"({"service": true, "state": 1})") << 2 << true << "GOOD"
                                     << "[DBManager] Status : service=true state=1";
    QTest::newRow("down-state-1") << QByteArray(R"({"service": false, "state": 1})") << 0 << false << "CRITICAL"
                                  << "[DBManager] Status : service=false state=1";
    QTest::newRow("empty-payload") << QByteArray() << 0 << false << "CRITICAL"
                                   << "[DBManager] Status : service=false state=0";
}

void tst_DBManager::statusMessage()
{
    QFETCH(QByteArray, payload);
    QFETCH(int, expectedState);
    QFETCH(bool, expectedService);
    QFETCH(QString, expectedWord);
    QFETCH(QString, expectedLog);

    QCOMPARE(mRig.db()->serviceStatus(), QStringLiteral("CRITICAL"));
    QSignalSpy state(mRig.db(), &DBManager::onStateChanged);
    QString wordSeenByListener;
    QObject context;
    connect(mRig.db(), &DBManager::onStateChanged, &context, [&] { wordSeenByListener = mRig.db()->serviceStatus(); });

    // Twice: the state signal comes only with a change.
    mRig.peer().publishRaw(QStringLiteral("status"), payload);
    mRig.peer().publishRaw(QStringLiteral("status"), payload);
    QVERIFY(mRig.sync());
    QCOMPARE(int(mRig.db()->state()), expectedState);
    QCOMPARE(mRig.db()->service(), expectedService);
    QCOMPARE(mRig.db()->serviceStatus(), expectedWord);
    QCOMPARE(mLog->count(expectedLog), 2);
    QCOMPARE(state.count(), expectedState == 0 ? 0 : 1);
    if (expectedState != 0) {
        QCOMPARE(int(state.at(0).at(0).value<DBManagerPrivate::State>()), expectedState);
        QCOMPARE(wordSeenByListener, expectedWord);
    }
    QVERIFY(mRig.db()->device());
}

void tst_DBManager::deviceChangedOnlyWhenItChanges()
{
    QSignalSpy changed(mRig.db(), &DBManager::onDeviceChanged);
    const QJsonObject device{{"id", 12}, {"userId", 7}, {"vehicleUuid", "300"}};
    const QJsonObject status{{"service", true}, {"state", 1}, {"device", device}};

    mRig.peer().publishStatus(status);
    mRig.peer().publishStatus(status);
    QVERIFY(mRig.sync());
    QCOMPARE(changed.count(), 1);
    const Device::Ptr first = mRig.db()->device();
    QCOMPARE(first->toJson(), device);
    QCOMPARE(changed.at(0).at(0).value<Device::Ptr>(), first);

    QJsonObject moved = status;
    moved["device"] = QJsonObject{{"id", 12}, {"userId", 8}, {"vehicleUuid", "300"}};
    mRig.peer().publishStatus(moved);
    QVERIFY(mRig.sync());
    QCOMPARE(changed.count(), 2);
    QCOMPARE(mRig.db()->device()->userId(), 8);
    // Whoever holds the old record keeps it as it was.
    QCOMPARE(first->userId(), 7);

    mRig.peer().publishStatus(QJsonObject{{"service", false}});
    QVERIFY(mRig.sync());
    QCOMPARE(changed.count(), 3);
    QCOMPARE(mRig.db()->device()->toJson(), QJsonObject());
}

void tst_DBManager::infoMessage()
{
    QSignalSpy changed(mRig.db(), &DBManager::onInfoChanged);
    mRig.peer().publishInfo(QJsonObject{{"service", QJsonObject{{"version", "2.3.1"}}},
                                   {"database", QJsonObject{{"schema", "zeto"}, {"version", "41"}}}});
    QTRY_COMPARE(changed.count(), 1);
    const DBManagerPrivate::Info info = changed.at(0).at(0).value<DBManagerPrivate::Info>();
    QCOMPARE(info.serviceVersion, QStringLiteral("2.3.1"));
    QCOMPARE(info.databaseSchema, QStringLiteral("zeto"));
    QCOMPARE(info.databaseVersion, QStringLiteral("41"));
    QCOMPARE(mRig.db()->info().databaseSchema, QStringLiteral("zeto"));
    QVERIFY(mLog->contains(QStringLiteral("[DBManager] Info : version=2.3.1 database=41")));

    mRig.peer().publishInfo(QJsonObject{{"database", QJsonObject{{"version", "42"}}}});
    QTRY_COMPARE(changed.count(), 2);
    QCOMPARE(mRig.db()->info().serviceVersion, QString());
    QCOMPARE(mRig.db()->info().databaseSchema, QString());
}

void tst_DBManager::configMessage_data()
{
    QTest::addColumn<QVariant>("enabled");
    QTest::addColumn<QVariant>("configured");
    QTest::addColumn<QJsonObject>("config");
    QTest::addColumn<QVariant>("expectedUrl");
    QTest::addColumn<QString>("expectedLog");

    const QVariant none; // not in the settings file
    const QJsonObject bo{{"bo_url", "https://bo.example:8443/api"}};
    QTest::newRow("url-unknown") << QVariant(true) << none << bo << QVariant("https://bo.example:8443/api")
                                 << "[DBManager] WARN : Configured Tarvik URL is empty. Extracting from DBManager : "
                                    "https://bo.example:8443/api";
    QTest::newRow("url-mismatch") << QVariant(true) << QVariant("http://old") << bo
                                  << QVariant("https://bo.example:8443/api")
                                  << "[DBManager] WARN : Mismatched configured Tarvik URL. Updating from DBManager : "
                                     "https://bo.example:8443/api";
    QTest::newRow("link-disabled") << QVariant(false) << none << bo << none << QString();
    QTest::newRow("bo-url-empty") << QVariant(true) << QVariant("http://old") << QJsonObject{{"bo_url", ""}}
                                  << QVariant("http://old") << QString();
}

void tst_DBManager::configMessage()
{
    QFETCH(QVariant, enabled);
    QFETCH(QVariant, configured);
    QFETCH(QJsonObject, config);
    QFETCH(QVariant, expectedUrl);
    QFETCH(QString, expectedLog);

    GatewayRig::setSetting(QStringLiteral("tarvik/enabled"), enabled);
    if (configured.isValid())
        GatewayRig::setSetting(QStringLiteral("tarvik/url"), configured);
    mLog->clear();

    mRig.peer().publishConfig(config);
    QVERIFY(mRig.sync());
    QSettings file(mRig.env().settingsFile(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("tarvik/url")), expectedUrl);
    const QStringList lines = mLog->texts().filter(QStringLiteral("Tarvik URL"));
    QCOMPARE(lines, expectedLog.isEmpty() ? QStringList() : QStringList{expectedLog});
}

void tst_DBManager::languageReply_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<QStringList>("expectedSignals");
    QTest::addColumn<QString>("expectedLanguage");
    QTest::addColumn<QString>("expectedLog");

    const QString method = QStringLiteral("setCurrentLanguage");
    const QJsonArray en{QJsonObject{{"value", "en"}}};
    QTest::newRow("first-language") << DbServicePeer::answer(method, en) << QStringList{"en"} << "en"
                                    << "[DBManager] Selected language changed : en";
    QTest::newRow("failed") << DbServicePeer::answer(method, en, 2, "no such language") << QStringList() << "none"
                            << "[DBManager] Request failed: no such language";
    QTest::newRow("already-selected") << DbServicePeer::answer(method, QJsonArray{QJsonObject{{"value", "none"}}})
                                      << QStringList() << "none" << QString();
}

void tst_DBManager::languageReply()
{
    QFETCH(QJsonObject, reply);
    QFETCH(QStringList, expectedSignals);
    QFETCH(QString, expectedLanguage);
    QFETCH(QString, expectedLog);

    QCOMPARE(mRig.db()->selectedLanguage(), QStringLiteral("none"));
    QStringList languages;
    QObject context;
    connect(mRig.db(), &DBManager::onLanguageChanged, &context, [&](const QString &l) { languages << l; });

    // Twice: the same language a second time changes nothing.
    for (int i = 0; i < 2; ++i)
        mRig.peer().replyRaw(QStringLiteral("ui"), QString::number(i), QJsonDocument(reply).toJson());
    QVERIFY(mRig.sync());
    QCOMPARE(languages, expectedSignals);
    QCOMPARE(mRig.db()->selectedLanguage(), expectedLanguage);
    QCOMPARE(mLog->count(QStringLiteral("[DBManager] Processing 'setCurrentLanguage' response")), 2);
    if (!expectedLog.isEmpty())
        QVERIFY2(mLog->contains(expectedLog), qPrintable(mLog->texts().join('\n')));
}

void tst_DBManager::paperTicketIssuing_data()
{
    QTest::addColumn<bool>("mock");
    QTest::addColumn<QString>("method");
    QTest::addColumn<int>("errorId");

    for (const bool mock : {false, true}) {
        for (const char *method : {"issueSingleTicket", "issueMultipleTickets"}) {
            for (const int error : {0, 3})
                QTest::addRow("%s-error-%d-%s", method, error, mock ? "mock" : "service") << mock << method << error;
        }
    }
}

void tst_DBManager::paperTicketIssuing()
{
    QFETCH(bool, mock);
    QFETCH(QString, method);
    QFETCH(int, errorId);
    GatewayRig::setSetting(QStringLiteral("db/mock_dbman"), mock);

    const bool single = method == QLatin1String("issueSingleTicket");
    QStringList events;
    QObject context;
    connect(mRig.db(), &DBManager::onPaperTicketIssuingStarted, &context, [&] { events << "single-started"; });
    connect(mRig.db(), &DBManager::onPaperTicketIssuingEnded, &context, [&](int e) { events << QStringLiteral("single-ended-%1").arg(e); });
    connect(mRig.db(), &DBManager::onMultipleTicketsIssuingStarted, &context, [&] { events << "multiple-started"; });
    connect(mRig.db(), &DBManager::onMultipleTicketsIssuingEnded, &context,
            [&](int e) { events << QStringLiteral("multiple-ended-%1").arg(e); });

    mRig.peer().publishUiRequest(method, 4);
    mRig.peer().replyRaw(QStringLiteral("ui"), QStringLiteral("4"),
                    QJsonDocument(DbServicePeer::answer(method, QJsonArray(), errorId, "paper jam")).toJson());
    QVERIFY(mRig.sync());
    const QString kind = single ? QStringLiteral("single") : QStringLiteral("multiple");
    QCOMPARE(events, (QStringList{kind + "-started", QStringLiteral("%1-ended-%2").arg(kind).arg(errorId)}));
    QVERIFY(mLog->contains(QStringLiteral("[DBManager] Processing '%1' response").arg(method)));
    QCOMPARE(mLog->contains(QStringLiteral("[DBManager] Request failed: paper jam")), errorId != 0);
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

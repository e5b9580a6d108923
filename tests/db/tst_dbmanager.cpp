#include "tickets/urbanmelva_v1.h"
#include "vehicle/obumanager.h"

#include "caserows.h"
#include "gatewayrig.h"

#include "support/goldenfile.h"
#include "support/logcapture.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

namespace {

template <typename T>
int marker(const T &record)
{
    return record ? record->id() : -1;
}

template <>
int marker(const EMVticketResp::Ptr &response)
{
    return response ? response->toJson()["resp"].toArray().at(0)["id"].toInt() : -1;
}

// A blocking call by its method's name: the returned record's marker, -1 for null.
int callNow(DBManager *db, const QString &method, const QString &argument)
{
    const QJsonArray tickets{QJsonObject{{"ticket", argument}}};
    return method == "getValidatedTicket"        ? marker(db->findQRTicket(argument))
           : method == "getBlacklistedSmartCard" ? marker(db->findSCTicket(argument))
           : method == "loginCard"               ? marker(db->login(argument))
           : method == "issueEMVTickets"         ? marker(db->issueEMVTickets(tickets))
           : method == "storeEMVTickets"         ? marker(db->storeEMVticketsData(tickets))
                                                 : marker(db->storeEMVResults(tickets));
}

QJsonArray gatewayLog(const LogCapture &log, const QString &folder)
{
    QJsonArray lines;
    for (const LogCapture::Entry &entry : log.entries()) {
        if (entry.text.startsWith("[DBManager]") && !entry.text.contains("version=sync-"))
            lines.append(QStringLiteral("%1 %2").arg(entry.type).arg(entry.text).replace(folder, "<folder>")
                             .replace(QRegularExpression("\\d+ msec"), "<n> msec")
                             .replace(QRegularExpression("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d"), "<time>"));
    }
    return lines;
}

} // namespace

class tst_DBManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Links the OBU link's defaults: the card-block topic is written relative to its base.
        QVERIFY(ObuManager::Defaults.contains("obu/base"));
        // Request times are UTC in every zone: the second run must really be west of UTC.
        QVERIFY(qgetenv("TZ") != "America/New_York" || QDateTime::currentDateTime().offsetFromUtc() < 0);
        QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
    }
    void init()
    {
        QVERIFY(mRig.prepare({{"db/timeout_ms", 5000}}));
        mLog = std::make_unique<LogCapture>();
        QVERIFY(mRig.start(mBroker, false));
        QVERIFY(mRig.peer().listen(QStringLiteral("zeto/obu/services/smartcard/block")));
        mLog->clear();
    }
    void cleanup()
    {
        mRig.stop();
        mLog.reset();
    }

    // The cases of data/calls.json: calls [caller ("main", "worker" standing in for the validation
    // thread, or "async" for a slot), method or slot, argument, time-out in ms], and the service's script:
    // for the n-th request, its replies ({"to": a request's index, "marker", "uid" of the card,
    // "error"}) or {"destroy": true}, the gateway destroyed while it waits. What the calls returned
    // (marker, whether they ran into the time-out), the requests, the login answers passed on and the
    // gateway's log lines are pinned in data/calls.expected.json (ZUB_WRITE_GOLDEN=1 writes it).
    void calls_data() { addCaseRows(TEST_DATA_DIR "/calls.json"); }

    void calls()
    {
        QFETCH(QJsonValue, testCase);
        DbServicePeer &peer = mRig.peer();
        int heard = 0;
        peer.setScript([&](const QJsonObject &) {
            for (const QJsonValue &value : testCase["script"][QString::number(heard++)].toArray()) {
                const QJsonObject reply = value.toObject();
                if (reply.contains("destroy")) {
                    delete mRig.releaseDb();
                    continue;
                }
                const QJsonObject to = peer.requests().at(reply["to"].toInt());
                const QJsonValue uid = reply.contains("uid") ? reply["uid"] : to["params"][0]["value"];
                const QJsonObject record{{"id", reply["marker"]}, {"ticketId", reply["marker"]}, {"smartCardBlacklistUid", uid}};
                peer.reply(to, DbServicePeer::answer(to["method"].toString(), {record}, reply.contains("error") ? 4 : 0,
                                                     reply["error"].toString()));
            }
        });
        QSignalSpy logins(mRig.db(), &DBManager::onLoginResponse);
        QJsonArray results;
        for (const QJsonValue &value : testCase["calls"].toArray()) {
            const QString caller = value[0].toString(), method = value[1].toString(), argument = value[2].toString();
            const int timeout = value[3].toInt(5000);
            GatewayRig::setSetting("db/timeout_ms", timeout);
            DBManager *db = mRig.db();
            if (caller == "async") { // a slot, which returns nothing
                const int before = peer.requests().size();
                const QJsonArray tickets{QJsonObject{{"ticket", argument}}};
                QVERIFY(method.contains("EMV") ? QMetaObject::invokeMethod(db, qPrintable(method), Q_ARG(QJsonArray, tickets))
                                               : QMetaObject::invokeMethod(db, qPrintable(method), Q_ARG(QString, argument)));
                QVERIFY(peer.waitForRequests(before + 1));
                continue;
            }
            QElapsedTimer clock;
            clock.start();
            int result = caller == "main" ? callNow(db, method, argument) : -3;
            if (caller == "worker") { // the validation thread's place, while this thread's events go on
                std::unique_ptr<QThread> worker(QThread::create([&] { result = callNow(db, method, argument); }));
                worker->start();
                const bool inTime = QTest::qWaitFor([&] { return worker->isFinished(); }, 10000);
                worker->wait();
                QVERIFY(inTime);
            }
            results.append(QJsonArray{result, clock.elapsed() >= timeout * 9 / 10}); // coarse timers fire up to 5 % early
        }
        QJsonArray requests;
        for (QJsonObject request : peer.requests()) { // stamped in UTC in every zone
            const QString stamp = request.take("timestamp").toString();
            const bool now = qAbs(QDateTime::fromString(stamp, Qt::ISODate).secsTo(QDateTime::currentDateTimeUtc())) < 60;
            request.insert("timestamp", now && stamp.size() == 20 && stamp.endsWith('Z') ? "<utc>" : stamp);
            requests.append(request);
        }
        for (const MqttPeer::Message &message : peer.mqtt().messages("zeto/db/request")) { // indented, not retained
            if (QJsonDocument::fromJson(message.payload)["src"] == "zub")
                QVERIFY(message.payload.contains("\n    \"method\"") && !message.retain);
        }
        const QJsonObject actual{{"results", results}, {"requests", requests}, {"logins", logins.count()},
                                 {"log", gatewayLog(*mLog, mRig.env().path())}};
        const QByteArray diff = GoldenFile::mismatch(TEST_DATA_DIR "/calls.expected.json", QTest::currentDataTag(), actual);
        QVERIFY2(diff.isEmpty(), diff.constData());
    }

    // The service's messages of data/gateway-session.json, in order ({"topic": below "zeto/db/",
    // "payload"}, or {"settings": {...}} written first), and what each did to the gateway: its
    // signals with their values, state, health word, device, language, back-end URL setting and
    // log lines, pinned in data/gateway-session.expected.json (ZUB_WRITE_GOLDEN=1 writes it).
    void serviceMessages()
    {
        DBManager *db = mRig.db();
        QJsonArray fired;
        QObject context;
        const auto note = [&](const char *name, const QJsonValue &value = QJsonValue()) {
            fired.append(value.isNull() ? QJsonValue(name) : QJsonValue(QJsonArray{name, value}));
        };
        connect(db, &DBManager::onInfoChanged, &context, [&](DBManagerPrivate::Info i) {
            if (!i.serviceVersion.startsWith("sync-"))
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
        mRig.client()->subscribe("zeto/db/#", 0); // "#" also gives the topics without the id level
        QVERIFY(mRig.sync());

        QJsonArray actual;
        for (const QJsonValue &value : JsonPath::readFile(TEST_DATA_DIR "/gateway-session.json").array()) {
            const QJsonObject step = value.toObject(), settings = step["settings"].toObject();
            for (auto it = settings.begin(); it != settings.end(); ++it)
                GatewayRig::setSetting(it.key(), it.value().toVariant());
            fired = QJsonArray();
            mLog->clear();
            if (step.contains("topic"))
                mRig.peer().mqtt().publish("zeto/db/" + step["topic"].toString(), step["payload"].toString().toUtf8());
            QVERIFY(mRig.sync());
            actual.append(QJsonObject{{"step", step}, {"signals", fired}, {"log", gatewayLog(*mLog, mRig.env().path())},
                                      {"state", int(db->state())}, {"service", db->service()}, {"health", db->serviceStatus()},
                                      {"device", db->device() ? db->device()->toJson() : QJsonObject()}, {"language", db->selectedLanguage()},
                                      {"url", QSettings(mRig.env().settingsFile(), QSettings::IniFormat).value("tarvik/url").toString()}});
        }
        const QByteArray diff = GoldenFile::mismatch(TEST_DATA_DIR "/gateway-session.expected.json", "session", actual);
        QVERIFY2(diff.isEmpty(), diff.constData());
    }

    void blockCardOnItsDefaultTopic()
    {
        // The validation thread's queued call is run by the card flow's test.
        mRig.db()->blockCard(QStringLiteral("04A1B2"), SCBlacklistEntry::Lost);
        const QString topic = QStringLiteral("zeto/obu/services/smartcard/block");
        QVERIFY(mRig.peer().mqtt().waitForMessages(topic));
        const MqttPeer::Message message = mRig.peer().mqtt().messages(topic).at(0);
        QCOMPARE(QJsonDocument::fromJson(message.payload).object(), (QJsonObject{{"status", 5}, {"reason", 3}, {"uid", "04A1B2"}}));
        QVERIFY(message.payload.contains("\n    \"reason\": 3") && !message.retain);
    }
private:
    BrokerFixture mBroker;
    GatewayRig mRig;
    std::unique_ptr<LogCapture> mLog;
};

QTEST_GUILESS_MAIN(tst_DBManager)
#include "tst_dbmanager.moc"

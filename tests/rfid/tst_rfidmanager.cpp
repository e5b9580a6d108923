#include "framework/mqttclient.h"
#include "framework/settings.h"
#include "rfid/ledresult.h"
#include "rfid/rfidmanager.h"
#include "rfid/rfidmanager_p.h"
#include "support/brokerfixture.h"
#include "support/goldenfile.h"
#include "support/logcapture.h"
#include "support/mqttpeer.h"
#include "support/testenv.h"

#include <QtTest>

#include <memory>

using manager::MqttClient;

// The reader client against a private broker, with a test peer in the reader service's place.
// data/reader-session.json is a session of steps: the owners' calls (by name, as they make them
// across threads) and the service's messages (handed to the client as the broker would). What
// each step gave (the requests published, the signals with their maps, the lines
// logged and the health word) is pinned in data/reader-session.expected.json.
namespace {

const QByteArray kBase = "zeto/rfid/";

// The signals of an object that fired since the last take, in order, with their arguments.
class Recorder
{
public:
    explicit Recorder(QObject *object)
    {
        const QMetaObject *meta = object->metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            const QByteArray signature = QByteArray::number(QSIGNAL_CODE) + method.methodSignature();
            if (method.methodType() == QMetaMethod::Signal)
                mSpies.append({QString::fromLatin1(method.name()), std::make_shared<QSignalSpy>(object, signature.constData())});
        }
    }
    QJsonArray take()
    {
        QJsonArray fired;
        for (auto &[name, spy] : mSpies) {
            for (const QList<QVariant> &args : *spy)
                fired.append(args.isEmpty() ? QJsonValue(name)
                                            : QJsonValue(QJsonArray{name, QJsonObject::fromVariantMap(args.first().toMap())}));
            spy->clear();
        }
        return fired;
    }

private:
    QList<QPair<QString, std::shared_ptr<QSignalSpy>>> mSpies;
};

} // namespace

class tst_RfidManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
        QVERIFY(mPeer.connectTo(mBroker.host(), mBroker.port()) && mPeer.subscribe(QStringLiteral("#"), 2));
    }

    void init()
    {
        mEnv = std::make_unique<TestEnv>();
        QVERIFY(mEnv->writeFile(QStringLiteral("zub.conf"), QByteArray()));
        manager::Settings::instance()->setDefaultLocation(QFileInfo(mEnv->settingsFile()));
        mClient = std::make_unique<MqttClient>();
        mClient->setHostname(mBroker.host());
        mClient->setPort(mBroker.port());
        mLog = std::make_unique<LogCapture>();
    }

    void cleanup()
    {
        mLog.reset();
        mClient.reset();
    }

    void session()
    {
        const QJsonArray steps = JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/reader-session.json")).array();
        RfidManager manager(mClient.get());
        Recorder recorder(&manager);
        QVERIFY(connectClient());
        QJsonArray actual;
        for (const QJsonValue &step : steps)
            actual.append(QJsonObject{{"step", step}, {"gave", run(manager, recorder, step.toObject())}});
        const QByteArray mismatch = GoldenFile::mismatch(TEST_DATA_DIR "/reader-session.expected.json", "steps", actual);
        QVERIFY2(mismatch.isEmpty(), mismatch.constData());
    }

    void responsePrefix_data()
    {
        QTest::addColumn<QByteArray>("setting"); // "rfid/sub_enable"
        QTest::addColumn<QByteArray>("topic");
        QTest::addColumn<bool>("handled");
        QTest::newRow("no-wildcard-last-char-cut") << QByteArray("bus/en/resp/x") << QByteArray("bus/en/resp/7") << true;
        QTest::newRow("hash-wildcard") << QByteArray("bus/en/#") << QByteArray("bus/en/a/b") << true;
        // A prefix cut down to nothing would take every message on the connection for a response.
        QTest::newRow("wildcard-only") << QByteArray("+") << QByteArray("zeto/ui/screen") << false;
    }

    void responsePrefix()
    {
        QFETCH(QByteArray, setting);
        QFETCH(QByteArray, topic);
        QFETCH(bool, handled);
        QVERIFY(mEnv->writeFile(QStringLiteral("zub.conf"), "[rfid]\nsub_enable=" + setting + "\n"));
        RfidManager manager(mClient.get());
        QSignalSpy enabled(&manager, &RfidManager::enabled);
        emit mClient->received(R"({"completed":true})", topic);
        QCOMPARE(enabled.count(), handled ? 1 : 0);
    }

    void requestCounterWraps()
    {
        // On the wire: the id after the largest is "0", never a negative number.
        RfidManagerPrivate reader(mClient.get());
        QVERIFY(connectClient());
        reader.mRequestCounter = std::numeric_limits<qint32>::max();
        reader.ledSet({});
        reader.ledSet({});
        QTRY_COMPARE(requestsSeen().size(), 2);
        QCOMPARE(requestsSeen().at(0).topic, QStringLiteral("zeto/rfid/led/set/request/2147483647"));
        QCOMPARE(requestsSeen().at(1).topic, QStringLiteral("zeto/rfid/led/set/request/0"));
    }

    void twoClientsShareOneConnection()
    {
        // Built before the connection exists, as the owners do at start-up; each counts its own
        // ids, the validation thread's calls are queued to the client's, and an answer is not
        // matched to its request: both take every response and event.
        RfidManager validation(mClient.get());
        RfidManager inspection(mClient.get());
        QSignalSpy validationWritten(&validation, &RfidManager::cardWritten);
        QSignalSpy inspectionWritten(&inspection, &RfidManager::cardWritten);
        QSignalSpy validationRead(&validation, &RfidManager::cardAutoread);
        QSignalSpy inspectionRead(&inspection, &RfidManager::cardAutoread);
        QVERIFY(connectClient());
        std::unique_ptr<QThread> worker(QThread::create([&] {
            const QVariantMap card{{"uid", "0A0B"}, {"template", "EMV"}};
            QMetaObject::invokeMethod(&validation, "writeCard", Qt::QueuedConnection, Q_ARG(QVariantMap, card));
            QMetaObject::invokeMethod(&validation, "ledSet", Qt::QueuedConnection,
                                      Q_ARG(QJsonObject, LedResult(false, true, true, true).toJson()));
            QMetaObject::invokeMethod(&validation, "enable", Qt::QueuedConnection);
        }));
        worker->start();
        QVERIFY(worker->wait(5000));
        inspection.ledSet(LedResult(true, false, true, true).toJson()); // at once, before the queued calls run
        QTRY_COMPARE(requestsSeen().size(), 4);
        QStringList topics;
        for (const auto &message : requestsSeen())
            topics << message.topic;
        QCOMPARE(topics, (QStringList{"zeto/rfid/led/set/request/0", "zeto/rfid/card/write/request/0",
                                      "zeto/rfid/led/set/request/1", "zeto/rfid/enable/request/2"}));
        QVERIFY(mPeer.publish("zeto/rfid/card/write/response/0", R"({"completed":true,"data":{"uid":"0E"}})") >= 0);
        QVERIFY(mPeer.publish("zeto/rfid/card/autoread", R"({"uid":"01","template":"ZetoDESv3"})") >= 0);
        QTRY_COMPARE(validationRead.count() + inspectionRead.count(), 2);
        QCOMPARE(validationWritten.count() + inspectionWritten.count(), 2);
        QCOMPARE(mLog->texts().filter(" received").size(), 2); // one line each, not one per client
    }

    void withoutClientNothingIsSent()
    {
        RfidManager manager(nullptr);
        manager.enable();
        QVERIFY(mLog->contains("[rfid] ERROR: No MQTT client: the reader cannot be reached"));
        QVERIFY(mLog->contains("[rfid] Enable request (0)"));
    }

private:
    // Connects the shared client; once its own probe comes back, the broker has taken every
    // subscription the client asked for before it.
    bool connectClient()
    {
        mClient->subscribe("test/probe", 0);
        QSignalSpy up(mClient.get(), &MqttClient::connected);
        QSignalSpy received(mClient.get(), &MqttClient::received);
        mClient->connect();
        if (!up.wait(5000))
            return false;
        mClient->publish("{}", "test/probe");
        const bool back = QTest::qWaitFor([&] { return !received.isEmpty(); }, 5000);
        mPeer.clear();
        mLog->clear();
        return back;
    }

    QJsonObject run(RfidManager &manager, Recorder &signals_, const QJsonObject &step)
    {
        const int before = requestsSeen().size();
        const QByteArray call = step.value("call").toString().toLatin1();
        if (!call.isEmpty()) {
            const QJsonValue arg = step.value("arg");
            if (call == "ledSet")
                QMetaObject::invokeMethod(&manager, call, Q_ARG(QJsonObject, arg.toObject()));
            else if (arg.isObject())
                QMetaObject::invokeMethod(&manager, call, Q_ARG(QVariantMap, arg.toObject().toVariantMap()));
            else
                QMetaObject::invokeMethod(&manager, call);
        } else {
            const QByteArray topic = step.contains("full-topic") ? step.value("full-topic").toString().toUtf8()
                                                                 : kBase + step.value("topic").toString().toUtf8();
            emit mClient->received(step.value("payload").toString().toUtf8(), topic);
        }
        QJsonArray log;
        for (const LogCapture::Entry &entry : mLog->entries())
            log.append(QStringLiteral("%1 %2").arg(entry.type).arg(entry.text));
        mLog->clear();
        // The client's messages arrive in order: once a fence request is in, so is everything before.
        manager.getConfig();
        if (!QTest::qWaitFor([&] { return requestsSeen().size() > before && requestsSeen().last().topic.endsWith("config/get"); }, 5000))
            qWarning("the fence request never arrived: the recorded step will differ from its golden file");
        mLog->clear();
        QJsonArray requests;
        const QList<MqttPeer::Message> seen = requestsSeen();
        for (int i = before; i < seen.size() - 1; ++i)
            requests.append(QStringLiteral("%1 %2 q%3%4").arg(seen.at(i).topic.mid(kBase.size()), QString::fromUtf8(seen.at(i).payload))
                                .arg(seen.at(i).qos).arg(seen.at(i).retain ? " retained" : ""));
        return {{"requests", requests}, {"signals", signals_.take()}, {"log", log}, {"health", manager.serviceStatus()}};
    }

    QList<MqttPeer::Message> requestsSeen() const
    {
        QList<MqttPeer::Message> out;
        for (const auto &message : mPeer.messages()) {
            if (message.topic.startsWith(QString::fromLatin1(kBase)) && !message.topic.contains(QLatin1String("/response/")))
                out << message;
        }
        return out;
    }

    BrokerFixture mBroker;
    std::unique_ptr<TestEnv> mEnv;
    MqttPeer mPeer;
    std::unique_ptr<MqttClient> mClient;
    std::unique_ptr<LogCapture> mLog;
};

QTEST_GUILESS_MAIN(tst_RfidManager)
#include "tst_rfidmanager.moc"

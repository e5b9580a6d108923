#include "framework/mqttclient.h"
#include "framework/settings.h"
#include "rfid/ledresult.h"
#include "rfid/rfidmanager.h"
#include "rfid/rfidmanager_p.h"
#include "support/brokerfixture.h"
#include "support/logcapture.h"
#include "support/mqttpeer.h"
#include "support/testenv.h"

#include <QJsonDocument>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <limits>
#include <map>
#include <memory>

using manager::MqttClient;

namespace {

const QString kBase = QStringLiteral("zeto/rfid/");
const QString kProbe = QStringLiteral("test/probe");

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject objectOf(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

bool isRequest(const QString &topic)
{
    return topic.contains(QLatin1String("/request/")) || topic.endsWith(QLatin1String("/get"))
           || topic.endsWith(QLatin1String("/set"));
}

// One spy per signal of an object, by name, to tell exactly which signals fired.
class Spies
{
public:
    explicit Spies(QObject *object)
    {
        const QMetaObject *meta = object->metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() != QMetaMethod::Signal)
                continue;
            const QByteArray signal = QByteArray::number(QSIGNAL_CODE) + method.methodSignature();
            mSpies.emplace(QString::fromLatin1(method.name()),
                           std::make_unique<QSignalSpy>(object, signal.constData()));
        }
    }
    QSignalSpy &operator[](const QString &name) { return *mSpies.at(name); }
    QStringList fired() const
    {
        QStringList names;
        for (const auto &spy : mSpies) {
            for (int i = 0; i < spy.second->count(); ++i)
                names << spy.first;
        }
        return names;
    }

private:
    std::map<QString, std::unique_ptr<QSignalSpy>> mSpies;
};

} // namespace

// The reader client against a private broker, with a test peer in the reader service's
// place; handlers that need odd topics are fed straight through the client's received().
class tst_RfidManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void requests_data();
    void requests();
    void idsCountPerClientAcrossKinds();
    void requestCounterWraps_data();
    void requestCounterWraps();
    void queuedCallsFromAnotherThread();
    void events_data();
    void events();
    void statusEvent_data();
    void statusEvent();
    void responses_data();
    void responses();
    void malformedPayloadsDropped_data();
    void malformedPayloadsDropped();
    void responsePrefix_data();
    void responsePrefix();
    void twoClientsShareOneConnection();
    void withoutClientNothingIsSent();
    void ledResultToJson_data();
    void ledResultToJson();
    void cardTypeLookup_data();
    void cardTypeLookup();

private:
    void writeSettings(const QByteArray &ini);
    bool connectClient();
    bool send(const QString &topic, const QByteArray &payload);
    QList<MqttPeer::Message> requestsSeen() const;
    bool waitRequests(int count);
    QString gateProbe(RfidManager &manager);
    bool setReaderEnabled(RfidManager &manager);
    QStringList rfidLines() const;
    int levelOf(const QString &line) const;

    BrokerFixture mBroker;
    QString mDefaultFile;
    bool mCreatedDefault = false;
    std::unique_ptr<TestEnv> mEnv;
    std::unique_ptr<MqttPeer> mPeer;
    std::unique_ptr<MqttClient> mClient;
    std::unique_ptr<LogCapture> mLog;
};

void tst_RfidManager::initTestCase()
{
    // An existing default file keeps the settings owner away from this process's command line.
    mDefaultFile = QCoreApplication::applicationDirPath() + '/' + QCoreApplication::applicationName() + ".conf";
    if (!QFileInfo::exists(mDefaultFile)) {
        QFile file(mDefaultFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        mCreatedDefault = true;
    }
    manager::Settings::instance();
    QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
}

void tst_RfidManager::cleanupTestCase()
{
    if (mCreatedDefault)
        QFile::remove(mDefaultFile);
}

void tst_RfidManager::init()
{
    mEnv = std::make_unique<TestEnv>();
    writeSettings(QByteArray());
    manager::Settings::instance()->setDefaultLocation(QFileInfo(mEnv->settingsFile()));

    mPeer = std::make_unique<MqttPeer>();
    QVERIFY(mPeer->connectTo(mBroker.host(), mBroker.port()));
    QVERIFY(mPeer->subscribe(QStringLiteral("#"), 2));

    mClient = std::make_unique<MqttClient>();
    mClient->setHostname(mBroker.host());
    mClient->setPort(mBroker.port());
    mClient->setRetryMillis(300);
    mClient->setKeepAlive(5);
    mLog = std::make_unique<LogCapture>();
}

void tst_RfidManager::cleanup()
{
    mLog.reset();
    mClient.reset();
    mPeer.reset();
    manager::Settings::instance()->setDefaultLocation(QFileInfo(mDefaultFile));
    mEnv.reset();
}

void tst_RfidManager::writeSettings(const QByteArray &ini)
{
    QVERIFY(mEnv->writeFile(QStringLiteral("zub.conf"), ini));
}

// Connects the shared client; once its own probe comes back, the broker has taken every
// subscription the client asked for before it.
bool tst_RfidManager::connectClient()
{
    mClient->subscribe(kProbe.toUtf8(), 0);
    QSignalSpy up(mClient.get(), &MqttClient::connected);
    QSignalSpy received(mClient.get(), &MqttClient::received);
    mClient->connect();
    if (!up.wait(5000))
        return false;
    mClient->publish("{}", kProbe.toUtf8());
    const bool back = QTest::qWaitFor(
        [&] {
            for (const auto &args : received) {
                if (args.at(1).toByteArray() == kProbe.toUtf8())
                    return true;
            }
            return false;
        },
        5000);
    mPeer->clear();
    mLog->clear();
    return back;
}

bool tst_RfidManager::send(const QString &topic, const QByteArray &payload)
{
    return mPeer->publish(topic, payload) >= 0;
}

QList<MqttPeer::Message> tst_RfidManager::requestsSeen() const
{
    QList<MqttPeer::Message> out;
    for (const auto &message : mPeer->messages()) {
        if (isRequest(message.topic))
            out << message;
    }
    return out;
}

bool tst_RfidManager::waitRequests(int count)
{
    return QTest::qWaitFor([&] { return requestsSeen().size() >= count; }, 5000);
}

// Which of enable() and disable() goes out tells the reader-enabled flag (exactly one does).
// Uses up one id.
QString tst_RfidManager::gateProbe(RfidManager &manager)
{
    const int before = requestsSeen().size();
    manager.enable();
    manager.disable();
    manager.getConfig(); // a fence: the client's messages arrive in order
    if (!waitRequests(before + 2))
        return QStringLiteral("timeout");
    const auto seen = requestsSeen().mid(before);
    if (seen.size() != 2 || !seen.at(1).topic.endsWith(QLatin1String("/config/get")))
        return QStringLiteral("unexpected");
    return seen.at(0).topic.section('/', -3, -3);
}

bool tst_RfidManager::setReaderEnabled(RfidManager &manager)
{
    QSignalSpy status(&manager, &RfidManager::status);
    send(kBase + "status", R"({"service":true,"device":{"state":2,"active":true,"sams":[1]}})");
    const bool ok = status.wait(5000);
    mPeer->clear();
    mLog->clear();
    return ok;
}

QStringList tst_RfidManager::rfidLines() const
{
    QStringList out;
    for (const auto &text : mLog->texts()) {
        if (text.startsWith(QLatin1String("[rfid] ")))
            out << text;
    }
    return out;
}

int tst_RfidManager::levelOf(const QString &line) const
{
    for (const auto &entry : mLog->entries()) {
        if (entry.text == line)
            return entry.type;
    }
    return -1;
}

void tst_RfidManager::requests_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QVariant>("argument"); // none, a QVariantMap or a QJsonObject
    QTest::addColumn<bool>("readerEnabled");
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("log");

    const QVariantMap card{
        {"uid", "04A1B2C3"},
        {"type", 256},
        {"template", "ZetoDESv3"},
        {"data", QVariantMap{{"usageLog", QVariantList{QVariantMap{{"id", 1}}, QVariantMap{{"id", 2}}}},
                             {"note", "ä \"q\""}}},
    };
    const QByteArray cardJson =
        R"({"data":{"note":"ä \"q\"","usageLog":[{"id":1},{"id":2}]},"template":"ZetoDESv3","type":256,"uid":"04A1B2C3"})";

    QTest::newRow("enable-default") << QByteArray("enable") << QVariant() << false << "enable/request/0"
                                    << QByteArray(R"({"autoread":true})") << "Enable request (0)";
    QTest::newRow("enable-options") << QByteArray("enable")
                                    << QVariant(QVariantMap{{"autoread", false}, {"beep", 2}}) << false
                                    << "enable/request/0" << QByteArray(R"({"autoread":false,"beep":2})")
                                    << "Enable request (0)";
    QTest::newRow("disable") << QByteArray("disable") << QVariant() << true << "disable/request/0"
                             << QByteArray("{}") << "Disable request (0)";
    QTest::newRow("create-card") << QByteArray("createCard") << QVariant(card) << false
                                 << "card/create/request/0" << cardJson << "Create card request (0)";
    QTest::newRow("read-card") << QByteArray("readCard") << QVariant(card) << false << "card/read/request/0"
                               << cardJson << "Read card request (0)";
    QTest::newRow("write-card") << QByteArray("writeCard") << QVariant(card) << false
                                << "card/write/request/0" << cardJson << "Write card request (0)";
    QTest::newRow("leds-all-four") << QByteArray("ledSet")
                                   << QVariant(LedResult(true, false, true, false).toJson()) << false
                                   << "led/set/request/0"
                                   << QByteArray(R"({"blue":true,"green":false,"red":true,"yellow":false})")
                                   << "Set leds request (0)";
    QTest::newRow("get-info") << QByteArray("getInfo") << QVariant() << false << "info/get" << QByteArray("{}")
                              << "Get info";
    QTest::newRow("get-config") << QByteArray("getConfig") << QVariant() << false << "config/get"
                                << QByteArray("{}") << "Get config";
}

void tst_RfidManager::requests()
{
    QFETCH(QByteArray, slot);
    QFETCH(QVariant, argument);
    QFETCH(bool, readerEnabled);
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);
    QFETCH(QString, log);

    RfidManager manager(mClient.get());
    QVERIFY(connectClient());
    if (readerEnabled)
        QVERIFY(setReaderEnabled(manager));

    // By name, as the owners call them across threads.
    bool invoked = false;
    if (!argument.isValid())
        invoked = QMetaObject::invokeMethod(&manager, slot.constData());
    else if (argument.userType() == QMetaType::QVariantMap)
        invoked = QMetaObject::invokeMethod(&manager, slot.constData(), Q_ARG(QVariantMap, argument.toMap()));
    else
        invoked = QMetaObject::invokeMethod(&manager, slot.constData(),
                                            Q_ARG(QJsonObject, argument.toJsonObject()));
    QVERIFY(invoked);

    QVERIFY(waitRequests(1));
    const auto seen = requestsSeen();
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().topic, kBase + topic);
    QCOMPARE(seen.first().payload, payload);
    QCOMPARE(seen.first().qos, 0);
    QCOMPARE(seen.first().retain, false);

    QCOMPARE(rfidLines(), QStringList{"[rfid] " + log});
    QCOMPARE(levelOf("[rfid] " + log), int(QtInfoMsg));
}

void tst_RfidManager::idsCountPerClientAcrossKinds()
{
    RfidManager manager(mClient.get());
    QVERIFY(connectClient());

    manager.enable();
    manager.getInfo();
    manager.enable(); // publishing does not set the flag: only answers and status do
    manager.writeCard({{"uid", "01"}});
    manager.getStatus();
    manager.ledSet({{"red", true}});
    manager.readCard({});
    manager.createCard({});
    QVERIFY(waitRequests(8));

    QStringList topics;
    for (const auto &message : requestsSeen())
        topics << message.topic.mid(kBase.size());
    const QStringList expected{
        "enable/request/0",     "info/get",           "enable/request/1",    "card/write/request/2",
        "status/get",           "led/set/request/3",  "card/read/request/4", "card/create/request/5",
    };
    QCOMPARE(topics, expected);
}

void tst_RfidManager::requestCounterWraps_data()
{
    QTest::addColumn<qint32>("current");
    QTest::addColumn<qint32>("next");
    const qint32 max = std::numeric_limits<qint32>::max();
    QTest::newRow("first") << 0 << 1;
    QTest::newRow("largest-wraps-to-zero") << max << 0;
}

void tst_RfidManager::requestCounterWraps()
{
    QFETCH(qint32, current);
    QFETCH(qint32, next);
    QCOMPARE(RfidManagerPrivate::nextRequestId(current), next);

    // On the wire: the id after the largest is "0", never a negative number.
    RfidManagerPrivate reader(mClient.get());
    QVERIFY(connectClient());
    reader.mRequestCounter = current;
    reader.ledSet({});
    reader.ledSet({});
    QVERIFY(waitRequests(2));
    const auto seen = requestsSeen();
    QCOMPARE(seen.at(0).topic, kBase + "led/set/request/" + QString::number(current));
    QCOMPARE(seen.at(1).topic, kBase + "led/set/request/" + QString::number(next));
    QCOMPARE(rfidLines(), (QStringList{"[rfid] Set leds request (" + QString::number(current) + ")",
                                       "[rfid] Set leds request (" + QString::number(next) + ")"}));
}

void tst_RfidManager::queuedCallsFromAnotherThread()
{
    RfidManager manager(mClient.get());
    QVERIFY(connectClient());

    const QVariantMap card{{"uid", "0A0B"}, {"template", "EMV"}};
    std::unique_ptr<QThread> worker(QThread::create([&] {
        QMetaObject::invokeMethod(&manager, "writeCard", Qt::QueuedConnection, Q_ARG(QVariantMap, card));
        QMetaObject::invokeMethod(&manager, "ledSet", Qt::QueuedConnection,
                                  Q_ARG(QJsonObject, LedResult(false, true, true, true).toJson()));
        QMetaObject::invokeMethod(&manager, "enable", Qt::QueuedConnection);
    }));
    worker->start();
    QVERIFY(worker->wait(5000));

    QVERIFY(waitRequests(3));
    const auto seen = requestsSeen();
    QCOMPARE(seen.at(0).topic, kBase + "card/write/request/0");
    QCOMPARE(objectOf(seen.at(0).payload), QJsonObject::fromVariantMap(card));
    QCOMPARE(seen.at(1).topic, kBase + "led/set/request/1");
    QCOMPARE(seen.at(1).payload, QByteArray(R"({"blue":true,"green":true,"red":false,"yellow":true})"));
    QCOMPARE(seen.at(2).topic, kBase + "enable/request/2");
    QCOMPARE(seen.at(2).payload, QByteArray(R"({"autoread":true})"));
}

void tst_RfidManager::events_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("signal");
    QTest::addColumn<QByteArray>("expected"); // the map, as JSON
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("level");

    const QByteArray card = R"({"uid":"04A1","type":256,"template":"ZetoDESv3","data":{"info":{"v":3}}})";
    const QByteArray failedRead = R"({"uid":"04A1","error":{"code":201,"command":"read","what":"lost"}})";

    QTest::newRow("info") << "info" << QByteArray(R"({"version":"2.1"})") << "info"
                          << QByteArray(R"({"version":"2.1"})") << "Info received" << int(QtInfoMsg);
    QTest::newRow("config") << "config" << QByteArray(R"({"beep":true})") << "config"
                            << QByteArray(R"({"beep":true})") << "Config received" << int(QtInfoMsg);
    QTest::newRow("error-debug-level") << "error" << QByteArray(R"({"code":301,"what":"x"})") << "error"
                                       << QByteArray(R"({"code":301,"what":"x"})") << "Error received"
                                       << int(QtDebugMsg);
    QTest::newRow("card-found") << "card/found" << QByteArray(R"({"type":256,"uid":"04A1"})") << "cardFound"
                                << QByteArray(R"({"type":256,"uid":"04A1"})") << "Card found received"
                                << int(QtInfoMsg);
    QTest::newRow("card-removed") << "card/removed" << QByteArray(R"({"uid":"04A1"})") << "cardRemoved"
                                  << QByteArray(R"({"uid":"04A1"})") << "Card removed received"
                                  << int(QtInfoMsg);
    QTest::newRow("autoread-whole-card") << "card/autoread" << card << "cardAutoread" << card
                                         << "Card autoread received" << int(QtInfoMsg);
    QTest::newRow("autoread-array") << "card/autoread" << QByteArray("[1,2]") << "cardAutoread"
                                    << QByteArray("{}") << "Card autoread received" << int(QtInfoMsg);
}

void tst_RfidManager::events()
{
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);
    QFETCH(QString, signal);
    QFETCH(QByteArray, expected);
    QFETCH(QString, log);
    QFETCH(int, level);

    RfidManager manager(mClient.get());
    Spies spies(&manager);
    QVERIFY(connectClient());

    QVERIFY(send(kBase + topic, payload));
    QVERIFY(spies[signal].wait(5000));
    QCOMPARE(spies.fired(), QStringList{signal});
    QCOMPARE(QJsonObject::fromVariantMap(spies[signal].first().first().toMap()), objectOf(expected));
    QCOMPARE(rfidLines(), QStringList{"[rfid] " + log});
    QCOMPARE(levelOf("[rfid] " + log), level);
    QCOMPARE(requestsSeen().size(), 0);
}

void tst_RfidManager::statusEvent_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("health");
    QTest::addColumn<QString>("gate"); // the request that goes out of enable() and disable()

    QTest::newRow("good") << QByteArray(R"({"service":true,"device":{"state":3,"active":true,"sams":[{"id":1}]}})")
                          << "GOOD" << "disable";
    QTest::newRow("inactive-warning")
        << QByteArray(R"({"service":true,"device":{"state":1,"active":false,"sams":["a"]}})") << "WARNING"
        << "enable";
    QTest::newRow("no-sams-critical")
        << QByteArray(R"({"service":true,"device":{"state":2,"active":true,"sams":[]}})") << "CRITICAL"
        << "disable";
    QTest::newRow("empty-payload") << QByteArray() << "CRITICAL" << "enable";
    QTest::newRow("service-down") << QByteArray(R"({"service":false,"device":{"state":2,"active":true,"sams":[1]}})")
                                  << "CRITICAL" << "disable";
    QTest::newRow("state-1") << QByteArray(R"({"device":{"state":1}})") << "CRITICAL" << "enable";
    QTest::newRow("state-2") << QByteArray(R"({"device":{"state":2}})") << "CRITICAL" << "disable";
    QTest::newRow("state-fraction") << QByteArray(R"({"device":{"state":2.5}})") << "CRITICAL" << "enable";
}

void tst_RfidManager::statusEvent()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, health);
    QFETCH(QString, gate);

    RfidManager manager(mClient.get());
    Spies spies(&manager);
    QVERIFY(connectClient());
    QCOMPARE(manager.serviceStatus(), QString());

    // A status that sets the flag first, so that each row shows what it does to it.
    if (gate == "enable")
        QVERIFY(setReaderEnabled(manager));
    spies["status"].clear();

    QVERIFY(send(kBase + "status", payload));
    QVERIFY(spies["status"].wait(5000));
    QCOMPARE(spies.fired(), QStringList{"status"});
    QCOMPARE(QJsonObject::fromVariantMap(spies["status"].first().first().toMap()),
             QJsonDocument::fromJson(payload).object());
    QCOMPARE(manager.serviceStatus(), health);
    QCOMPARE(rfidLines(), QStringList{"[rfid] Status received"});
    QCOMPARE(gateProbe(manager), gate);
}

void tst_RfidManager::responses_data()
{
    QTest::addColumn<bool>("enabledBefore");
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QStringList>("logs");
    QTest::addColumn<QString>("signal"); // empty: none
    QTest::addColumn<QString>("gate");

    const QStringList enableOk{"Enable response received", "Enable request succeeded"};
    const QStringList enableFailed{"Enable response received", "Enable request failed"};
    const QStringList disableOk{"Disable response received", "Disable request succeeded"};
    const QStringList disableFailed{"Disable response received", "Disable request failed"};
    const QStringList writeOk{"Card write response received", "Card write request succeeded"};
    const QStringList writeFailed{"Card write response received", "Card write request failed"};
    const QByteArray completed = R"({"completed":true})";
    const QByteArray notCompleted = R"({"completed":false})";
    const QByteArray written = R"({"completed":true,"data":{"template":"ZetoDESv3","uid":"04A1"}})";
    const QByteArray writeError = R"({"completed":false,"error":{"code":202,"what":"card gone"}})";

    QTest::newRow("enable-completed") << false << "enable/response/0" << completed << enableOk << "enabled"
                                      << "disable";
    QTest::newRow("enable-empty-id") << false << "enable/response/" << completed << enableOk << "enabled"
                                     << "disable";
    QTest::newRow("enable-not-completed") << false << "enable/response/0" << notCompleted << enableFailed << ""
                                          << "enable";
    QTest::newRow("enable-completed-missing") << false << "enable/response/0" << QByteArray("{}") << enableFailed
                                              << "" << "enable";
    QTest::newRow("disable-completed") << true << "disable/response/3" << completed << disableOk << "disabled"
                                       << "enable";
    QTest::newRow("create-completed")
        << false << "card/create/response/0" << written
        << QStringList{"Card create response received", "Card create request succeeded"} << "cardCreated"
        << "enable";
    QTest::newRow("read-failed") << false << "card/read/response/9" << writeError
                                 << QStringList{"Card read response received", "Card read request failed"}
                                 << "cardRead" << "enable";
    QTest::newRow("write-completed") << false << "card/write/response/1" << written << writeOk << "cardWritten"
                                     << "enable";
    QTest::newRow("write-failed-still-emits") << true << "card/write/response/1" << writeError << writeFailed
                                              << "cardWritten" << "disable";
}

void tst_RfidManager::responses()
{
    QFETCH(bool, enabledBefore);
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);
    QFETCH(QStringList, logs);
    QFETCH(QString, signal);
    QFETCH(QString, gate);

    RfidManager manager(mClient.get());
    Spies spies(&manager);
    QVERIFY(connectClient());
    if (enabledBefore)
        QVERIFY(setReaderEnabled(manager));
    spies["status"].clear();

    QVERIFY(send(kBase + topic, payload));
    QStringList expectedLogs;
    for (const auto &line : logs)
        expectedLogs << "[rfid] " + line;
    QTRY_COMPARE(rfidLines(), expectedLogs);
    QCOMPARE(spies.fired(), signal.isEmpty() ? QStringList() : QStringList{signal});
    if (signal.startsWith("card")) {
        QCOMPARE(QJsonObject::fromVariantMap(spies[signal].first().first().toMap()),
                 QJsonDocument::fromJson(payload).object());
    }
    QCOMPARE(gateProbe(manager), gate);
}

void tst_RfidManager::malformedPayloadsDropped_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");

    QTest::newRow("card-found-open-brace") << "card/found" << QByteArray("{");
    QTest::newRow("status-truncated") << "status" << QByteArray(R"({"service":true,"device":{"state":5)");
    QTest::newRow("enable-response-truncated") << "enable/response/0" << QByteArray(R"({"completed":true)");
}

void tst_RfidManager::malformedPayloadsDropped()
{
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);

    RfidManager manager(mClient.get());
    Spies spies(&manager);
    QVERIFY(connectClient());

    QVERIFY(send(kBase + topic, payload));
    const QString warning = "[rfid] Received malformed data on topic: " + kBase + topic;
    QTRY_VERIFY(mLog->contains(warning));
    QCOMPARE(rfidLines(), QStringList{warning});
    QCOMPARE(levelOf(warning), int(QtWarningMsg));

    // Dropped: a later good event is the first thing emitted, and no state moved.
    QVERIFY(send(kBase + "card/removed", "{}"));
    QVERIFY(spies["cardRemoved"].wait(5000));
    QCOMPARE(spies.fired(), QStringList{"cardRemoved"});
    QCOMPARE(manager.serviceStatus(), QString());
    QCOMPARE(gateProbe(manager), QStringLiteral("enable"));
}

void tst_RfidManager::responsePrefix_data()
{
    QTest::addColumn<QByteArray>("setting"); // "rfid/sub_enable"; empty: the default
    QTest::addColumn<QByteArray>("topic");
    QTest::addColumn<bool>("handled");

    QTest::newRow("default") << QByteArray() << QByteArray("zeto/rfid/enable/response/12") << true;
    QTest::newRow("default-other-kind") << QByteArray() << QByteArray("zeto/rfid/disable/response/12") << false;
    QTest::newRow("no-wildcard-last-char-cut") << QByteArray("bus/en/resp/x") << QByteArray("bus/en/resp/7")
                                               << true;
    QTest::newRow("hash-wildcard") << QByteArray("bus/en/#") << QByteArray("bus/en/a/b") << true;
    // A prefix cut down to nothing would take every message on the connection for a response.
    QTest::newRow("wildcard-only") << QByteArray("+") << QByteArray("zeto/ui/screen") << false;
}

void tst_RfidManager::responsePrefix()
{
    QFETCH(QByteArray, setting);
    QFETCH(QByteArray, topic);
    QFETCH(bool, handled);

    if (!setting.isEmpty())
        writeSettings("[rfid]\nsub_enable=" + setting + "\n");
    RfidManager manager(mClient.get());
    Spies spies(&manager);

    emit mClient->received(R"({"completed":true})", topic);
    QCOMPARE(spies["enabled"].count(), handled ? 1 : 0);
    QCOMPARE(mLog->contains("[rfid] Enable response received"), handled);
}

void tst_RfidManager::twoClientsShareOneConnection()
{
    // Built before the connection exists, as the owners do at start-up.
    RfidManager validation(mClient.get());
    RfidManager inspection(mClient.get());
    Spies validationSpies(&validation);
    Spies inspectionSpies(&inspection);
    QVERIFY(connectClient());

    // 1. each client counts its own ids
    validation.enable();
    inspection.writeCard({{"uid", "0E"}, {"template", "EMV"}});
    inspection.ledSet(LedResult(true, false, true, true).toJson());
    validation.ledSet({{"red", true}});
    QVERIFY(waitRequests(4));
    QStringList topics;
    for (const auto &message : requestsSeen())
        topics << message.topic.mid(kBase.size());
    QCOMPARE(topics, (QStringList{"enable/request/0", "card/write/request/0", "led/set/request/1",
                                  "led/set/request/1"}));

    // 2. an answer is not matched to its request: both clients take every response
    const QByteArray written = R"({"completed":true,"data":{"template":"EMV","uid":"0E"}})";
    QVERIFY(send(kBase + "enable/response/0", R"({"completed":true})"));
    QVERIFY(send(kBase + "card/write/response/0", written));
    QTRY_COMPARE(inspectionSpies["cardWritten"].count(), 1);
    QTRY_COMPARE(validationSpies["cardWritten"].count(), 1);
    QCOMPARE(validationSpies.fired(), (QStringList{"cardWritten", "enabled"}));
    QCOMPARE(inspectionSpies.fired(), (QStringList{"cardWritten", "enabled"}));
    QCOMPARE(QJsonObject::fromVariantMap(validationSpies["cardWritten"].first().first().toMap()), objectOf(written));
    QCOMPARE(QJsonObject::fromVariantMap(inspectionSpies["cardWritten"].first().first().toMap()), objectOf(written));
    QCOMPARE(mLog->count("[rfid] Enable request succeeded"), 2);
    QCOMPARE(mLog->count("[rfid] Card write request succeeded"), 2);

    // 3. both now hold the reader enabled, whichever client asked
    mPeer->clear();
    QCOMPARE(gateProbe(validation), QStringLiteral("disable"));
    QCOMPARE(gateProbe(inspection), QStringLiteral("disable"));

    // 4. events reach both
    QVERIFY(send(kBase + "card/autoread", R"({"uid":"01","template":"ZetoDESv3"})"));
    QTRY_COMPARE(validationSpies["cardAutoread"].count(), 1);
    QTRY_COMPARE(inspectionSpies["cardAutoread"].count(), 1);
}

// Random and truncated payloads straight into the handler the broker would call: each is
// either handled or dropped with exactly one warning; nothing escapes.
void tst_RfidManager::withoutClientNothingIsSent()
{
    RfidManager manager(nullptr);
    manager.enable();
    manager.getInfo();
    QCOMPARE(levelOf("[rfid] ERROR: No MQTT client: the reader cannot be reached"), int(QtCriticalMsg));
    QVERIFY(mLog->contains("[rfid] Enable request (0)"));
}

void tst_RfidManager::ledResultToJson_data()
{
    QTest::addColumn<bool>("red");
    QTest::addColumn<bool>("green");
    QTest::addColumn<bool>("blue");
    QTest::addColumn<bool>("yellow");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("red-blue") << true << false << true << false
                              << QByteArray(R"({"blue":true,"green":false,"red":true,"yellow":false})");
    QTest::newRow("valid-pattern") << false << true << true << true
                                   << QByteArray(R"({"blue":true,"green":true,"red":false,"yellow":true})");
}

void tst_RfidManager::ledResultToJson()
{
    QFETCH(bool, red);
    QFETCH(bool, green);
    QFETCH(bool, blue);
    QFETCH(bool, yellow);
    QFETCH(QByteArray, expected);
    QCOMPARE(compact(LedResult(red, green, blue, yellow).toJson()), expected);
}

void tst_RfidManager::cardTypeLookup_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name"); // null: no entry
    QTest::newRow("type-a") << 0x001 << "ISO14443 Part4 Type A compatible transponder";
    QTest::newRow("desfire") << 256 << "Mifare DESFire EV1 or EV2";
    QTest::newRow("emv") << 0x200 << "EMV";
    QTest::newRow("negative") << -1 << QString();
}

void tst_RfidManager::cardTypeLookup()
{
    QFETCH(int, code);
    QFETCH(QString, name);
    QCOMPARE(RfidManager::CardType.contains(code), !name.isNull());
    QCOMPARE(RfidManager::CardType.value(code), name);
    QCOMPARE(RfidManager::CardType.size(), 10);
}

QTEST_GUILESS_MAIN(tst_RfidManager)
#include "tst_rfidmanager.moc"

#include "framework/mqttclient.h"
#include "support/brokerfixture.h"
#include "support/fakebroker.h"
#include "support/logcapture.h"
#include "support/mqttpeer.h"

#include <QTcpServer>
#include <QtTest>

using manager::MosquittoMessage;
using manager::MqttClient;

namespace {

void configure(MqttClient &client, quint16 port, quint32 retryMillis = 300)
{
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(port);
    client.setRetryMillis(retryMillis);
    client.setClientId(QStringLiteral("zub-test"));
    client.setKeepAlive(5);
}

const QString NotAuthorized =
    QStringLiteral("[MqttClient] Not authorized: zub-test. The client is not authorized to connect.");

} // namespace

class tst_MqttClient : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { mLog = std::make_unique<LogCapture>(); }
    void cleanup();

    void logsConfigurationWithoutPassword();
    void resubscribesAfterBrokerRestart();
    void retriesEveryIntervalWhileBrokerDown();
    void publishWhileDisconnectedIsNotSentLater();
    void directSubscribeNeedsConnection();
    void keepAliveDropsSilentLinkOnly();
    void connackRefusals_data();
    void connackRefusals();
    void missingConnackForceClosesAndRetries();
    void malformedPacketIsProtocolViolation();
    void handlersCallBack_data();
    void handlersCallBack();
    void refusesPortAboveRange();

private:
    BrokerFixture mBroker;
    std::unique_ptr<LogCapture> mLog;
};

void tst_MqttClient::initTestCase()
{
    QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
}

void tst_MqttClient::cleanup()
{
    mLog.reset();
    if (!mBroker.isRunning())
        QVERIFY(mBroker.start());
}

void tst_MqttClient::logsConfigurationWithoutPassword()
{
    MqttClient client;
    QSignalSpy up(&client, &MqttClient::connected);
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(mBroker.port());
    client.setUsername(QStringLiteral("u"));
    client.setPassword(QStringLiteral("secret-pw"));
    client.setClientId(QStringLiteral("cid"));
    client.setKeepAlive(5);
    client.setWillMessage("gone");
    client.setWillTopic(QStringLiteral("will/t"));
    client.setEncrypted(true);
    client.connect();
    QTRY_COMPARE(up.count(), 1);
    QVERIFY(mLog->containsPart(QStringLiteral("Encryption not yet supported"))); // and it connects plain
    const QStringList expected{
        "[MqttClient] Connecting...",
        "[MqttClient] Applying client configuration:",
        "[MqttClient] Retry interval millis: 3000",
        "[MqttClient] Initializing keep alive ping timer : 6000 msec(s)",
        "[MqttClient] Applying client configuration:",
        "[MqttClient] Hostname: 127.0.0.1",
        "[MqttClient] Port    : " + QString::number(mBroker.port()),
        "[MqttClient] Username: u",
        "[MqttClient] CleanSession: true",
        "[MqttClient] Client Id   : cid",
        "[MqttClient] Keepalive   : 5",
        "[MqttClient] Will Message: gone",
        "[MqttClient] Will QoS    : 2",
        "[MqttClient] Will Retain : true",
        "[MqttClient] Will Topic  : will/t",
        "[MqttClient] State is Connecting.",
        "[MqttClient] State is Connected.",
        "[MqttClient] Starting keep alive ping timer : 6000 msec(s)",
        "[MqttClient] Connected to broker 127.0.0.1",
    };
    QCOMPARE(mLog->texts().filter(QRegularExpression("^(?!.*Encryption)")).mid(0, expected.size()), expected);
    QVERIFY(!mLog->containsPart(QStringLiteral("secret-pw")));
}

void tst_MqttClient::resubscribesAfterBrokerRestart()
{
    MqttClient client;
    configure(client, mBroker.port());
    QSignalSpy up(&client, &MqttClient::connected);
    QSignalSpy down(&client, &MqttClient::disconnected);
    QSignalSpy received(&client, &MqttClient::received);
    for (auto [topic, qos] : {std::make_pair("restart/x", 0), {"restart/y", 1}, {"restart/x", 0}, {"restart/z", 2}})
        client.subscribe(topic, quint8(qos));
    QStringList logAtConnected;
    QObject::connect(&client, &MqttClient::connected, this, [&] { logAtConnected = mLog->texts(); });
    client.connect();
    QTRY_COMPARE(up.count(), 1);
    mLog->clear();
    QVERIFY(mBroker.restart());
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 2, 15000);
    QCOMPARE(down.count(), 1);
    QVERIFY(logAtConnected.contains(QStringLiteral("[MqttClient] Disconnected from broker 127.0.0.1")));
    const QStringList asked = logAtConnected.filter(QRegularExpression("^\\[MqttClient\\] Subscribing"));
    QCOMPARE(asked, (QStringList{
                        "[MqttClient] Subscribing to 'restart/x' with QoS = 0",
                        "[MqttClient] Subscribing to 'restart/y' with QoS = 1",
                        "[MqttClient] Subscribing to 'restart/x' with QoS = 0",
                        "[MqttClient] Subscribing to 'restart/z' with QoS = 2",
                    }));
    QVERIFY(logAtConnected.indexOf(QStringLiteral("[MqttClient] Connected to broker 127.0.0.1"))
            < logAtConnected.indexOf(asked.first()));
    MqttPeer peer;
    QVERIFY(peer.connectTo(mBroker.host(), mBroker.port()));
    QVERIFY(peer.publish(QStringLiteral("restart/y"), "again", 1, true) > 0);
    QTRY_COMPARE(received.count(), 1);
}

void tst_MqttClient::retriesEveryIntervalWhileBrokerDown()
{
    mBroker.stop();
    MqttClient client;
    configure(client, mBroker.port(), 300);
    QSignalSpy up(&client, &MqttClient::connected);
    QElapsedTimer clock;
    clock.start();
    client.connect();
    QTRY_VERIFY_WITH_TIMEOUT(mLog->count(QStringLiteral("[MqttClient] Connecting...")) >= 6, 10000);
    const qint64 elapsed = clock.elapsed();
    // Five intervals between six attempts: never faster, and not much slower either.
    QVERIFY2(elapsed >= 5 * 300 * 9 / 10 && elapsed < 5 * 300 * 3, qPrintable(QString::number(elapsed)));
    QVERIFY(mLog->count(QStringLiteral("[MqttClient] Transport invalid: The underlying transport caused an error. "
                                       "For example, the connection might have been interrupted unexpectedly."))
            >= 5);
    QVERIFY(mBroker.start());
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 1, 5000);
}

void tst_MqttClient::publishWhileDisconnectedIsNotSentLater()
{
    MqttClient client;
    QSignalSpy errors(&client, &MqttClient::error);
    QVERIFY(!client.publish("x", "early/publish"));
    QCOMPARE(errors.count(), 0);
    QVERIFY(mLog->contains(QStringLiteral("[MqttClient] Publishing to topic 'early/publish'")));

    configure(client, mBroker.port());
    QSignalSpy up(&client, &MqttClient::connected);
    QSignalSpy down(&client, &MqttClient::disconnected);
    client.connect();
    QTRY_COMPARE(up.count(), 1);
    mBroker.stop();
    QTRY_COMPARE(down.count(), 1);
    errors.clear();
    QVERIFY(!client.publish("lost", "offline/lost", 1));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Publish to offline/lost failed."));
    QVERIFY(!mLog->containsPart(QStringLiteral("Publish to")));

    QVERIFY(mBroker.start());
    MqttPeer peer;
    QVERIFY(peer.connectTo(mBroker.host(), mBroker.port()));
    QVERIFY(peer.subscribe(QStringLiteral("offline/#"), 1));
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 2, 5000);
    QVERIFY(client.publish("after", "offline/after", 1));
    // Had the lost message been kept, it would have left before this one.
    QVERIFY(peer.waitForMessages(QStringLiteral("offline/after")));
    QCOMPARE(peer.count(QStringLiteral("offline/lost")), 0);
}

void tst_MqttClient::directSubscribeNeedsConnection()
{
    MqttClient client;
    QObject receiver;
    QList<MosquittoMessage> messages;
    auto handler = [&](const MosquittoMessage &m) { messages << m; };
    client.subscribe(QStringLiteral("direct/a"), &receiver, handler, 1);
    QVERIFY(mLog->contains(QStringLiteral("[MqttClient] ERROR: Could not subscribe to topic : direct/a")));
    QCOMPARE(mLog->entries().last().type, QtCriticalMsg);

    configure(client, mBroker.port());
    QSignalSpy up(&client, &MqttClient::connected);
    client.connect();
    QTRY_COMPARE(up.count(), 1);
    client.subscribe(QStringLiteral("direct/#/bad"), &receiver, handler, 1);
    QVERIFY(mLog->contains(QStringLiteral("[MqttClient] ERROR: Could not subscribe to topic : direct/#/bad")));
    client.subscribe(QStringLiteral("direct/a"), &receiver, handler, 1);
    QVERIFY(mLog->contains(QStringLiteral("[MqttClient] Subscribed to topic : direct/a")));
    MqttPeer peer;
    QVERIFY(peer.connectTo(mBroker.host(), mBroker.port()));
    QVERIFY(peer.publish(QStringLiteral("direct/a"), "straight", 1, true) > 0);
    QTRY_COMPARE(messages.size(), 1);
    QCOMPARE(messages.at(0).payload, QByteArray("straight"));
    QCOMPARE(messages.at(0).topic, QStringLiteral("direct/a"));
}

void tst_MqttClient::keepAliveDropsSilentLinkOnly()
{
    // At once: a link busy with traffic both ways, on which libmosquitto sends no ping, and
    // a broker that never answers pings.
    FakeBroker silent;
    QVERIFY(silent.listen());
    silent.setAnswerPings(false);
    MqttClient busy, quiet;
    configure(busy, mBroker.port());
    configure(quiet, silent.port(), 1000);
    QSignalSpy busyDown(&busy, &MqttClient::disconnected);
    QSignalSpy received(&busy, &MqttClient::received);
    QSignalSpy quietUp(&quiet, &MqttClient::connected);
    QSignalSpy quietDown(&quiet, &MqttClient::disconnected);
    busy.subscribe("busy/in");
    busy.connect();
    quiet.connect();
    MqttPeer peer;
    QVERIFY(peer.connectTo(mBroker.host(), mBroker.port()) && peer.subscribe(QStringLiteral("busy/out")));
    QTimer traffic;
    int n = 0;
    QObject::connect(&traffic, &QTimer::timeout, this, [&] {
        busy.publish(QByteArray::number(n), "busy/out");
        peer.publish(QStringLiteral("busy/in"), QByteArray::number(n++), 0);
    });
    traffic.start(100);
    const QString line = QStringLiteral("[MqttClient] ERROR: Keep-alive ping timed-out. Disconnecting from broker : "
                                        "127.0.0.1:%1");
    QTRY_VERIFY_WITH_TIMEOUT(mLog->contains(line.arg(silent.port())), 10000);
    QCOMPARE(quietDown.count(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(quietUp.count(), 2, 5000);
    // One ping interval (6 s) and more have passed on the busy link.
    QTRY_VERIFY_WITH_TIMEOUT(n > 75, 5000);
    traffic.stop();
    QCOMPARE(busyDown.count(), 0);
    QVERIFY(!mLog->contains(line.arg(mBroker.port())));
    QVERIFY2(received.count() > 60 && peer.count(QStringLiteral("busy/out")) > 60,
             qPrintable(QString::number(received.count())));
}

void tst_MqttClient::connackRefusals_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1-protocol-version") << 1
                                        << "[MqttClient] Invalid protocol version: 4. Broker does not accept a "
                                           "connection using the specified protocol version.";
    QTest::newRow("2-id-rejected") << 2
                                   << "[MqttClient] Id rejected: zub-test. The client ID is malformed. This might be "
                                      "related to its length.";
    QTest::newRow("3-server-unavailable") << 3
                                          << "[MqttClient] Server unavailable: 127.0.0.1:%1. The network connection "
                                             "has been established, but the service is unavailable on the broker side.";
    QTest::newRow("4-bad-credentials") << 4
                                       << "[MqttClient] Bad username or password. The data in the username or "
                                          "password is malformed.";
    QTest::newRow("5-not-authorized") << 5 << NotAuthorized;
}

void tst_MqttClient::connackRefusals()
{
    QFETCH(int, code);
    QFETCH(QString, expected);
    FakeBroker broker;
    QVERIFY(broker.listen());
    broker.setConnackCode(code);
    if (expected.contains(QLatin1String("%1")))
        expected = expected.arg(broker.port());
    MqttClient client;
    configure(client, broker.port());
    QSignalSpy down(&client, &MqttClient::disconnected);
    QSignalSpy errors(&client, &MqttClient::error);
    client.connect();
    QTRY_VERIFY(errors.count() >= 2);
    // One attempt gives its Disconnected and its error in one go: the counts never drift apart.
    QCOMPARE(down.count(), errors.count());
    QCOMPARE(mLog->count(expected), errors.count());
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Mqtt client error."));
    QCOMPARE(mLog->entries().at(mLog->texts().indexOf(expected)).type, QtWarningMsg);
}

void tst_MqttClient::missingConnackForceClosesAndRetries()
{
    FakeBroker broker;
    QVERIFY(broker.listen());
    broker.setConnackCode(-1);
    MqttClient client;
    configure(client, broker.port(), 400);
    QSignalSpy up(&client, &MqttClient::connected);
    QSignalSpy down(&client, &MqttClient::disconnected);
    client.connect();
    QTRY_VERIFY_WITH_TIMEOUT(broker.count(FakeBroker::Connect) >= 3, 5000);
    QVERIFY(mLog->count(QStringLiteral("[MqttClient] Force closing timed-out connection")) >= 2);
    QVERIFY(down.count() >= 2);
    QCOMPARE(broker.count(FakeBroker::Disconnect), 0); // closed, not said goodbye to
    broker.setConnackCode(0);
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 1, 5000);
}

void tst_MqttClient::malformedPacketIsProtocolViolation()
{
    FakeBroker broker;
    QVERIFY(broker.listen());
    broker.setAfterConnack(QByteArray::fromHex("30020005"));
    MqttClient client;
    configure(client, broker.port());
    QSignalSpy errors(&client, &MqttClient::error);
    client.connect();
    QTRY_VERIFY(errors.count() >= 1);
    QVERIFY(mLog->contains(QStringLiteral("[MqttClient] Protocol violation:The client encountered a protocol "
                                          "violation, and therefore closed the connection.")));
    QTRY_VERIFY(broker.count(FakeBroker::Connect) >= 2); // and it tries again
}

void tst_MqttClient::handlersCallBack_data()
{
    QTest::addColumn<QString>("signal");
    QTest::addColumn<QString>("action");
    QTest::newRow("connected-publish") << "connected" << "publish";
    QTest::newRow("received-disconnect") << "received" << "disconnect";
    QTest::newRow("error-publish") << "error" << "publish";
    QTest::newRow("error-subscribe") << "error" << "subscribe";
}

void tst_MqttClient::handlersCallBack()
{
    QFETCH(QString, signal);
    QFETCH(QString, action);
    const QString base = QStringLiteral("handlers/") + QLatin1String(QTest::currentDataTag());
    MqttPeer peer;
    QVERIFY(peer.connectTo(mBroker.host(), mBroker.port()) && peer.subscribe(base + "/out", 1));
    QVERIFY(peer.publish(base + "/in", "trigger", 1, true) > 0);
    QVERIFY(peer.publish(base + "/extra", "extra", 1, true) > 0);
    FakeBroker refusing;
    QVERIFY(refusing.listen());
    refusing.setConnackCode(5);

    MqttClient client;
    configure(client, signal == "error" ? refusing.port() : mBroker.port());
    QSignalSpy up(&client, &MqttClient::connected);
    QSignalSpy down(&client, &MqttClient::disconnected);
    QSignalSpy received(&client, &MqttClient::received);
    QSignalSpy errors(&client, &MqttClient::error);
    client.subscribe((base + "/in").toUtf8());
    int calls = 0;
    bool published = false;
    auto act = [&] {
        if (calls++)
            return;
        if (action == "publish")
            published = client.publish("reply", (base + "/out").toUtf8(), 1);
        else if (action == "subscribe")
            client.subscribe((base + "/extra").toUtf8(), 1);
        else
            client.disconnect();
    };
    if (signal == "connected")
        QObject::connect(&client, &MqttClient::connected, this, act);
    else if (signal == "received")
        QObject::connect(&client, &MqttClient::received, this, act);
    else
        QObject::connect(&client, &MqttClient::error, this, act);
    client.connect();
    QTRY_VERIFY(calls >= 1);
    if (signal == "error") {
        QCOMPARE(published, false);
        refusing.setConnackCode(0);
        QTRY_COMPARE(up.count(), 1);
        // One Disconnected per refused attempt, none added by the handler.
        QCOMPARE(down.count(), mLog->count(NotAuthorized));
        if (action == "subscribe")
            QVERIFY(mLog->contains(QStringLiteral("[MqttClient] Subscribing to '%1/extra' with QoS = 1").arg(base)));
        if (action == "publish")
            QCOMPARE(errors.at(1).at(0).toString(), "Publish to " + base + "/out failed.");
    } else if (action == "publish") {
        QVERIFY(published && peer.waitForMessages(base + "/out"));
    } else if (action == "subscribe") {
        QTRY_VERIFY(std::any_of(received.begin(), received.end(),
                                [&](const QList<QVariant> &args) { return args.at(1).toString() == base + "/extra"; }));
    } else {
        QTRY_COMPARE(down.count(), 1);
        QTRY_COMPARE(up.count(), 2); // an explicit disconnect reconnects after the retry interval
    }
}

void tst_MqttClient::refusesPortAboveRange()
{
    // Cut to 16 bits the port would name this listener.
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    const quint32 port = listener.serverPort() + 65536u;
    MqttClient client;
    configure(client, 0);
    client.setPort(port);
    QSignalSpy errors(&client, &MqttClient::error);
    client.connect();
    QVERIFY(mLog->contains(QStringLiteral("[MqttClient] ERROR: Invalid broker port : %1").arg(port)));
    QTRY_COMPARE(errors.count(), 1);
    QVERIFY(!listener.waitForNewConnection(300));
}

QTEST_GUILESS_MAIN(tst_MqttClient)
#include "tst_mqttclient.moc"

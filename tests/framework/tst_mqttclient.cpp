#include "framework/mosquittoclient.h"
#include "framework/mosquittosubscription.h"
#include "framework/mqttclient.h"
#include "support/brokerfixture.h"
#include "support/fakebroker.h"
#include "support/goldenfile.h"
#include "support/logcapture.h"
#include "support/mqttpeer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using manager::MosquittoClient;
using manager::MosquittoMessage;
using manager::MosquittoSubscription;
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

} // namespace

class tst_MqttClient : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(mBroker.start(), qPrintable(mBroker.log())); }
    void init() { mLog = std::make_unique<LogCapture>(); }
    void cleanup()
    {
        mLog.reset();
        if (!mBroker.isRunning())
            QVERIFY(mBroker.start());
    }

    void sessionAcrossBrokerRestart()
    {
        MqttClient client;
        QObject receiver;
        QList<MosquittoMessage> direct;
        auto handler = [&](const MosquittoMessage &m) { direct << m; };
        client.subscribe(QStringLiteral("direct/a"), &receiver, handler, 1); // no library client yet
        QCOMPARE(mLog->entries().last().type, QtCriticalMsg);
        QSignalSpy errors(&client, &MqttClient::error);
        QVERIFY(!client.publish("x", "early/publish")); // nothing can be sent, and nothing is kept
        QCOMPARE(errors.count(), 0);

        configure(client, mBroker.port());
        client.setUsername(QStringLiteral("u"));
        client.setPassword(QStringLiteral("secret-pw"));
        client.setWillMessage("gone");
        client.setWillTopic(QStringLiteral("will/t"));
        client.setEncrypted(true);
        for (auto [topic, qos] : {std::make_pair("restart/x", 0), {"restart/y", 1}, {"restart/x", 0}, {"restart/z", 2}})
            client.subscribe(topic, quint8(qos));
        QSignalSpy up(&client, &MqttClient::connected);
        QSignalSpy down(&client, &MqttClient::disconnected);
        QSignalSpy received(&client, &MqttClient::received);
        QStringList logAtConnected;
        QObject::connect(&client, &MqttClient::connected, this, [&] { logAtConnected = mLog->texts(); });
        client.connect();
        QTRY_COMPARE(up.count(), 1);
        // Every line but one carries the tag; the password is never written; it connects plain.
        const QStringList first = logAtConnected;
        const QByteArray diff = GoldenFile::mismatch(
            TEST_DATA_DIR "/session.expected.json", "logUpToFirstConnection",
            QJsonArray::fromStringList(QStringList(first).replaceInStrings(QString::number(mBroker.port()), "<port>")));
        QVERIFY2(diff.isEmpty(), diff.constData());

        client.subscribe(QStringLiteral("direct/#/bad"), &receiver, handler, 1);
        QVERIFY(mLog->contains(QStringLiteral("[MqttClient] ERROR: Could not subscribe to topic : direct/#/bad")));
        client.subscribe(QStringLiteral("direct/a"), &receiver, handler, 1);
        QVERIFY(mLog->contains(QStringLiteral("[MqttClient] Subscribed to topic : direct/a")));
        MqttPeer peer;
        QVERIFY(peer.connectTo(mBroker.host(), mBroker.port()));
        QVERIFY(peer.publish(QStringLiteral("direct/a"), "straight", 1) > 0);
        QTRY_COMPARE(direct.size(), 1);
        QCOMPARE(direct.at(0).topic + ' ' + direct.at(0).payload, QStringLiteral("direct/a straight"));

        mLog->clear();
        mBroker.stop();
        QTRY_COMPARE(down.count(), 1);
        errors.clear();
        QVERIFY(!client.publish("lost", "offline/lost", 1));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Publish to offline/lost failed."));
        QVERIFY(!mLog->containsPart(QStringLiteral("Publish to")));
        QVERIFY(mBroker.start());
        QVERIFY(peer.connectTo(mBroker.host(), mBroker.port()) && peer.subscribe(QStringLiteral("offline/#"), 1));
        QTRY_COMPARE_WITH_TIMEOUT(up.count(), 2, 5000);
        QCOMPARE(down.count(), 1);
        QVERIFY(logAtConnected.contains(QStringLiteral("[MqttClient] Disconnected from broker 127.0.0.1")));
        const QString connected = QStringLiteral("[MqttClient] Connected to broker 127.0.0.1");
        QCOMPARE(logAtConnected.mid(logAtConnected.indexOf(connected) + 1), first.mid(first.indexOf(connected) + 1));
        QVERIFY(client.publish("after", "offline/after", 1));
        // Had the lost message been kept, it would have left before this one.
        QVERIFY(peer.waitForMessages(QStringLiteral("offline/after")));
        QCOMPARE(peer.count(QStringLiteral("offline/lost")), 0);
        QVERIFY(peer.publish(QStringLiteral("restart/y"), "again", 1) > 0);
        QTRY_COMPARE(received.count(), 2); // the direct message came this way too
        QCOMPARE(received.at(1), (QList<QVariant>{QByteArray("again"), QByteArray("restart/y")}));

        // A receiver that disconnects from inside its handler: the client is back after the interval.
        QObject::connect(&client, &MqttClient::received, &receiver, [&] { client.disconnect(); });
        QVERIFY(peer.publish(QStringLiteral("restart/y"), "bye", 1) > 0);
        QTRY_COMPARE(down.count(), 2);
        QTRY_COMPARE(up.count(), 3);
    }

    void brokerFaults_data()
    {
        GoldenFile::addRows(JsonPath::readFile(TEST_DATA_DIR "/brokerfaults.json").object(),
                            GoldenFile::path(TEST_DATA_DIR "/brokerfaults"),
                            [this](const QString &, const QJsonValue &value) { return brokerFault(value.toObject()); });
    }

    void brokerFaults()
    {
        QFETCH(QJsonValue, testCase);
        QFETCH(QJsonObject, expected);
        mLog.reset(); // the case captures the log itself
        GOLDEN_COMPARE(brokerFault(testCase.toObject()), expected);
    }

    void keepAliveDropsSilentLinkOnly()
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
        QTRY_VERIFY_WITH_TIMEOUT(n > 68, 5000);
        traffic.stop();
        QCOMPARE(busyDown.count(), 0);
        QVERIFY(!mLog->contains(line.arg(mBroker.port())));
        QVERIFY(received.count() > 55 && peer.count(QStringLiteral("busy/out")) > 55);
    }

    void invalidAddressRetriedEachInterval_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<quint32>("portAbove"); // added to the listener's port
        QTest::addColumn<QString>("refusal");
        QTest::newRow("empty-host") << "" << 0u << "";
        QTest::newRow("port-zero") << "127.0.0.1" << 0u << "";
        // Cut to 16 bits the port would name the listener.
        QTest::newRow("port-above-range") << "127.0.0.1" << 65536u << "[MqttClient] ERROR: Invalid broker port : %1";
    }

    void invalidAddressRetriedEachInterval()
    {
        QFETCH(QString, host);
        QFETCH(quint32, portAbove);
        QFETCH(QString, refusal);
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
        const quint32 port = portAbove ? listener.serverPort() + portAbove : (host.isEmpty() ? listener.serverPort() : 0);
        const int interval = 500;
        MqttClient client;
        configure(client, 0, interval);
        client.setHostname(host);
        client.setPort(port);
        QElapsedTimer clock;
        QList<qint64> failures;
        QObject::connect(&client, &MqttClient::error, &client, [&] { failures << clock.elapsed(); });
        clock.start();
        client.connect();
        QTRY_VERIFY_WITH_TIMEOUT(failures.size() >= 2, 3 * interval);
        QVERIFY2(failures.at(1) - failures.at(0) >= interval * 9 / 10, qPrintable(QString::number(failures.at(1))));
        // The lines of one attempt, from its start to the next one's.
        const QStringList log = mLog->texts();
        const QString start = QStringLiteral("[MqttClient] Connecting...");
        const int first = log.indexOf(start);
        const int second = log.indexOf(start, first + 1);
        QVERIFY2(first >= 0 && second > first, qPrintable(log.join('\n')));
        const QStringList attempt = log.mid(first, second - first);
        QCOMPARE(attempt.filter(QRegularExpression(QStringLiteral("^\\[MqttClient\\] (State is|Transport invalid: The "
                                                                  "underlying|Disconnected from|ERROR: Invalid)"))),
                 QStringList() << (refusal.isEmpty() ? QStringList() : QStringList{refusal.arg(port)})
                               << "[MqttClient] State is Connecting."
                               << "[MqttClient] State is Disconnected."
                               << "[MqttClient] Disconnected from broker " + host
                               << "[MqttClient] Transport invalid: The underlying transport caused an error. For "
                                  "example, the connection might have been interrupted unexpectedly.");
        QVERIFY(!listener.waitForNewConnection(0));
    }

    void refusesWhileDisconnected()
    {
        MosquittoClient client;
        // Between the end of a link and its news, nothing may slip into the dead link.
        FakeBroker broker;
        QVERIFY(broker.listen());
        connectTo(client, broker.port());
        QSignalSpy down(&client, &MosquittoClient::disconnected);
        broker.send(QByteArray::fromHex("f000"));
        QTRY_COMPARE(down.count(), 1);
        QCOMPARE(client.publish(QStringLiteral("a"), "x", 1), -1);
        QVERIFY(!client.subscribe(QStringLiteral("a")));
    }

    void keepsOrderAcrossNestedEventLoops()
    {
        MosquittoClient client;
        connectTo(client, mBroker.port());
        MosquittoSubscription *subscription = client.subscribe(QStringLiteral("nested/#"), 1);
        MqttPeer peer;
        QVERIFY(subscription && peer.connectTo(mBroker.host(), mBroker.port()));
        QStringList order;
        connect(subscription, &MosquittoSubscription::messageReceived, this,
                [&](const MosquittoMessage &m) { order << "s" + m.payload; });
        connect(&client, &MosquittoClient::messageReceived, this, [&](const QByteArray &payload) {
            order << "c" + payload;
            if (order.size() > 1)
                return;
            // A receiver that waits for more traffic inside its handler, as blocking requests do.
            for (const char *next : {"2", "3", "4"})
                peer.publish(QStringLiteral("nested/a"), next, 0);
            (void)QTest::qWaitFor([&] { return order.size() >= 7; }, 5000);
        });
        QVERIFY(peer.publish(QStringLiteral("nested/a"), "1", 1, true) > 0);
        QTRY_COMPARE(order.size(), 8);
        QCOMPARE(order, (QStringList{"c1", "s1", "c2", "s2", "c3", "s3", "c4", "s4"}));
    }

    void emitsNothingOnceDestroyed()
    {
        // Destroyed with its failure still queued, then deleted by a receiver amid a burst.
        int emitted = 0;
        QObject counter;
        auto queued = std::make_unique<MosquittoClient>();
        connect(queued.get(), &MosquittoClient::errorChanged, &counter, [&] { ++emitted; });
        queued->setHostname(QStringLiteral("127.0.0.1"));
        QTcpSocket probe; // bound, never listening: a closed port
        QVERIFY(probe.bind(QHostAddress(QHostAddress::LocalHost))); // not bind(quint16): that would take port 2
        queued->setPort(probe.localPort());
        queued->connectToHost();
        queued.reset();
        QCoreApplication::processEvents();
        QCOMPARE(emitted, 0);

        auto client = new MosquittoClient;
        connectTo(*client, mBroker.port());
        QVERIFY(client->subscribe(QStringLiteral("burst/#")));
        QPointer<MosquittoClient> watch(client);
        connect(client, &MosquittoClient::messageReceived, &counter, [&] {
            ++emitted;
            delete watch.data();
        });
        MqttPeer peer;
        QVERIFY(peer.connectTo(mBroker.host(), mBroker.port()));
        for (int i = 0; i < 20; ++i)
            peer.publish(QStringLiteral("burst/a"), QByteArray::number(i), 1);
        QTRY_VERIFY(watch.isNull());
        QCOMPARE(emitted, 1);
    }
private:
    QJsonObject brokerFault(const QJsonObject &c);
    void connectTo(MosquittoClient &client, quint16 port);

    BrokerFixture mBroker;
    std::unique_ptr<LogCapture> mLog;
};

// A broker that refuses (its CONNACK code), breaks the protocol, never answers or is not
// there: the warning of each attempt, retried after the interval, then a connection once it
// is mended; the warnings (the port written as <port>) in data/brokerfaults.expected.json.
QJsonObject tst_MqttClient::brokerFault(const QJsonObject &c)
{
    LogCapture log;
    FakeBroker broker;
    broker.listen();
    broker.setConnackCode(c["connack"].toInt());
    broker.setAfterConnack(QByteArray::fromHex(c["after"].toString().toLatin1()));
    if (c["noBroker"].toBool())
        mBroker.stop();
    const quint16 port = c["noBroker"].toBool() ? mBroker.port() : broker.port();
    MqttClient client;
    configure(client, port, 200);
    QSignalSpy up(&client, &MqttClient::connected);
    QSignalSpy down(&client, &MqttClient::disconnected);
    QSignalSpy errors(&client, &MqttClient::error);
    bool published = true; // by a handler of the first error
    QObject::connect(&client, &MqttClient::error, &client, [&] {
        if (errors.size() == 1)
            published = client.publish("reply", "handlers/out", 1);
    });
    QElapsedTimer clock;
    clock.start();
    client.connect();
    QStringList warnings;
    const auto retried = [&] {
        warnings.clear();
        for (const LogCapture::Entry &entry : log.entries())
            if (entry.type == QtWarningMsg)
                warnings << QString(entry.text).replace(QString::number(port), "<port>");
        return warnings.count(warnings.value(0)) >= 2 && (errors.size() || down.size() >= 2);
    };
    // The golden record below says what was missing when the wait ran out.
    (void)QTest::qWaitFor(retried, 10000);
    QJsonObject o{{"warning", warnings.value(0)}, {"retried", warnings.count(warnings.value(0)) >= 2},
                  {"afterTheInterval", clock.elapsed() >= 200 * 9 / 10},
                  // One attempt gives its Disconnected and its error in one go: the counts never drift apart.
                  {"errorPerDisconnection", down.count() == errors.count() - (published ? 0 : 1)},
                  {"errors", QJsonArray::fromVariantList({errors.value(0).value(0), errors.value(1).value(0)})},
                  {"saidGoodbye", broker.count(FakeBroker::Disconnect) > 0}};
    broker.setConnackCode(0);
    broker.setAfterConnack({});
    if (c["noBroker"].toBool())
        mBroker.start();
    o["reconnected"] = QTest::qWaitFor([&] { return up.count() > 0; }, 5000);
    return o;
}

// The library client under the MQTT client, on its own.
void tst_MqttClient::connectTo(MosquittoClient &client, quint16 port)
{
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(port);
    client.connectToHost();
    QTRY_COMPARE(client.state(), MosquittoClient::Connected);
}

QTEST_GUILESS_MAIN(tst_MqttClient)
#include "tst_mqttclient.moc"

#include "framework/mosquittoclient.h"
#include "framework/mosquittosubscription.h"
#include "support/brokerfixture.h"
#include "support/fakebroker.h"
#include "support/logcapture.h"
#include "support/mqttpeer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using manager::MosquittoClient;
using manager::MosquittoMessage;
using manager::MosquittoSubscription;

Q_DECLARE_METATYPE(MosquittoClient::ClientError)

namespace {

// Every signal of the client as one line "signal:argument:state()", in emission order.
class Recorder : public QObject
{
public:
    explicit Recorder(MosquittoClient *client)
    {
        connect(client, &MosquittoClient::stateChanged, this,
                [this, client](MosquittoClient::ClientState s) { add(client, "state", int(s)); });
        connect(client, &MosquittoClient::connected, this, [this, client] { add(client, "connected"); });
        connect(client, &MosquittoClient::disconnected, this, [this, client] { add(client, "disconnected"); });
        connect(client, &MosquittoClient::errorChanged, this,
                [this, client](MosquittoClient::ClientError e) { add(client, "error", int(e)); });
    }
    QStringList lines;
    int count(const QString &prefix) const
    {
        return int(std::count_if(lines.begin(), lines.end(), [&](const QString &l) { return l.startsWith(prefix); }));
    }

private:
    void add(MosquittoClient *client, const char *name, int arg = -1)
    {
        lines << QStringLiteral("%1:%2:%3").arg(QLatin1String(name)).arg(arg).arg(int(client->state()));
    }
};

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

class tst_MosquittoClient : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void signalsInOrderWithStateUpdated();
    void refusesInvalidTarget_data();
    void refusesInvalidTarget();
    void reportsClosedPortAsTransportInvalid();
    void mapsConnackRefusals_data();
    void mapsConnackRefusals();
    void mapsMalformedPackets_data();
    void mapsMalformedPackets();
    void abortsWithoutDisconnectPacket();
    void abortsWhileTcpConnectPending();
    void disconnectSendsDisconnectPacket();
    void publishResults_data();
    void publishResults();
    void subscribeResults_data();
    void subscribeResults();
    void refusesWhileDisconnected();
    void deliversToClientBeforeSubscriptions();
    void subscribesInsideConnectedHandler();
    void keepsOrderAcrossNestedEventLoops();
    void raisesShortKeepAliveOnce();
    void refusesParameterChangesUnlessDisconnected();
    void rejectsEmptyIdWithoutCleanSession();
    void reportsUnknownHost();
    void reportsPingResponses_data();
    void reportsPingResponses();
    void reportsInboundTrafficAsPingResponse();
    void emitsNothingOnceDestroyed();

private:
    void connectTo(MosquittoClient &client, quint16 port);

    BrokerFixture mBroker;
    std::unique_ptr<LogCapture> mLog;
};

void tst_MosquittoClient::initTestCase()
{
    QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
}

void tst_MosquittoClient::init()
{
    mLog = std::make_unique<LogCapture>();
}

void tst_MosquittoClient::cleanup()
{
    mLog.reset();
}

void tst_MosquittoClient::connectTo(MosquittoClient &client, quint16 port)
{
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(port);
    client.connectToHost();
    QTRY_COMPARE(client.state(), MosquittoClient::Connected);
}

void tst_MosquittoClient::signalsInOrderWithStateUpdated()
{
    MosquittoClient client;
    Recorder rec(&client);
    client.setHostname(QStringLiteral("localhost")); // through the asynchronous name lookup
    client.setPort(mBroker.port());
    client.connectToHost();
    QCOMPARE(rec.lines, QStringList{"state:1:1"});
    QTRY_COMPARE(rec.lines.size(), 3);
    QCOMPARE(rec.lines, (QStringList{"state:1:1", "state:2:2", "connected:-1:2"}));
    client.disconnectFromHost();
    QCOMPARE(rec.lines.mid(3), (QStringList{"state:0:0", "disconnected:-1:0"}));
    QCOMPARE(client.error(), MosquittoClient::NoError);
}

void tst_MosquittoClient::refusesInvalidTarget_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("empty-host") << QString() << 1883;
    QTest::newRow("port-0") << QStringLiteral("127.0.0.1") << 0;
}

void tst_MosquittoClient::refusesInvalidTarget()
{
    QFETCH(QString, host);
    QFETCH(int, port);
    MosquittoClient client;
    Recorder rec(&client);
    client.setHostname(host);
    client.setPort(quint16(port));
    client.connectToHost();
    QCOMPARE(rec.lines, QStringList{"error:256:0"});
    QCOMPARE(client.error(), MosquittoClient::TransportInvalid);
}

void tst_MosquittoClient::reportsClosedPortAsTransportInvalid()
{
    MosquittoClient client;
    Recorder rec(&client);
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(closedPort());
    client.connectToHost();
    QCOMPARE(rec.lines, QStringList{"state:1:1"});
    QTRY_COMPARE(rec.lines.size(), 4);
    QCOMPARE(rec.lines.mid(1), (QStringList{"state:0:0", "disconnected:-1:0", "error:256:0"}));
}

void tst_MosquittoClient::mapsConnackRefusals_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<MosquittoClient::ClientError>("expected");
    QTest::newRow("1-protocol-version") << 1 << MosquittoClient::InvalidProtocolVersion;
    QTest::newRow("2-id-rejected") << 2 << MosquittoClient::IdRejected;
    QTest::newRow("3-server-unavailable") << 3 << MosquittoClient::ServerUnavailable;
    QTest::newRow("4-bad-credentials") << 4 << MosquittoClient::BadUsernameOrPassword;
    QTest::newRow("5-not-authorized") << 5 << MosquittoClient::NotAuthorized;
    QTest::newRow("6-reserved") << 6 << MosquittoClient::ProtocolViolation;
}

void tst_MosquittoClient::mapsConnackRefusals()
{
    QFETCH(int, code);
    QFETCH(MosquittoClient::ClientError, expected);
    FakeBroker broker;
    QVERIFY(broker.listen());
    broker.setConnackCode(code);
    MosquittoClient client;
    Recorder rec(&client);
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(broker.port());
    client.connectToHost();
    QTRY_COMPARE(rec.count("error"), 1);
    QTRY_COMPARE(broker.openConnections(), 0);
    const QString error = QStringLiteral("error:%1:0").arg(int(expected));
    QCOMPARE(rec.lines, (QStringList{"state:1:1", "state:0:0", "disconnected:-1:0", error}));

    // The next attempt gives exactly the same again: nothing of the first one trails behind.
    client.connectToHost();
    QTRY_COMPARE(rec.count("error"), 2);
    QCOMPARE(rec.lines.mid(4), (QStringList{"state:1:1", "state:0:0", "disconnected:-1:0", error}));
}

void tst_MosquittoClient::mapsMalformedPackets_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::newRow("publish-topic-past-end") << QByteArray::fromHex("30020005");
    QTest::newRow("reserved-type") << QByteArray::fromHex("f000");
    QTest::newRow("suback-empty") << QByteArray::fromHex("9000");
    QTest::newRow("length-over-four-bytes") << QByteArray::fromHex("30ffffffff01");
}

void tst_MosquittoClient::mapsMalformedPackets()
{
    QFETCH(QByteArray, packet);
    FakeBroker broker;
    QVERIFY(broker.listen());
    broker.setAfterConnack(packet);
    MosquittoClient client;
    Recorder rec(&client);
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(broker.port());
    client.connectToHost();
    QTRY_COMPARE(rec.count("error"), 1);
    QCOMPARE(rec.lines.mid(3), (QStringList{"state:0:0", "disconnected:-1:0", "error:257:0"}));
    QCOMPARE(rec.count("state:0"), 1);
}

void tst_MosquittoClient::abortsWithoutDisconnectPacket()
{
    FakeBroker broker;
    QVERIFY(broker.listen());
    broker.setConnackCode(-1);
    MosquittoClient client;
    Recorder rec(&client);
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(broker.port());
    client.connectToHost();
    QTRY_COMPARE(broker.count(FakeBroker::Connect), 1);
    client.abortConnection();
    QCOMPARE(client.state(), MosquittoClient::Disconnected);
    QCOMPARE(rec.lines, (QStringList{"state:1:1", "state:0:0", "disconnected:-1:0"}));
    QTRY_COMPARE(broker.openConnections(), 0);
    QCOMPARE(broker.packetTypes(), QList<quint8>{FakeBroker::Connect});

    // Aborting or disconnecting a disconnected client does nothing.
    client.abortConnection();
    client.disconnectFromHost();
    QCOMPARE(rec.lines.size(), 3);
}

void tst_MosquittoClient::abortsWhileTcpConnectPending()
{
    // A listener whose backlog is full drops SYNs, so our TCP connect stays pending.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(listener >= 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QVERIFY(bind(listener, reinterpret_cast<sockaddr *>(&address), length) == 0);
    QVERIFY(listen(listener, 0) == 0);
    QVERIFY(getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) == 0);
    const quint16 port = ntohs(address.sin_port);
    QTcpSocket fillers[3];
    for (auto &f : fillers)
        f.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(fillers[0].waitForConnected(2000));

    MosquittoClient client;
    Recorder rec(&client);
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(port);
    client.connectToHost();
    QCOMPARE(client.state(), MosquittoClient::Connecting);
    client.abortConnection();
    QCOMPARE(rec.lines, (QStringList{"state:1:1", "state:0:0", "disconnected:-1:0"}));
    QCoreApplication::processEvents();

    // Accept whatever completes: no connection may carry our CONNECT.
    QDeadlineTimer deadline(1500);
    while (!deadline.hasExpired()) {
        pollfd p{listener, POLLIN, 0};
        if (poll(&p, 1, 50) > 0) {
            const int peer = accept(listener, nullptr, nullptr);
            char byte = 0;
            pollfd q{peer, POLLIN, 0};
            const bool data = poll(&q, 1, 200) > 0 && recv(peer, &byte, 1, MSG_DONTWAIT) == 1;
            close(peer);
            QVERIFY2(!data, "an aborted connection sent its CONNECT");
        }
    }
    close(listener);
    QCOMPARE(rec.lines.size(), 3);
}

void tst_MosquittoClient::disconnectSendsDisconnectPacket()
{
    FakeBroker broker;
    QVERIFY(broker.listen());
    MosquittoClient client;
    Recorder rec(&client);
    connectTo(client, broker.port());
    client.disconnectFromHost();
    QCOMPARE(client.state(), MosquittoClient::Disconnected);
    QTRY_COMPARE(broker.count(FakeBroker::Disconnect), 1);
    QTRY_COMPARE(broker.openConnections(), 0);
    QCOMPARE(rec.lines.mid(3), (QStringList{"state:0:0", "disconnected:-1:0"}));
}

void tst_MosquittoClient::publishResults_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<int>("qos");
    QTest::addColumn<int>("expected"); // -1 failure, 0 QoS 0, 1 a packet id
    QTest::newRow("qos-0") << "pub/a" << 0 << 0;
    QTest::newRow("qos-1") << "pub/a" << 1 << 1;
    QTest::newRow("qos-2") << "pub/a" << 2 << 1;
    QTest::newRow("qos-3") << "pub/a" << 3 << -1;
    QTest::newRow("wildcard-topic") << "pub/#" << 0 << -1;
    QTest::newRow("empty-topic") << "" << 0 << -1;
}

void tst_MosquittoClient::publishResults()
{
    QFETCH(QString, topic);
    QFETCH(int, qos);
    QFETCH(int, expected);
    MosquittoClient client;
    connectTo(client, mBroker.port());
    const qint32 id = client.publish(topic, "x", quint8(qos));
    if (expected == 1)
        QVERIFY2(id > 0, qPrintable(QString::number(id)));
    else
        QCOMPARE(id, expected);
}

void tst_MosquittoClient::subscribeResults_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("qos");
    QTest::addColumn<bool>("expected");
    QTest::newRow("plain") << "sub/a" << 0 << true;
    QTest::newRow("wildcards") << "sub/+/#" << 2 << true;
    QTest::newRow("qos-3") << "sub/a" << 3 << false;
    QTest::newRow("hash-not-last") << "sub/#/a" << 0 << false;
    QTest::newRow("plus-inside-level") << "sub/a+" << 0 << false;
    QTest::newRow("empty") << "" << 0 << false;
}

void tst_MosquittoClient::subscribeResults()
{
    QFETCH(QString, filter);
    QFETCH(int, qos);
    QFETCH(bool, expected);
    MosquittoClient client;
    connectTo(client, mBroker.port());
    MosquittoSubscription *subscription = client.subscribe(filter, quint8(qos));
    QCOMPARE(subscription != nullptr, expected);
    if (subscription) {
        QCOMPARE(subscription->filter(), filter);
        QCOMPARE(int(subscription->qos()), qos);
    }
}

void tst_MosquittoClient::refusesWhileDisconnected()
{
    MosquittoClient client;
    QCOMPARE(client.publish(QStringLiteral("a"), "x", 1), -1);
    QVERIFY(!client.subscribe(QStringLiteral("a")));

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

void tst_MosquittoClient::deliversToClientBeforeSubscriptions()
{
    MosquittoClient client;
    connectTo(client, mBroker.port());
    QStringList order;
    connect(&client, &MosquittoClient::messageReceived, this,
            [&](const QByteArray &payload, const QString &topic) { order << "client " + topic + " " + payload; });
    for (const QString &filter : {QStringLiteral("order/#"), QStringLiteral("order/x"), QStringLiteral("other/#")}) {
        MosquittoSubscription *s = client.subscribe(filter, 1);
        QVERIFY(s);
        connect(s, &MosquittoSubscription::messageReceived, this, [&order, filter](const MosquittoMessage &m) {
            order << filter + " " + m.topic + " " + m.payload + " " + QString::number(m.qos);
        });
    }
    MqttPeer peer;
    QVERIFY(peer.connectTo(mBroker.host(), mBroker.port()));
    // The broker answers SUBSCRIBE in order: once a probe arrives, all three filters stand.
    QTRY_VERIFY(peer.publish(QStringLiteral("order/probe"), "p", 0) >= 0 && order.contains("client order/probe p"));
    QVERIFY(peer.publish(QStringLiteral("order/x"), "m", 1) > 0);
    QTRY_COMPARE(order.filter(" order/x m").size(), 3);
    QCOMPARE(order.filter(" order/x m"),
             (QStringList{"client order/x m", "order/# order/x m 1", "order/x order/x m 1"}));
}

void tst_MosquittoClient::subscribesInsideConnectedHandler()
{
    MosquittoClient client;
    MosquittoSubscription *subscription = nullptr;
    connect(&client, &MosquittoClient::connected, this,
            [&] { subscription = client.subscribe(QStringLiteral("inside/#"), 1); });
    QSignalSpy messages(&client, &MosquittoClient::messageReceived);
    connectTo(client, mBroker.port());
    QVERIFY(subscription);
    MqttPeer peer;
    QVERIFY(peer.connectTo(mBroker.host(), mBroker.port()));
    QVERIFY(peer.publish(QStringLiteral("inside/a"), "hello", 1) > 0);
    QTRY_COMPARE(messages.count(), 1);
    QCOMPARE(messages.at(0).at(0).toByteArray(), QByteArray("hello"));
    QCOMPARE(messages.at(0).at(1).toString(), QStringLiteral("inside/a"));
}

void tst_MosquittoClient::keepsOrderAcrossNestedEventLoops()
{
    MosquittoClient client;
    connectTo(client, mBroker.port());
    MosquittoSubscription *subscription = client.subscribe(QStringLiteral("nested/#"), 1);
    QVERIFY(subscription);
    MqttPeer peer;
    QVERIFY(peer.connectTo(mBroker.host(), mBroker.port()));
    QStringList order;
    bool nested = false;
    connect(subscription, &MosquittoSubscription::messageReceived, this,
            [&](const MosquittoMessage &m) { order << "s" + m.payload; });
    connect(&client, &MosquittoClient::messageReceived, this, [&](const QByteArray &payload) {
        order << "c" + payload;
        if (nested)
            return;
        // A receiver that waits for more traffic inside its handler, as blocking requests do.
        nested = true;
        for (const char *next : {"2", "3", "4"})
            peer.publish(QStringLiteral("nested/a"), next, 0);
        QEventLoop loop;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &loop, [&] {
            if (order.size() >= 7)
                loop.quit();
        });
        poll.start(5);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
    });
    QVERIFY(peer.publish(QStringLiteral("nested/a"), "1", 1, true) > 0);
    QTRY_COMPARE(order.size(), 8);
    QCOMPARE(order, (QStringList{"c1", "s1", "c2", "s2", "c3", "s3", "c4", "s4"}));
}

void tst_MosquittoClient::raisesShortKeepAliveOnce()
{
    const QString warning = QStringLiteral("[MqttClient] WARN: Keep-alive of 2 s is below the least the library "
                                           "accepts, using 5 s");
    MosquittoClient client;
    client.setKeepAlive(2);
    client.setKeepAlive(2);
    QCOMPARE(client.keepAlive(), quint16(5));
    QCOMPARE(mLog->count(warning), 1);
    client.setKeepAlive(0);
    QCOMPARE(client.keepAlive(), quint16(0));
    client.setKeepAlive(60);
    QCOMPARE(client.keepAlive(), quint16(60));
    client.setKeepAlive(2);
    QCOMPARE(mLog->count(warning), 2);
    QCOMPARE(mLog->entries().size(), 2);
    QCOMPARE(MosquittoClient::effectiveKeepAlive(4), quint16(5));
    QCOMPARE(MosquittoClient::effectiveKeepAlive(5), quint16(5));
    QCOMPARE(MosquittoClient::effectiveKeepAlive(0), quint16(0));
}

void tst_MosquittoClient::refusesParameterChangesUnlessDisconnected()
{
    MosquittoClient client;
    connectTo(client, mBroker.port());
    const quint16 port = client.port();
    client.setPort(port); // unchanged: nothing to refuse
    client.setKeepAlive(60);
    QCOMPARE(mLog->entries().size(), 0);
    client.setHostname(QStringLiteral("elsewhere"));
    client.setPort(1);
    client.setKeepAlive(30);
    QCOMPARE(client.hostname(), QStringLiteral("127.0.0.1"));
    QCOMPARE(client.port(), port);
    QCOMPARE(client.keepAlive(), quint16(60));
    QCOMPARE(mLog->texts(), (QStringList{
                                "[MqttClient] WARN: Cannot change the host name while connecting or connected",
                                "[MqttClient] WARN: Cannot change the port while connecting or connected",
                                "[MqttClient] WARN: Cannot change the keep-alive while connecting or connected",
                            }));
    client.connectToHost();
    QVERIFY(mLog->contains(QStringLiteral("[MqttClient] WARN: Connect request ignored, already connected to "
                                          "127.0.0.1:%1")
                               .arg(port)));
    QCOMPARE(client.state(), MosquittoClient::Connected);
}

void tst_MosquittoClient::rejectsEmptyIdWithoutCleanSession()
{
    MosquittoClient client;
    Recorder rec(&client);
    client.setCleanSession(false);
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(mBroker.port());
    client.connectToHost();
    QTRY_COMPARE(rec.lines.size(), 4);
    QCOMPARE(rec.lines, (QStringList{"state:1:1", "state:0:0", "disconnected:-1:0", "error:2:0"}));
}

void tst_MosquittoClient::reportsUnknownHost()
{
    MosquittoClient client;
    Recorder rec(&client);
    client.setHostname(QStringLiteral("no-such-host.invalid"));
    client.setPort(1883);
    client.connectToHost();
    QCOMPARE(rec.lines, QStringList{"state:1:1"});
    QTRY_COMPARE_WITH_TIMEOUT(rec.lines.size(), 4, 15000);
    QCOMPARE(rec.lines.mid(1), (QStringList{"state:0:0", "disconnected:-1:0", "error:256:0"}));
    QVERIFY(mLog->contains(QStringLiteral("[MqttClient] ERROR: Could not resolve broker host no-such-host.invalid")));
}

void tst_MosquittoClient::reportsPingResponses_data()
{
    QTest::addColumn<bool>("answered");
    QTest::newRow("answered") << true;
    QTest::newRow("unanswered") << false;
}

void tst_MosquittoClient::reportsPingResponses()
{
    QFETCH(bool, answered);
    FakeBroker broker;
    QVERIFY(broker.listen());
    broker.setAnswerPings(answered);
    MosquittoClient client;
    client.setKeepAlive(5);
    QSignalSpy pings(&client, &MosquittoClient::pingResponseReceived);
    Recorder rec(&client);
    connectTo(client, broker.port());
    QTRY_COMPARE_WITH_TIMEOUT(broker.count(FakeBroker::PingReq), 1, 8000);
    if (answered) {
        QTRY_COMPARE(pings.count(), 1);
        QCOMPARE(client.state(), MosquittoClient::Connected);
    } else {
        // The library gives up on its own after another keep-alive period.
        QTRY_COMPARE_WITH_TIMEOUT(rec.count("error"), 1, 9000);
        QCOMPARE(rec.lines.last(), QStringLiteral("error:3:0"));
        QCOMPARE(pings.count(), 0);
    }
}

void tst_MosquittoClient::reportsInboundTrafficAsPingResponse()
{
    MosquittoClient client;
    connectTo(client, mBroker.port());
    QVERIFY(client.subscribe(QStringLiteral("busy/#")));
    QSignalSpy pings(&client, &MosquittoClient::pingResponseReceived);
    QSignalSpy messages(&client, &MosquittoClient::messageReceived);
    QElapsedTimer clock;
    clock.start();
    QTimer traffic;
    connect(&traffic, &QTimer::timeout, &client, [&] { client.publish(QStringLiteral("busy/a"), "x"); });
    traffic.start(20);
    QTRY_VERIFY_WITH_TIMEOUT(clock.elapsed() > 2500, 5000);
    traffic.stop();
    const int seconds = int(clock.elapsed() / 1000);
    QVERIFY2(messages.count() > 50, qPrintable(QString::number(messages.count())));
    QVERIFY2(pings.count() >= 2 && pings.count() <= seconds + 1, qPrintable(QString::number(pings.count())));
}

void tst_MosquittoClient::emitsNothingOnceDestroyed()
{
    int emitted = 0;
    QObject counter;
    {
        auto client = std::make_unique<MosquittoClient>();
        for (auto s : {&MosquittoClient::connected, &MosquittoClient::disconnected,
                       &MosquittoClient::pingResponseReceived})
            connect(client.get(), s, &counter, [&] { ++emitted; });
        connect(client.get(), &MosquittoClient::stateChanged, &counter, [&] { ++emitted; });
        connectTo(*client, mBroker.port());
        emitted = 0;
    }
    QCOMPARE(emitted, 0);

    // Destroyed with its failure still queued.
    {
        auto client = std::make_unique<MosquittoClient>();
        connect(client.get(), &MosquittoClient::errorChanged, &counter, [&] { ++emitted; });
        client->setHostname(QStringLiteral("127.0.0.1"));
        client->setPort(closedPort());
        client->connectToHost();
    }
    QCoreApplication::processEvents();
    QCOMPARE(emitted, 0);

    // Deleted by a receiver in the middle of a burst of messages.
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

QTEST_GUILESS_MAIN(tst_MosquittoClient)
#include "tst_mosquittoclient.moc"

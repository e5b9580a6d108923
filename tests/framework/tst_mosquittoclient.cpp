#include "framework/mosquittoclient.h"
#include "framework/mosquittosubscription.h"
#include "support/brokerfixture.h"
#include "support/fakebroker.h"
#include "support/logcapture.h"
#include "support/mqttpeer.h"

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

class tst_MosquittoClient : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(mBroker.start(), qPrintable(mBroker.log())); }
    void init() { mLog = std::make_unique<LogCapture>(); }
    void cleanup() { mLog.reset(); }

    void abortsWhileTcpConnectPending();
    void refusesWhileDisconnected();
    void keepsOrderAcrossNestedEventLoops();
    void emitsNothingOnceDestroyed();

private:
    void connectTo(MosquittoClient &client, quint16 port);

    BrokerFixture mBroker;
    std::unique_ptr<LogCapture> mLog;
};

void tst_MosquittoClient::connectTo(MosquittoClient &client, quint16 port)
{
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(port);
    client.connectToHost();
    QTRY_COMPARE(client.state(), MosquittoClient::Connected);
}

void tst_MosquittoClient::abortsWhileTcpConnectPending()
{
    // A listener whose backlog is full drops SYNs, so our TCP connect stays pending.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QVERIFY(listener >= 0 && bind(listener, reinterpret_cast<sockaddr *>(&address), length) == 0);
    QVERIFY(listen(listener, 0) == 0 && getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) == 0);
    QTcpSocket fillers[3];
    for (auto &f : fillers)
        f.connectToHost(QHostAddress::LocalHost, ntohs(address.sin_port));
    QVERIFY(fillers[0].waitForConnected(2000));

    MosquittoClient client;
    QStringList rec; // signal:state() at its emission
    connect(&client, &MosquittoClient::stateChanged, this, [&](int s) { rec << QStringLiteral("%1:%2").arg(s).arg(client.state()); });
    connect(&client, &MosquittoClient::disconnected, this, [&] { rec << QStringLiteral("down:%1").arg(client.state()); });
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(ntohs(address.sin_port));
    client.connectToHost();
    client.abortConnection();
    QCOMPARE(rec, (QStringList{"1:1", "0:0", "down:0"}));
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
    QCOMPARE(rec.size(), 3);
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

void tst_MosquittoClient::keepsOrderAcrossNestedEventLoops()
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

void tst_MosquittoClient::emitsNothingOnceDestroyed()
{
    // Destroyed with its failure still queued, then deleted by a receiver amid a burst.
    int emitted = 0;
    QObject counter;
    auto queued = std::make_unique<MosquittoClient>();
    connect(queued.get(), &MosquittoClient::errorChanged, &counter, [&] { ++emitted; });
    queued->setHostname(QStringLiteral("127.0.0.1"));
    QTcpSocket probe; // bound, never listening: a closed port
    QVERIFY(probe.bind(QHostAddress::LocalHost));
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

QTEST_GUILESS_MAIN(tst_MosquittoClient)
#include "tst_mosquittoclient.moc"

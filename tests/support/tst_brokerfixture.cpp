#include "support/brokerfixture.h"
#include "support/mqttpeer.h"

#include <QtTest>

// The harness itself: later tests rely on the broker fixture and the peer behaving.
class tst_BrokerFixture : public QObject
{
    Q_OBJECT
private slots:
    void publishesAndReceives();
    void restartsOnTheSamePort();
    void pausedBrokerAnswersNothing();
    void refusesWrongPassword();
};

void tst_BrokerFixture::publishesAndReceives()
{
    BrokerFixture broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    QVERIFY(broker.port() > 0);
    MqttPeer a, b;
    QVERIFY(a.connectTo(broker.host(), broker.port()));
    QVERIFY(b.connectTo(broker.host(), broker.port()));
    QVERIFY(b.subscribe("zeto/test/#", 1));
    QSignalSpy spy(&b, &MqttPeer::received);
    QVERIFY(a.publish("zeto/test/one", "hello", 1) > 0);
    QVERIFY(b.waitForMessages("zeto/test/one"));
    QCOMPARE(b.messages().first().payload, QByteArray("hello"));
    QCOMPARE(b.messages().first().qos, 1);
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(0).toString(), QStringLiteral("zeto/test/one"));
}

void tst_BrokerFixture::restartsOnTheSamePort()
{
    BrokerFixture broker;
    QVERIFY(broker.start());
    const quint16 port = broker.port();
    MqttPeer peer;
    QVERIFY(peer.connectTo(broker.host(), port));
    broker.stop();
    QTRY_VERIFY(!peer.isConnected());
    QVERIFY2(broker.restart(), qPrintable(broker.log()));
    QCOMPARE(broker.port(), port);
    MqttPeer again;
    QVERIFY(again.connectTo(broker.host(), port));
}

void tst_BrokerFixture::pausedBrokerAnswersNothing()
{
    BrokerFixture broker;
    QVERIFY(broker.start());
    MqttPeer sender, receiver;
    QVERIFY(sender.connectTo(broker.host(), broker.port()));
    QVERIFY(receiver.connectTo(broker.host(), broker.port()));
    QVERIFY(receiver.subscribe("t"));
    broker.pause();
    QCOMPARE(sender.publish("t", "while-paused", 1, false, 300), -1); // no PUBACK from a stopped broker
    QVERIFY(!receiver.waitForMessages("t", 1, 300));
    broker.resume();
    QVERIFY(receiver.waitForMessages("t", 1, 5000));
}

void tst_BrokerFixture::refusesWrongPassword()
{
    QTemporaryDir dir;
    const QString passwords = dir.filePath("passwd");
    QVERIFY(BrokerFixture::writePasswordFile(passwords, "zub", "secret"));
    BrokerFixture::Options options;
    options.passwordFile = passwords;
    BrokerFixture broker(options);
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    MqttPeer good, bad;
    QVERIFY(good.connectTo(broker.host(), broker.port(), 5000, "zub", "secret"));
    QVERIFY(!bad.connectTo(broker.host(), broker.port(), 5000, "zub", "wrong"));
}

QTEST_GUILESS_MAIN(tst_BrokerFixture)
#include "tst_brokerfixture.moc"

#include "app/metatypes.h"

#include "db/device.h"
#include "db/employee.h"
#include "db/emvticketresp.h"
#include "db/scblacklistentry.h"
#include "tarvik/route.h"
#include "tickets/dynamicqr.h"

#include <QJsonObject>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

// The names the signals of the gateway, the OBU link and the validation service write.
using tarvik_route_ptr = std::shared_ptr<tarvik::Route>;
using qrticket_ptr = std::shared_ptr<QrTicket>;

class Sender : public QObject
{
    Q_OBJECT
signals:
    void route(tarvik_route_ptr route);
    void ticket(qrticket_ptr ticket);
    void blacklistEntry(SCBlacklistEntry::Ptr entry);
    void emvReply(EMVticketResp::Ptr reply);
    void employee(Employee::Ptr employee);
    void device(Device::Ptr device);
};

class Receiver : public QObject
{
    Q_OBJECT
public:
    std::atomic<const void *> received{nullptr};
    std::atomic<QThread *> thread{nullptr};

public slots:
    void onRoute(tarvik_route_ptr route) { note(route.get()); }
    void onTicket(qrticket_ptr ticket) { note(ticket.get()); }
    void onBlacklistEntry(SCBlacklistEntry::Ptr entry) { note(entry.get()); }
    void onEmvReply(EMVticketResp::Ptr reply) { note(reply.get()); }
    void onEmployee(Employee::Ptr employee) { note(employee.get()); }
    void onDevice(Device::Ptr device) { note(device.get()); }

private:
    void note(const void *object)
    {
        // The thread first: the test reads it as soon as it sees the object.
        thread = QThread::currentThread();
        received = object;
    }
};

class tst_MetaTypes : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void registeredUnderTheirNames_data();
    void registeredUnderTheirNames();
    void crossThreadsInQueuedSignals_data();
    void crossThreadsInQueuedSignals();
    void cleanupTestCase();

private:
    QThread mThread;
    Receiver *mReceiver = nullptr; // lives on mThread
};

void tst_MetaTypes::initTestCase()
{
    registerMetaTypes();
    mReceiver = new Receiver;
    mReceiver->moveToThread(&mThread);
    connect(&mThread, &QThread::finished, mReceiver, &QObject::deleteLater);
    mThread.start();
}

void tst_MetaTypes::cleanupTestCase()
{
    mThread.quit();
    mThread.wait();
}

void tst_MetaTypes::registeredUnderTheirNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("id");
    QTest::newRow("route") << QByteArray("tarvik_route_ptr") << qMetaTypeId<std::shared_ptr<tarvik::Route>>();
    QTest::newRow("qr-ticket") << QByteArray("qrticket_ptr") << qMetaTypeId<std::shared_ptr<QrTicket>>();
    QTest::newRow("blacklist") << QByteArray("SCBlacklistEntry::Ptr") << qMetaTypeId<SCBlacklistEntry::Ptr>();
    QTest::newRow("emv") << QByteArray("EMVticketResp::Ptr") << qMetaTypeId<EMVticketResp::Ptr>();
    QTest::newRow("employee") << QByteArray("Employee::Ptr") << qMetaTypeId<Employee::Ptr>();
    QTest::newRow("device") << QByteArray("Device::Ptr") << qMetaTypeId<Device::Ptr>();
}

void tst_MetaTypes::registeredUnderTheirNames()
{
    QFETCH(QByteArray, name);
    QFETCH(int, id);
    QCOMPARE(QMetaType::type(name.constData()), id);
}

void tst_MetaTypes::crossThreadsInQueuedSignals_data()
{
    registeredUnderTheirNames_data();
}

void tst_MetaTypes::crossThreadsInQueuedSignals()
{
    QFETCH(QByteArray, name);
    Sender sender;
    Receiver &receiver = *mReceiver;
    QObject::connect(&sender, &Sender::route, &receiver, &Receiver::onRoute);
    QObject::connect(&sender, &Sender::ticket, &receiver, &Receiver::onTicket);
    QObject::connect(&sender, &Sender::blacklistEntry, &receiver, &Receiver::onBlacklistEntry);
    QObject::connect(&sender, &Sender::emvReply, &receiver, &Receiver::onEmvReply);
    QObject::connect(&sender, &Sender::employee, &receiver, &Receiver::onEmployee);
    QObject::connect(&sender, &Sender::device, &receiver, &Receiver::onDevice);

    const void *sent = nullptr;
    if (name == "tarvik_route_ptr") {
        auto route = std::make_shared<tarvik::Route>(QJsonObject());
        sent = route.get();
        emit sender.route(route);
    } else if (name == "qrticket_ptr") {
        qrticket_ptr ticket = std::make_shared<DynamicQr>(QJsonObject());
        sent = ticket.get();
        emit sender.ticket(ticket);
    } else if (name == "SCBlacklistEntry::Ptr") {
        auto entry = std::make_shared<SCBlacklistEntry>();
        sent = entry.get();
        emit sender.blacklistEntry(entry);
    } else if (name == "EMVticketResp::Ptr") {
        auto reply = std::make_shared<EMVticketResp>();
        sent = reply.get();
        emit sender.emvReply(reply);
    } else if (name == "Employee::Ptr") {
        auto employee = std::make_shared<Employee>();
        sent = employee.get();
        emit sender.employee(employee);
    } else {
        auto device = std::make_shared<Device>();
        sent = device.get();
        emit sender.device(device);
    }
    // Queued: the object is kept alive by the pending call, and arrives on the other thread.
    QTRY_VERIFY(receiver.received.load() == sent);
    QCOMPARE(receiver.thread.load(), &mThread);
}

QTEST_GUILESS_MAIN(tst_MetaTypes)
#include "tst_metatypes.moc"

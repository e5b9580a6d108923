#include "db/device.h"
#include "db/emvticketresp.h"
#include "db/employee.h"
#include "db/scblacklistentry.h"

#include <QtTest>

// The records cross from the data gateway to the validation thread and the controller in
// queued signals, whose arguments are found by the type names registered at start-up.
class RecordSender : public QObject
{
    Q_OBJECT
signals:
    void employee(Employee::Ptr employee);
    void device(Device::Ptr device);
    void blacklistEntry(SCBlacklistEntry::Ptr entry);
    void emvTicket(EMVticketResp::Ptr reply);
    void blockReason(SCBlacklistEntry::BlockReason reason);
};

class RecordReceiver : public QObject
{
    Q_OBJECT
public:
    QStringList received; // the record's compact JSON, or the reason's code
    QList<QThread *> threads;

public slots:
    void onEmployee(Employee::Ptr employee) { record(employee ? employee->toJson() : QJsonObject()); }
    void onDevice(Device::Ptr device) { record(device ? device->toJson() : QJsonObject()); }
    void onBlacklistEntry(SCBlacklistEntry::Ptr entry) { record(entry ? entry->toJson() : QJsonObject()); }
    void onEmvTicket(EMVticketResp::Ptr reply) { record(reply ? reply->toJson() : QJsonObject()); }
    void onBlockReason(SCBlacklistEntry::BlockReason reason)
    {
        received << QString::number(reason);
        threads << QThread::currentThread();
    }

private:
    void record(const QJsonObject &json)
    {
        received << QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact));
        threads << QThread::currentThread();
    }
};

class tst_RecordMetaTypes : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void registeredUnderTheirNames_data();
    void registeredUnderTheirNames();
    void crossThreadsInQueuedSignals_data();
    void crossThreadsInQueuedSignals();
};

void tst_RecordMetaTypes::initTestCase()
{
    // As the process entry registers them.
    qRegisterMetaType<SCBlacklistEntry::Ptr>("SCBlacklistEntry::Ptr");
    qRegisterMetaType<EMVticketResp::Ptr>("EMVticketResp::Ptr");
    qRegisterMetaType<Employee::Ptr>("Employee::Ptr");
    qRegisterMetaType<Device::Ptr>("Device::Ptr");
    qRegisterMetaType<SCBlacklistEntry::BlockReason>("SCBlacklistEntry::BlockReason");
}

void tst_RecordMetaTypes::registeredUnderTheirNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("id");
    QTest::newRow("employee") << QByteArray("Employee::Ptr") << qMetaTypeId<Employee::Ptr>();
    QTest::newRow("device") << QByteArray("Device::Ptr") << qMetaTypeId<Device::Ptr>();
    QTest::newRow("blacklist") << QByteArray("SCBlacklistEntry::Ptr") << qMetaTypeId<SCBlacklistEntry::Ptr>();
    QTest::newRow("emv") << QByteArray("EMVticketResp::Ptr") << qMetaTypeId<EMVticketResp::Ptr>();
    QTest::newRow("reason") << QByteArray("SCBlacklistEntry::BlockReason")
                            << qMetaTypeId<SCBlacklistEntry::BlockReason>();
}

void tst_RecordMetaTypes::registeredUnderTheirNames()
{
    QFETCH(QByteArray, name);
    QFETCH(int, id);
    QCOMPARE(QMetaType::type(name.constData()), id);
}

void tst_RecordMetaTypes::crossThreadsInQueuedSignals_data()
{
    QTest::addColumn<QByteArray>("signal");   // normalised signature, as a string-based connection names it
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QByteArray>("typeName");
    QTest::addColumn<QByteArray>("json");     // the record sent, built on the sending thread
    QTest::addColumn<QString>("expected");

    QTest::newRow("employee") << QByteArray("employee(Employee::Ptr)") << QByteArray("onEmployee(Employee::Ptr)")
                              << QByteArray("Employee::Ptr") << QByteArray(R"({"id":4,"currZ":2})")
                              << QStringLiteral(R"({"currZ":2,"id":4})");
    QTest::newRow("device") << QByteArray("device(Device::Ptr)") << QByteArray("onDevice(Device::Ptr)")
                            << QByteArray("Device::Ptr") << QByteArray(R"({"userId":null})")
                            << QStringLiteral(R"({"userId":null})");
    QTest::newRow("blacklist") << QByteArray("blacklistEntry(SCBlacklistEntry::Ptr)")
                               << QByteArray("onBlacklistEntry(SCBlacklistEntry::Ptr)")
                               << QByteArray("SCBlacklistEntry::Ptr") << QByteArray(R"({"reason":7})")
                               << QStringLiteral(R"({"reason":7})");
    QTest::newRow("emv") << QByteArray("emvTicket(EMVticketResp::Ptr)")
                         << QByteArray("onEmvTicket(EMVticketResp::Ptr)") << QByteArray("EMVticketResp::Ptr")
                         << QByteArray(R"({"error":{"id":0}})") << QStringLiteral(R"({"error":{"id":0}})");
    QTest::newRow("reason") << QByteArray("blockReason(SCBlacklistEntry::BlockReason)")
                            << QByteArray("onBlockReason(SCBlacklistEntry::BlockReason)")
                            << QByteArray("SCBlacklistEntry::BlockReason") << QByteArray(R"({"reason":7})")
                            << QStringLiteral("7");
}

void tst_RecordMetaTypes::crossThreadsInQueuedSignals()
{
    QFETCH(QByteArray, signal);
    QFETCH(QByteArray, slot);
    QFETCH(QByteArray, typeName);
    QFETCH(QByteArray, json);
    QFETCH(QString, expected);

    QThread thread;
    RecordSender sender;
    RecordReceiver receiver;
    sender.moveToThread(&thread);

    const QMetaMethod signalMethod = sender.metaObject()->method(sender.metaObject()->indexOfSignal(signal));
    const QMetaMethod slotMethod = receiver.metaObject()->method(receiver.metaObject()->indexOfSlot(slot));
    QVERIFY(signalMethod.isValid());
    QVERIFY(slotMethod.isValid());
    QCOMPARE(QByteArray(signalMethod.parameterTypes().at(0)), typeName);
    QVERIFY(QObject::connect(&sender, signalMethod, &receiver, slotMethod, Qt::QueuedConnection));

    thread.start();
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    const QByteArray name = signalMethod.name();
    bool emitted = false;
    // The record is made and dropped on the sending thread: only the queued copy keeps it.
    QMetaObject::invokeMethod(&sender, [&]() {
        const SCBlacklistEntry entry(object);
        const SCBlacklistEntry::BlockReason reason = entry.blockReason();
        const Employee::Ptr employee = std::make_shared<Employee>(object);
        const Device::Ptr device = std::make_shared<Device>(object);
        const SCBlacklistEntry::Ptr blacklist = std::make_shared<SCBlacklistEntry>(object);
        const EMVticketResp::Ptr emv = std::make_shared<EMVticketResp>(object);
        if (name == "employee")
            emit sender.employee(employee);
        else if (name == "device")
            emit sender.device(device);
        else if (name == "blacklistEntry")
            emit sender.blacklistEntry(blacklist);
        else if (name == "emvTicket")
            emit sender.emvTicket(emv);
        else
            emit sender.blockReason(reason);
        emitted = true;
    }, Qt::BlockingQueuedConnection);
    thread.quit();
    QVERIFY(thread.wait(5000));
    QVERIFY(emitted);

    QTRY_COMPARE(receiver.received, QStringList{expected});
    QCOMPARE(receiver.threads.at(0), QThread::currentThread());
}

QTEST_GUILESS_MAIN(tst_RecordMetaTypes)
#include "tst_recordmetatypes.moc"

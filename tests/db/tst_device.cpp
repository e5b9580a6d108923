#include "db/device.h"

#include <QtTest>

namespace {

QJsonObject element(const QByteArray &json)
{
    return QJsonDocument::fromJson("[" + json + "]").array().at(0).toObject();
}

} // namespace

class tst_Device : public QObject
{
    Q_OBJECT
private slots:
    void readsIds_data();
    void readsIds();
    void readsTexts();
    void dumpsStatus_data();
    void dumpsStatus();
    void toJsonKeepsUnknownKeys();
};

void tst_Device::readsIds_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("carrierId");
    QTest::addColumn<int>("vehicleId");
    QTest::addColumn<int>("userId");

    QTest::newRow("empty") << QByteArray("{}") << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("element-number") << QByteArray("5") << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("element-null") << QByteArray("null") << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("element-array") << QByteArray("[]") << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("all-null")
        << QByteArray(R"({"id":null,"deviceTypeId":null,"carrierId":null,"vehicleUuid":null,"userId":null})")
        << 0 << 0 << -1 << -1 << -1;
    QTest::newRow("full")
        << QByteArray(R"({"id":3,"deviceTypeId":2,"carrierId":12,"vehicleUuid":"17","userId":5})")
        << 3 << 2 << 12 << 17 << 5;
    QTest::newRow("carrier-text") << QByteArray(R"({"carrierId":"12"})") << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("carrier-fraction") << QByteArray(R"({"carrierId":3.5})") << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("vehicle-number") << QByteArray(R"({"vehicleUuid":17})") << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("vehicle-letters") << QByteArray(R"({"vehicleUuid":"abc"})") << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("vehicle-empty") << QByteArray(R"({"vehicleUuid":""})") << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("user-text") << QByteArray(R"({"userId":"5"})") << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("user-false") << QByteArray(R"({"userId":false})") << 0 << 0 << 0 << 0 << 0;
}

void tst_Device::readsIds()
{
    QFETCH(QByteArray, json);
    QFETCH(int, id);
    QFETCH(int, type);
    QFETCH(int, carrierId);
    QFETCH(int, vehicleId);
    QFETCH(int, userId);

    const Device d(element(json));
    QCOMPARE(d.id(), id);
    QCOMPARE(d.type(), type);
    QCOMPARE(d.carrierId(), carrierId);
    QCOMPARE(d.vehicleId(), vehicleId);
    QCOMPARE(d.userId(), userId);
}

void tst_Device::readsTexts()
{
    const Device d(element(R"({"deviceUuid":"V-1","name":"front","description":"door 1",)"
                           R"("status":"ACTIVE","pisSerialNumber":"P9"})"));
    QCOMPARE(d.uuid(), QStringLiteral("V-1"));
    QCOMPARE(d.name(), QStringLiteral("front"));
    QCOMPARE(d.description(), QStringLiteral("door 1"));
    QCOMPARE(d.status(), QStringLiteral("ACTIVE"));
    QCOMPARE(d.pisSerialNumber(), QStringLiteral("P9"));

    const Device nulls(element(R"({"deviceUuid":null,"name":1,"pisSerialNumber":{}})"));
    QVERIFY(nulls.uuid().isEmpty());
    QVERIFY(nulls.name().isEmpty());
    QVERIFY(nulls.pisSerialNumber().isEmpty());
}

void tst_Device::dumpsStatus_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("expected");

    QTest::newRow("null-ids")
        << QByteArray(R"({"id":3,"deviceTypeId":2,"deviceUuid":"V-1","name":"front","description":"d",)"
                      R"("status":"ACTIVE","carrierId":null,"vehicleUuid":null,"userId":null,"pisSerialNumber":"P9"})")
        << QStringLiteral("+--- DEVICE STATUS -----------------------\n"
                          "| ID          : 3\n"
                          "| Type        : 2\n"
                          "| Device S/N  : V-1\n"
                          "| Device Name : front\n"
                          "| Description : d\n"
                          "| Status      : ACTIVE\n"
                          "| Carrier ID  : -1\n"
                          "| Vehicle ID  : -1\n"
                          "| User ID     : null\n"
                          "| PIS S/N     : P9\n"
                          "+-----------------------------------------");
    QTest::newRow("user-five")
        << QByteArray(R"({"carrierId":12,"vehicleUuid":"17","userId":5})")
        << QStringLiteral("+--- DEVICE STATUS -----------------------\n"
                          "| ID          : 0\n"
                          "| Type        : 0\n"
                          "| Device S/N  : \n"
                          "| Device Name : \n"
                          "| Description : \n"
                          "| Status      : \n"
                          "| Carrier ID  : 12\n"
                          "| Vehicle ID  : 17\n"
                          "| User ID     : 5\n"
                          "| PIS S/N     : \n"
                          "+-----------------------------------------");
}

void tst_Device::dumpsStatus()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, expected);
    QCOMPARE(Device(element(json)).toString(), expected);
}

void tst_Device::toJsonKeepsUnknownKeys()
{
    const QJsonObject received = element(R"({"id":1,"firmware":"2.1","userId":null})");
    Device d(received);
    QCOMPARE(d.toJson(), received);
    QVERIFY(Device().toJson().isEmpty());
    d.fromJson(QJsonObject());
    QCOMPARE(d.userId(), 0);
}

QTEST_GUILESS_MAIN(tst_Device)
#include "tst_device.moc"

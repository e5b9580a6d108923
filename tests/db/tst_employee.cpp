#include "db/employee.h"

#include <QtTest>

namespace {

// The object an element of a reply's "resp" array gives; a non-object element gives {}.
QJsonObject element(const QByteArray &json)
{
    return QJsonDocument::fromJson("[" + json + "]").array().at(0).toObject();
}

} // namespace

class tst_Employee : public QObject
{
    Q_OBJECT
private slots:
    void readsKeys_data();
    void readsKeys();
    void dumpShowsNoContactData();
    void toJsonKeepsUnknownKeys();
};

void tst_Employee::readsKeys_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("zId");
    QTest::addColumn<QString>("firstname");
    QTest::addColumn<QString>("email");

    QTest::newRow("empty") << QByteArray("{}") << 0 << 0 << QString() << QString();
    QTest::newRow("element-number") << QByteArray("5") << 0 << 0 << QString() << QString();
    QTest::newRow("element-text") << QByteArray("\"x\"") << 0 << 0 << QString() << QString();
    QTest::newRow("element-array") << QByteArray("[1]") << 0 << 0 << QString() << QString();
    QTest::newRow("element-null") << QByteArray("null") << 0 << 0 << QString() << QString();
    QTest::newRow("all-null") << QByteArray(R"({"id":null,"currZ":null,"curr_z":null,"firstname":null,)"
                                            R"("lastname":null,"email":null,"mobile":null})")
                              << 0 << 0 << QString() << QString();
    QTest::newRow("full") << QByteArray(R"({"id":12,"currZ":4,"firstname":"Ann","email":"a@b.c"})")
                          << 12 << 4 << QString("Ann") << QString("a@b.c");
    QTest::newRow("currz-wins") << QByteArray(R"({"currZ":4,"curr_z":9})") << 0 << 4 << QString() << QString();
    QTest::newRow("currz-null-wins") << QByteArray(R"({"currZ":null,"curr_z":9})") << 0 << 0 << QString()
                                     << QString();
    QTest::newRow("curr-z-only") << QByteArray(R"({"curr_z":9})") << 0 << 9 << QString() << QString();
    QTest::newRow("id-fraction") << QByteArray(R"({"id":3.5})") << 0 << 0 << QString() << QString();
    QTest::newRow("id-text") << QByteArray(R"({"id":"3"})") << 0 << 0 << QString() << QString();
    QTest::newRow("id-above-int") << QByteArray(R"({"id":2147483648})") << 0 << 0 << QString() << QString();
    QTest::newRow("name-number") << QByteArray(R"({"firstname":7})") << 0 << 0 << QString() << QString();
}

void tst_Employee::readsKeys()
{
    QFETCH(QByteArray, json);
    QFETCH(int, id);
    QFETCH(int, zId);
    QFETCH(QString, firstname);
    QFETCH(QString, email);

    const Employee e(element(json));
    QCOMPARE(e.id(), id);
    QCOMPARE(e.zId(), zId);
    QCOMPARE(e.firstname(), firstname);
    QCOMPARE(e.email(), email);
    QCOMPARE(e.type(), QStringLiteral("driver"));
    QCOMPARE(e.toJson(), element(json));
}

void tst_Employee::dumpShowsNoContactData()
{
    const Employee e(element(R"({"id":12,"curr_z":3,"firstname":"Ann","lastname":"Lee",)"
                             R"("email":"a@b.c","mobile":"555"})"));
    QCOMPARE(e.toString(), QStringLiteral("+--- EMPLOYEE DETAILS --------------------\n"
                                          "| ID         : 12\n"
                                          "| Type       : driver\n"
                                          "| First Name : Ann\n"
                                          "| Last Name  : Lee\n"
                                          "| Current Z  : 3\n"
                                          "+-----------------------------------------"));
    QCOMPARE(Employee().toString().split(QLatin1Char('\n')).at(1), QStringLiteral("| ID         : 0"));
}

void tst_Employee::toJsonKeepsUnknownKeys()
{
    const QJsonObject received = element(R"({"id":1,"badge":{"n":2},"extra":null})");
    Employee e(received);
    QCOMPARE(e.toJson(), received);
    QVERIFY(Employee().toJson().isEmpty());

    e.fromJson(element(R"({"id":2})"));
    QCOMPARE(e.id(), 2);
    QVERIFY(!e.toJson().contains(QLatin1String("badge")));
}

QTEST_GUILESS_MAIN(tst_Employee)
#include "tst_employee.moc"

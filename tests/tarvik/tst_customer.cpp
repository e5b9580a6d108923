#include "tarvik/customer.h"

#include "support/testenv.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

using tarvik::Customer;

namespace {

const char kConnection[] = "tst_customer";
const char kInsert[] = "INSERT OR REPLACE INTO customers (id, uuid, smartCardUuid, type, name, surname, email, "
                       "mobile, image, accountCreationDate, lastAccessTime) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

QJsonObject element(const QByteArray &json)
{
    return QJsonDocument::fromJson("[" + json + "]").array().at(0).toObject();
}

bool westOfUtc()
{
    return qgetenv("TZ") == "America/New_York";
}

} // namespace

class tst_Customer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void readsKeys_data();
    void readsKeys();
    void readsCreationDateAsUtc_data();
    void readsCreationDateAsUtc();
    void writesCreationDateInLocalTime();
    void settersWriteTheirKey();
    void dumpsCustomer();
    void emptyDumpShowsNoDates();
    void roundTripsThroughStore_data();
    void roundTripsThroughStore();
    void replacesRowOfCustomerWithoutCard();

private:
    QSqlDatabase database() const { return QSqlDatabase::database(QLatin1String(kConnection)); }
    TestEnv mEnv;
};

void tst_Customer::initTestCase()
{
    QVERIFY(mEnv.isValid());
    if (westOfUtc())
        QCOMPARE(QDateTime(QDate(2024, 1, 1), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(kConnection));
    db.setDatabaseName(mEnv.filePath(QStringLiteral("customers.sqlite")));
    QVERIFY2(db.open(), qPrintable(db.lastError().text()));
    QSqlQuery create(db);
    QVERIFY2(create.exec(QStringLiteral(
                 "CREATE TABLE IF NOT EXISTS customers (id                  BIG INT,"
                 "uuid                CHAR(36),smartCardUuid       CHAR(36),type                VARCHAR(64),"
                 "name                VARCHAR(64),surname             VARCHAR(64),email               VARCHAR(64),"
                 "mobile              VARCHAR(64),image               VARCHAR(64),"
                 "accountCreationDate UNSIGNED BIG INT,lastAccessTime      UNSIGNED BIG INT,"
                 "PRIMARY KEY (id, smartCardUuid));")),
             qPrintable(create.lastError().text()));
}

void tst_Customer::cleanupTestCase()
{
    QSqlDatabase::database(QLatin1String(kConnection)).close();
    QSqlDatabase::removeDatabase(QLatin1String(kConnection));
}

void tst_Customer::init()
{
    QSqlQuery clear(database());
    QVERIFY2(clear.exec(QStringLiteral("DELETE FROM customers")), qPrintable(clear.lastError().text()));
}

void tst_Customer::readsKeys_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("uuid");
    QTest::addColumn<QString>("smartCardUuid");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("firstname");
    QTest::addColumn<QString>("image");

    QTest::newRow("empty") << QByteArray("{}") << 0 << QString() << QString() << QString() << QString() << QString();
    QTest::newRow("element-number") << QByteArray("5") << 0 << QString() << QString() << QString() << QString()
                                    << QString();
    QTest::newRow("element-null") << QByteArray("null") << 0 << QString() << QString() << QString() << QString()
                                  << QString();
    QTest::newRow("all-null")
        << QByteArray(R"({"id":null,"uuid":null,"smartCardUuid":null,"passengerType":null,"name":null,)"
                      R"("surname":null,"email":null,"mobile":null,"image":null,"accountCreationDate":null})")
        << 0 << QString() << QString() << QString() << QString() << QString();
    QTest::newRow("full")
        << QByteArray(R"({"id":42,"uuid":"u-1","smartCardUuid":"c-1","passengerType":{"code":"PT_ADULT"},)"
                      R"("name":"Ann","image":"/p/u-1.png"})")
        << 42 << QString("u-1") << QString("c-1") << QString("PT_ADULT") << QString("Ann") << QString("/p/u-1.png");
    QTest::newRow("id-fraction") << QByteArray(R"({"id":12.5})") << 0 << QString() << QString() << QString()
                                 << QString() << QString();
    QTest::newRow("id-text") << QByteArray(R"({"id":"12"})") << 0 << QString() << QString() << QString()
                             << QString() << QString();
    QTest::newRow("type-not-object") << QByteArray(R"({"passengerType":"PT_ADULT"})") << 0 << QString()
                                     << QString() << QString() << QString() << QString();
    QTest::newRow("type-without-code") << QByteArray(R"({"passengerType":{"id":3}})") << 0 << QString()
                                       << QString() << QString() << QString() << QString();
}

void tst_Customer::readsKeys()
{
    QFETCH(QByteArray, json);
    QFETCH(int, id);
    QFETCH(QString, uuid);
    QFETCH(QString, smartCardUuid);
    QFETCH(QString, type);
    QFETCH(QString, firstname);
    QFETCH(QString, image);

    const Customer c(element(json));
    QCOMPARE(c.id(), id);
    QCOMPARE(c.uuid(), uuid);
    QCOMPARE(c.smartCardUuid(), smartCardUuid);
    QCOMPARE(c.type(), type);
    QCOMPARE(c.firstname(), firstname);
    QCOMPARE(c.image(), image);
    QCOMPARE(c.toJson(), element(json));
    QVERIFY(c.lastAccessTime().isNull());
}

void tst_Customer::readsCreationDateAsUtc_data()
{
    QTest::addColumn<QJsonValue>("date");
    QTest::addColumn<QString>("utc"); // empty when invalid

    // West of UTC the same wall clock is five hours later in UTC (winter).
    QTest::newRow("new-year-eve") << QJsonValue(QStringLiteral("31/12/2024 23:30:00"))
                                  << (westOfUtc() ? QStringLiteral("2025-01-01T04:30:00Z")
                                                  : QStringLiteral("2024-12-31T23:30:00Z"));
    QTest::newRow("summer") << QJsonValue(QStringLiteral("01/07/2024 12:00:00"))
                            << (westOfUtc() ? QStringLiteral("2024-07-01T16:00:00Z")
                                            : QStringLiteral("2024-07-01T12:00:00Z"));
    QTest::newRow("iso-text") << QJsonValue(QStringLiteral("2024-12-31T23:30:00")) << QString();
    QTest::newRow("no-seconds") << QJsonValue(QStringLiteral("31/12/2024 23:30")) << QString();
    QTest::newRow("epoch-number") << QJsonValue(1735687800000.0) << QString();
    QTest::newRow("null") << QJsonValue(QJsonValue::Null) << QString();
}

void tst_Customer::readsCreationDateAsUtc()
{
    QFETCH(QJsonValue, date);
    QFETCH(QString, utc);

    const Customer c(QJsonObject{{QStringLiteral("accountCreationDate"), date}});
    if (utc.isEmpty()) {
        QVERIFY(!c.accountCreationDate().isValid());
        return;
    }
    QCOMPARE(c.accountCreationDate().timeSpec(), Qt::UTC);
    QCOMPARE(c.accountCreationDate().toString(Qt::ISODate), utc);
}

void tst_Customer::writesCreationDateInLocalTime()
{
    Customer c;
    const QDateTime utc(QDate(2024, 12, 31), QTime(22, 30), Qt::UTC);
    c.setAccountCreationDate(utc);
    QCOMPARE(c.toJson().value(QLatin1String("accountCreationDate")).toString(),
             westOfUtc() ? QStringLiteral("31/12/2024 17:30:00") : QStringLiteral("31/12/2024 22:30:00"));
    QCOMPARE(c.accountCreationDate(), utc);
}

void tst_Customer::settersWriteTheirKey()
{
    Customer c(element(R"({"passengerType":{"code":"PT_OLD","id":3,"discount":0.5},"extra":true})"));
    c.setId(9);
    c.setUuid(QString());
    c.setSmartCardUuid(QString());
    c.setImage(QString());
    c.setEmail(QString());
    c.setMobile(QStringLiteral("555"));
    c.setFirstname(QStringLiteral("Ann"));
    c.setLastname(QStringLiteral("Lee"));
    c.setType(QStringLiteral("PT_ADULT"));

    const QJsonObject expected = element(R"({"id":9,"uuid":"","smartCardUuid":null,"image":null,"email":"",)"
                                         R"("mobile":"555","name":"Ann","surname":"Lee",)"
                                         R"("passengerType":{"code":"PT_ADULT"},"extra":true})");
    QCOMPARE(c.toJson(), expected);
    c.setSmartCardUuid(QStringLiteral("c-1"));
    QCOMPARE(c.smartCardUuid(), QStringLiteral("c-1"));
}

void tst_Customer::dumpsCustomer()
{
    Customer c(element(R"({"id":42,"uuid":"u-1","smartCardUuid":"c-1","passengerType":{"code":"PT_ADULT"},)"
                       R"("name":"Ann","surname":"Lee","email":"a@b.c","mobile":"555","image":"/p/u-1.png"})"));
    c.setAccountCreationDate(QDateTime(QDate(2024, 12, 31), QTime(22, 30), Qt::UTC));
    // Given in local time, shown in UTC like the creation date.
    c.setLastAccessTime(QDateTime(QDate(2025, 1, 2), QTime(8, 0), Qt::UTC).toLocalTime());
    QCOMPARE(c.toString(), QStringLiteral("--- CUSTOMER INFO ------------------------------------\n"
                                          "ID / UUID   : 42 / u-1\n"
                                          "Card UUID   : c-1\n"
                                          "Type        : PT_ADULT\n"
                                          "Image       : /p/u-1.png\n"
                                          "Created     : 2024-12-31T22:30:00Z\n"
                                          "Last Access : 2025-01-02T08:00:00Z\n"
                                          "------------------------------------------------------"));
}

void tst_Customer::emptyDumpShowsNoDates()
{
    QCOMPARE(Customer().toString(), QStringLiteral("--- CUSTOMER INFO ------------------------------------\n"
                                                   "ID / UUID   : 0 / \n"
                                                   "Card UUID   : \n"
                                                   "Type        : \n"
                                                   "Image       : \n"
                                                   "Created     : \n"
                                                   "Last Access : \n"
                                                   "------------------------------------------------------"));
}

void tst_Customer::roundTripsThroughStore_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QDateTime>("lastAccess");

    const QDateTime access(QDate(2025, 3, 1), QTime(9, 15, 42), Qt::UTC);
    QTest::newRow("full")
        << QByteArray(R"({"id":42,"uuid":"u-1","smartCardUuid":"c-1","passengerType":{"code":"PT_ADULT"},)"
                      R"("name":"Ann","surname":"Lee","email":"a@b.c","mobile":"555","image":"/p/u-1.png",)"
                      R"("accountCreationDate":"31/12/2024 23:30:00"})")
        << access;
    QTest::newRow("no-card-no-image")
        << QByteArray(R"({"id":43,"uuid":"u-2","smartCardUuid":null,"image":null,)"
                      R"("accountCreationDate":"01/07/2024 12:00:00"})")
        << access.toLocalTime();
    QTest::newRow("bad-creation-date") << QByteArray(R"({"id":44,"accountCreationDate":"2024-07-01"})") << access;
    QTest::newRow("never-accessed") << QByteArray(R"({"id":45,"smartCardUuid":"c-5"})") << QDateTime();
    QTest::newRow("before-epoch") << QByteArray(R"({"id":46,"accountCreationDate":"01/01/1960 00:00:00"})")
                                  << access;
}

void tst_Customer::roundTripsThroughStore()
{
    QFETCH(QByteArray, json);
    QFETCH(QDateTime, lastAccess);

    Customer in(element(json));
    in.setLastAccessTime(lastAccess);
    QSqlQuery insert(database());
    QVERIFY(insert.prepare(QLatin1String(kInsert)));
    in.toSql(insert);
    QCOMPARE(insert.boundValues().size(), 11);
    QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));

    QSqlQuery select(database());
    QVERIFY2(select.exec(QStringLiteral("SELECT * FROM customers WHERE id = %1").arg(in.id())),
             qPrintable(select.lastError().text()));
    QVERIFY(select.next());
    QCOMPARE(select.value(9).isNull(), !in.accountCreationDate().isValid());
    const Customer::Ptr out = Customer::fromSql(select);
    QVERIFY(!select.next());

    QCOMPARE(out->id(), in.id());
    QCOMPARE(out->uuid(), in.uuid());
    QCOMPARE(out->smartCardUuid(), in.smartCardUuid());
    QCOMPARE(out->type(), in.type());
    QCOMPARE(out->firstname(), in.firstname());
    QCOMPARE(out->lastname(), in.lastname());
    QCOMPARE(out->email(), in.email());
    QCOMPARE(out->mobile(), in.mobile());
    QCOMPARE(out->image(), in.image());
    QCOMPARE(out->accountCreationDate(), in.accountCreationDate());
    QCOMPARE(out->lastAccessTime().isValid(), lastAccess.isValid());
    if (lastAccess.isValid())
        QCOMPARE(out->lastAccessTime().toMSecsSinceEpoch(), lastAccess.toMSecsSinceEpoch());
    // A card-less customer keeps null, not an empty text, after the trip.
    QCOMPARE(out->toJson().value(QLatin1String("smartCardUuid")).isNull(), in.smartCardUuid().isEmpty());
}

void tst_Customer::replacesRowOfCustomerWithoutCard()
{
    Customer c(element(R"({"id":50,"uuid":"u-50","smartCardUuid":null})"));
    for (const QString &name : {QStringLiteral("Ann"), QStringLiteral("Anna")}) {
        c.setFirstname(name);
        QSqlQuery insert(database());
        QVERIFY(insert.prepare(QLatin1String(kInsert)));
        c.toSql(insert);
        QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));
    }
    QSqlQuery select(database());
    QVERIFY(select.exec(QStringLiteral("SELECT name FROM customers WHERE id = 50")));
    QVERIFY(select.next());
    QCOMPARE(select.value(0).toString(), QStringLiteral("Anna"));
    QVERIFY2(!select.next(), "a second insert of a card-less customer added a row");
}

QTEST_GUILESS_MAIN(tst_Customer)
#include "tst_customer.moc"

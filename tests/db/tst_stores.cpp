#include "db/customerdb.h"
#include "db/deviceparamsdb.h"

#include "support/logcapture.h"
#include "support/testenv.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

#include <atomic>

using tarvik::Customer;
using tarvik::KeyValue;

// The gateway's two SQLite stores, each file also opened through a connection of the test's own.
namespace {

const char kDirect[] = "tst_stores_direct";
const QDateTime kCreated(QDate(2023, 3, 4), QTime(5, 6, 7), Qt::UTC);

Customer::Ptr customer(int id, const QString &card, const QString &name = QStringLiteral("Ann"))
{
    auto c = Customer::Ptr::create();
    c->setId(id);
    c->setUuid(QStringLiteral("uuid-%1").arg(id));
    c->setSmartCardUuid(card);
    c->setType(QStringLiteral("PT_ADULT"));
    c->setFirstname(name);
    c->setLastname(QStringLiteral("Lee"));
    c->setAccountCreationDate(kCreated);
    return c;
}

KeyValue::Ptr param(int id, const QString &key, const QString &value, int carrier = 2)
{
    return KeyValue::Ptr::create(
        QJsonObject{{"id", id}, {"carriersId", carrier}, {"key", key}, {"value", value}, {"keyDescription", "about it"}});
}

} // namespace

class tst_Stores : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void customerRoundTrip();
    void keepsOneRowForCustomerWithoutCard_data();
    void keepsOneRowForCustomerWithoutCard();
    void cleansOldCustomersWithTheirPictures();
    void customersServeTwoThreads();
    void paramsCachedFromFile();
    void skipsUnchangedParameter();
    void removesParamByIdAndKey_data();
    void removesParamByIdAndKey();
    void paramsServeOtherThreads();
    void reportsStoresThatCannotBeOpened();

private:
    int rows(const QString &sql);
    QSqlDatabase direct() const { return QSqlDatabase::database(QLatin1String(kDirect)); }
    QString path(const char *name) const { return mEnv.filePath(QLatin1String(name)); }

    TestEnv mEnv;
    std::unique_ptr<CustomerDB> mCustomers;
    std::unique_ptr<DeviceParamsDB> mParams;
    int mBaseline = 0;
};

void tst_Stores::initTestCase()
{
    QVERIFY(mEnv.isValid());
    mBaseline = QSqlDatabase::connectionNames().size();
}

void tst_Stores::init()
{
    QFile::remove(path("customers.sqlite"));
    QFile::remove(path("deviceParams.sqlite"));
    mCustomers = std::make_unique<CustomerDB>(path("customers.sqlite"));
    mParams = std::make_unique<DeviceParamsDB>(path("deviceParams.sqlite"));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(kDirect));
    db.setDatabaseName(path("customers.sqlite"));
    QVERIFY2(db.open(), qPrintable(db.lastError().text()));
    QSqlQuery attach(db);
    QVERIFY(attach.exec(QStringLiteral("ATTACH DATABASE '%1' AS params").arg(path("deviceParams.sqlite"))));
}

void tst_Stores::cleanup()
{
    direct().close();
    QSqlDatabase::removeDatabase(QLatin1String(kDirect));
    mCustomers.reset();
    mParams.reset();
    QTRY_COMPARE(QSqlDatabase::connectionNames().size(), mBaseline);
}

int tst_Stores::rows(const QString &sql)
{
    QSqlQuery query(direct());
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM ") + sql) || !query.next())
        return -1;
    return query.value(0).toInt();
}

void tst_Stores::customerRoundTrip()
{
    const Customer::Ptr in = customer(42, QStringLiteral("card-42"));
    in->setEmail(QStringLiteral("ann@example.org"));
    in->setMobile(QStringLiteral("555 0100"));
    in->setImage(QStringLiteral("/data/.cache/uuid-42.png"));
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    QVERIFY(mCustomers->insert(in));
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    QVERIFY(in->lastAccessTime().isNull()); // the caller's record is left alone

    for (const Customer::Ptr &out : {mCustomers->find(42), mCustomers->find(QStringLiteral("card-42"))}) {
        QVERIFY(out);
        QVERIFY(out->lastAccessTime().toSecsSinceEpoch() >= before && out->lastAccessTime().toSecsSinceEpoch() <= after);
        out->setLastAccessTime(QDateTime());
        QCOMPARE(out->toJson(), in->toJson());
        QCOMPARE(out->image(), in->image());
        QCOMPARE(out->accountCreationDate(), kCreated);
    }
    QCOMPARE(rows(QStringLiteral("customers WHERE accountCreationDate = %1").arg(kCreated.toSecsSinceEpoch())), 1);

    LogCapture log;
    QVERIFY(!mCustomers->find(99));
    QVERIFY(log.contains(QStringLiteral("[db::customer] Requested customer ID not found : 99")));
    QVERIFY(log.contains(QStringLiteral("[db::customer] Executing query : SELECT * FROM customers WHERE id = ?")));
}

void tst_Stores::keepsOneRowForCustomerWithoutCard_data()
{
    QTest::addColumn<QString>("earlierRow"); // card-less rows as an older store wrote them
    QTest::addColumn<int>("copies");
    QTest::newRow("null-card") << QStringLiteral("NULL") << 2; // NULLs never clash in the key
    QTest::newRow("empty-card") << QStringLiteral("''") << 1;
}

void tst_Stores::keepsOneRowForCustomerWithoutCard()
{
    QFETCH(QString, earlierRow);
    QFETCH(int, copies);
    for (int i = 0; i < copies; ++i) {
        QSqlQuery old(direct());
        QVERIFY2(old.exec(QStringLiteral("INSERT INTO customers (id, smartCardUuid, name) VALUES (7, %1, 'Old')").arg(earlierRow)),
                 qPrintable(old.lastError().text()));
    }
    for (int tap = 0; tap < 2; ++tap)
        QVERIFY(mCustomers->insert(customer(7, QString(), QStringLiteral("Tap%1").arg(tap))));
    QCOMPARE(rows(QStringLiteral("customers WHERE id = 7")), 1);
    const Customer::Ptr found = mCustomers->find(7);
    QCOMPARE(found->firstname(), QStringLiteral("Tap1"));
    QVERIFY(found->toJson().value(QLatin1String("smartCardUuid")).isNull());

    LogCapture log;
    QVERIFY(!mCustomers->find(QString())); // would otherwise match the card-less customer
    QVERIFY(log.contains(QStringLiteral("[db::customer] Requested customer not found for cardId : ")));
}

void tst_Stores::cleansOldCustomersWithTheirPictures()
{
    QVERIFY(mEnv.writeFile(QStringLiteral(".cache/uuid-1.png"), "png"));
    QVERIFY(mEnv.writeFile(QStringLiteral(".cache/uuid-9.png"), "png"));
    const QString picture = path(".cache/uuid-1.png");
    const QString missing = path(".cache/uuid-2.png");
    const QString kept = path(".cache/uuid-9.png");
    const QStringList images{picture, missing, QString(), kept};
    for (int i = 0; i < 4; ++i) {
        Customer::Ptr c = customer(i == 3 ? 9 : i + 1, QString::number(i));
        c->setImage(images.at(i));
        QVERIFY(mCustomers->insert(c));
    }
    const QDateTime old = QDateTime::currentDateTimeUtc().addDays(-40);
    for (int id : {1, 2, 3})
        QVERIFY(mCustomers->updateLastAccessTime(id, old));

    LogCapture log;
    QCOMPARE(mCustomers->clean(QDateTime::currentDateTime().addDays(-30)), 3);
    QVERIFY(!QFile::exists(picture));
    QVERIFY(QFile::exists(kept));
    QVERIFY(log.contains(QStringLiteral("[db::customer] Deleting image : ") + picture));
    QVERIFY(log.contains(QStringLiteral("[db::customer] Image does not exist : ") + missing));
    QVERIFY(log.contains(QStringLiteral("[db::customer] Entry : id=3, lastAccessTime=%1, image=").arg(old.toSecsSinceEpoch())));
    QVERIFY(mCustomers->find(9));

    QCOMPARE(mCustomers->clean(QDateTime::currentDateTime().addSecs(5)), 1);
    QVERIFY(!QFile::exists(kept));
    QCOMPARE(rows(QStringLiteral("customers")), 0);
}

void tst_Stores::customersServeTwoThreads()
{
    std::atomic<int> failures{0};
    auto work = [&](int base) {
        for (int i = 0; i < 200; ++i) {
            const int id = base + i % 20;
            if (!mCustomers->insert(customer(id, QStringLiteral("card-%1").arg(id))))
                ++failures;
            if (!mCustomers->find(QStringLiteral("card-%1").arg(id)))
                ++failures;
            if (!mCustomers->updateLastAccessTime(id, QDateTime::currentDateTime()))
                ++failures;
        }
    };
    LogCapture log;
    std::unique_ptr<QThread> first(QThread::create(work, 100));
    std::unique_ptr<QThread> second(QThread::create(work, 200));
    first->start();
    second->start();
    QVERIFY(first->wait(60000));
    QVERIFY(second->wait(60000));
    QCOMPARE(failures.load(), 0);
    QVERIFY(!log.containsPart(QStringLiteral("ERROR")));
    QCOMPARE(rows(QStringLiteral("customers")), 40);
    // The main thread's connections (from the constructors) stay; the workers' go with them.
    QTRY_COMPARE(QSqlDatabase::connectionNames().size(), mBaseline + 3);
}

void tst_Stores::paramsCachedFromFile()
{
    QVERIFY(mParams->findAll().isEmpty());
    mParams->insert(param(1, QStringLiteral("PASSBACK"), QStringLiteral("60")));
    mParams->insert(param(2, QStringLiteral("CARD_VALIDATION_HIDE_NAME"), QStringLiteral("1")));
    QSqlQuery late(direct());
    QVERIFY(late.exec(QStringLiteral("INSERT INTO params.DeviceParams VALUES (12, 2, 'LATE', 'x', 'y')")));
    mParams.reset();

    LogCapture log;
    DeviceParamsDB reopened(path("deviceParams.sqlite"));
    QCOMPARE(reopened.findAll().keys(), QStringList({"CARD_VALIDATION_HIDE_NAME", "LATE", "PASSBACK"}));
    QVERIFY(reopened.findAll().value(QStringLiteral("PASSBACK"))->matches(param(1, QStringLiteral("PASSBACK"), QStringLiteral("60"))));
    QCOMPARE(log.count(QStringLiteral("[db::deviceParams] Executed query : SELECT * FROM DeviceParams")), 1);
    QCOMPARE(reopened.find(QStringLiteral("PASSBACK"))->value(), QStringLiteral("60"));
    QVERIFY(log.contains(QStringLiteral("[db::deviceParams] Retrieving item from cache : PASSBACK")));
    QCOMPARE(reopened.find(12)->key(), QStringLiteral("LATE"));
    QVERIFY(!reopened.find(13));
    QVERIFY(log.contains(QStringLiteral("[db::deviceParams] Requested DeviceParam Id not found : 13")));
}

void tst_Stores::skipsUnchangedParameter()
{
    mParams->insert(param(1, QStringLiteral("PASSBACK"), QStringLiteral("60")));
    QSignalSpy changed(mParams.get(), &DeviceParamsDB::changed);
    LogCapture log;
    mParams->insert(param(1, QStringLiteral("PASSBACK"), QStringLiteral("60")));
    QCOMPARE(changed.count(), 0);
    QVERIFY(log.contains(QStringLiteral("[db::deviceParams] Skipping insert. Item has not changed : PASSBACK")));
    QVERIFY(!log.containsPart(QStringLiteral("Executed query : INSERT")));
    mParams->insert(param(1, QStringLiteral("PASSBACK"), QStringLiteral("60"), 3)); // another carrier
    QCOMPARE(changed.count(), 1);
    QVERIFY(log.containsPart(QStringLiteral("Executed query : INSERT")));
}

void tst_Stores::removesParamByIdAndKey_data()
{
    QTest::addColumn<bool>("byId");
    QTest::newRow("by-id") << true;
    QTest::newRow("by-key") << false;
}

void tst_Stores::removesParamByIdAndKey()
{
    QFETCH(bool, byId);
    // Receivers of the signals read the store: it is not locked while they run.
    QStringList seen;
    const auto note = [&](const char *what, const KeyValue::Ptr &p) {
        seen << QStringLiteral("%1 %2 %3 of %4").arg(QLatin1String(what), p->key())
                    .arg(bool(mParams->find(p->key()))).arg(mParams->findAll().size());
    };
    connect(mParams.get(), &DeviceParamsDB::changed, this, [&](const KeyValue::Ptr &p) { note("changed", p); });
    connect(mParams.get(), &DeviceParamsDB::removed, this, [&](const KeyValue::Ptr &p) { note("removed", p); });
    mParams->insert(param(5, QStringLiteral("GONE"), QStringLiteral("1")));
    mParams->insert(param(6, QStringLiteral("KEPT"), QStringLiteral("1")));
    LogCapture log;
    if (byId)
        mParams->remove(5);
    else
        mParams->remove(QStringLiteral("GONE"));
    QCOMPARE(seen, QStringList({"changed GONE 1 of 1", "changed KEPT 1 of 2", "removed GONE 0 of 1"}));
    QCOMPARE(rows(QStringLiteral("params.DeviceParams")), 1);
    QVERIFY(log.contains(QStringLiteral("[db::deviceParams] Requested DeviceParam key not found : GONE")));
}

void tst_Stores::paramsServeOtherThreads()
{
    mParams->insert(param(1, QStringLiteral("PASSBACK"), QStringLiteral("60")));
    std::atomic<int> misses{0};
    std::unique_ptr<QThread> reader(QThread::create([&] {
        for (int i = 0; i < 500; ++i) {
            if (!mParams->find(QStringLiteral("PASSBACK")))
                ++misses;
            mParams->find(QStringLiteral("MISSING-%1").arg(i % 7));
        }
    }));
    reader->start();
    for (int i = 0; i < 100; ++i)
        mParams->insert(param(2, QStringLiteral("COUNTER"), QString::number(i)));
    QVERIFY(reader->wait(60000));
    QCOMPARE(misses.load(), 0);
    QCOMPARE(mParams->find(QStringLiteral("COUNTER"))->value(), QStringLiteral("99"));
    QTRY_COMPARE(QSqlDatabase::connectionNames().size(), mBaseline + 3);
}

void tst_Stores::reportsStoresThatCannotBeOpened()
{
    QVERIFY(mEnv.writeFile(QStringLiteral("blocked"), "a file where the folder should be"));
    LogCapture log;
    CustomerDB customers(path("blocked/customers.sqlite"));
    DeviceParamsDB params(path("blocked/deviceParams.sqlite"));
    for (const char *tag : {"[db::customer] ", "[db::deviceParams] "}) {
        QVERIFY(log.containsPart(QLatin1String(tag) + QStringLiteral("ERROR: Database open failed : ")));
        QVERIFY(log.containsPart(QLatin1String(tag) + QStringLiteral("ERROR: Could not create table : ")));
    }
    QVERIFY(!customers.insert(customer(1, QStringLiteral("c"))));
    QVERIFY(!customers.find(1));
    QVERIFY(!customers.find(QStringLiteral("c")));
    QVERIFY(!customers.updateLastAccessTime(1, QDateTime::currentDateTime()));
    QCOMPARE(customers.clean(QDateTime::currentDateTime()), 0);

    QSignalSpy changed(&params, &DeviceParamsDB::changed);
    QSignalSpy removed(&params, &DeviceParamsDB::removed);
    params.insert(param(1, QStringLiteral("A"), QStringLiteral("1")));
    QVERIFY(!params.find(QStringLiteral("A")));
    QVERIFY(!params.find(1));
    params.remove(1);
    QVERIFY(params.findAll().isEmpty());
    QCOMPARE(changed.count() + removed.count(), 0);
}

QTEST_GUILESS_MAIN(tst_Stores)
#include "tst_stores.moc"

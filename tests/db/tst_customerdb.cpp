#include "db/customerdb.h"

#include "support/logcapture.h"
#include "support/testenv.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

#include <atomic>

using tarvik::Customer;

namespace {

const char kDirect[] = "tst_customerdb_direct";

Customer::Ptr customer(int id, const QString &card, const QString &name = QStringLiteral("Ann"))
{
    auto c = Customer::Ptr::create();
    c->setId(id);
    c->setUuid(QStringLiteral("uuid-%1").arg(id));
    c->setSmartCardUuid(card);
    c->setType(QStringLiteral("PT_ADULT"));
    c->setFirstname(name);
    c->setLastname(QStringLiteral("Lee"));
    c->setEmail(QStringLiteral("ann@example.org"));
    c->setMobile(QStringLiteral("555 0100"));
    c->setAccountCreationDate(QDateTime(QDate(2023, 3, 4), QTime(5, 6, 7), Qt::UTC));
    return c;
}

} // namespace

class tst_CustomerDB : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void roundTripsCustomer();
    void keepsOneRowForCustomerWithoutCard_data();
    void keepsOneRowForCustomerWithoutCard();
    void logsCustomerNotFound();
    void cleansOldRowsWithTheirPictures();
    void servesTwoThreads();
    void reportsStoreThatCannotBeOpened();

private:
    int rows(const QString &where = QString()) const;
    QSqlDatabase direct() const { return QSqlDatabase::database(QLatin1String(kDirect)); }
    QString path() const { return mEnv.filePath(QStringLiteral("customers.sqlite")); }

    TestEnv mEnv;
    std::unique_ptr<CustomerDB> mStore;
    int mBaseline = 0;
};

void tst_CustomerDB::initTestCase()
{
    QVERIFY(mEnv.isValid());
    mBaseline = QSqlDatabase::connectionNames().size();
}

void tst_CustomerDB::init()
{
    QFile::remove(path());
    mStore = std::make_unique<CustomerDB>(path());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(kDirect));
    db.setDatabaseName(path());
    QVERIFY2(db.open(), qPrintable(db.lastError().text()));
}

void tst_CustomerDB::cleanup()
{
    direct().close();
    QSqlDatabase::removeDatabase(QLatin1String(kDirect));
    mStore.reset();
    QTRY_COMPARE(QSqlDatabase::connectionNames().size(), mBaseline);
}

int tst_CustomerDB::rows(const QString &where) const
{
    QSqlQuery query(direct());
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM customers ") + where) || !query.next())
        return -1;
    return query.value(0).toInt();
}

void tst_CustomerDB::roundTripsCustomer()
{
    const Customer::Ptr in = customer(42, QStringLiteral("card-42"));
    in->setImage(QStringLiteral("/data/.cache/uuid-42.png"));
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    QVERIFY(mStore->insert(in));
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    QVERIFY(in->lastAccessTime().isNull()); // the caller's record is left alone

    for (const Customer::Ptr &out : {mStore->find(42), mStore->find(QStringLiteral("card-42"))}) {
        QVERIFY(out);
        QCOMPARE(out->id(), 42);
        QCOMPARE(out->uuid(), QStringLiteral("uuid-42"));
        QCOMPARE(out->smartCardUuid(), QStringLiteral("card-42"));
        QCOMPARE(out->type(), QStringLiteral("PT_ADULT"));
        QCOMPARE(out->firstname(), QStringLiteral("Ann"));
        QCOMPARE(out->lastname(), QStringLiteral("Lee"));
        QCOMPARE(out->email(), QStringLiteral("ann@example.org"));
        QCOMPARE(out->mobile(), QStringLiteral("555 0100"));
        QCOMPARE(out->image(), QStringLiteral("/data/.cache/uuid-42.png"));
        QCOMPARE(out->accountCreationDate(), QDateTime(QDate(2023, 3, 4), QTime(5, 6, 7), Qt::UTC));
        QVERIFY(out->lastAccessTime().toSecsSinceEpoch() >= before);
        QVERIFY(out->lastAccessTime().toSecsSinceEpoch() <= after);
    }
    QSqlQuery seconds(direct());
    QVERIFY(seconds.exec(QStringLiteral("SELECT accountCreationDate FROM customers")) && seconds.next());
    QCOMPARE(seconds.value(0).toLongLong(), QDateTime(QDate(2023, 3, 4), QTime(5, 6, 7), Qt::UTC).toSecsSinceEpoch());
}

void tst_CustomerDB::keepsOneRowForCustomerWithoutCard_data()
{
    QTest::addColumn<QString>("earlierRow"); // card-less rows as an older store wrote them
    QTest::addColumn<int>("copies");
    QTest::newRow("none") << QString() << 0;
    QTest::newRow("null-card") << QStringLiteral("NULL") << 2; // NULLs never clash in the key
    QTest::newRow("empty-card") << QStringLiteral("''") << 1;
}

void tst_CustomerDB::keepsOneRowForCustomerWithoutCard()
{
    QFETCH(QString, earlierRow);
    QFETCH(int, copies);
    for (int i = 0; i < copies; ++i) {
        QSqlQuery old(direct());
        QVERIFY2(old.exec(QStringLiteral("INSERT INTO customers (id, smartCardUuid, name) VALUES (7, %1, 'Old')")
                              .arg(earlierRow)),
                 qPrintable(old.lastError().text()));
    }
    QCOMPARE(rows(QStringLiteral("WHERE id = 7")), copies);
    for (int tap = 0; tap < 3; ++tap)
        QVERIFY(mStore->insert(customer(7, QString(), QStringLiteral("Tap%1").arg(tap))));
    QCOMPARE(rows(QStringLiteral("WHERE id = 7")), 1);
    const Customer::Ptr found = mStore->find(7);
    QVERIFY(found);
    QCOMPARE(found->firstname(), QStringLiteral("Tap2"));
    QVERIFY(found->smartCardUuid().isEmpty());
    QVERIFY(found->toJson().value(QLatin1String("smartCardUuid")).isNull());
}

void tst_CustomerDB::logsCustomerNotFound()
{
    QVERIFY(mStore->insert(customer(2, QString())));
    LogCapture log;
    QVERIFY(!mStore->find(99));
    QVERIFY(!mStore->find(QString())); // would otherwise match the card-less customer 2
    QVERIFY(log.contains(QStringLiteral("[db::customer] Requested customer ID not found : 99")));
    QVERIFY(log.contains(QStringLiteral("[db::customer] Requested customer not found for cardId : ")));
    QVERIFY(log.contains(QStringLiteral("[db::customer] Executing query : SELECT * FROM customers WHERE id = ?")));
}

void tst_CustomerDB::cleansOldRowsWithTheirPictures()
{
    QVERIFY(mEnv.writeFile(QStringLiteral(".cache/uuid-1.png"), "png"));
    QVERIFY(mEnv.writeFile(QStringLiteral(".cache/uuid-9.png"), "png"));
    const QString kept = mEnv.filePath(QStringLiteral(".cache/uuid-9.png"));
    const QString picture = mEnv.filePath(QStringLiteral(".cache/uuid-1.png"));
    const QString missing = mEnv.filePath(QStringLiteral(".cache/uuid-2.png"));

    Customer::Ptr withPicture = customer(1, QStringLiteral("a"));
    withPicture->setImage(picture);
    Customer::Ptr withLostPicture = customer(2, QStringLiteral("b"));
    withLostPicture->setImage(missing);
    Customer::Ptr recent = customer(9, QStringLiteral("c"));
    recent->setImage(kept);
    QVERIFY(mStore->insert(withPicture));
    QVERIFY(mStore->insert(withLostPicture));
    QVERIFY(mStore->insert(customer(3, QStringLiteral("d"))));
    QVERIFY(mStore->insert(recent));
    const QDateTime old = QDateTime::currentDateTimeUtc().addDays(-40);
    for (int id : {1, 2, 3})
        QVERIFY(mStore->updateLastAccessTime(id, old));

    LogCapture log;
    QCOMPARE(mStore->clean(QDateTime::currentDateTime().addDays(-30)), 3);
    QVERIFY(!QFile::exists(picture));
    QVERIFY(QFile::exists(kept));
    QVERIFY(log.contains(QStringLiteral("[db::customer] Deleting image : ") + picture));
    QVERIFY(log.contains(QStringLiteral("[db::customer] Image does not exist : ") + missing));
    QVERIFY(log.contains(QStringLiteral("[db::customer] Entry : id=3, lastAccessTime=%1, image=")
                             .arg(old.toSecsSinceEpoch())));
    QCOMPARE(rows(), 1);
    QVERIFY(mStore->find(9));

    QCOMPARE(mStore->clean(QDateTime::currentDateTime().addSecs(5)), 1);
    QVERIFY(!QFile::exists(kept));
    QCOMPARE(rows(), 0);
    QCOMPARE(mStore->clean(QDateTime::currentDateTime()), 0);
}

void tst_CustomerDB::servesTwoThreads()
{
    std::atomic<int> failures{0};
    auto work = [&](int base) {
        for (int i = 0; i < 200; ++i) {
            const int id = base + i % 20;
            if (!mStore->insert(customer(id, QStringLiteral("card-%1").arg(id))))
                ++failures;
            if (!mStore->find(QStringLiteral("card-%1").arg(id)))
                ++failures;
            if (!mStore->updateLastAccessTime(id, QDateTime::currentDateTime()))
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
    QCOMPARE(rows(), 40);
    // The main thread's connection (from the constructor) stays; the workers' go with them.
    QTRY_COMPARE(QSqlDatabase::connectionNames().size(), mBaseline + 2);
}

void tst_CustomerDB::reportsStoreThatCannotBeOpened()
{
    QVERIFY(mEnv.writeFile(QStringLiteral("blocked"), "a file where the folder should be"));
    LogCapture log;
    CustomerDB store(mEnv.filePath(QStringLiteral("blocked/customers.sqlite")));
    QVERIFY(log.containsPart(QStringLiteral("[db::customer] ERROR: Database open failed : ")));
    QVERIFY(log.containsPart(QStringLiteral("[db::customer] ERROR: Could not create table : ")));
    QVERIFY(!store.insert(customer(1, QStringLiteral("c"))));
    QVERIFY(!store.find(1));
    QVERIFY(!store.find(QStringLiteral("c")));
    QVERIFY(!store.updateLastAccessTime(1, QDateTime::currentDateTime()));
    QCOMPARE(store.clean(QDateTime::currentDateTime()), 0);
}

QTEST_GUILESS_MAIN(tst_CustomerDB)
#include "tst_customerdb.moc"

#include "db/deviceparamsdb.h"

#include "support/logcapture.h"
#include "support/testenv.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

#include <atomic>

using tarvik::KeyValue;

namespace {

const char kDirect[] = "tst_deviceparamsdb_direct";

KeyValue::Ptr param(int id, const QString &key, const QString &value, int carrier = 2,
                    const QString &description = QStringLiteral("about it"))
{
    return KeyValue::Ptr::create(QJsonObject{{"id", id},
                                             {"carriersId", carrier},
                                             {"key", key},
                                             {"value", value},
                                             {"keyDescription", description}});
}

} // namespace

class tst_DeviceParamsDB : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fillsCacheFromFile();
    void skipsUnchangedParameter_data();
    void skipsUnchangedParameter();
    void findsByIdAndJoinsCache();
    void removesByIdAndKey_data();
    void removesByIdAndKey();
    void letsReceiversReadTheStore();
    void servesOtherThreads();
    void reportsStoreThatCannotBeOpened();

private:
    int rows() const;
    QSqlDatabase direct() const { return QSqlDatabase::database(QLatin1String(kDirect)); }
    QString path() const { return mEnv.filePath(QStringLiteral("deviceParams.sqlite")); }

    TestEnv mEnv;
    std::unique_ptr<DeviceParamsDB> mStore;
    int mBaseline = 0;
};

void tst_DeviceParamsDB::initTestCase()
{
    QVERIFY(mEnv.isValid());
    mBaseline = QSqlDatabase::connectionNames().size();
}

void tst_DeviceParamsDB::init()
{
    QFile::remove(path());
    mStore = std::make_unique<DeviceParamsDB>(path());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(kDirect));
    db.setDatabaseName(path());
    QVERIFY2(db.open(), qPrintable(db.lastError().text()));
}

void tst_DeviceParamsDB::cleanup()
{
    direct().close();
    QSqlDatabase::removeDatabase(QLatin1String(kDirect));
    mStore.reset();
    QTRY_COMPARE(QSqlDatabase::connectionNames().size(), mBaseline);
}

int tst_DeviceParamsDB::rows() const
{
    QSqlQuery query(direct());
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM DeviceParams")) || !query.next())
        return -1;
    return query.value(0).toInt();
}

void tst_DeviceParamsDB::fillsCacheFromFile()
{
    QVERIFY(mStore->findAll().isEmpty());
    mStore->insert(param(1, QStringLiteral("PASSBACK"), QStringLiteral("60")));
    mStore->insert(param(2, QStringLiteral("CARD_VALIDATION_HIDE_NAME"), QStringLiteral("1")));
    mStore.reset();

    LogCapture log;
    DeviceParamsDB reopened(path());
    const auto all = reopened.findAll();
    QCOMPARE(all.keys(), QStringList({"CARD_VALIDATION_HIDE_NAME", "PASSBACK"}));
    QVERIFY(all.value(QStringLiteral("PASSBACK"))->matches(param(1, QStringLiteral("PASSBACK"), QStringLiteral("60"))));
    QCOMPARE(log.count(QStringLiteral("[db::deviceParams] Executed query : SELECT * FROM DeviceParams")), 1);
    QCOMPARE(reopened.find(QStringLiteral("PASSBACK"))->value(), QStringLiteral("60"));
    QVERIFY(log.contains(QStringLiteral("[db::deviceParams] Retrieving item from cache : PASSBACK")));
}

void tst_DeviceParamsDB::skipsUnchangedParameter_data()
{
    QTest::addColumn<KeyValue::Ptr>("again");
    QTest::addColumn<bool>("written");
    const QString key = QStringLiteral("PASSBACK");
    QTest::newRow("same") << param(1, key, QStringLiteral("60")) << false;
    QTest::newRow("value") << param(1, key, QStringLiteral("90")) << true;
    QTest::newRow("carrier") << param(1, key, QStringLiteral("60"), 3) << true;
    QTest::newRow("description") << param(1, key, QStringLiteral("60"), 2, QStringLiteral("new")) << true;
    QTest::newRow("id") << param(4, key, QStringLiteral("60")) << true;
}

void tst_DeviceParamsDB::skipsUnchangedParameter()
{
    QFETCH(KeyValue::Ptr, again);
    QFETCH(bool, written);
    mStore->insert(param(1, QStringLiteral("PASSBACK"), QStringLiteral("60")));
    QSignalSpy changed(mStore.get(), &DeviceParamsDB::changed);
    LogCapture log;
    mStore->insert(again);
    QCOMPARE(changed.count(), written ? 1 : 0);
    QCOMPARE(log.contains(QStringLiteral("[db::deviceParams] Skipping insert. Item has not changed : PASSBACK")),
             !written);
    QCOMPARE(log.containsPart(QStringLiteral("Executed query : INSERT")), written);
}

void tst_DeviceParamsDB::findsByIdAndJoinsCache()
{
    QSqlQuery insert(direct());
    QVERIFY(insert.exec(QStringLiteral("INSERT INTO DeviceParams VALUES (12, 2, 'LATE', 'x', 'y')")));
    LogCapture log;
    QCOMPARE(mStore->find(12)->key(), QStringLiteral("LATE"));
    QVERIFY(mStore->findAll().contains(QStringLiteral("LATE")));
    QVERIFY(!mStore->find(13));
    QVERIFY(log.contains(QStringLiteral("[db::deviceParams] Requested DeviceParam Id not found : 13")));
}

void tst_DeviceParamsDB::removesByIdAndKey_data()
{
    QTest::addColumn<bool>("byId");
    QTest::newRow("by-id") << true;
    QTest::newRow("by-key") << false;
}

void tst_DeviceParamsDB::removesByIdAndKey()
{
    QFETCH(bool, byId);
    const KeyValue::Ptr gone = param(5, QStringLiteral("GONE"), QStringLiteral("1"));
    mStore->insert(gone);
    mStore->insert(param(6, QStringLiteral("KEPT"), QStringLiteral("1")));
    QSignalSpy removed(mStore.get(), &DeviceParamsDB::removed);
    if (byId)
        mStore->remove(5);
    else
        mStore->remove(QStringLiteral("GONE"));
    QCOMPARE(removed.count(), 1);
    QVERIFY(removed.at(0).at(0).value<KeyValue::Ptr>()->matches(gone));
    QCOMPARE(rows(), 1);
    LogCapture log;
    QVERIFY(!mStore->find(QStringLiteral("GONE")));
    QVERIFY(log.contains(QStringLiteral("[db::deviceParams] Requested DeviceParam key not found : GONE")));
    QCOMPARE(mStore->findAll().keys(), QStringList({"KEPT"}));
}

void tst_DeviceParamsDB::letsReceiversReadTheStore()
{
    QStringList seen;
    connect(mStore.get(), &DeviceParamsDB::changed, this, [&](const KeyValue::Ptr &p) {
        const KeyValue::Ptr read = mStore->find(p->key());
        seen << QStringLiteral("changed %1=%2 of %3").arg(p->key(), read ? read->value() : QString())
                    .arg(mStore->findAll().size());
    });
    connect(mStore.get(), &DeviceParamsDB::removed, this, [&](const KeyValue::Ptr &p) {
        seen << QStringLiteral("removed %1 found %2").arg(p->key()).arg(bool(mStore->find(p->key())));
    });
    mStore->insert(param(1, QStringLiteral("A"), QStringLiteral("1")));
    mStore->remove(QStringLiteral("A"));
    QCOMPARE(seen, QStringList({"changed A=1 of 1", "removed A found 0"}));
}

void tst_DeviceParamsDB::servesOtherThreads()
{
    mStore->insert(param(1, QStringLiteral("PASSBACK"), QStringLiteral("60")));
    std::atomic<int> misses{0};
    std::unique_ptr<QThread> reader(QThread::create([&] {
        for (int i = 0; i < 500; ++i) {
            if (!mStore->find(QStringLiteral("PASSBACK")))
                ++misses;
            mStore->find(QStringLiteral("MISSING-%1").arg(i % 7));
        }
    }));
    reader->start();
    for (int i = 0; i < 100; ++i)
        mStore->insert(param(2, QStringLiteral("COUNTER"), QString::number(i)));
    QVERIFY(reader->wait(60000));
    QCOMPARE(misses.load(), 0);
    QCOMPARE(mStore->find(QStringLiteral("COUNTER"))->value(), QStringLiteral("99"));
    QTRY_COMPARE(QSqlDatabase::connectionNames().size(), mBaseline + 2);
}

void tst_DeviceParamsDB::reportsStoreThatCannotBeOpened()
{
    QVERIFY(mEnv.writeFile(QStringLiteral("blocked"), "a file where the folder should be"));
    LogCapture log;
    DeviceParamsDB store(mEnv.filePath(QStringLiteral("blocked/deviceParams.sqlite")));
    QVERIFY(log.containsPart(QStringLiteral("[db::deviceParams] ERROR: Database open failed : ")));
    QVERIFY(log.containsPart(QStringLiteral("[db::deviceParams] ERROR: Could not create table : ")));
    QSignalSpy changed(&store, &DeviceParamsDB::changed);
    QSignalSpy removed(&store, &DeviceParamsDB::removed);
    store.insert(param(1, QStringLiteral("A"), QStringLiteral("1")));
    QVERIFY(!store.find(QStringLiteral("A")));
    QVERIFY(!store.find(1));
    store.remove(1);
    QVERIFY(store.findAll().isEmpty());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(removed.count(), 0);
}

QTEST_GUILESS_MAIN(tst_DeviceParamsDB)
#include "tst_deviceparamsdb.moc"

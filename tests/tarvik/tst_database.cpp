#include "tarvik/database.h"

#include "support/logcapture.h"
#include "support/testenv.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QThreadPool>
#include <QSemaphore>
#include <QtTest>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

using tarvik::Database;

namespace {

const QString kCreating = QStringLiteral("[db::customer] Creating new Database connection for thread ");

int connectionCount()
{
    return QSqlDatabase::connectionNames().size();
}

// Runs the function on a thread of its own and waits for the thread to end (its
// thread-local objects included, which a QThread's wait does not promise).
void runOnThread(const std::function<void()> &function)
{
    std::thread thread(function);
    thread.join();
}

// Runs the function as a task of the pool and waits for it to return.
void runOnPool(QThreadPool &pool, const std::function<void()> &function)
{
    QSemaphore done;
    pool.start([&] {
        function();
        done.release();
    });
    done.acquire();
}

} // namespace

class tst_Database : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void givesEachThreadItsOwnConnection();
    void newFileHasNoVersionAndNoTables();
    void keepsUserVersion_data();
    void keepsUserVersion();
    void findsTablesWithoutRegardToCase();
    void logsFailedStatement_data();
    void logsFailedStatement();
    void logsUnderGivenTag();
    void removesConnectionWhenThreadEnds();
    void removesConnectionWhenPoolThreadExpires();
    void removesConnectionsWhenObjectGoes();
    void neverHandsOutConnectionOfObjectGone();
    void reportsFileThatCannotBeOpened();

private:
    QString file(const QString &name) const { return mEnv.filePath(name); }
    TestEnv mEnv;
    int mBaseline = 0;
};

void tst_Database::initTestCase()
{
    QVERIFY(mEnv.isValid());
    mBaseline = connectionCount();
}

void tst_Database::cleanup()
{
    QTRY_COMPARE(connectionCount(), mBaseline);
}

void tst_Database::givesEachThreadItsOwnConnection()
{
    LogCapture log;
    Database db(file(QStringLiteral("threads.db")));
    const QString mainName = db.database().connectionName();
    QCOMPARE(db.database().connectionName(), mainName);
    QString workerName;
    QString workerAgain;
    runOnThread([&] {
        workerName = db.database().connectionName();
        workerAgain = db.database().connectionName();
    });
    QVERIFY(!mainName.isEmpty());
    QVERIFY(!workerName.isEmpty());
    QVERIFY(mainName != workerName);
    QCOMPARE(workerAgain, workerName);
    QVERIFY(!QUuid(mainName).isNull());
    QCOMPARE(log.count(kCreating), 2);
    QCOMPARE(db.database().databaseName(), file(QStringLiteral("threads.db")));
    QCOMPARE(db.database().connectOptions(), QStringLiteral("QSQLITE_ENABLE_SHARED_CACHE"));
    QCOMPARE(db.database().driverName(), QStringLiteral("QSQLITE"));
}

void tst_Database::newFileHasNoVersionAndNoTables()
{
    Database db(file(QStringLiteral("empty.db")));
    QCOMPARE(db.userVersion(), 0);
    QVERIFY(!db.tableExists(QStringLiteral("ActionRecords")));
    QVERIFY(!db.tableExists(QString()));
}

void tst_Database::keepsUserVersion_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("one") << 1;
    QTest::newRow("large") << 2147483647;
    QTest::newRow("negative") << -3;
}

void tst_Database::keepsUserVersion()
{
    QFETCH(int, version);
    const QString path = file(QStringLiteral("version-%1.db").arg(QTest::currentDataTag()));
    {
        Database db(path);
        QVERIFY(db.setUserVersion(version));
    }
    Database again(path);
    QCOMPARE(again.userVersion(), version);
}

void tst_Database::findsTablesWithoutRegardToCase()
{
    Database db(file(QStringLiteral("tables.db")));
    QSqlQuery create = db.execute(QStringLiteral("CREATE TABLE ActionRecords (id INTEGER)"));
    QVERIFY2(!create.lastError().isValid(), qPrintable(create.lastError().text()));
    QVERIFY(db.tableExists(QStringLiteral("ActionRecords")));
    QVERIFY(db.tableExists(QStringLiteral("actionrecords")));
    QVERIFY(!db.tableExists(QStringLiteral("Action")));
}

void tst_Database::logsFailedStatement_data()
{
    QTest::addColumn<QString>("sql");
    QTest::newRow("syntax") << QStringLiteral("SELEC nothing");
    QTest::newRow("missing-table") << QStringLiteral("SELECT * FROM missing");
    QTest::newRow("empty") << QString();
}

void tst_Database::logsFailedStatement()
{
    QFETCH(QString, sql);
    Database db(file(QStringLiteral("failures.db")));
    db.database();
    LogCapture log;
    QSqlQuery query = db.execute(sql);
    QVERIFY(!query.next());
    QSqlQuery prepared = db.query(sql);
    QVERIFY(!db.execute(prepared));

    QCOMPARE(log.count(QStringLiteral("[db::customer] ERROR: Could not execute query : ") + sql), 2);
    int errors = 0;
    for (const auto &entry : log.entries())
        errors += entry.type == QtCriticalMsg ? 1 : 0;
    QCOMPARE(errors, 4);
    QVERIFY(!log.containsPart(QStringLiteral("Operation completed in")));
}

void tst_Database::logsUnderGivenTag()
{
    LogCapture log;
    Database db(file(QStringLiteral("tagged.db")), QStringLiteral("[db::deviceParams] "));
    QSqlQuery query = db.execute(QStringLiteral("SELECT 1"));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 1);
    QVERIFY(log.contains(QStringLiteral("[db::deviceParams] Creating new Database connection for thread ")));
    QVERIFY(log.contains(QStringLiteral("[db::deviceParams] Executed query : SELECT 1")));
    QVERIFY(log.containsPart(QStringLiteral("[db::deviceParams] Operation completed in : ")));
    QVERIFY(!log.containsPart(QStringLiteral("[db::customer]")));
}

void tst_Database::removesConnectionWhenThreadEnds()
{
    Database db(file(QStringLiteral("ends.db")));
    db.database();
    const int withMain = connectionCount();
    QString workerName;
    runOnThread([&] {
        workerName = db.database().connectionName();
        QVERIFY(QSqlDatabase::contains(workerName));
    });
    QTRY_COMPARE(connectionCount(), withMain);
    QVERIFY(!QSqlDatabase::contains(workerName));
}

void tst_Database::removesConnectionWhenPoolThreadExpires()
{
    Database db(file(QStringLiteral("pool.db")));
    const int before = connectionCount();
    QThreadPool pool;
    pool.setExpiryTimeout(20);
    int version = -1;
    runOnPool(pool, [&] { version = db.userVersion(); });
    QCOMPARE(version, 0);
    pool.waitForDone();
    QTRY_COMPARE(connectionCount(), before);
}

void tst_Database::removesConnectionsWhenObjectGoes()
{
    const int before = connectionCount();
    std::mutex mutex;
    std::condition_variable changed;
    bool opened = false;
    bool destroyed = false;
    auto db = std::make_unique<Database>(file(QStringLiteral("goes.db")));
    db->database();
    std::thread thread([&] {
        db->database();
        std::unique_lock<std::mutex> lock(mutex);
        opened = true;
        changed.notify_all();
        changed.wait(lock, [&] { return destroyed; });
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return opened; });
    }
    QCOMPARE(connectionCount(), before + 2);
    db.reset();
    QCOMPARE(connectionCount(), before);
    {
        std::lock_guard<std::mutex> lock(mutex);
        destroyed = true;
        changed.notify_all();
    }
    thread.join();
}

void tst_Database::neverHandsOutConnectionOfObjectGone()
{
    // One worker thread outlives the first object; the second, on another file, must not
    // pick up its connection.
    auto first = std::make_unique<Database>(file(QStringLiteral("first.db")));
    auto second = std::make_unique<Database>(file(QStringLiteral("second.db")));
    QThreadPool pool;
    pool.setMaxThreadCount(1);
    QString firstFile;
    QString secondFile;
    runOnPool(pool, [&] { firstFile = first->database().databaseName(); });
    first.reset();
    Database third(file(QStringLiteral("third.db")));
    runOnPool(pool, [&] { secondFile = second->database().databaseName(); });
    QString thirdFile;
    runOnPool(pool, [&] { thirdFile = third.database().databaseName(); });
    QCOMPARE(firstFile, file(QStringLiteral("first.db")));
    QCOMPARE(secondFile, file(QStringLiteral("second.db")));
    QCOMPARE(thirdFile, file(QStringLiteral("third.db")));
    second.reset();
}

void tst_Database::reportsFileThatCannotBeOpened()
{
    // A regular file where the folder should be: no write can succeed there, also as root.
    QVERIFY(mEnv.writeFile(QStringLiteral("blocked"), "not a folder"));
    LogCapture log;
    Database db(file(QStringLiteral("blocked/store.db")));
    QVERIFY(!db.database().isOpen());
    QVERIFY(log.containsPart(QStringLiteral("[db::customer] ERROR: Database open failed : ")));
    QCOMPARE(db.userVersion(), 0);
    QVERIFY(!db.tableExists(QStringLiteral("ActionRecords")));
    QVERIFY(!db.setUserVersion(1));
    QSqlQuery query = db.execute(QStringLiteral("SELECT 1"));
    QVERIFY(!query.next());
    QVERIFY2(log.containsPart(QStringLiteral("[db::customer] ERROR: Could not execute query : ")),
             qPrintable(log.texts().join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(tst_Database)
#include "tst_database.moc"

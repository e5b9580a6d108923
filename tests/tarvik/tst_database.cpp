#include "tarvik/database.h"

#include "support/childrun.h"
#include "support/logcapture.h"
#include "support/testenv.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QThreadPool>
#include <QSemaphore>
#include <QtTest>

#include <functional>
#include <thread>

using tarvik::Database;

namespace {

int connectionCount()
{
    return QSqlDatabase::connectionNames().size();
}

// Runs the function as a task of the pool and waits for it; the pool's thread stays until it expires.
void runOnPool(QThreadPool &pool, const std::function<void()> &function)
{
    pool.start(function);
    pool.waitForDone();
}

} // namespace

class tst_Database : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void givesEachThreadItsOwnConnection();
    void versionsTablesAndLogs();
    void removesConnectionsWhenThreadOrObjectEnds();
    void keepsStatementsPerConnectionUntilClosed();
    void neverHandsOutConnectionOfObjectGone();
    void endsCleanlyWhileThreadStillHoldsConnection();

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
    QString workerName, workerAgain;
    std::thread([&] { workerName = db.database().connectionName(), workerAgain = db.database().connectionName(); }).join();
    QVERIFY(!workerName.isEmpty() && mainName != workerName && !QUuid(mainName).isNull());
    QCOMPARE(workerAgain, workerName);
    QCOMPARE(db.database().connectionName(), mainName);
    QCOMPARE(log.count(QStringLiteral("[db::customer] Creating new Database connection for thread ")), 2);
    QCOMPARE(db.database().connectOptions(), QStringLiteral("QSQLITE_ENABLE_SHARED_CACHE"));
    QCOMPARE(db.database().driverName(), QStringLiteral("QSQLITE"));
}

void tst_Database::versionsTablesAndLogs()
{
    {
        Database db(file(QStringLiteral("version.db")), QStringLiteral("[db::deviceParams] "));
        QCOMPARE(db.userVersion(), 0);
        QVERIFY(!db.tableExists(QStringLiteral("ActionRecords")));
        QVERIFY(db.setUserVersion(-3));
        QVERIFY(!db.execute(QStringLiteral("CREATE TABLE ActionRecords (id INTEGER)")).lastError().isValid());
        QVERIFY(db.tableExists(QStringLiteral("actionrecords")) && !db.tableExists(QStringLiteral("Action")));
    }
    Database again(file(QStringLiteral("version.db")));
    QCOMPARE(again.userVersion(), -3);
    LogCapture log;
    QVERIFY(!again.execute(QStringLiteral("SELEC nothing")).next());
    QSqlQuery prepared = again.query(QStringLiteral("SELECT * FROM missing"));
    QVERIFY(!again.execute(prepared));
    QCOMPARE(log.texts().filter(QStringLiteral("[db::customer] ERROR: Could not execute query : S")),
             QStringList({"[db::customer] ERROR: Could not execute query : SELEC nothing",
                          "[db::customer] ERROR: Could not execute query : SELECT * FROM missing"}));
    QVERIFY(!log.containsPart(QStringLiteral("Operation completed in")));
}

void tst_Database::removesConnectionsWhenThreadOrObjectEnds()
{
    Database db(file(QStringLiteral("ends.db")));
    db.database();
    const int withMain = connectionCount();
    std::thread([&] { db.database(); }).join();
    QCOMPARE(connectionCount(), withMain);
    QThreadPool pool;
    pool.setExpiryTimeout(20);
    runOnPool(pool, [&] { db.userVersion(); });
    QTRY_COMPARE(connectionCount(), withMain);

    // The object goes first: a thread still running loses its connection with it.
    auto other = std::make_unique<Database>(file(QStringLiteral("goes.db")));
    QSemaphore opened, release;
    std::thread thread([&] {
        other->database();
        opened.release();
        release.acquire();
    });
    opened.acquire();
    QCOMPARE(connectionCount(), withMain + 1);
    other.reset();
    QCOMPARE(connectionCount(), withMain);
    release.release();
    thread.join();
}

void tst_Database::keepsStatementsPerConnectionUntilClosed()
{
    Database db(file(QStringLiteral("statements.db")));
    const QString sql = QStringLiteral("SELECT ?");
    const QSqlResult *mine = db.prepared(sql).result();
    const QSqlResult *worker = nullptr;
    std::thread([&] { worker = db.prepared(sql).result(); }).join();
    QVERIFY(db.prepared(sql).result() == mine && worker && worker != mine);
    // Closing finalises it: the next call prepares it anew on the reopened connection.
    db.database().close();
    QSqlQuery again = db.prepared(sql);
    again.addBindValue(7);
    QVERIFY2(again.exec() && again.next(), qPrintable(again.lastError().text()));
    QCOMPARE(again.value(0).toInt(), 7);
}

void tst_Database::neverHandsOutConnectionOfObjectGone()
{
    // One worker thread outlives the first object; the next, on another file, must not pick
    // up its connection.
    auto first = std::make_unique<Database>(file(QStringLiteral("first.db")));
    QThreadPool pool;
    pool.setMaxThreadCount(1);
    QString firstFile, secondFile;
    runOnPool(pool, [&] { firstFile = first->database().databaseName(); });
    first.reset();
    Database second(file(QStringLiteral("second.db")));
    runOnPool(pool, [&] { secondFile = second.database().databaseName(); });
    QCOMPARE(firstFile, file(QStringLiteral("first.db")));
    QCOMPARE(secondFile, file(QStringLiteral("second.db")));
}

void tst_Database::endsCleanlyWhileThreadStillHoldsConnection()
{
    const ChildRun run(QStringLiteral(DBEXIT_PATH), {});
    QVERIFY2(run.finished() && !run.crashed() && run.exitCode() == 0, qPrintable(run.describe()));
}

QTEST_GUILESS_MAIN(tst_Database)
#include "tst_database.moc"

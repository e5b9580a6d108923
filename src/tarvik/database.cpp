#include "tarvik/database.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QHash>
#include <QLoggingCategory>
#include <QSet>
#include <QSqlError>
#include <QStringList>
#include <QUuid>

#include <atomic>
#include <mutex>

namespace tarvik {

const QString Database::DefaultTag = QStringLiteral("[db::customer] ");

// What a Database shares with the threads that hold one of its connections: the names it
// registered and the statements prepared on each, so that whichever ends first, the thread or
// the object, removes them; the statements first, so that no query is left on a connection
// removed from the registry.
class DatabaseShared
{
public:
    using Statements = QHash<QString, QSqlQuery>; // by text

    explicit DatabaseShared(quint64 serial)
        : serial(serial)
    {
    }

    // Under the mutex; the caller destroys them once it is released.
    Statements takeStatements(const QString &name) { return statements.take(name); }

    const quint64 serial;
    std::mutex mutex;
    QSet<QString> names;
    QHash<QString, Statements> statements; // by connection name
};

namespace {

const QString kDriver = QStringLiteral("QSQLITE");
const QString kConnectOptions = QStringLiteral("QSQLITE_ENABLE_SHARED_CACHE");

std::atomic<quint64> gNextSerial{1};

// Qt's registry of connections and the SQLite driver are statics of the process. A thread can
// end after they were destroyed at exit (a pool thread expiring late); its clean-up must then
// leave its connection alone. The state is never destroyed, so such a thread can still ask.
struct SqlLifetime
{
    std::mutex mutex;
    bool alive = true;
};

SqlLifetime &sqlLifetime()
{
    static SqlLifetime *const state = new SqlLifetime;
    return *state;
}

// Made once Qt's registry exists (after the first connection), so destroyed before it at exit.
struct SqlLifetimeSentinel
{
    ~SqlLifetimeSentinel()
    {
        std::lock_guard<std::mutex> lock(sqlLifetime().mutex);
        sqlLifetime().alive = false;
    }
};

void removeConnection(const QString &name)
{
    std::lock_guard<std::mutex> lock(sqlLifetime().mutex);
    if (sqlLifetime().alive)
        QSqlDatabase::removeDatabase(name);
}

// One thread's connections, keyed by the serial of the Database they belong to. Serials are
// never reused, so a thread never picks up the connection of an object that is gone (as a
// QThreadStorage slot of a destroyed owner would be handed to the next owner). A thread_local
// rather than QThreadStorage also runs for pool threads when they expire.
class ThreadConnections
{
public:
    struct Entry
    {
        QString name;
        std::weak_ptr<DatabaseShared> owner;
    };

    ThreadConnections() = default;
    ThreadConnections(const ThreadConnections &) = delete;
    ThreadConnections &operator=(const ThreadConnections &) = delete;

    ~ThreadConnections()
    {
        for (const Entry &entry : qAsConst(mEntries)) {
            if (const auto owner = entry.owner.lock()) {
                DatabaseShared::Statements statements;
                std::lock_guard<std::mutex> lock(owner->mutex);
                owner->names.remove(entry.name);
                statements = owner->takeStatements(entry.name);
            }
            removeConnection(entry.name);
        }
    }

    QString find(quint64 serial) const { return mEntries.value(serial).name; }
    void add(const std::shared_ptr<DatabaseShared> &owner, const QString &name)
    {
        mEntries.insert(owner->serial, Entry{name, owner});
    }
    void forget(quint64 serial) { mEntries.remove(serial); }

private:
    QHash<quint64, Entry> mEntries;
};

thread_local ThreadConnections tConnections;

} // namespace

Database::Database(const QString &path, QObject *parent)
    : Database(path, DefaultTag, parent)
{
}

Database::Database(const QString &path, const QString &logTag, QObject *parent)
    : QObject(parent)
    , mPath(path)
    , mTag(logTag)
    , mShared(std::make_shared<DatabaseShared>(gNextSerial.fetch_add(1)))
{
}

Database::~Database()
{
    tConnections.forget(mShared->serial);
    QSet<QString> names;
    {
        QHash<QString, DatabaseShared::Statements> statements;
        std::lock_guard<std::mutex> lock(mShared->mutex);
        names.swap(mShared->names);
        statements.swap(mShared->statements);
    }
    for (const QString &name : qAsConst(names))
        removeConnection(name);
}

QSqlDatabase Database::database()
{
    QString name = tConnections.find(mShared->serial);
    if (name.isEmpty()) {
        qInfo().noquote().nospace() << mTag << "Creating new Database connection for thread ";
        name = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, name);
            static SqlLifetimeSentinel sentinel;
            db.setDatabaseName(mPath);
            db.setConnectOptions(kConnectOptions);
            if (!db.open())
                qCritical().noquote().nospace() << mTag << "ERROR: Database open failed : " << db.lastError().text();
        }
        {
            std::lock_guard<std::mutex> lock(mShared->mutex);
            mShared->names.insert(name);
        }
        tConnections.add(mShared, name);
        return QSqlDatabase::database(name, false);
    }
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (!db.isOpen()) {
        // Closing finalised the statements kept on it.
        {
            DatabaseShared::Statements statements;
            std::lock_guard<std::mutex> lock(mShared->mutex);
            statements = mShared->takeStatements(name);
        }
        if (!db.open())
            qCritical().noquote().nospace() << mTag << "ERROR: Database open failed : " << db.lastError().text();
    }
    return db;
}

QSqlQuery Database::query(const QString &sql)
{
    QSqlQuery query(database());
    query.prepare(sql);
    return query;
}

QSqlQuery Database::prepared(const QString &sql)
{
    const QSqlDatabase db = database();
    const QString name = db.connectionName();
    {
        std::lock_guard<std::mutex> lock(mShared->mutex);
        const auto kept = mShared->statements.constFind(name);
        if (kept != mShared->statements.cend()) {
            const auto statement = kept->constFind(sql);
            if (statement != kept->cend())
                return *statement;
        }
    }
    QSqlQuery query(db);
    if (query.prepare(sql)) {
        std::lock_guard<std::mutex> lock(mShared->mutex);
        mShared->statements[name].insert(sql, query);
    }
    return query;
}

bool Database::execute(QSqlQuery &query)
{
    QElapsedTimer timer;
    timer.start();
    const bool ok = query.exec();
    const bool debug = QLoggingCategory::defaultCategory()->isDebugEnabled();
    const auto text = [&query] { return query.executedQuery().isEmpty() ? query.lastQuery() : query.executedQuery(); };
    if (debug)
        qDebug().noquote().nospace() << mTag << "Executed query : " << text();
    if (!ok) {
        qCritical().noquote().nospace() << mTag << "ERROR: Could not execute query : " << text();
        qCritical().noquote().nospace() << mTag << "ERROR: " << query.lastError().text();
        return false;
    }
    if (debug)
        qDebug().noquote().nospace() << mTag << "Operation completed in : " << timer.elapsed() << " msec(s)";
    return true;
}

QSqlQuery Database::execute(const QString &sql)
{
    QSqlQuery q = query(sql);
    execute(q);
    return q;
}

int Database::userVersion()
{
    QSqlQuery q(database());
    if (q.exec(QStringLiteral("PRAGMA user_version;")) && q.next())
        return q.value(0).toInt();
    return 0;
}

bool Database::setUserVersion(int version)
{
    QSqlQuery q(database());
    return q.exec(QStringLiteral("PRAGMA user_version = %1").arg(version));
}

bool Database::tableExists(const QString &name)
{
    return database().tables().contains(name, Qt::CaseInsensitive);
}

} // namespace tarvik

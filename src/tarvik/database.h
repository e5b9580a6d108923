#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <memory>

namespace tarvik {

class DatabaseShared;

// Gives every thread that touches one SQLite file its own open connection ("QSQLITE", shared
// cache, named by a fresh UUID), keeps the statements prepared on it, and runs statements with
// timing and error logging under the tag it is given. A thread's connection and its statements
// go when that thread ends, or when this object goes, whichever comes first. Callable from any
// thread; it does not serialise statements: that is the caller's task.
class Database : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(Database)
public:
    static const QString DefaultTag; // "[db::customer] "

    explicit Database(const QString &path, QObject *parent = nullptr);
    Database(const QString &path, const QString &logTag, QObject *parent = nullptr);
    ~Database() override;

    QString path() const { return mPath; }
    QString logTag() const { return mTag; }

    // The calling thread's connection, created and opened on its first call; a closed one is
    // opened again.
    QSqlDatabase database();
    // A query on the thread's connection, prepared with the text, not executed.
    QSqlQuery query(const QString &sql);
    // The same, prepared once per connection and kept for the next call on this thread: a
    // look-up made at every tap skips SQLite's parse and plan. The caller binds every value
    // anew, and finish()es it once its rows are read: until then it holds the table's read
    // lock. A statement that does not prepare is not kept.
    QSqlQuery prepared(const QString &sql);
    // Executes a prepared query; logs the statement, its time or its failure.
    bool execute(QSqlQuery &query);
    // query(sql) then execute(); the query is returned for its rows (none on failure).
    QSqlQuery execute(const QString &sql);

    int userVersion();
    bool setUserVersion(int version);
    bool tableExists(const QString &name);

private:
    const QString mPath;
    const QString mTag;
    std::shared_ptr<DatabaseShared> mShared;
};

} // namespace tarvik

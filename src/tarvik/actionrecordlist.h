#pragma once

#include "tarvik/actionrecord.h"

#include <QDateTime>
#include <QJsonArray>
#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QVariantList>

#include <functional>
#include <mutex>

class QSqlDatabase;
class QSqlQuery;

namespace tarvik {

class Database;

// The queue of action records ("ActionRecords" in "actionRecordList.db") that waits for the
// back-end's confirmation, with each record's last answer and next transmission time. Any
// thread may call it: one lock spans each statement, and each thread has its own connection.
// A plain class; failures come back as false, 0 or an empty list, logged by the database.
//
//   state               sendStatus  sendSchedDate           listed by
//   queued              0           NULL                    pending, dueForSend
//   waiting for retry   not 200     a date                  pending; dueForSend once due
//   given up            not 200     "1970-01-01T00:00:00"   failed
//   confirmed           200         NULL                    successfull
class ActionRecordList
{
public:
    using List = QList<ActionRecord::Ptr>;
    using Clock = std::function<QDateTime()>; // the current local date and time

    static const QString LogTag;  // "[tarvik::ActionRecordList] ", also the tag of its database's lines
    static const QString GivenUp; // the schedule date that marks a record given up
    static const QString DateFormat; // every date column, local time

    explicit ActionRecordList(const QSharedPointer<Database> &database);
    ActionRecordList(const ActionRecordList &) = delete;
    ActionRecordList &operator=(const ActionRecordList &) = delete;

    void setClock(Clock clock);
    QDateTime now() const;

    void create();
    void migrate();
    bool migrate0to1(QSqlDatabase &db);

    bool add(const ActionRecord::Ptr &record);
    bool markAsOk(const ActionRecord::Ptr &record, int status);
    bool markAsError(const ActionRecord::Ptr &record, int status, const QString &code, const QString &message,
                     const QDateTime &schedDate);
    // Deletes the confirmed rows answered before the time; the number deleted.
    int cleanup(const QDateTime &before);

    int size();
    List records();
    List successfull();
    List pending();
    List failed();
    List dueForSend();

    static ActionRecord::Ptr deserialize(const QSqlQuery &query);
    void printSummary();
    QJsonArray toJson();

private:
    QString sql(const char *text) const;
    List select(const QString &statement, const QVariantList &values = {});
    bool mark(const ActionRecord::Ptr &record, int status, const QVariant &code, const QVariant &message,
              const QVariant &schedDate);

    QSharedPointer<Database> mDatabase;
    const QString mTable = QStringLiteral("ActionRecords");
    std::mutex mMutex;
    Clock mClock;
};

} // namespace tarvik

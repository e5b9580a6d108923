#include "tarvik/actionrecordlist.h"

#include "tarvik/database.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <mutex>

namespace tarvik {

namespace {

const char Tag[] = "[tarvik::ActionRecordList] ";

constexpr int SchemaVersion = 1;

const char kCreate[] =
    "CREATE TABLE %1 (id                         INTEGER,accountToken               TEXT,"
    "smartCardUid               TEXT,counter                    INTEGER,actionDate                 TEXT,"
    "deviceUuid                 TEXT,balanceAfter               INTEGER,balanceBefore              INTEGER,"
    "journeysAfter              INTEGER,journeysBefore             INTEGER,snapshot                   TEXT,"
    "action                     TEXT,code                       TEXT,sendDate                   TEXT,"
    "sendStatus                 INTEGER,sendCode                   TEXT,sendMessage                TEXT,"
    "sendAttempts               INTEGER,sendSchedDate              TEXT,PRIMARY KEY (id));";
const char kInsert[] =
    "INSERT INTO %1 (accountToken,smartCardUid,counter,actionDate,deviceUuid,balanceAfter,balanceBefore,"
    "journeysAfter,journeysBefore,snapshot,action,code,sendDate,sendStatus,sendCode,sendMessage,sendAttempts,"
    "sendSchedDate) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
const char kMark[] =
    "UPDATE %1 SET sendDate = ?, sendStatus = ?, sendCode = ?, sendMessage = ?, sendSchedDate = ?, "
    "sendAttempts = ? WHERE accountToken = ? AND smartCardUid = ? AND actionDate = ?";
const char kCleanup[] = "DELETE FROM %1 WHERE sendDate IS NOT NULL AND sendDate < ? AND sendStatus = 200";
const char kCount[] = "SELECT COUNT(*) FROM %1";
const char kRecords[] = "SELECT * FROM %1";
const char kSuccessfull[] = "SELECT * FROM %1 WHERE sendStatus = 200 ORDER BY actionDate DESC;";
const char kPending[] = "SELECT * FROM %1 WHERE sendStatus != 200 AND (sendSchedDate IS NULL OR "
                        "sendSchedDate != '1970-01-01T00:00:00') ORDER BY actionDate DESC;";
const char kFailed[] = "SELECT * FROM %1 WHERE sendStatus != 200 AND sendSchedDate = '1970-01-01T00:00:00'"
                       "ORDER BY actionDate DESC;";
const char kDue[] = "SELECT * FROM %1 WHERE sendStatus != 200 AND (sendSchedDate IS NULL OR "
                    "(sendSchedDate <= ? AND sendSchedDate != '1970-01-01T00:00:00'))";
const char kAddAttempts[] = "ALTER TABLE %1 ADD COLUMN sendAttempts INT;";
const char kAddSchedule[] = "ALTER TABLE %1 ADD COLUMN sendSchedDate TEXT;";
// "dd/MM/yyyy hh:mm:ss" to "yyyy-MM-ddThh:mm:ss"; NULL stays NULL.
const char kReorderDate[] = "UPDATE %1 SET %2 = substr(%2, 7, 4) || '-' || substr(%2, 4, 2) || '-' || "
                            "substr(%2, 1, 2) || 'T' || substr(%2, 12, 8)";

QVariant dateText(const QDateTime &date)
{
    if (!date.isValid())
        return QVariant(QVariant::String);
    return date.toLocalTime().toString(ActionRecordList::DateFormat);
}

// An unset balance must stay unset: the driver reads NULL as a null string, which would be
// reported as "" (or 0) instead of JSON null.
QVariant nullable(const QVariant &column)
{
    return column.isNull() ? QVariant() : column;
}

} // namespace

const QString ActionRecordList::LogTag = QString::fromLatin1(Tag);
const QString ActionRecordList::GivenUp = QStringLiteral("1970-01-01T00:00:00");
const QString ActionRecordList::DateFormat = QStringLiteral("yyyy-MM-dd'T'hh:mm:ss");

ActionRecordList::ActionRecordList(const QSharedPointer<Database> &database)
    : mDatabase(database)
{
    create();
    migrate();
}

void ActionRecordList::setClock(Clock clock)
{
    mClock = std::move(clock);
}

QDateTime ActionRecordList::now() const
{
    return mClock ? mClock() : QDateTime::currentDateTime();
}

QString ActionRecordList::sql(const char *text) const
{
    return QString::fromLatin1(text).arg(mTable);
}

void ActionRecordList::create()
{
    if (mDatabase->tableExists(mTable))
        return;
    mDatabase->execute(sql(kCreate));
    mDatabase->setUserVersion(SchemaVersion);
}

void ActionRecordList::migrate()
{
    int version = mDatabase->userVersion();
    qInfo().noquote().nospace() << Tag << "Current Schema version : v" << version;
    qInfo().noquote().nospace() << Tag << "Target  Schema version : v" << SchemaVersion;
    if (version == SchemaVersion) {
        qInfo().noquote().nospace() << Tag << "Migration not required";
        return;
    }
    QSqlDatabase db = mDatabase->database();
    if (!db.transaction()) {
        qCritical().noquote().nospace() << Tag << "ERROR: Failed to start transaction";
        return;
    }
    while (version < SchemaVersion) {
        // Only 0 has a step; a negative version names no layout we know.
        const bool stepped = version == 0 && migrate0to1(db);
        if (!stepped) {
            qCritical().noquote().nospace() << Tag << "ERROR: Failed to migrate database";
            db.rollback();
            return;
        }
        version = 1;
    }
    qInfo().noquote().nospace() << Tag << "Setting schema version : v" << version;
    mDatabase->setUserVersion(version);
    qInfo().noquote().nospace() << Tag << "Commiting changes";
    if (!db.commit()) {
        qCritical().noquote().nospace() << Tag << "ERROR: Failed to commit database changes";
        db.rollback();
        return;
    }
    qInfo().noquote().nospace() << Tag << "+--------------------------------------+";
    qInfo().noquote().nospace() << Tag << "|    DATABASE MIGRATED SUCCESSFULLY    |";
    qInfo().noquote().nospace() << Tag << "+--------------------------------------+";
}

bool ActionRecordList::migrate0to1(QSqlDatabase &db)
{
    qInfo().noquote().nospace() << Tag << "Migrating database from v0 to v1";
    QSqlQuery query(db);
    return query.exec(sql(kAddAttempts)) && query.exec(sql(kAddSchedule))
        && query.exec(sql(kReorderDate).arg(QStringLiteral("actionDate")))
        && query.exec(sql(kReorderDate).arg(QStringLiteral("sendDate")));
}

bool ActionRecordList::add(const ActionRecord::Ptr &record)
{
    if (!record)
        return false;
    const Action::Ptr action = record->action();
    std::lock_guard<std::mutex> lock(mMutex);
    QSqlQuery query = mDatabase->query(sql(kInsert));
    query.addBindValue(record->accountToken());
    query.addBindValue(record->smartCardUid());
    query.addBindValue(record->counter());
    query.addBindValue(dateText(record->actionDate()));
    query.addBindValue(record->deviceUuid());
    query.addBindValue(record->balanceAfter());
    query.addBindValue(record->balanceBefore());
    query.addBindValue(record->journeysAfter());
    query.addBindValue(record->journeysBefore());
    query.addBindValue(record->snapshot());
    query.addBindValue(action ? action->snapshot() : Action().snapshot());
    query.addBindValue(record->code());
    query.addBindValue(QVariant(QVariant::String));
    query.addBindValue(0);
    query.addBindValue(QStringLiteral("QUEUED"));
    query.addBindValue(QVariant(QVariant::String));
    query.addBindValue(QVariant(QVariant::Int));
    query.addBindValue(QVariant(QVariant::String));
    return mDatabase->execute(query);
}

bool ActionRecordList::markAsOk(const ActionRecord::Ptr &record, int status)
{
    return mark(record, status, QVariant(QVariant::String), QVariant(QVariant::String), QVariant(QVariant::String));
}

bool ActionRecordList::markAsError(const ActionRecord::Ptr &record, int status, const QString &code,
                                   const QString &message, const QDateTime &schedDate)
{
    return mark(record, status, code, message, dateText(schedDate));
}

bool ActionRecordList::mark(const ActionRecord::Ptr &record, int status, const QVariant &code,
                            const QVariant &message, const QVariant &schedDate)
{
    if (!record)
        return false;
    const QVariant answered = dateText(now());
    std::lock_guard<std::mutex> lock(mMutex);
    QSqlQuery query = mDatabase->query(sql(kMark));
    query.addBindValue(answered);
    query.addBindValue(status);
    query.addBindValue(code);
    query.addBindValue(message);
    query.addBindValue(schedDate);
    query.addBindValue(record->sendAttempts());
    query.addBindValue(record->accountToken());
    query.addBindValue(record->smartCardUid());
    query.addBindValue(dateText(record->actionDate()));
    return mDatabase->execute(query);
}

int ActionRecordList::cleanup(const QDateTime &before)
{
    std::lock_guard<std::mutex> lock(mMutex);
    QSqlQuery query = mDatabase->query(sql(kCleanup));
    query.addBindValue(dateText(before));
    if (!mDatabase->execute(query))
        return 0;
    return qMax(0, query.numRowsAffected());
}

int ActionRecordList::size()
{
    std::lock_guard<std::mutex> lock(mMutex);
    QSqlQuery query = mDatabase->query(sql(kCount));
    if (!mDatabase->execute(query) || !query.next())
        return 0;
    return query.value(0).toInt();
}

ActionRecordList::List ActionRecordList::select(const QString &statement, const QVariantList &values)
{
    List list;
    std::lock_guard<std::mutex> lock(mMutex);
    QSqlQuery query = mDatabase->query(statement);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!mDatabase->execute(query))
        return list;
    while (query.next())
        list.append(deserialize(query));
    return list;
}

ActionRecordList::List ActionRecordList::records()
{
    return select(sql(kRecords));
}

ActionRecordList::List ActionRecordList::successfull()
{
    return select(sql(kSuccessfull));
}

ActionRecordList::List ActionRecordList::pending()
{
    return select(sql(kPending));
}

ActionRecordList::List ActionRecordList::failed()
{
    return select(sql(kFailed));
}

ActionRecordList::List ActionRecordList::dueForSend()
{
    return select(sql(kDue), {dateText(now())});
}

ActionRecord::Ptr ActionRecordList::deserialize(const QSqlQuery &query)
{
    auto record = ActionRecord::Ptr::create();
    record->setAccountToken(query.value(1).toString());
    record->setSmartCardUid(query.value(2).toString());
    record->setCounter(query.value(3).toInt());
    record->setActionDate(QDateTime::fromString(query.value(4).toString(), DateFormat));
    record->setDeviceUuid(query.value(5).toString());
    record->setBalanceAfter(nullable(query.value(6)));
    record->setBalanceBefore(nullable(query.value(7)));
    record->setJourneysAfter(nullable(query.value(8)));
    record->setJourneysBefore(nullable(query.value(9)));
    record->setSnapshot(query.value(10).toString());
    record->setAction(Action::fromSnapshot(query.value(11).toString()));
    record->setCode(query.value(12).toString());
    record->setSendAttempts(query.value(17).toInt());
    return record;
}

void ActionRecordList::printSummary()
{
    qInfo().noquote().nospace() << Tag << "--- COMPLETED ACTION RECORD SUMMARY ---------";
    qInfo().noquote().nospace() << Tag << "Sent OK : " << successfull().size();
    qInfo().noquote().nospace() << Tag << "Failed  : " << failed().size();
    qInfo().noquote().nospace() << Tag << "Unsent  : " << pending().size();
    qInfo().noquote().nospace() << Tag << "Total   : " << size();
    qInfo().noquote().nospace() << Tag << "---------------------------------------------";
}

QJsonArray ActionRecordList::toJson()
{
    QJsonArray array;
    for (const ActionRecord::Ptr &record : records())
        array.append(record->toJson());
    return array;
}

} // namespace tarvik

#include "db/customerdb.h"

#include "tarvik/database.h"

#include <QDebug>
#include <QFile>
#include <QLoggingCategory>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>

#include <mutex>

using tarvik::Customer;

namespace {

const QString Tag = QStringLiteral("[db::customer] ");

const QString kCreate = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS customers (id                  BIG INT,uuid                CHAR(36),"
    "smartCardUuid       CHAR(36),type                VARCHAR(64),name                VARCHAR(64),"
    "surname             VARCHAR(64),email               VARCHAR(64),mobile              VARCHAR(64),"
    "image               VARCHAR(64),accountCreationDate UNSIGNED BIG INT,"
    "lastAccessTime      UNSIGNED BIG INT,PRIMARY KEY (id, smartCardUuid));");
// A tap looks its customer up by card; the key (id, smartCardUuid) cannot serve that. Made
// when missing, so an existing file gets it at the next start.
const QString kCreateCardIndex =
    QStringLiteral("CREATE INDEX IF NOT EXISTS customers_smartCardUuid ON customers (smartCardUuid);");
const QString kInsert = QStringLiteral(
    "INSERT OR REPLACE INTO customers (id, uuid, smartCardUuid, type, name, surname, email, mobile, image, "
    "accountCreationDate, lastAccessTime) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
// NULL never equals NULL in the key, so rows written without a card would pile up; an empty
// card is the same "no card".
const QString kDeleteCardless =
    QStringLiteral("DELETE FROM customers WHERE id = ? AND (smartCardUuid IS NULL OR smartCardUuid = '')");
const QString kUpdateAccess = QStringLiteral("UPDATE customers SET lastAccessTime = ? WHERE ID = ?");
const QString kFindById = QStringLiteral("SELECT * FROM customers WHERE id = ?");
const QString kFindByCard = QStringLiteral("SELECT * FROM customers WHERE smartCardUuid = ?");
const QString kSelectOld = QStringLiteral("SELECT * FROM customers WHERE lastAccessTime <= ?");
const QString kDeleteOld = QStringLiteral("DELETE FROM customers WHERE lastAccessTime <= ?");

qint64 toSeconds(const QDateTime &time)
{
    return time.toMSecsSinceEpoch() / 1000;
}

bool isDebugEnabled()
{
    return QLoggingCategory::defaultCategory()->isDebugEnabled();
}

bool runLogged(QSqlQuery &query, const QString &sql)
{
    if (isDebugEnabled())
        qDebug().noquote().nospace() << Tag << "Executing query : " << sql;
    if (query.exec())
        return true;
    qCritical().noquote().nospace() << Tag << "ERROR: Could not execute query : " << query.lastError().text();
    return false;
}

} // namespace

CustomerDB::CustomerDB(const QString &fileName, QObject *parent)
    : QObject(parent)
    , mFileName(fileName)
    , mDatabase(std::make_unique<tarvik::Database>(fileName, Tag))
{
    create();
}

CustomerDB::~CustomerDB() = default;

QSqlDatabase CustomerDB::database()
{
    return mDatabase->database();
}

bool CustomerDB::create()
{
    std::lock_guard<std::mutex> lock(mMutex);
    qDebug().noquote().nospace() << Tag << "Executing query : " << kCreate;
    QSqlQuery query(database());
    if (!query.exec(kCreate)) {
        qCritical().noquote().nospace() << Tag << "ERROR: Could not create table : " << query.lastError().text();
        return false;
    }
    // Without the index the store still answers, only more slowly.
    qDebug().noquote().nospace() << Tag << "Executing query : " << kCreateCardIndex;
    if (!query.exec(kCreateCardIndex)) {
        qCritical().noquote().nospace() << Tag << "ERROR: Could not create index : " << query.lastError().text();
        return false;
    }
    return true;
}

Customer::Ptr CustomerDB::find(int customerId)
{
    return findOne(kFindById, customerId, QStringLiteral("Requested customer ID not found : "));
}

Customer::Ptr CustomerDB::find(const QString &cardId)
{
    const QString notFound = QStringLiteral("Requested customer not found for cardId : ");
    // An empty card id would match every customer stored without a card.
    if (cardId.isEmpty()) {
        if (isDebugEnabled())
            qDebug().noquote().nospace() << Tag << notFound;
        return {};
    }
    return findOne(kFindByCard, cardId, notFound);
}

Customer::Ptr CustomerDB::findOne(const QString &sql, const QVariant &value, const QString &notFound)
{
    std::lock_guard<std::mutex> lock(mMutex);
    QSqlQuery query = mDatabase->prepared(sql);
    // Kept for the next tap: reset once read, so that it holds no lock in between.
    const auto reset = qScopeGuard([&query] { query.finish(); });
    query.addBindValue(value);
    if (!runLogged(query, sql))
        return {};
    if (!query.next()) {
        if (isDebugEnabled())
            qDebug().noquote().nospace() << Tag << notFound << value.toString();
        return {};
    }
    return Customer::fromSql(query);
}

bool CustomerDB::updateLastAccessTime(int customerId, const QDateTime &timestamp)
{
    if (!timestamp.isValid()) {
        qWarning().noquote().nospace() << Tag << "WARN: Invalid last access time for customer : " << customerId;
        return false;
    }
    std::lock_guard<std::mutex> lock(mMutex);
    QSqlQuery query = mDatabase->query(kUpdateAccess);
    query.addBindValue(toSeconds(timestamp));
    query.addBindValue(customerId);
    return mDatabase->execute(query);
}

bool CustomerDB::insert(Customer::Ptr customer)
{
    if (!customer) {
        qWarning().noquote().nospace() << Tag << "WARN: No customer to insert";
        return false;
    }
    Customer row(*customer);
    row.setLastAccessTime(QDateTime::currentDateTimeUtc());

    std::lock_guard<std::mutex> lock(mMutex);
    QSqlDatabase db = database();
    if (!db.transaction()) {
        qCritical().noquote().nospace() << Tag << "ERROR: Could not start transaction : " << db.lastError().text();
        return false;
    }
    bool ok = true;
    if (row.smartCardUuid().isEmpty()) {
        QSqlQuery remove = mDatabase->query(kDeleteCardless);
        remove.addBindValue(row.id());
        ok = mDatabase->execute(remove);
    }
    if (ok) {
        QSqlQuery insert = mDatabase->query(kInsert);
        row.toSql(insert);
        ok = mDatabase->execute(insert);
    }
    if (ok && !db.commit()) {
        qCritical().noquote().nospace() << Tag << "ERROR: Could not commit : " << db.lastError().text();
        ok = false;
    }
    if (!ok)
        db.rollback();
    return ok;
}

int CustomerDB::clean(const QDateTime &timestamp)
{
    const qint64 seconds = toSeconds(timestamp);
    std::lock_guard<std::mutex> lock(mMutex);
    {
        QSqlQuery select = mDatabase->query(kSelectOld);
        select.addBindValue(seconds);
        if (!runLogged(select, kSelectOld))
            return 0;
        while (select.next()) {
            const QString image = select.value(8).toString();
            qDebug().noquote().nospace() << Tag
                                         << QStringLiteral("Entry : id=%1, lastAccessTime=%2, image=%3")
                                                .arg(select.value(0).toLongLong())
                                                .arg(select.value(10).toString(), image);
            if (image.isEmpty())
                continue;
            if (QFile::exists(image)) {
                qDebug().noquote().nospace() << Tag << "Deleting image : " << image;
                if (!QFile::remove(image))
                    qCritical().noquote().nospace() << Tag << "ERROR: Could not delete image : " << image;
            } else {
                qWarning().noquote().nospace() << Tag << "Image does not exist : " << image;
            }
        }
    }
    QSqlQuery remove = mDatabase->query(kDeleteOld);
    remove.addBindValue(seconds);
    if (!runLogged(remove, kDeleteOld))
        return 0;
    return remove.numRowsAffected();
}

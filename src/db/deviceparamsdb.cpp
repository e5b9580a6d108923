#include "db/deviceparamsdb.h"

#include "tarvik/database.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>

#include <mutex>

using tarvik::KeyValue;

namespace {

const QString Tag = QStringLiteral("[db::deviceParams] ");

const QString kCreate = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS DeviceParams (id                         BIG INT,"
    "carrierId                  INT,key                        VARCHAR(64),"
    "value                      VARCHAR(256),description                VARCHAR(256),PRIMARY KEY (id, key));");
const QString kSelectAll = QStringLiteral("SELECT * FROM DeviceParams");
const QString kSelectByKey = QStringLiteral("SELECT * FROM DeviceParams WHERE key = ?");
const QString kSelectById = QStringLiteral("SELECT * FROM DeviceParams WHERE id = ?");
const QString kInsert = QStringLiteral(
    "INSERT OR REPLACE INTO DeviceParams (id, carrierId, key, value, description) VALUES (?, ?, ?, ?, ?)");
const QString kDeleteByKey = QStringLiteral("DELETE FROM DeviceParams WHERE key = ?");
const QString kDeleteById = QStringLiteral("DELETE FROM DeviceParams WHERE id = ?");

bool isDebugEnabled()
{
    return QLoggingCategory::defaultCategory()->isDebugEnabled();
}

} // namespace

DeviceParamsDB::DeviceParamsDB(const QString &fileName, QObject *parent)
    : QObject(parent)
    , mFileName(fileName)
    , mDatabase(std::make_unique<tarvik::Database>(fileName, Tag))
{
    // Queued connections to the signals need the pointer type by both of its names.
    qRegisterMetaType<KeyValue::Ptr>("tarvik::KeyValue::Ptr");
    qRegisterMetaType<KeyValue::Ptr>("KeyValue::Ptr");
    create();
    findAll();
}

DeviceParamsDB::~DeviceParamsDB() = default;

bool DeviceParamsDB::create()
{
    qDebug().noquote().nospace() << Tag << "Executing query : " << kCreate;
    QSqlQuery query(mDatabase->database());
    if (query.exec(kCreate))
        return true;
    qCritical().noquote().nospace() << Tag << "ERROR: Could not create table : " << query.lastError().text();
    return false;
}

bool DeviceParamsDB::execute(QSqlQuery &query)
{
    return mDatabase->execute(query);
}

QMap<QString, KeyValue::Ptr> DeviceParamsDB::findAll()
{
    std::lock_guard<std::mutex> lock(mMutex);
    if (!mCache.isEmpty())
        return mCache;
    QSqlQuery query = mDatabase->query(kSelectAll);
    if (!execute(query))
        return mCache;
    while (query.next()) {
        const KeyValue::Ptr param = KeyValue::fromSql(query);
        mCache.insert(query.value(2).toString(), param);
    }
    return mCache;
}

KeyValue::Ptr DeviceParamsDB::find(const QString &key)
{
    std::lock_guard<std::mutex> lock(mMutex);
    if (const KeyValue::Ptr cached = mCache.value(key)) {
        if (isDebugEnabled())
            qDebug().noquote().nospace() << Tag << "Retrieving item from cache : " << key;
        return cached;
    }
    return findLocked(kSelectByKey, key, QStringLiteral("Requested DeviceParam key not found : "));
}

KeyValue::Ptr DeviceParamsDB::find(int id)
{
    std::lock_guard<std::mutex> lock(mMutex);
    return findLocked(kSelectById, id, QStringLiteral("Requested DeviceParam Id not found : "));
}

KeyValue::Ptr DeviceParamsDB::findLocked(const QString &sql, const QVariant &value, const QString &notFound)
{
    QSqlQuery query = mDatabase->prepared(sql);
    // Kept for the next look-up: reset once read, so that it holds no lock in between.
    const auto reset = qScopeGuard([&query] { query.finish(); });
    query.addBindValue(value);
    if (!execute(query))
        return {};
    if (!query.next()) {
        if (isDebugEnabled())
            qDebug().noquote().nospace() << Tag << notFound << value.toString();
        return {};
    }
    const KeyValue::Ptr param = KeyValue::fromSql(query);
    mCache.insert(param->key(), param);
    return param;
}

void DeviceParamsDB::insert(KeyValue::Ptr param)
{
    if (store(param))
        emit changed(param);
}

bool DeviceParamsDB::store(const KeyValue::Ptr &param)
{
    if (!param) {
        qWarning().noquote().nospace() << Tag << "WARN: No device parameter to insert";
        return false;
    }
    std::lock_guard<std::mutex> lock(mMutex);
    const KeyValue::Ptr cached = mCache.value(param->key());
    if (cached && cached->matches(param)) {
        qDebug().noquote().nospace() << Tag << "Skipping insert. Item has not changed : " << param->key();
        return false;
    }
    QSqlQuery query = mDatabase->query(kInsert);
    param->toSql(query);
    if (!execute(query))
        return false;
    mCache.insert(param->key(), param);
    return true;
}

void DeviceParamsDB::insertList(QList<KeyValue::Ptr> list)
{
    for (const KeyValue::Ptr &param : qAsConst(list))
        insert(param);
}

void DeviceParamsDB::remove(QString key)
{
    const KeyValue::Ptr param = find(key);
    if (!param) {
        qDebug().noquote().nospace() << Tag << "Skipping item removal. Item does not exist : " << key;
        return;
    }
    removeFound(param, kDeleteByKey, key);
}

void DeviceParamsDB::remove(int id)
{
    const KeyValue::Ptr param = find(id);
    if (!param) {
        qDebug().noquote().nospace() << Tag << "Skipping item removal. Item does not exist : " << id;
        return;
    }
    removeFound(param, kDeleteById, id);
}

void DeviceParamsDB::removeFound(const KeyValue::Ptr &param, const QString &sql, const QVariant &value)
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        QSqlQuery query = mDatabase->query(sql);
        query.addBindValue(value);
        if (!execute(query))
            return;
        mCache.remove(param->key());
    }
    emit removed(param);
}

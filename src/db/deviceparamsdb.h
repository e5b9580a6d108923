#pragma once

#include "tarvik/keyvalue.h"

#include <QMap>
#include <QObject>
#include <QString>

#include <memory>
#include <mutex>

class QSqlQuery;

namespace tarvik {
class Database;
}

// The device parameters the back-end assigns to this type of device ("DeviceParams" in
// "deviceParams.sqlite"), with an in-memory cache by key so that a tap reads its parameter
// without touching the file. Written from the main thread, read from any thread; the lock
// covers the cache together with the statement that fills it. Emits `changed` and `removed`
// once the lock is released, so a receiver may read the store.
class DeviceParamsDB : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(DeviceParamsDB)
public:
    explicit DeviceParamsDB(const QString &fileName, QObject *parent = nullptr);
    ~DeviceParamsDB() override;

    tarvik::KeyValue::Ptr find(const QString &key);
    tarvik::KeyValue::Ptr find(int id);
    QMap<QString, tarvik::KeyValue::Ptr> findAll();

public slots:
    void insert(tarvik::KeyValue::Ptr param);
    void insertList(QList<tarvik::KeyValue::Ptr> list);
    void remove(int id);
    void remove(QString key);

signals:
    void changed(tarvik::KeyValue::Ptr param);
    void removed(tarvik::KeyValue::Ptr param);

private:
    bool create();
    bool execute(QSqlQuery &query);
    // Under the lock: the first row of the prepared statement with the value bound, joined to
    // the cache; null when none, with the not-found line: the text followed by the value.
    tarvik::KeyValue::Ptr findLocked(const QString &sql, const QVariant &value, const QString &notFound);
    // Stores the parameter; false when nothing changed or the write failed.
    bool store(const tarvik::KeyValue::Ptr &param);
    void removeFound(const tarvik::KeyValue::Ptr &param, const QString &sql, const QVariant &value);

    const QString mFileName;
    std::unique_ptr<tarvik::Database> mDatabase;
    QMap<QString, tarvik::KeyValue::Ptr> mCache;
    std::mutex mMutex;
};

#pragma once

#include "tarvik/customer.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <memory>
#include <mutex>

class QSqlDatabase;
class QVariant;

namespace tarvik {
class Database;
}

// The local store of customers ("customers" in "customers.sqlite"), one row per customer and
// card, so that a tap finds its customer without the network. Called from the main thread,
// the validation thread and pool threads, each on its own connection; one lock orders the
// statements, since a shared-cache connection reports "table is locked" at once instead of
// waiting. No signals: failures come back as null, false or 0, with a log line.
class CustomerDB : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(CustomerDB)
public:
    explicit CustomerDB(const QString &fileName, QObject *parent = nullptr);
    ~CustomerDB() override;

public slots:
    tarvik::Customer::Ptr find(int customerId);
    tarvik::Customer::Ptr find(const QString &cardId);
    bool updateLastAccessTime(int customerId, const QDateTime &timestamp);
    // Stamps the row with the current time; a customer without a card replaces its own
    // earlier card-less row rather than adding one.
    bool insert(tarvik::Customer::Ptr customer);
    // Deletes the rows last used at or before the time, with their pictures; the number of
    // rows deleted.
    int clean(const QDateTime &timestamp);

private:
    QSqlDatabase database();
    bool create();
    // The first row of the prepared statement with the value bound; the not-found line is the
    // text followed by the value.
    tarvik::Customer::Ptr findOne(const QString &sql, const QVariant &value, const QString &notFound);

    const QString mFileName;
    std::unique_ptr<tarvik::Database> mDatabase;
    std::mutex mMutex;
};

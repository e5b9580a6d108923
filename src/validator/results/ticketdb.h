#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <memory>
#include <mutex>

namespace tarvik {
class Database;
}

// One row of "barcodetickets": a QR ticket that another device validated.
struct TicketDbRow {
    QString ticketId;
    QString deviceId;
    QString vehicleId;
    int routeExecutionId = 0;
    int routeId = 0;
    int stopId = 0;
    qint64 validationTime = 0; // seconds since 1970-01-01 UTC
};

// The local store of remotely validated QR tickets (SQLite). Usable from the main thread and
// the validation thread at once: each thread gets its own connection, and statements are
// serialised. Emits degraded() when a statement fails.
class TicketDb : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TicketDb)
public:
    explicit TicketDb(QObject *parent = nullptr);
    ~TicketDb() override;

    // A relative name is taken next to the settings file, not in the working directory.
    bool dbConnect(const QString &name, const QString &driver = QStringLiteral("QSQLITE"));
    bool dbCreate();
    bool exists(const QString &ticketId);
    bool insert(const TicketDbRow &row);
    // Deletes every row validated at or before the cut-off; the count deleted, -1 on failure.
    int clean(const QDateTime &cutOff);

    QString fileName() const;

signals:
    void degraded();

private:
    bool fail(const QString &what, const QString &error);

    // Recursive: a slot of degraded() may call the store again.
    mutable std::recursive_mutex mMutex;
    std::unique_ptr<tarvik::Database> mDatabase;
};

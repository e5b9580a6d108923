#include "validator/results/ticketdb.h"

#include "framework/logtag.h"
#include "framework/settings.h"
#include "tarvik/database.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>

namespace {

const manager::LogTag kLog(QStringLiteral("[ticketdb] "));

const QString kCreate = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS barcodetickets (ticketId TEXT, deviceId TEXT, vehicleId TEXT, "
    "routeExecutionId INTEGER, routeId INTEGER, stopId INTEGER, validationTime INTEGER)");
// The clean timer deletes by time and every remote ticket is first looked up by id.
const QString kIndexTime =
    QStringLiteral("CREATE INDEX IF NOT EXISTS barcodetickets_validationTime ON barcodetickets (validationTime)");
const QString kIndexId =
    QStringLiteral("CREATE INDEX IF NOT EXISTS barcodetickets_ticketId ON barcodetickets (ticketId)");
const QString kExists = QStringLiteral("SELECT 1 FROM barcodetickets WHERE ticketId = ? LIMIT 1");
const QString kInsert = QStringLiteral(
    "INSERT INTO barcodetickets (ticketId, deviceId, vehicleId, routeExecutionId, routeId, stopId, validationTime) "
    "VALUES (?, ?, ?, ?, ?, ?, ?)");
const QString kClean = QStringLiteral("DELETE FROM barcodetickets WHERE validationTime <= ?");

} // namespace

TicketDb::TicketDb(QObject *parent)
    : QObject(parent)
{
}

TicketDb::~TicketDb() = default;

bool TicketDb::dbConnect(const QString &name, const QString &driver)
{
    if (driver != QLatin1String("QSQLITE")) {
        kLog.critical(QStringLiteral("ERROR: Unsupported database driver: ") + driver);
        return false;
    }
    QString path = name;
    if (QFileInfo(name).isRelative())
        path = QDir(manager::Settings::instance()->path()).filePath(name);
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    mDatabase = std::make_unique<tarvik::Database>(path, kLog.tag());
    const bool open = mDatabase->database().isOpen();
    if (open)
        kLog.info(QStringLiteral("Connected to ") + path);
    return open;
}

QString TicketDb::fileName() const
{
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    return mDatabase ? mDatabase->path() : QString();
}

bool TicketDb::dbCreate()
{
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    if (!mDatabase)
        return fail(QStringLiteral("create"), QStringLiteral("not connected"));
    for (const QString &sql : {kCreate, kIndexTime, kIndexId}) {
        QSqlQuery query(mDatabase->database());
        if (!query.exec(sql))
            return fail(QStringLiteral("create"), query.lastError().text());
    }
    return true;
}

bool TicketDb::exists(const QString &ticketId)
{
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    if (!mDatabase)
        return fail(QStringLiteral("exists"), QStringLiteral("not connected"));
    QSqlQuery query = mDatabase->prepared(kExists);
    // Kept for the next ticket: reset once read, so that it holds no lock in between.
    const auto reset = qScopeGuard([&query] { query.finish(); });
    query.addBindValue(ticketId);
    if (!query.exec())
        return fail(QStringLiteral("exists"), query.lastError().text());
    return query.next();
}

bool TicketDb::insert(const TicketDbRow &row)
{
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    if (!mDatabase)
        return fail(QStringLiteral("insert"), QStringLiteral("not connected"));
    QSqlQuery query = mDatabase->query(kInsert);
    query.addBindValue(row.ticketId);
    query.addBindValue(row.deviceId);
    query.addBindValue(row.vehicleId);
    query.addBindValue(row.routeExecutionId);
    query.addBindValue(row.routeId);
    query.addBindValue(row.stopId);
    query.addBindValue(row.validationTime);
    if (!query.exec())
        return fail(QStringLiteral("insert"), query.lastError().text());
    return true;
}

int TicketDb::clean(const QDateTime &cutOff)
{
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    if (!mDatabase) {
        fail(QStringLiteral("clean"), QStringLiteral("not connected"));
        return -1;
    }
    QSqlQuery query = mDatabase->query(kClean);
    query.addBindValue(cutOff.toSecsSinceEpoch());
    if (!query.exec()) {
        fail(QStringLiteral("clean"), query.lastError().text());
        return -1;
    }
    return query.numRowsAffected();
}

bool TicketDb::fail(const QString &what, const QString &error)
{
    kLog.critical(QStringLiteral("Could not execute '%1' query: %2").arg(what, error));
    emit degraded();
    return false;
}

#include "tarvik/datamanager.h"

#include "tarvik/connector.h"
#include "tarvik/datafile.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonObject>

#include <limits>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace tarvik {

namespace {
// QTimer counts in int milliseconds: a long period saturates rather than wraps.
int periodMsec(int minutes)
{
    return int(qMin<qint64>(qint64(minutes) * 60000, std::numeric_limits<int>::max()));
}
} // namespace

DataManager::DataManager(Connector &connector, const QString &deviceUuid, const QString &storagePath,
                         Names names, QObject *parent)
    : QObject(parent)
    , mConnector(connector)
    , mNames(std::move(names))
    , mTimer(this)
    , mStoragePath(storagePath)
    , mDeviceUuid(deviceUuid)
{
}

DataManager::~DataManager() = default;

void DataManager::start(int syncPeriodMin)
{
    loadFromFile();
    associate();
    printSummary();
    connectSignals();
    if (syncPeriodMin <= 0)
        return;
    syncWithTarvik();
    mTimer.start(periodMsec(syncPeriodMin));
}

void DataManager::stop()
{
    mTimer.stop();
}

void DataManager::connectSignals()
{
    if (mConnected)
        return;
    mConnected = true;
    connect(&mTimer, &QTimer::timeout, this, &DataManager::syncWithTarvik);
    connect(&mConnector, &Connector::entityDeleted, this, &DataManager::onEntityDeleted);
    connectRecords();
}

void DataManager::syncWithTarvik()
{
    const QDateTime date = lastSyncDate();
    qInfo().noquote().nospace() << mNames.tag
                                << mNames.syncLine.arg(mDeviceUuid, DataFile::formatSyncDate(date));
    if (!mMutex.tryLock()) {
        qWarning().noquote().nospace() << mNames.tag << "WARNING: Syncing not allowed while db is updating.";
        return;
    }
    QDateTime since = date;
    if (anyTableEmpty()) {
        qWarning().noquote().nospace() << mNames.tag << "WARNING: Some data are empty. Performing full sync.";
        since = QDateTime();
    }
    requestData(since);
    mMutex.unlock();
    emit syncStarted();
}

void DataManager::logReceived(const char *label, int count) const
{
    qInfo().noquote().nospace() << mNames.tag << label << count;
}

void DataManager::markDeleted(const QString &entityName, int id)
{
    qWarning().noquote().nospace()
        << mNames.tag << QStringLiteral("WARN: Deleted entity from '%1' with id : %2").arg(entityName).arg(id);
    mChanged = true;
}

void DataManager::onDataSyncEnd(const QDateTime &newSyncDate)
{
    if (!mChanged) {
        setLastSyncDate(newSyncDate);
        emit syncEnded();
        return;
    }
    qWarning().noquote().nospace() << mNames.tag << mNames.changedLine;
    // Only a saved change moves the date on: otherwise the next cycle asks for it again, and
    // the data stay marked changed so that it saves again.
    const bool saved = saveToFile();
    if (saved)
        setLastSyncDate(newSyncDate);
    else
        qWarning().noquote().nospace() << mNames.tag << "WARN: Last Sync Date kept, " << mNames.data
                                       << " will be saved at next sync";
    associate();
    printSummary();
    mChanged = !saved;
    emit dataChanged();
    emit syncEnded();
    releaseFreedMemory();
}

void DataManager::releaseFreedMemory()
{
#ifdef __GLIBC__
    // A changed sync frees far more than it keeps (the reply, its parsed tables, the file's
    // text, the previous snapshot) and glibc keeps freed heap pages for later rather than
    // returning them. Queued: the reply's stack is unwound first.
    QTimer::singleShot(0, this, [] { malloc_trim(0); });
#endif
}

QString DataManager::filePath() const
{
    return QDir(mStoragePath).filePath(mNames.fileName);
}

void DataManager::loadFromFile()
{
    const QString path = filePath();
    qInfo().noquote().nospace() << mNames.tag << "Loading " << mNames.data << " from file : " << path;
    QElapsedTimer timer;
    timer.start();

    QJsonObject root;
    QString error;
    switch (DataFile::read(path, &root, &error)) {
    case DataFile::ReadStatus::NotOpened:
        qWarning().noquote().nospace() << mNames.tag << "WARN: Could not open file : " << path;
        return;
    case DataFile::ReadStatus::Malformed:
        qCritical().noquote().nospace() << mNames.tag << "ERROR: JSON syntax error : " << error;
        return;
    case DataFile::ReadStatus::Ok:
        break;
    }

    QMutexLocker lock(&mMutex);
    readTables(root);
    lock.unlock();

    qInfo().noquote().nospace() << mNames.tag << "Loading completed in : " << timer.elapsed() << " msec(s)";
}

bool DataManager::saveToFile()
{
    const QString path = filePath();
    qInfo().noquote().nospace() << mNames.tag << "Saving " << mNames.data << " to file : " << path;
    QElapsedTimer timer;
    timer.start();

    QMutexLocker lock(&mMutex);
    const QJsonObject root = tablesToJson();
    lock.unlock();

    bool opened = false;
    QString error;
    if (!DataFile::write(path, root, &opened, &error)) {
        if (opened)
            qCritical().noquote().nospace() << mNames.tag << "ERROR: Could not write file : " << path << " ("
                                            << error << ')';
        else
            qCritical().noquote().nospace() << mNames.tag << "ERROR: Could not open file : " << path;
        return false;
    }
    qInfo().noquote().nospace() << mNames.tag << "Saving completed in : " << timer.elapsed() << " msec(s)";
    return true;
}

QDateTime DataManager::lastSyncDate() const
{
    const QString text = DataFile::syncDateText(mStoragePath, mNames.syncDateKey);
    qDebug().noquote().nospace() << mNames.tag << "Last Sync Date is : " << text;
    return DataFile::parseSyncDate(text);
}

void DataManager::setLastSyncDate(const QDateTime &date)
{
    const QString text = DataFile::formatSyncDate(date);
    qInfo().noquote().nospace() << mNames.tag << "Setting Last Sync Date to : " << text;
    if (!DataFile::storeSyncDateText(mStoragePath, mNames.syncDateKey, text))
        qCritical().noquote().nospace() << mNames.tag << "ERROR: Could not write file : "
                                        << QDir(mStoragePath).filePath(QStringLiteral(".sync"));
}

void DataManager::printSummaryLines(const char *title,
                                    std::initializer_list<std::pair<const char *, int>> lines) const
{
    qInfo().noquote().nospace() << mNames.tag << title;
    for (const auto &line : lines)
        qInfo().noquote().nospace() << mNames.tag << line.first << line.second;
    qInfo().noquote().nospace() << mNames.tag << "---------------------------------------------";
}

} // namespace tarvik

#pragma once

#include <QDateTime>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QSharedPointer>
#include <QTimer>

#include <initializer_list>
#include <utility>

class QJsonObject;

namespace tarvik {

class Connector;

// What the route and fare managers share: the sync timer, the data file in the storage
// directory and its last sync date, the merge of the records received and the summary, each
// line under the manager's tag. Runs on the main thread. Emits syncStarted, dataChanged
// (the data changed and were linked anew) and syncEnded.
class DataManager : public QObject
{
    Q_OBJECT
public:
    // The manager's own texts and names.
    struct Names
    {
        const char *tag;         // "[tarvik::RouteManager] "
        const char *data;        // "Route Data", in the load, save and kept-date lines
        QString fileName;        // in the storage directory
        QString syncDateKey;     // in ".sync"
        QString syncLine;        // %1 the device, %2 the last sync date
        const char *changedLine; // written when a sync changed the data
    };

    ~DataManager() override;

    // Loads, links and connects; with a positive period also syncs at once and every period.
    void start(int syncPeriodMin);
    void stop();
    void loadFromFile();
    // False when the file could not be written whole; the previous file is then left as it was.
    bool saveToFile();
    QDateTime lastSyncDate() const;
    void setLastSyncDate(const QDateTime &date);
    virtual void printSummary() const = 0;
    void connectSignals();

public slots:
    void syncWithTarvik();
    virtual void onEntityDeleted(const QString &entityName, int id) = 0;
    // Links fresh copies of the records and publishes them as the new snapshot.
    virtual void associate() = 0;

signals:
    void syncStarted();
    void dataChanged();
    void syncEnded();

protected:
    DataManager(Connector &connector, const QString &deviceUuid, const QString &storagePath, Names names,
                QObject *parent);

    Connector &connector() const { return mConnector; }
    const QString &deviceUuid() const { return mDeviceUuid; }

    // Called with the tables locked.
    virtual void readTables(const QJsonObject &root) = 0;
    virtual QJsonObject tablesToJson() const = 0;
    virtual bool anyTableEmpty() const = 0;
    virtual void requestData(const QDateTime &since) = 0;
    // The connections to the connector's record signals; the base makes the others.
    virtual void connectRecords() = 0;

    template <typename T>
    void receive(QMap<int, QSharedPointer<T>> &map, const QList<QSharedPointer<T>> &list, const char *label)
    {
        logReceived(label, list.size());
        for (const QSharedPointer<T> &record : list) {
            if (record)
                map.insert(record->id(), record);
        }
        mChanged = true;
    }
    // For the tables merged by the caller: it sets the changed mark once merged.
    void logReceived(const char *label, int count) const;
    void setChanged() { mChanged = true; }
    // Logs a removed record and marks the data changed.
    void markDeleted(const QString &entityName, int id);
    void onDataSyncEnd(const QDateTime &newSyncDate);
    void printSummaryLines(const char *title, std::initializer_list<std::pair<const char *, int>> lines) const;

private:
    Q_DISABLE_COPY(DataManager)

    QString filePath() const;
    // Gives the heap pages a large sync left free back to the system.
    void releaseFreedMemory();

    Connector &mConnector;
    Names mNames;
    QTimer mTimer;
    QMutex mMutex;
    QString mStoragePath;
    QString mDeviceUuid;
    bool mChanged = false;
    bool mConnected = false;
};

} // namespace tarvik

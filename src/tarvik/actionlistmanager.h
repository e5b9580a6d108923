#pragma once

#include "tarvik/action.h"
#include "tarvik/actionrecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace tarvik {

class ActionRecordList;
class Connector;
class Database;

// The device's copy of the back-end's action list ("action-list.json"), the pending actions of
// a card for the validators, and the reports of applied actions, one in flight at a time,
// through the record store with its retry schedule. Lives on the main thread; the queries,
// setActionComplete and the reporting may be called from any thread. The file is saved on a
// worker of its own, one save at a time. Emits syncStarted and dataChanged.
class ActionListManager : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ActionListManager)
public:
    using Clock = std::function<QDateTime()>; // the current local date and time

    static const QString FileName;         // "action-list.json"
    static const QString RecordsFileName;  // "actionRecordList.db"
    static constexpr int SendPeriodMs = 60000;
    static constexpr int ReportTimeoutMs = 5000;
    // A report the back-end client never answers (no URL, a lost reply) would otherwise keep
    // reporting stopped until a restart.
    static constexpr int DefaultWatchdogMs = 15000;

    ActionListManager(Connector &connector, const QString &deviceId, const QString &storagePath,
                      QObject *parent = nullptr);
    ~ActionListManager() override;

    // 0 or less: nothing happens.
    void start(int minutes);
    void stop();

    Action::List actions() const;
    int lastActionId() const;
    Action::List actionsByStatus(const QString &status, int counter) const;
    // The card's pending actions in list order, each id once (its latest copy), none
    // "COMPLETED", counters above the card's.
    Action::List actionsByUid(const QString &uid, int counter) const;

    void setActionComplete(ActionRecord::Ptr record);

    // When a report whose answer just came should go again, by its attempts so far.
    QDateTime nextSendDate(const ActionRecord::Ptr &record) const;

    ActionRecordList &records() { return *mRecords; }
    QString filePath() const;
    void setClock(Clock clock);
    void setWatchdogInterval(int ms);
    bool isReportInFlight() const { return mSending.load(); }

    // Handlers of the timers, the back-end client and the file watcher (main thread).
    void syncWithTarvik();
    void processNewList(const Action::List &list);
    void processActionCompleteResponse(int status, const QString &code, const QString &message);
    void checkUnsent();
    void onFileChanged(const QString &path);

signals:
    void syncStarted();
    void dataChanged();

private:
    void onWatchdog();
    void onQuietEnd();

    bool loadFromFile();
    bool saveToFile();
    void scheduleSave();
    void startWatcher();
    void stopWatcher();
    void connectSignals();
    void cleanup();
    void cleanActionRecords();
    void processPending();
    void printSummary();
    void storeUnstored();
    void armWatchdog(quint64 serial);
    ActionRecord::Ptr takeInFlight();
    void settle(const ActionRecord::Ptr &record, int status, const QString &code, const QString &message);
    QDateTime now() const;
    // Keep mByUid in step with mList; the caller holds the list lock.
    void index(const Action::Ptr &action);
    void unindex(const Action::Ptr &action);

    Connector &mConnector;
    Action::List mList;
    QHash<QString, Action::List> mByUid; // every action of each card, in list order
    QSharedPointer<Database> mDatabase;
    std::unique_ptr<ActionRecordList> mRecords;
    ActionRecord::Ptr mInFlight;
    QFileSystemWatcher mWatcher;
    QTimer mSyncTimer;
    QTimer mSendTimer;
    mutable std::mutex mListLock;      // every read and change of the list and its index
    std::atomic<int> mUpdating{0}; // a load, save or clean-up is running: the sync waits a period
    std::atomic<bool> mSending{false};
    std::mutex mFlightLock;            // the record in flight and its serial
    quint64 mFlightSerial = 0;
    quint64 mWatchedSerial = 0;    // main thread only
    QTimer mWatchdog;
    QTimer mQuiet;                 // after a watchdog, a late answer is let through before the next send
    int mWatchdogMs = DefaultWatchdogMs;
    std::mutex mUnstoredLock;
    QList<ActionRecord::Ptr> mUnstored; // records the store refused, inserted again at each check
    std::mutex mSaveLock;              // one save at a time
    std::mutex mKnownLock;
    QByteArray mKnownContent;      // fingerprint of the file as we last wrote or read it
    QThreadPool mSavePool;
    const QString mStoragePath;
    const QString mDeviceId;
    Clock mClock;
    bool mConnected = false;
};

} // namespace tarvik

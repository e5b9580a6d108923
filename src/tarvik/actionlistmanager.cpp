#include "tarvik/actionlistmanager.h"

#include "tarvik/actionrecordlist.h"
#include "tarvik/connector.h"
#include "tarvik/database.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QVarLengthArray>

#include <algorithm>
#include <limits>
#include <mutex>

namespace tarvik {

namespace {

const char Tag[] = "[tarvik::ActionListManager] ";
const QString kDateFormat = QStringLiteral("dd/MM/yyyy hh:mm:ss");
const QString kCompleted = QStringLiteral("COMPLETED");
constexpr int QuietMs = 20000;

QHash<QString, Action::List> byCard(const Action::List &list)
{
    QHash<QString, Action::List> cards;
    for (const Action::Ptr &action : list)
        cards[action->smartCardUuid()].append(action);
    return cards;
}

QByteArray fingerprint(const QByteArray &content)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Sha1);
}

// Marks a load, save or clean-up as running for as long as it lives.
class Updating
{
public:
    explicit Updating(std::atomic<int> &count)
        : mCount(count)
    {
        ++mCount;
    }
    ~Updating() { --mCount; }
    Updating(const Updating &) = delete;
    Updating &operator=(const Updating &) = delete;

private:
    std::atomic<int> &mCount;
};

} // namespace

const QString ActionListManager::FileName = QStringLiteral("action-list.json");
const QString ActionListManager::RecordsFileName = QStringLiteral("actionRecordList.db");

ActionListManager::ActionListManager(Connector &connector, const QString &deviceId, const QString &storagePath,
                                     QObject *parent)
    : QObject(parent)
    , mConnector(connector)
    , mDatabase(QSharedPointer<Database>::create(QDir(storagePath).filePath(RecordsFileName),
                                                 ActionRecordList::LogTag))
    , mRecords(std::make_unique<ActionRecordList>(mDatabase))
    , mStoragePath(storagePath)
    , mDeviceId(deviceId)
{
    mSendTimer.setInterval(SendPeriodMs);
    mWatchdog.setSingleShot(true);
    mQuiet.setSingleShot(true);
    mQuiet.setInterval(QuietMs);
    connect(&mWatchdog, &QTimer::timeout, this, &ActionListManager::onWatchdog);
    connect(&mQuiet, &QTimer::timeout, this, &ActionListManager::onQuietEnd);
    connect(&mWatcher, &QFileSystemWatcher::fileChanged, this, &ActionListManager::onFileChanged);
    // A report may go out before start (a validator's), and its answer must find us listening.
    connect(&mConnector, &Connector::actionCompleteResponseReceived, this,
            &ActionListManager::processActionCompleteResponse);
    mSavePool.setMaxThreadCount(1);
    startWatcher();
}

ActionListManager::~ActionListManager()
{
    // A save still queued uses the list, the locks and the path.
    mSavePool.waitForDone();
}

QString ActionListManager::filePath() const
{
    return QDir(mStoragePath).filePath(FileName);
}

void ActionListManager::setClock(Clock clock)
{
    mClock = clock;
    mRecords->setClock(std::move(clock));
}

void ActionListManager::setWatchdogInterval(int ms)
{
    mWatchdogMs = ms;
    mQuiet.setInterval(ms);
}

QDateTime ActionListManager::now() const
{
    return mClock ? mClock() : QDateTime::currentDateTime();
}

void ActionListManager::start(int minutes)
{
    if (minutes <= 0)
        return;
    loadFromFile();
    printSummary();
    cleanup();
    connectSignals();
    cleanActionRecords();
    checkUnsent();
    syncWithTarvik();
    const qint64 period = qMin<qint64>(qint64(minutes) * 60000, std::numeric_limits<int>::max());
    mSyncTimer.start(int(period));
    mSendTimer.start(SendPeriodMs);
}

void ActionListManager::stop()
{
    mSyncTimer.stop();
    mSendTimer.stop();
}

void ActionListManager::connectSignals()
{
    if (mConnected)
        return;
    mConnected = true;
    connect(&mSyncTimer, &QTimer::timeout, this, &ActionListManager::syncWithTarvik);
    connect(&mSendTimer, &QTimer::timeout, this, &ActionListManager::checkUnsent);
    connect(&mConnector, &Connector::actionListReceived, this, &ActionListManager::processNewList);
}

Action::List ActionListManager::actions() const
{
    std::lock_guard<std::mutex> lock(mListLock);
    return mList;
}

int ActionListManager::lastActionId() const
{
    std::lock_guard<std::mutex> lock(mListLock);
    return mList.isEmpty() ? 0 : mList.last()->id();
}

Action::List ActionListManager::actionsByStatus(const QString &status, int counter) const
{
    Action::List found;
    std::lock_guard<std::mutex> lock(mListLock);
    for (const Action::Ptr &action : mList) {
        if (action->status() == status && action->counter() >= counter)
            found.append(action);
    }
    return found;
}

Action::List ActionListManager::actionsByUid(const QString &uid, int counter) const
{
    // A resent action stands in the list more than once: only its latest copy counts, so it
    // is never applied to a card twice, and not at all once that copy is completed.
    Action::List found;
    QVarLengthArray<int, 16> seen;
    std::lock_guard<std::mutex> lock(mListLock);
    const auto own = mByUid.constFind(uid);
    if (own == mByUid.constEnd())
        return found;
    for (auto it = own->crbegin(); it != own->crend(); ++it) {
        const Action::Ptr &action = *it;
        const int id = action->id();
        if (std::find(seen.cbegin(), seen.cend(), id) != seen.cend())
            continue;
        seen.append(id);
        if (action->counter() > counter && action->status() != kCompleted)
            found.append(action);
    }
    std::reverse(found.begin(), found.end());
    return found;
}

void ActionListManager::index(const Action::Ptr &action)
{
    mByUid[action->smartCardUuid()].append(action);
}

void ActionListManager::unindex(const Action::Ptr &action)
{
    const auto own = mByUid.find(action->smartCardUuid());
    if (own == mByUid.end())
        return;
    own->removeOne(action);
    if (own->isEmpty())
        mByUid.erase(own);
}

void ActionListManager::syncWithTarvik()
{
    const int id = lastActionId();
    qInfo().noquote().nospace() << Tag << QStringLiteral("Syncing Action List with Tarvik : actionId=%1").arg(id);
    if (mUpdating.load() > 0) {
        qWarning().noquote().nospace() << Tag << "WARNING: Syncing not allowed while db is updating.";
        return;
    }
    mConnector.requestActionList(id);
    emit syncStarted();
}

void ActionListManager::processNewList(const Action::List &list)
{
    qInfo().noquote().nospace() << Tag << "New action list received : " << list.size() << " item(s)";
    mSyncTimer.stop();
    {
        std::lock_guard<std::mutex> lock(mListLock);
        for (const Action::Ptr &action : list) {
            if (!action)
                continue;
            mList.append(action);
            index(action);
        }
    }
    printSummary();
    cleanup();
    emit dataChanged();
    if (mSyncTimer.interval() > 0)
        mSyncTimer.start();
    scheduleSave();
}

void ActionListManager::cleanup()
{
    const int last = lastActionId();
    qInfo().noquote().nospace() << Tag << QStringLiteral("Cleaning up Action List (lastActionId=%1)").arg(last);
    Updating updating(mUpdating);
    QElapsedTimer timer;
    timer.start();
    int removed = 0;
    {
        std::lock_guard<std::mutex> lock(mListLock);
        Action::List completed;
        for (const Action::Ptr &action : qAsConst(mList)) {
            if (action->status() == kCompleted)
                completed.append(action);
        }
        for (const Action::Ptr &done : qAsConst(completed)) {
            // Only actions of the same card are superseded: its own, in list order.
            const Action::List own = mByUid.value(done->smartCardUuid());
            for (const Action::Ptr &action : own) {
                if (action->accountToken() != done->accountToken() || action->id() > done->id() || action->id() >= last)
                    continue;
                const int at = mList.indexOf(action); // one object held twice: both lists lose the first place
                if (at < 0)
                    continue;
                qInfo().noquote().nospace()
                    << Tag << "Deleting action : id=" << action->id() << ", uid=" << action->smartCardUuid()
                    << ", token=" << action->accountToken() << ", status=" << action->status()
                    << ", actionDate=" << action->actionDate().toString(kDateFormat)
                    << ", completedActionId=" << done->id()
                    << ", completedDate=" << done->actionDate().toString(kDateFormat);
                mList.removeAt(at);
                unindex(action);
                ++removed;
            }
        }
    }
    qInfo().noquote().nospace() << Tag << "Operation completed in " << timer.elapsed() << " msec(s). Deleted "
                                << removed << " action(s)";
}

void ActionListManager::printSummary()
{
    const int unassigned = actionsByStatus(QStringLiteral("UNASSIGNED"), 0).size();
    const int completed = actionsByStatus(kCompleted, 0).size();
    const int replaced = actionsByStatus(QStringLiteral("REPLACED"), 0).size();
    const int total = actions().size();
    qInfo().noquote().nospace() << Tag << "--- ACTION LIST SUMMARY ---------------------";
    qInfo().noquote().nospace() << Tag << "Unassigned : " << unassigned;
    qInfo().noquote().nospace() << Tag << "Completed  : " << completed;
    qInfo().noquote().nospace() << Tag << "Replaced   : " << replaced;
    qInfo().noquote().nospace() << Tag << "Total      : " << total;
    qInfo().noquote().nospace() << Tag << "---------------------------------------------";
}

bool ActionListManager::loadFromFile()
{
    Updating updating(mUpdating);
    const QString path = filePath();
    qInfo().noquote().nospace() << Tag << "Loading Action List Data from file : " << path;
    QElapsedTimer timer;
    timer.start();
    QFile file(path);
    QByteArray content;
    if (file.open(QIODevice::ReadOnly))
        content = file.readAll();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    if (error.error != QJsonParseError::NoError) {
        qCritical().noquote().nospace() << Tag << "ERROR: JSON syntax error : " << error.errorString();
        return false;
    }
    Action::List list;
    const QJsonArray array = document.array();
    list.reserve(array.size());
    for (const QJsonValue &value : array)
        list.append(Action::fromJson(value.toObject()));
    QHash<QString, Action::List> cards = byCard(list); // built outside the lock, so taps are not held up
    {
        std::lock_guard<std::mutex> lock(mListLock);
        mList = list;
        mByUid.swap(cards);
    }
    {
        std::lock_guard<std::mutex> lock(mKnownLock);
        mKnownContent = fingerprint(content);
    }
    qInfo().noquote().nospace() << Tag << "Loading completed in : " << timer.elapsed() << " msec(s)";
    return true;
}

void ActionListManager::scheduleSave()
{
    mSavePool.start([this] { saveToFile(); });
}

bool ActionListManager::saveToFile()
{
    Updating updating(mUpdating);
    std::lock_guard<std::mutex> saving(mSaveLock);
    const QString path = filePath();
    qInfo().noquote().nospace() << Tag << "Saving Action List Data to file : " << path;
    QElapsedTimer timer;
    timer.start();
    QJsonArray array;
    {
        std::lock_guard<std::mutex> lock(mListLock);
        for (const Action::Ptr &action : qAsConst(mList))
            array.append(action->toJson());
    }
    const QByteArray content = QJsonDocument(array).toJson(QJsonDocument::Indented);
    // Known before the rename, so that the watcher's notice of our own write is recognised.
    QByteArray previous = fingerprint(content);
    {
        std::lock_guard<std::mutex> lock(mKnownLock);
        mKnownContent.swap(previous);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        {
            std::lock_guard<std::mutex> lock(mKnownLock);
            mKnownContent = previous;
        }
        qCritical().noquote().nospace() << Tag << "ERROR: Could not save Action List to file : " << path << " : "
                                        << file.errorString();
        return false;
    }
    // The rename ends the watch on the old file; the watcher belongs to our own thread.
    QMetaObject::invokeMethod(this, [this] { startWatcher(); }, Qt::AutoConnection);
    qInfo().noquote().nospace() << Tag << "Saving completed in : " << timer.elapsed() << " msec(s)";
    return true;
}

void ActionListManager::startWatcher()
{
    stopWatcher();
    const QString path = filePath();
    if (QFile::exists(path))
        mWatcher.addPath(path);
}

void ActionListManager::stopWatcher()
{
    const QStringList files = mWatcher.files();
    if (!files.isEmpty())
        mWatcher.removePaths(files);
}

void ActionListManager::onFileChanged(const QString &path)
{
    QByteArray content;
    QFile file(path);
    const bool readable = file.open(QIODevice::ReadOnly);
    if (readable)
        content = file.readAll();
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(mKnownLock);
        known = readable && fingerprint(content) == mKnownContent;
    }
    startWatcher();
    if (known)
        return;
    qWarning().noquote().nospace() << Tag << "WARN: Action List file changed : " << path;
    loadFromFile();
    printSummary();
}

void ActionListManager::cleanActionRecords()
{
    const QDateTime cutOff = now().addMonths(-6);
    qInfo().noquote().nospace() << Tag << "Cleaning up Action Record list, deleting sent entries before : "
                                << cutOff.toString(kDateFormat);
    QElapsedTimer timer;
    timer.start();
    const int deleted = mRecords->cleanup(cutOff);
    qInfo().noquote().nospace() << Tag << "Operation completed in " << timer.elapsed() << " msec(s). Deleted "
                                << deleted << " row(s)";
}

void ActionListManager::setActionComplete(ActionRecord::Ptr record)
{
    if (!record) {
        qWarning().noquote().nospace() << Tag << "WARN: No Action Record to store";
        return;
    }
    if (!mRecords->add(record)) {
        // The action is on the card already: its report must not be lost.
        // One record per line: the dump escapes each line on its own, so no value begins a record.
        qCritical().noquote().nospace() << Tag << "ERROR: Could not store Action Record, retrying at next check :";
        for (const QString &line : record->toString().split(QLatin1Char('\n')))
            qCritical().noquote().nospace() << Tag << line;
        std::lock_guard<std::mutex> lock(mUnstoredLock);
        mUnstored.append(record);
    }
    processPending();
}

void ActionListManager::storeUnstored()
{
    QList<ActionRecord::Ptr> waiting;
    {
        std::lock_guard<std::mutex> lock(mUnstoredLock);
        waiting.swap(mUnstored);
    }
    QList<ActionRecord::Ptr> kept;
    for (const ActionRecord::Ptr &record : qAsConst(waiting)) {
        if (mRecords->add(record))
            continue;
        qCritical().noquote().nospace() << Tag << "ERROR: Could not store Action Record, retrying at next check : "
                                        << QStringLiteral("cardUid=%1, counter=%2, actionDate=%3")
                                               .arg(record->smartCardUid())
                                               .arg(record->counter())
                                               .arg(record->actionDate().toString(kDateFormat));
        kept.append(record);
    }
    if (kept.isEmpty())
        return;
    std::lock_guard<std::mutex> lock(mUnstoredLock);
    mUnstored = kept + mUnstored;
}

void ActionListManager::checkUnsent()
{
    storeUnstored();
    qInfo().noquote().nospace() << Tag << "Checking for pending Action Records";
    const int ok = mRecords->successfull().size();
    const int failed = mRecords->failed().size();
    const int pending = mRecords->pending().size();
    const int total = mRecords->size();
    qInfo().noquote().nospace() << Tag << "--- COMPLETED ACTION RECORD SUMMARY ---------";
    qInfo().noquote().nospace() << Tag << "Sent OK    : " << ok;
    qInfo().noquote().nospace() << Tag << "Failed     : " << failed;
    qInfo().noquote().nospace() << Tag << "Pending    : " << pending;
    qInfo().noquote().nospace() << Tag << "Total      : " << total;
    qInfo().noquote().nospace() << Tag << "---------------------------------------------";
    if (failed > 0)
        qWarning().noquote().nospace() << Tag << "WARN: There are Action Records in the database that FAILED to be sent";
    processPending();
}

void ActionListManager::processPending()
{
    const ActionRecordList::List due = mRecords->dueForSend();
    qInfo().noquote().nospace() << Tag << "Action Records due for send : " << due.size();
    if (due.isEmpty())
        return;
    bool idle = false;
    if (!mSending.compare_exchange_strong(idle, true))
        return;
    const ActionRecord::Ptr record = due.last();
    // Logged before counting: the block shows the attempts made so far. Counted before the
    // record is published, so an answer handled on the main thread reads the final count.
    qInfo().noquote().nospace() << Tag << "Sending Action Record (remaining=" << due.size() - 1 << ") :";
    if (QLoggingCategory::defaultCategory()->isInfoEnabled()) {
        for (const QString &line : record->toString().split(QLatin1Char('\n')))
            qInfo().noquote().nospace() << Tag << line;
    }
    record->incSendAttempts(1);
    quint64 serial = 0;
    {
        std::lock_guard<std::mutex> lock(mFlightLock);
        mInFlight = record;
        serial = ++mFlightSerial;
    }
    // Armed before the request goes: its answer is handled on our thread, after this.
    QMetaObject::invokeMethod(this, [this, serial] { armWatchdog(serial); }, Qt::AutoConnection);
    const int previous = mConnector.timeout();
    mConnector.setTimeout(ReportTimeoutMs);
    mConnector.requestActionComplete(record->toJson());
    mConnector.setTimeout(previous);
}

void ActionListManager::armWatchdog(quint64 serial)
{
    {
        std::lock_guard<std::mutex> lock(mFlightLock);
        if (!mInFlight || mFlightSerial != serial)
            return; // answered already
    }
    mWatchedSerial = serial;
    mQuiet.stop();
    if (mWatchdogMs > 0)
        mWatchdog.start(mWatchdogMs);
}

ActionRecord::Ptr ActionListManager::takeInFlight()
{
    std::lock_guard<std::mutex> lock(mFlightLock);
    ActionRecord::Ptr record;
    record.swap(mInFlight);
    return record;
}

void ActionListManager::onWatchdog()
{
    ActionRecord::Ptr record;
    {
        std::lock_guard<std::mutex> lock(mFlightLock);
        if (mFlightSerial == mWatchedSerial)
            record.swap(mInFlight);
    }
    if (!record)
        return;
    qCritical().noquote().nospace() << Tag << "ERROR: No answer to Action Record report within " << mWatchdogMs
                                    << " msec(s)";
    settle(record, 0, QString(), QString());
    // The send lock stays held a while: a late answer must not be taken for the next record's.
    mQuiet.start();
}

void ActionListManager::onQuietEnd()
{
    mSending.store(false);
    processPending();
}

void ActionListManager::processActionCompleteResponse(int status, const QString &code, const QString &message)
{
    // Taken and cleared before the send lock opens, so the next report cannot be answered
    // with this one's result.
    const ActionRecord::Ptr record = takeInFlight();
    mWatchdog.stop();
    mQuiet.stop();
    mSending.store(false);
    if (!record) {
        qWarning().noquote().nospace() << Tag << "WARN: Action complete response received, but there is no pending record";
        return;
    }
    settle(record, status, code, message);
    processPending();
}

void ActionListManager::settle(const ActionRecord::Ptr &record, int status, const QString &code,
                               const QString &message)
{
    const int actionId = record->action() ? record->action()->id() : 0;
    qInfo().noquote().nospace() << Tag
                                << QStringLiteral("Action Record response received for action : id=%1, cardUid=%2")
                                       .arg(actionId)
                                       .arg(record->smartCardUid());
    const QString result = QStringLiteral("Result is : status=%1, code=%2, message=%3").arg(status).arg(code, message);
    if (status == 200) {
        qInfo().noquote().nospace() << Tag << result;
        mRecords->markAsOk(record, status);
        return;
    }
    const QDateTime next = nextSendDate(record);
    if (status != 0)
        qCritical().noquote().nospace() << Tag << "ERROR: " << result;
    else
        qCritical().noquote().nospace() << Tag << "ERROR: Action Record response timeout";
    qInfo().noquote().nospace() << Tag
                                << QStringLiteral("Scheduling re-transmit at : %1 (attempt=%2)")
                                       .arg(next.toString(kDateFormat))
                                       .arg(record->sendAttempts());
    if (status != 0)
        mRecords->markAsError(record, status, code, message, next);
    else
        mRecords->markAsError(record, 0, QStringLiteral("TIMEOUT"), QStringLiteral("No response received"), next);
}

QDateTime ActionListManager::nextSendDate(const ActionRecord::Ptr &record) const
{
    const int attempts = record ? record->sendAttempts() : 0;
    const QDateTime from = now();
    if (attempts < 4)
        return from.addSecs(60);
    if (attempts <= 6)
        return from.addSecs(900);
    if (attempts <= 9)
        return from.addSecs(3600);
    if (attempts <= 15)
        return from.addSecs(21600);
    return QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::LocalTime);
}

} // namespace tarvik

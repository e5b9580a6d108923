// The back-end link and the local stores: the half of DBManagerPrivate that keeps the
// tarvik data, the customers and the device parameters.
#include "db/dbmanager_p.h"

#include "db/customerdb.h"
#include "db/deviceparamsdb.h"
#include "framework/configuration.h"
#include "framework/logtag.h"
#include "framework/serialnumber.h"
#include "tarvik/actionlistmanager.h"
#include "tarvik/faremanager.h"
#include "tarvik/routemanager.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QThreadPool>

#include <limits>

namespace {

const manager::LogTag kLog(QStringLiteral("[DBManager] "));

// Counted from the call of initAfcConnection: the managers load their files and sync one
// after the other rather than all at once while the device starts.
const int kRouteStartDelayMs = 1000;
const int kFareStartDelayMs = 2000;
const int kActionListStartDelayMs = 3000;

const QString kHideNameParam = QStringLiteral("CARD_VALIDATION_HIDE_NAME");

QString duration(const QElapsedTimer &timer)
{
    return QStringLiteral("Operation completed in %1 msec(s)").arg(timer.elapsed());
}

// The device parameters' booleans: empty, "0" and "false" in any case are false.
bool isTrue(const QString &value)
{
    return !value.isEmpty() && value != QLatin1String("0") && value.compare(QLatin1String("false"), Qt::CaseInsensitive) != 0;
}

// One "*" per character, not per UTF-16 unit.
QString masked(const QString &name)
{
    return QString(name.toUcs4().size(), QLatin1Char('*'));
}

} // namespace

// The managers are Qt children, which would go only after the members they hold a reference
// to (the back-end client): they go first.
DBManagerPrivate::~DBManagerPrivate()
{
    delete mActionListManager.exchange(nullptr);
    delete mFareManager.exchange(nullptr);
    delete mRouteManager.exchange(nullptr);
}

QUrl DBManagerPrivate::backendUrl() const
{
    std::lock_guard<std::mutex> locker(mConfigMutex);
    QString url = mConfig->get(QStringLiteral("tarvik/url")).toString();
    if (url.isEmpty())
        url = mLearntUrl;
    return QUrl(url, QUrl::TolerantMode);
}

QSharedPointer<CustomerDB> DBManagerPrivate::customers() const
{
    std::lock_guard<std::mutex> locker(mStoresMutex);
    return mCustomerDb;
}

QSharedPointer<DeviceParamsDB> DBManagerPrivate::deviceParams() const
{
    std::lock_guard<std::mutex> locker(mStoresMutex);
    return mDeviceParamsDb;
}

void DBManagerPrivate::initialize()
{
    if (!setting(QStringLiteral("tarvik/enabled")).toBool())
        return;
    initDatabase();
    initAfcConnection();
    syncDatabase();
}

// A URL learnt from the database service starts what start-up could not. Its first
// device-parameter sync is the timer's; a device without that timer syncs once now.
void DBManagerPrivate::startBackendLink()
{
    initAfcConnection();
    initDatabase();
    if (!mDeviceParamSyncTimer.isActive())
        syncDatabase();
}

// Every level of the URL's path becomes a directory below the root; "." and ".." (also
// percent-encoded, or hidden in an encoded "/") are dropped so that the path stays below it.
QString DBManagerPrivate::storagePath(const QUrl &url) const
{
    QStringList levels;
    const QStringList decoded = url.path(QUrl::FullyDecoded).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &level : decoded) {
        if (level != QLatin1String(".") && level != QLatin1String(".."))
            levels << level;
    }
    const QString root = setting(QStringLiteral("tarvik/storagePath")).toString();
    const QString host = url.host(QUrl::FullyDecoded).replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString joined = QStringLiteral("%1/%2/%3").arg(root, host, levels.join(QLatin1Char('/')));
    const QString path = QDir::cleanPath(QFileInfo(joined).absoluteFilePath());

    if (!QFileInfo::exists(path)) {
        kLog.warning(QStringLiteral("WARN: Storage path does not exist. Creating : ") + path);
        if (!QDir().mkpath(path))
            kLog.critical(QStringLiteral("ERROR: Could not create storage path : ") + path);
    }
    return path;
}

// A period of 0 or less would make QTimer fire at every turn of the event loop.
void DBManagerPrivate::startPeriodically(QTimer &timer, const QString &minutesKey)
{
    const QVariant value = setting(minutesKey);
    const qint64 minutes = value.toLongLong();
    if (minutes <= 0) {
        kLog.warning(QStringLiteral("WARN: Setting %1 is not a positive number of minutes : %2. Not repeated.")
                       .arg(minutesKey, value.toString()));
        return;
    }
    timer.start(int(qMin<qint64>(minutes * 60000, std::numeric_limits<int>::max())));
}

void DBManagerPrivate::initDatabase()
{
    const QUrl url = backendUrl();
    if (url.isEmpty() || mDatabaseReady)
        return;
    mDatabaseReady = true;
    const QDir directory(storagePath(url));

    const auto params = QSharedPointer<DeviceParamsDB>::create(directory.filePath(QStringLiteral("deviceParams.sqlite")));
    connect(params.data(), &DeviceParamsDB::changed, this, &DBManagerPrivate::onDeviceParamChanged);
    connect(params.data(), &DeviceParamsDB::removed, this, &DBManagerPrivate::onDeviceParamRemoved);
    {
        std::lock_guard<std::mutex> locker(mStoresMutex);
        mDeviceParamsDb = params;
    }
    connect(&mDeviceParamSyncTimer, &QTimer::timeout, this, &DBManagerPrivate::syncDatabase);
    startPeriodically(mDeviceParamSyncTimer, QStringLiteral("tarvik/deviceParamSyncMin"));

    const auto customerStore = QSharedPointer<CustomerDB>::create(directory.filePath(QStringLiteral("customers.sqlite")));
    {
        std::lock_guard<std::mutex> locker(mStoresMutex);
        mCustomerDb = customerStore;
    }
    connect(&mCleanupTimer, &QTimer::timeout, this, &DBManagerPrivate::cleanupDatabase);
    startPeriodically(mCleanupTimer, QStringLiteral("tarvik/dbCleanupMins"));
    cleanupDatabase();
}

void DBManagerPrivate::initAfcConnection()
{
    const QUrl url = backendUrl();
    if (url.isEmpty())
        return;
    // The managers and their connections to the back-end client are made once; a second
    // set-up would cut them and leave the first managers without data.
    if (mAfcConnectionReady)
        return;
    mAfcConnectionReady = true;

    const QString path = storagePath(url);
    mConnector.setUrl(url);
    mConnector.setStoragePath(path);
    mConnector.setTimeout(setting(QStringLiteral("tarvik/reqTimeoutMsec")).toInt());
    mConnector.setApiKey(setting(QStringLiteral("tarvik/apiKey")).toString());
    mConnector.setIgnoreSslErrors(setting(QStringLiteral("tarvik/ignoreSslErrors")).toBool());
    mCustomerRequests.setRetryMs(setting(QStringLiteral("tarvik/unknownCardRetryMin")).toLongLong() * 60000);

    // Direct: the stores are written on the thread that parsed the reply (the client's own).
    disconnect(&mConnector, nullptr, this, nullptr);
    connect(&mConnector, &tarvik::Connector::customerInfoReceived, this, &DBManagerPrivate::onCustomerInfoReceived,
            Qt::DirectConnection);
    connect(&mConnector, &tarvik::Connector::customerRequestEnded, this,
            [this](const QJsonObject &request, int customers) { mCustomerRequests.end(CustomerRequests::key(request), customers); },
            Qt::DirectConnection);
    connect(&mConnector, &tarvik::Connector::deviceParamDeleted, this, &DBManagerPrivate::onDeviceParamDeleted,
            Qt::DirectConnection);
    connect(&mConnector, &tarvik::Connector::deviceParamsReceived, this, &DBManagerPrivate::onDeviceParamsReceived,
            Qt::DirectConnection);

    const QString serialNumber = QString::fromStdString(getSerialNumber());

    auto *routes = new tarvik::RouteManager(mConnector, serialNumber, path, this);
    mRouteManager.store(routes);
    const int routeMinutes = setting(QStringLiteral("tarvik/routeDataSyncMin")).toInt();
    QTimer::singleShot(kRouteStartDelayMs, routes, [routes, routeMinutes] { routes->start(routeMinutes); });

    auto *fares = new tarvik::FareManager(mConnector, *routes, serialNumber, path, this);
    mFareManager.store(fares);
    const int fareMinutes = setting(QStringLiteral("tarvik/fareDataSyncMin")).toInt();
    QTimer::singleShot(kFareStartDelayMs, fares, [fares, fareMinutes] { fares->start(fareMinutes); });

    auto *actions = new tarvik::ActionListManager(mConnector, serialNumber, path, this);
    mActionListManager.store(actions);
    const int actionMinutes = setting(QStringLiteral("tarvik/actionListSyncMin")).toInt();
    QTimer::singleShot(kActionListStartDelayMs, actions, [actions, actionMinutes] { actions->start(actionMinutes); });
}

void DBManagerPrivate::syncDatabase()
{
    const QSharedPointer<DeviceParamsDB> store = deviceParams();
    if (!store)
        return;
    const QString serialNumber = QString::fromStdString(getSerialNumber());
    if (serialNumber.isEmpty()) {
        kLog.critical(QStringLiteral("ERROR: Cannot sync database : No device serial number (/etc/serialnumber)"));
        return;
    }
    bool incremental = true;
    if (store->findAll().isEmpty()) {
        kLog.warning(QStringLiteral("WARN: Device Parameter Database is empty. Performing full sync with Tarvik."));
        incremental = false;
    } else if (mFullParamSyncNeeded) {
        kLog.warning(QStringLiteral("WARN: Device Parameters of an earlier sync were not stored. Performing full sync with Tarvik."));
        incremental = false;
    }
    kLog.info(QStringLiteral("Syncing device parameters with Tarvik."));
    mParamSyncRequestedFull = !incremental;
    mParamSyncFailed = false;
    mConnector.requestDeviceParams(serialNumber, incremental);
}

void DBManagerPrivate::cleanupDatabase()
{
    const QSharedPointer<CustomerDB> store = customers();
    if (!store)
        return;
    const int days = setting(QStringLiteral("tarvik/dbKeepDays")).toInt();
    const QDateTime limit = QDateTime::currentDateTime().addDays(-days);
    kLog.info(QStringLiteral("Cleaning database customer entries older than %1 day(s) : %2")
                .arg(QString::number(days), limit.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss"))));
    const int deleted = store->clean(limit);
    kLog.info(QStringLiteral("Deleted %1 entry(s)").arg(deleted));
}

tarvik::Customer::Ptr DBManagerPrivate::findCustomer(int id)
{
    const QSharedPointer<CustomerDB> store = customers();
    if (!store)
        return {};
    kLog.info([id] { return QStringLiteral("Looking up customer with id : %1").arg(id); });
    QElapsedTimer timer;
    timer.start();
    const tarvik::Customer::Ptr customer = store->find(id);
    if (!customer) {
        kLog.info(QStringLiteral("Result : not found"));
        return {};
    }
    kLog.info([&customer] {
        return QStringLiteral("Result : %1 / %2 / %3")
            .arg(QString::number(customer->id()), customer->uuid(), customer->type());
    });
    kLog.info([&timer] { return duration(timer); });

    // The caller does not wait for the write; the task keeps the store alive on its own.
    QThreadPool::globalInstance()->start([store, id] {
        const QDateTime now = QDateTime::currentDateTime();
        kLog.info([&now] { return QStringLiteral("Updating last access time to : ") + now.toString(); });
        QElapsedTimer update;
        update.start();
        store->updateLastAccessTime(id, now);
        kLog.info([&update] { return QStringLiteral("Update completed in %1 msec(s)").arg(update.elapsed()); });
    });

    const tarvik::KeyValue::Ptr hide = findDeviceParam(kHideNameParam);
    if (hide && isTrue(hide->value())) {
        kLog.info(QStringLiteral("Hiding customer name due to Tarvik configuration"));
        customer->setFirstname(masked(customer->firstname()));
        customer->setLastname(masked(customer->lastname()));
    }
    return customer;
}

bool DBManagerPrivate::isCustomerMissing(const tarvik::Customer::Ptr &customer) const
{
    if (!customer) {
        kLog.info(QStringLiteral("Customer not found in database. Fetching online."));
        return true;
    }
    if (customer->image().isEmpty()) {
        kLog.info(QStringLiteral("Customer image is empty. Fetching online."));
        return true;
    }
    if (!QFileInfo::exists(customer->image())) {
        kLog.info(QStringLiteral("Customer image does not exist locally. Fetching online."));
        return true;
    }
    return false;
}

void DBManagerPrivate::prefetchCustomer(int id)
{
    const QSharedPointer<CustomerDB> store = customers();
    if (!store)
        return;
    kLog.info([id] { return QStringLiteral("Prefetching customer with id : %1").arg(id); });
    if (isCustomerMissing(store->find(id)) && mayRequestCustomer(CustomerRequests::key(id)))
        mConnector.requestCustomerInfo(id);
}

void DBManagerPrivate::prefetchCustomer(const QString &cardId)
{
    const QSharedPointer<CustomerDB> store = customers();
    if (!store || cardId.isEmpty())
        return;
    kLog.info([&cardId] { return QStringLiteral("Prefetching customer assigned to cardId : ") + cardId; });
    if (isCustomerMissing(store->find(cardId)) && mayRequestCustomer(CustomerRequests::key(cardId)))
        mConnector.requestCustomerInfo(cardId);
}

// A prefetch only saves a look-up later and the tap never waits for it: rather than queue
// requests behind a slow back-end, one per card at a time and a bounded number in all.
bool DBManagerPrivate::mayRequestCustomer(const QString &key)
{
    switch (mCustomerRequests.begin(key)) {
    case CustomerRequests::Send:
        return true;
    case CustomerRequests::InFlight:
        kLog.info([&key] { return QStringLiteral("Customer request already in flight : ") + key; });
        break;
    case CustomerRequests::RecentlyUnknown:
        kLog.info([&key] { return QStringLiteral("Customer recently unknown to Tarvik. Not fetching : ") + key; });
        break;
    case CustomerRequests::Full:
        kLog.warning([&key] {
            return QStringLiteral("WARN: %1 customer requests in flight. Dropping prefetch : %2")
                .arg(CustomerRequests::Capacity)
                .arg(key);
        });
        break;
    }
    return false;
}

tarvik::KeyValue::Ptr DBManagerPrivate::findDeviceParam(const QString &key)
{
    const QSharedPointer<DeviceParamsDB> store = deviceParams();
    if (!store)
        return {};
    kLog.info([&key] { return QStringLiteral("Looking up device parameter with key : ") + key; });
    QElapsedTimer timer;
    timer.start();
    const tarvik::KeyValue::Ptr param = store->find(key);
    if (!param) {
        kLog.info(QStringLiteral("Result : not found"));
        return {};
    }
    kLog.info([&param] { return QStringLiteral("Result : ") + param->toString(); });
    kLog.info([&timer] { return duration(timer); });
    return param;
}

void DBManagerPrivate::sendDeviceManagementInfo(const QJsonObject &report)
{
    mConnector.requestObuMgmtSave(report);
}

void DBManagerPrivate::onCustomerInfoReceived(const tarvik::Customer::Ptr &customer)
{
    const QSharedPointer<CustomerDB> store = customers();
    if (!store || !customer)
        return;
    // One record per line: the dump escapes each line on its own, so no value begins a record.
    kLog.info(QStringLiteral("Customer info received, updating database :"));
    if (kLog.isInfoEnabled()) {
        for (const QString &line : customer->toString().split(QLatin1Char('\n')))
            kLog.info(line);
    }
    QElapsedTimer timer;
    timer.start();
    store->insert(customer);
    kLog.info([&timer] { return duration(timer); });
}

void DBManagerPrivate::onDeviceParamsReceived(const tarvik::KeyValue::List &params)
{
    const QSharedPointer<DeviceParamsDB> store = deviceParams();
    if (!store)
        return;
    kLog.info(QStringLiteral("Received Device Parameters from Tarvik : %1 item(s)").arg(params.size()));
    store->insertList(params);

    // The store keeps the last of a key: only that one must have arrived.
    QHash<QString, tarvik::KeyValue::Ptr> last;
    for (const tarvik::KeyValue::Ptr &param : params) {
        if (param)
            last.insert(param->key(), param);
    }
    int lost = 0;
    for (const tarvik::KeyValue::Ptr &param : qAsConst(last)) {
        const tarvik::KeyValue::Ptr kept = store->find(param->key());
        if (!kept || !kept->matches(param))
            ++lost;
    }
    if (lost > 0)
        deviceParamSyncFailed(QStringLiteral("%1 of %2 Device Parameter(s) not stored").arg(lost).arg(last.size()));
    else if (mParamSyncRequestedFull && !mParamSyncFailed)
        mFullParamSyncNeeded = false;
}

void DBManagerPrivate::onDeviceParamDeleted(int id, int carrierId)
{
    const QSharedPointer<DeviceParamsDB> store = deviceParams();
    if (!store)
        return;
    kLog.info(QStringLiteral("Received Device Parameter deletion (carrierId=%1) : %2").arg(carrierId).arg(id));
    store->remove(id);
    if (store->find(id))
        deviceParamSyncFailed(QStringLiteral("Device Parameter %1 not removed").arg(id));
}

void DBManagerPrivate::deviceParamSyncFailed(const QString &reason)
{
    kLog.critical(QStringLiteral("ERROR: ") + reason + QStringLiteral(". Next sync is a full one."));
    mFullParamSyncNeeded = true;
    mParamSyncFailed = true;
}

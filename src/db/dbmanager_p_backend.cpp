// The back-end link and the local stores: the half of DBManagerPrivate that keeps the
// tarvik data, the customers and the device parameters.
#include "db/dbmanager_p.h"

#include "framework/configuration.h"
#include "framework/serialnumber.h"
#include "tarvik/faremanager.h"
#include "tarvik/routemanager.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>

#include <limits>

namespace {

const QString kTag = QStringLiteral("[DBManager] ");

// From the call of initAfcConnection: the managers' files are read one after the other, not
// all at once while the device starts.
const int kRouteStartDelayMs = 1000;
const int kFareStartDelayMs = 2000;

void logWarning(const QString &text)
{
    qWarning().noquote() << kTag + text;
}

void logCritical(const QString &text)
{
    qCritical().noquote() << kTag + text;
}

} // namespace

// The managers are Qt children, which would go only after the members they hold a reference
// to (the back-end client): they go first.
DBManagerPrivate::~DBManagerPrivate()
{
    delete mFareManager.exchange(nullptr);
    delete mRouteManager.exchange(nullptr);
}

QUrl DBManagerPrivate::backendUrl() const
{
    QMutexLocker locker(&mConfigMutex);
    QString url = mConfig->get(QStringLiteral("tarvik/url")).toString();
    if (url.isEmpty())
        url = mLearntUrl;
    return QUrl(url, QUrl::TolerantMode);
}

void DBManagerPrivate::initialize()
{
    if (!setting(QStringLiteral("tarvik/enabled")).toBool())
        return;
    initAfcConnection();
}

// A URL learnt from the database service starts what start-up could not.
void DBManagerPrivate::startBackendLink()
{
    initAfcConnection();
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
        logWarning(QStringLiteral("WARN: Storage path does not exist. Creating : ") + path);
        if (!QDir().mkpath(path))
            logCritical(QStringLiteral("ERROR: Could not create storage path : ") + path);
    }
    return path;
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

    const QString serialNumber = QString::fromStdString(getSerialNumber());

    auto *routes = new tarvik::RouteManager(mConnector, serialNumber, path, this);
    mRouteManager.store(routes);
    const int routeMinutes = setting(QStringLiteral("tarvik/routeDataSyncMin")).toInt();
    QTimer::singleShot(kRouteStartDelayMs, routes, [routes, routeMinutes] { routes->start(routeMinutes); });

    auto *fares = new tarvik::FareManager(mConnector, *routes, serialNumber, path, this);
    mFareManager.store(fares);
    const int fareMinutes = setting(QStringLiteral("tarvik/fareDataSyncMin")).toInt();
    QTimer::singleShot(kFareStartDelayMs, fares, [fares, fareMinutes] { fares->start(fareMinutes); });
}

void DBManagerPrivate::sendDeviceManagementInfo(const QJsonObject &report)
{
    mConnector.requestObuMgmtSave(report);
}

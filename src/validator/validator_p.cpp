#include "validator/validator_p.h"

#include "db/dbmanager.h"
#include "db/scblacklistentry.h"
#include "framework/logtag.h"
#include "qr/qrmanager.h"
#include "qr/qrvalidator.h"
#include "qr/qrvalidatorfactory.h"
#include "rfid/rfidmanager.h"
#include "tickets/qrticket.h"
#include "validator/results/rfidvalidator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <exception>
#include <limits>

namespace {
const manager::LogTag kLog(QStringLiteral("[validator] "));

constexpr qint64 kMinuteMs = 60000;

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}
} // namespace

ValidatorPrivate::ValidatorPrivate(manager::MqttClient *client, DBManager &db, std::shared_ptr<Basket> basket,
                                   QObject *parent)
    : QObject(parent)
    , mDb(db)
    , mQrManager(std::make_unique<QRManager>(client, nullptr))
    , mRfidManager(std::make_unique<RfidManager>(client, nullptr))
    , mQrValidatorFactory(std::make_unique<QrValidatorFactory>())
    , mBasket(basket)
    , mTransactionBasket(basket)
{
    mStatus = {
        {QStringLiteral("qr"), false},
        {QStringLiteral("qrEnabled"), false},
        {QStringLiteral("rfid"), false},
        {QStringLiteral("rfidEnabled"), false},
    };

    connect(&mCleanTimer, &QTimer::timeout, this, &ValidatorPrivate::onCleanTimer);
    connect(mQrManager.get(), &QRManager::status, this, &ValidatorPrivate::onQrStatus);
    connect(mQrManager.get(), &QRManager::info, this, &ValidatorPrivate::onQrInfo);
    connect(mQrManager.get(), &QRManager::error, this, &ValidatorPrivate::onQrError);
    connect(mQrManager.get(), &QRManager::ticketScanned, this, &ValidatorPrivate::onTicketScanned);
    connect(mQrManager.get(), &QRManager::maintenanceQrScanned, this, &ValidatorPrivate::maintenanceQrScanned);
    connect(mRfidManager.get(), &RfidManager::status, this, &ValidatorPrivate::onRfidStatus);
    connect(mRfidManager.get(), &RfidManager::info, this, &ValidatorPrivate::onRfidInfo);
    connect(mRfidManager.get(), &RfidManager::error, this, &ValidatorPrivate::onRfidError);
    connect(mRfidManager.get(), &RfidManager::cardFound, this, &ValidatorPrivate::onCardFound);
    connect(mRfidManager.get(), &RfidManager::cardRead, this, &ValidatorPrivate::onCardRead);
    connect(mRfidManager.get(), &RfidManager::cardAutoread, this, &ValidatorPrivate::onCardAutoread);
    connect(mRfidManager.get(), &RfidManager::cardWritten, this, &ValidatorPrivate::onCardWritten);

    // Under a minute the store would be purged in a busy loop (0 fires at every turn).
    qint64 minutes = mConfig.get(QStringLiteral("validator/db_clean_minutes")).toLongLong();
    if (minutes < 1) {
        kLog.warning(QStringLiteral("WARN: validator/db_clean_minutes is %1, cleaning every minute instead")
                         .arg(minutes));
        minutes = 1;
    }
    // A timer's interval is an int: beyond some 24 days it cleans every 24 days.
    const qint64 periodMs = minutes > std::numeric_limits<int>::max() / kMinuteMs
        ? std::numeric_limits<int>::max()
        : minutes * kMinuteMs;
    mCleanTimer.start(static_cast<int>(periodMs));

    qRegisterMetaType<SCBlacklistEntry::BlockReason>("SCBlacklistEntry::BlockReason");
}

ValidatorPrivate::~ValidatorPrivate() = default;

void ValidatorPrivate::initDb()
{
    const QString name = mConfig.get(QStringLiteral("validator/db_name")).toString();
    mTicketDb.dbConnect(name, QStringLiteral("QSQLITE"));
    mTicketDb.dbCreate();
}

void ValidatorPrivate::blockRfidSignals(bool block)
{
    mRfidManager->blockSignals(block);
}

QString ValidatorPrivate::qrServiceStatus() const
{
    return mQrManager->serviceStatus();
}

QString ValidatorPrivate::rfidServiceStatus() const
{
    return mRfidManager->serviceStatus();
}

std::shared_ptr<tarvik::Route> ValidatorPrivate::routeSnapshot() const
{
    std::lock_guard<std::mutex> lock(mShareMutex);
    return mRoute;
}

std::shared_ptr<Basket> ValidatorPrivate::basketSnapshot() const
{
    std::shared_ptr<Basket> basket;
    {
        std::lock_guard<std::mutex> lock(mShareMutex);
        basket = mBasket;
    }
    return Basket::copyOf(basket);
}

void ValidatorPrivate::setClock(Clock clock)
{
    std::lock_guard<std::mutex> lock(mShareMutex);
    mClock = std::move(clock);
}

ValidatorPrivate::Clock ValidatorPrivate::clock() const
{
    std::lock_guard<std::mutex> lock(mShareMutex);
    return mClock;
}

QDateTime ValidatorPrivate::now() const
{
    const Clock source = clock();
    return source ? source().toUTC() : QDateTime::currentDateTimeUtc();
}

void ValidatorPrivate::setRfid(bool enabled)
{
    kLog.info(QStringLiteral("Setting rfid : ") + boolText(enabled));
    if (enabled)
        mRfidManager->enable(QVariantMap{{QStringLiteral("autoread"), true}});
    else
        mRfidManager->disable();
}

void ValidatorPrivate::setBarcode(bool enabled)
{
    kLog.info(QStringLiteral("Setting barcode : ") + boolText(enabled));
    if (enabled)
        mQrManager->enable();
    else
        mQrManager->disable();
}

void ValidatorPrivate::setBasket(Basket::Ptr newBasket)
{
    kLog.info(QStringLiteral("Setting a new basket."));
    std::lock_guard<std::mutex> lock(mShareMutex);
    mBasket.swap(newBasket);
    // the previous basket is released outside the lock, with newBasket
}

void ValidatorPrivate::routeStarted(const tarvik::Route &route)
{
    kLog.info(QStringLiteral("Starting route %1 with execution id %2")
                  .arg(route.getAxisId())
                  .arg(route.getRouteExecution().tripsExecutionId));
    auto copy = std::make_shared<tarvik::Route>(route);
    std::lock_guard<std::mutex> lock(mShareMutex);
    mRoute.swap(copy);
}

void ValidatorPrivate::routeEnded()
{
    std::shared_ptr<tarvik::Route> ended;
    {
        std::lock_guard<std::mutex> lock(mShareMutex);
        ended.swap(mRoute);
    }
    if (!ended) {
        kLog.info(QStringLiteral("No route to stop"));
        return;
    }
    kLog.info(QStringLiteral("Stopping route %1 with execution id %2")
                  .arg(ended->getAxisId())
                  .arg(ended->getRouteExecution().tripsExecutionId));
}

void ValidatorPrivate::routeProgress(const tarvik::RouteProgress &progress)
{
    const std::shared_ptr<tarvik::Route> current = routeSnapshot();
    if (!current)
        return;
    // Validations on the other thread may hold the current route: move a copy and swap it in.
    auto moved = std::make_shared<tarvik::Route>(*current);
    moved->acceptRouteProgress(progress);
    {
        std::lock_guard<std::mutex> lock(mShareMutex);
        if (mRoute != current)
            return; // a newer route came meanwhile and stands
        mRoute = moved;
    }
    const tarvik::Stop stop = moved->getCurrentStop();
    const tarvik::StopGroup group = moved->getCurrentStopGroup();
    kLog.info(QStringLiteral("Current stop set to '%1' (id=%2) stop group '%3' (id=%4)")
                  .arg(stop.getName())
                  .arg(stop.getId())
                  .arg(group.getName())
                  .arg(group.getId()));
}

void ValidatorPrivate::remotelyValidatedTicket(const QVariantMap &ticket)
{
    const std::shared_ptr<tarvik::Route> route = routeSnapshot();
    if (!route) {
        kLog.warning(QStringLiteral("Remotely validated ticket received while not on route. Ignoring..."));
        return;
    }
    const QString ticketId = ticket.value(QStringLiteral("ticketId")).toString();
    if (mTicketDb.exists(ticketId)) {
        kLog.info(QStringLiteral("Ignoring remotely validated ticket ") + ticketId
                  + QStringLiteral(", already stored..."));
        return;
    }
    kLog.info(QStringLiteral("Storing remotely validated ticket with uid: ") + ticketId);

    TicketDbRow row;
    row.ticketId = ticketId;
    const QString timeText = ticket.value(QStringLiteral("validationTime")).toString();
    QDateTime validated = QDateTime::fromString(timeText, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (!validated.isValid()) {
        // Without a time the row would be purged at once, or never.
        kLog.warning(QStringLiteral("WARN: Remotely validated ticket ") + ticketId
                     + QStringLiteral(" has an unreadable validationTime '") + timeText
                     + QStringLiteral("', stored with the time of receipt"));
        validated = now();
    }
    row.validationTime = validated.toSecsSinceEpoch();
    row.deviceId = ticket.value(QStringLiteral("deviceId")).toString();
    row.routeExecutionId = static_cast<int>(ticket.value(QStringLiteral("routeExecutionId")).toUInt());
    row.routeId = static_cast<int>(ticket.value(QStringLiteral("routeId")).toUInt());
    row.stopId = static_cast<int>(ticket.value(QStringLiteral("stopId")).toUInt());
    row.vehicleId = route->getVehicleId();
    mTicketDb.insert(row);
}

void ValidatorPrivate::onCleanTimer()
{
    const QDateTime current = now();
    qint64 keepMinutes = mConfig.get(QStringLiteral("validator/db_keep_minutes")).toLongLong();
    keepMinutes = qBound<qint64>(std::numeric_limits<qint64>::min() / kMinuteMs, keepMinutes,
                                 std::numeric_limits<qint64>::max() / kMinuteMs);
    const QDateTime cutOff = current.addMSecs(-keepMinutes * kMinuteMs);
    const int count = mTicketDb.clean(cutOff);
    kLog.info(QStringLiteral("Cleaned %1 tickets older than %2").arg(count).arg(cutOff.toString(Qt::ISODate)));
}

bool ValidatorPrivate::storeEMVResults(std::shared_ptr<Basket> basket, int errorCode)
{
    QJsonArray results;
    if (basket) {
        for (const Basket::ticket &ticket : basket->getPreviousTickets()) {
            results.append(QJsonObject{
                {QStringLiteral("ticketId"), ticket.getTicketId()},
                {QStringLiteral("errorCode"), errorCode},
            });
        }
    }
    const EMVticketResp::Ptr answer = mDb.storeEMVResults(results);
    if (!answer) {
        kLog.critical(QStringLiteral("DBmanager returned null on storeEMVResult() request"));
        return false;
    }
    kLog.debug(QStringLiteral("DB Response: ")
               + QString::fromUtf8(QJsonDocument(answer->toJson()).toJson(QJsonDocument::Indented)));
    return true;
}

ValidatorResult ValidatorPrivate::invalidScanResult() const
{
    ValidatorResult result;
    result.setDenyReason(ValidatorResult::InvalidFormat);
    result.setTransactionType(ValidatorResult::Barcode);
    result.setResult(false);
    return result;
}

void ValidatorPrivate::onTicketScanned(QString serialized)
{
    if (mScanRunning) {
        mDeferredScans.append(serialized);
        return;
    }
    mScanRunning = true;
    handleScan(serialized);
    while (!mDeferredScans.isEmpty())
        handleScan(mDeferredScans.takeFirst());
    mScanRunning = false;
}

void ValidatorPrivate::handleScan(const QString &serialized)
{
    mScanStartTime = QDateTime::currentDateTime();
    kLog.info(QStringLiteral("Transaction >>>>>>>> "));

    std::shared_ptr<QrTicket> ticket;
    try {
        ticket = mTicketFactory.create(serialized);
    } catch (const std::exception &e) {
        kLog.critical(QStringLiteral("ERROR: Ticket could not be read: ") + QString::fromUtf8(e.what()));
    }
    if (!ticket) {
        kLog.warning(QStringLiteral("Invalid ticket"));
        emit scannedTicket(invalidScanResult());
        return;
    }

    // Kept here as well as in the member: a scan handled while this one waits for its
    // pass-back answer may replace the member, never the validator in use.
    // The service's own settings: a configuration per scan would open the settings file anew.
    const std::shared_ptr<QrValidator> validator(mQrValidatorFactory->create(ticket, nullptr, mDb, &mConfig));
    mQrValidator = validator;
    const auto release = [this, &validator] {
        if (mQrValidator == validator)
            mQrValidator.reset();
    };
    if (validator) {
        if (const Clock source = clock())
            validator->setClock(source);
    }

    mScanParsedTime = QDateTime::currentDateTime();
    kLog.info([this] { return QStringLiteral("Parsing done in %1ms").arg(mScanStartTime.msecsTo(mScanParsedTime)); });

    const std::shared_ptr<tarvik::Route> route = routeSnapshot();
    if (!route) {
        kLog.warning(QStringLiteral("Ticket scanned while not on route"));
        emit scannedTicket(invalidScanResult());
        release();
        return;
    }
    if (ticket->isEmpty() || !validator) {
        kLog.warning(QStringLiteral("Invalid ticket"));
        emit scannedTicket(invalidScanResult());
        release();
        return;
    }

    ValidatorResult result;
    try {
        validator->validate(route, ticket);
        result = validator->getResult();
    } catch (const std::exception &e) {
        kLog.critical(QStringLiteral("ERROR: Ticket validation failed: ") + QString::fromUtf8(e.what()));
        result = invalidScanResult();
        result.setDenyReason(ValidatorResult::Unknown);
    }
    kLog.info(result.getResult() ? QStringLiteral("Ticket is valid") : QStringLiteral("Ticket is not valid"));
    kLog.info([this] {
        return QStringLiteral("Transaction <<<<<<<< %1ms").arg(mScanStartTime.msecsTo(QDateTime::currentDateTime()));
    });
    emit scannedTicket(result);
    release();
}

void ValidatorPrivate::onQrStatus(QVariantMap qrStatus)
{
    const bool service = qrStatus.value(QStringLiteral("service")).toBool();
    const QJsonObject device =
        QJsonObject::fromVariantMap(qrStatus).value(QStringLiteral("device")).toObject();
    const bool active = device.value(QStringLiteral("active")) == QJsonValue(true);
    const bool up = service && active;
    mStatus[QStringLiteral("qr")] = up;
    mStatus[QStringLiteral("qrEnabled")] = up && device.value(QStringLiteral("enabled")) == QJsonValue(true);
    emit statusChanged(mStatus);
    emit receivedQrStatus(qrStatus);
}

void ValidatorPrivate::onQrError(QString e)
{
    kLog.info(QStringLiteral("Qr error: ") + e);
}

void ValidatorPrivate::onRfidStatus(QVariantMap status)
{
    bool up = false;
    bool enabled = false;
    if (status.value(QStringLiteral("service")).toBool()) {
        const int state = status.value(QStringLiteral("device")).toMap().value(QStringLiteral("state")).toInt();
        up = state >= RfidManager::Idle && state <= RfidManager::Reading;
        enabled = state == RfidManager::Enabled || state == RfidManager::Reading;
    }
    mStatus[QStringLiteral("rfid")] = up;
    mStatus[QStringLiteral("rfidEnabled")] = enabled;
    emit statusChanged(mStatus);
    emit receivedRfidStatus(status);
}

void ValidatorPrivate::onRfidInfo(QVariantMap info)
{
    emit receivedRfidInfo(info);
}

void ValidatorPrivate::onQrInfo(QVariantMap info)
{
    emit receivedQrInfo(info);
}

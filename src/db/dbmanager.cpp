#include "db/dbmanager.h"

#include "framework/configuration.h"
#include "tarvik/route.h"

const QMap<QString, QVariant> DBManager::Defaults = {
    {QStringLiteral("db/sub_qos"), 0},
    {QStringLiteral("db/pub_qos"), 0},
    {QStringLiteral("db/base"), QStringLiteral("zeto/db")},
    {QStringLiteral("db/sub_info"), QStringLiteral("${db/base}/info")},
    {QStringLiteral("db/sub_status"), QStringLiteral("${db/base}/status")},
    {QStringLiteral("db/sub_config"), QStringLiteral("${db/base}/config")},
    {QStringLiteral("db/sub_response"), QStringLiteral("${db/base}/response/+/+")},
    {QStringLiteral("db/pub_info"), QStringLiteral("${db/base}/info/get")},
    {QStringLiteral("db/pub_status"), QStringLiteral("${db/base}/status/get")},
    {QStringLiteral("db/pub_request"), QStringLiteral("${db/base}/request")},
    {QStringLiteral("db/timeout_ms"), 500},
    {QStringLiteral("db/mock_dbman"), false},
    {QStringLiteral("db/pub_sc_block"), QStringLiteral("${obu/base}/services/smartcard/block")},
    {QStringLiteral("tarvik/enabled"), true},
    {QStringLiteral("tarvik/url"), QStringLiteral("")},
    {QStringLiteral("tarvik/storagePath"), QStringLiteral("/opt/zeto/data/tarvik/")},
    {QStringLiteral("tarvik/dbKeepDays"), 30},
    {QStringLiteral("tarvik/dbCleanupMins"), 60},
    {QStringLiteral("tarvik/reqTimeoutMsec"), 30000},
    {QStringLiteral("tarvik/deviceParamSyncMin"), 10},
    {QStringLiteral("tarvik/routeDataSyncMin"), 120},
    {QStringLiteral("tarvik/fareDataSyncMin"), 120},
    {QStringLiteral("tarvik/actionListSyncMin"), 10},
    {QStringLiteral("tarvik/apiKey"), QStringLiteral("7c1e9a04b5d36f28e0a9c41b7d2f6e53")},
    {QStringLiteral("tarvik/ignoreSslErrors"), false},
    {QStringLiteral("tarvik/unknownCardRetryMin"), 5},
};

namespace {
[[maybe_unused]] const bool DefaultsRegistered = Configuration::registerDefaults(4, &DBManager::Defaults);
}

DBManager::DBManager(manager::MqttClient *client, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<DBManagerPrivate>(client, nullptr))
{
    DBManagerPrivate *p = d.get();
    connect(p, &DBManagerPrivate::onInfoChanged, this, &DBManager::onInfoChanged);
    connect(p, &DBManagerPrivate::onStateChanged, this, &DBManager::onStateChanged);
    connect(p, &DBManagerPrivate::onDeviceChanged, this, &DBManager::onDeviceChanged);
    connect(p, &DBManagerPrivate::onFindQRTicketResponse, this, &DBManager::onFindQRTicketResponse);
    connect(p, &DBManagerPrivate::onFindSCTicketResponse, this, &DBManager::onFindSCTicketResponse);
    connect(p, &DBManagerPrivate::onIssueEMVTicketsResponse, this, &DBManager::onIssueEMVTicketsResponse);
    connect(p, &DBManagerPrivate::onStoreEMVTicketsResponse, this, &DBManager::onStoreEMVTicketsResponse);
    connect(p, &DBManagerPrivate::onStoreEMVresultResponse, this, &DBManager::onStoreEMVresultResponse);
    connect(p, &DBManagerPrivate::onLoginResponse, this, &DBManager::onLoginResponse);
    connect(p, &DBManagerPrivate::onDeviceParamChanged, this, &DBManager::onDeviceParamChanged);
    connect(p, &DBManagerPrivate::onDeviceParamRemoved, this, &DBManager::onDeviceParamRemoved);
    connect(p, &DBManagerPrivate::onLanguageChanged, this, &DBManager::onLanguageChanged);
    connect(p, &DBManagerPrivate::onPaperTicketIssuingStarted, this, &DBManager::onPaperTicketIssuingStarted);
    connect(p, &DBManagerPrivate::onPaperTicketIssuingEnded, this, &DBManager::onPaperTicketIssuingEnded);
    connect(p, &DBManagerPrivate::onMultipleTicketsIssuingStarted, this, &DBManager::onMultipleTicketsIssuingStarted);
    connect(p, &DBManagerPrivate::onMultipleTicketsIssuingEnded, this, &DBManager::onMultipleTicketsIssuingEnded);
}

DBManager::~DBManager() = default;

// The database service's protocol works from construction on; this starts the back-end link
// and the local stores when the link is enabled.
void DBManager::initialize()
{
    d->initialize();
}

tarvik::RouteManager *DBManager::routeData() const
{
    return d->routeData();
}

tarvik::FareManager *DBManager::fareData() const
{
    return d->fareData();
}

tarvik::ActionListManager *DBManager::actionList() const
{
    return d->actionList();
}

QSharedPointer<tarvik::Customer> DBManager::findCustomer(int id)
{
    return d->findCustomer(id);
}

void DBManager::prefetchCustomer(int id)
{
    d->prefetchCustomer(id);
}

void DBManager::prefetchCustomer(const QString &cardId)
{
    d->prefetchCustomer(cardId);
}

tarvik::KeyValue::Ptr DBManager::findDeviceParam(const QString &key)
{
    return d->findDeviceParam(key);
}

void DBManager::sendDeviceManagementInfo(const QJsonObject &report)
{
    d->sendDeviceManagementInfo(report);
}

DBManagerPrivate::State DBManager::state() const
{
    return d->state();
}

DBManagerPrivate::Info DBManager::info() const
{
    return d->info();
}

const QString &DBManager::selectedLanguage() const
{
    return d->selectedLanguage();
}

Device::Ptr DBManager::device() const
{
    return d->device();
}

bool DBManager::service()
{
    return d->service();
}

QString DBManager::serviceStatus() const
{
    return d->serviceStatus();
}

// The blocking calls touch nothing of the facade after the wait: it may be gone by then.
std::shared_ptr<QrTicket> DBManager::findQRTicket(const QString &ticketId)
{
    return d->findQRTicket(ticketId);
}

SCBlacklistEntry::Ptr DBManager::findSCTicket(const QString &uid)
{
    return d->findSCTicket(uid);
}

EMVticketResp::Ptr DBManager::issueEMVTickets(const QJsonArray &tickets)
{
    return d->issueEMVTickets(tickets);
}

EMVticketResp::Ptr DBManager::storeEMVticketsData(const QJsonArray &tickets)
{
    return d->storeEMVticketsData(tickets);
}

EMVticketResp::Ptr DBManager::storeEMVResults(const QJsonArray &tickets)
{
    return d->storeEMVResults(tickets);
}

Employee::Ptr DBManager::login(const QString &cardId)
{
    return d->login(cardId);
}

void DBManager::setRoute(QSharedPointer<tarvik::Route> route)
{
    d->setRoute(std::move(route));
}

QSharedPointer<tarvik::Route> DBManager::route() const
{
    return d->route();
}

void DBManager::findQRTicketAsync(const QString &cardId)
{
    d->findQRTicketAsync(cardId);
}

void DBManager::findSCTicketAsync(const QString &cardId)
{
    d->findSCTicketAsync(cardId);
}

void DBManager::issueEMVTicketsAsync(const QJsonArray &tickets)
{
    d->issueEMVTicketsAsync(tickets);
}

void DBManager::storeEMVTicketsAsync(const QJsonArray &tickets)
{
    d->storeEMVTicketsAsync(tickets);
}

void DBManager::storeEMVResultAsync(const QJsonArray &tickets)
{
    d->storeEMVResultAsync(tickets);
}

void DBManager::loginAsync(const QString &cardId)
{
    d->loginCardAsync(cardId);
}

void DBManager::blockCard(const QString &cardId, SCBlacklistEntry::BlockReason reason)
{
    d->blockCard(cardId, reason);
}

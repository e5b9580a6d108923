#include "db/dbmanager_p.h"

#include "framework/configuration.h"
#include "framework/logtag.h"
#include "framework/mqttclient.h"
#include "tarvik/route.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>

namespace {

const manager::LogTag kLog(QStringLiteral("[DBManager] "));

// The database service's own request topic: the UI's requests pass there, whatever "db/base" is.
const QByteArray kServiceRequestTopic = QByteArrayLiteral("zeto/db/request");

} // namespace

void DBRequestBook::sent(const std::shared_ptr<Wait> &wait, int id)
{
    std::lock_guard<std::mutex> locker(mMutex);
    wait->id = id;
    // The caller gave up before the main thread got round to sending.
    if (wait->ended && id >= 0)
        remember(id);
}

void DBRequestBook::ended(const std::shared_ptr<Wait> &wait)
{
    std::lock_guard<std::mutex> locker(mMutex);
    wait->ended = true;
    if (wait->id >= 0)
        remember(wait->id);
}

bool DBRequestBook::hasEnded(int id) const
{
    std::lock_guard<std::mutex> locker(mMutex);
    return std::find(mEndedIds.begin(), mEndedIds.end(), id) != mEndedIds.end();
}

void DBRequestBook::remember(int id)
{
    mEndedIds.push_back(id);
    if (mEndedIds.size() > Capacity)
        mEndedIds.pop_front();
}

DBManagerPrivate::DBManagerPrivate(manager::MqttClient *client, QObject *parent)
    : QObject(parent)
    , mConfig(std::make_unique<Configuration>())
    , mClient(client)
{
    // Under these names the records cross to the validation thread and to queued listeners.
    qRegisterMetaType<DBManagerPrivate::Info>("DBManagerPrivate::Info");
    qRegisterMetaType<DBManagerPrivate::State>("DBManagerPrivate::State");
    qRegisterMetaType<Device::Ptr>("Device::Ptr");
    qRegisterMetaType<Employee::Ptr>("Employee::Ptr");
    qRegisterMetaType<SCBlacklistEntry::Ptr>("SCBlacklistEntry::Ptr");
    qRegisterMetaType<SCBlacklistEntry::BlockReason>("SCBlacklistEntry::BlockReason");
    qRegisterMetaType<EMVticketResp::Ptr>("EMVticketResp::Ptr");
    qRegisterMetaType<qrticket_ptr>("qrticket_ptr");
    qRegisterMetaType<tarvik::KeyValue::Ptr>("tarvik::KeyValue::Ptr");

    mBaseTopic = topicSetting(QStringLiteral("db/base"));
    mInfoTopic = topicSetting(QStringLiteral("db/sub_info"));
    mStatusTopic = topicSetting(QStringLiteral("db/sub_status"));
    mConfigTopic = topicSetting(QStringLiteral("db/sub_config"));
    mResponseTopic = topicSetting(QStringLiteral("db/sub_response"));
    mRequestTopic = topicSetting(QStringLiteral("db/pub_request"));
    mBlockTopic = topicSetting(QStringLiteral("db/pub_sc_block"));
    mPubQos = quint8(setting(QStringLiteral("db/pub_qos")).toInt());
    mCleanupTimer.setObjectName(QStringLiteral("cleanupTimer"));
    mDeviceParamSyncTimer.setObjectName(QStringLiteral("deviceParamSyncTimer"));

    if (!mClient) {
        kLog.critical(QStringLiteral("ERROR: No MQTT client: the database service cannot be reached"));
        return;
    }
    connect(mClient, &manager::MqttClient::received, this, &DBManagerPrivate::handleMQTTMessage);
    subscribeFromConf(QStringLiteral("db/sub_info"));
    subscribeFromConf(QStringLiteral("db/sub_status"));
    subscribeFromConf(QStringLiteral("db/sub_config"));
    subscribeFromConf(QStringLiteral("db/sub_response"));
    mClient->subscribe(kServiceRequestTopic, 0);
}

QVariant DBManagerPrivate::setting(const QString &key) const
{
    std::lock_guard<std::mutex> locker(mConfigMutex);
    return mConfig->get(key);
}

QByteArray DBManagerPrivate::topicSetting(const QString &key) const
{
    return setting(key).toString().toUtf8();
}

void DBManagerPrivate::subscribeFromConf(const QString &key)
{
    if (mClient)
        mClient->subscribe(topicSetting(key), quint8(setting(QStringLiteral("db/sub_qos")).toInt()));
}

Device::Ptr DBManagerPrivate::device() const
{
    std::lock_guard<std::mutex> locker(mDeviceMutex);
    return mDevice;
}

void DBManagerPrivate::setRoute(QSharedPointer<tarvik::Route> route)
{
    mRoute = std::move(route);
}

QSharedPointer<tarvik::Route> DBManagerPrivate::route() const
{
    return mRoute;
}

DBManagerPrivate::State DBManagerPrivate::mapState(int state, bool service)
{
    if (!service)
        return ServiceDown;
    switch (state) {
    case 0:
        return ServiceUpState0;
    case 1:
        return ServiceUpState1;
    default:
        return ServiceUpOtherState;
    }
}

QString DBManagerPrivate::calculateServiceStatus(bool alive, bool ready) const
{
    if (!alive)
        return QStringLiteral("CRITICAL");
    if (!ready)
        return QStringLiteral("WARNING");
    return QStringLiteral("GOOD");
}

QString DBManagerPrivate::serviceStatus() const
{
    return calculateServiceStatus(mService, mState != ServiceDown);
}

// Routing of everything the OBU client receives; main thread.
void DBManagerPrivate::handleMQTTMessage(const QByteArray &message, const QByteArray &topic)
{
    // The OBU link's topics arrive on the same client.
    if (!topic.contains(mBaseTopic))
        return;

    QJsonDocument document;
    if (message.isEmpty()) {
        document = QJsonDocument(QJsonObject());
    } else {
        QJsonParseError error;
        document = QJsonDocument::fromJson(message, &error);
        if (error.error != QJsonParseError::NoError) {
            kLog.warning(QStringLiteral("Received malformed data on topic: ") + QString::fromUtf8(topic));
            return;
        }
    }

    if (topic == mInfoTopic) {
        handleInfoMessage(document);
    } else if (topic == mStatusTopic) {
        handleStatusMessage(document);
    } else if (topic == mConfigTopic) {
        handleConfigMessage(document);
    } else if (topic == kServiceRequestTopic) {
        if (setting(QStringLiteral("db/mock_dbman")).toBool())
            handleRequestMessage(document, topic);
        else
            handleIssueTicketRequest(document, topic);
    } else {
        handleResponseMessage(document, topic);
    }
}

void DBManagerPrivate::handleInfoMessage(const QJsonDocument &document)
{
    const QJsonObject info = document.object();
    const QJsonObject service = info.value(QLatin1String("service")).toObject();
    const QJsonObject database = info.value(QLatin1String("database")).toObject();
    mInfo.serviceVersion = service.value(QLatin1String("version")).toString();
    mInfo.databaseSchema = database.value(QLatin1String("schema")).toString();
    mInfo.databaseVersion = database.value(QLatin1String("version")).toString();
    kLog.info(QStringLiteral("Info : version=") + mInfo.serviceVersion + QStringLiteral(" database=")
            + mInfo.databaseVersion);
    emit onInfoChanged(mInfo);
}

void DBManagerPrivate::handleStatusMessage(const QJsonDocument &document)
{
    const QJsonObject status = document.object();
    const bool service = status.value(QLatin1String("service")).toBool(false);
    const int serviceState = status.value(QLatin1String("state")).toInt(0);
    kLog.info(QStringLiteral("Status : service=") + (service ? QStringLiteral("true") : QStringLiteral("false"))
            + QStringLiteral(" state=") + QString::number(serviceState));

    // The flag goes first so that a listener of the state change reads a status word that
    // agrees with the new state.
    mService = service;
    const State state = mapState(serviceState, service);
    if (state != mState) {
        mState = state;
        emit onStateChanged(state);
    }

    const QJsonObject json = status.value(QLatin1String("device")).toObject();
    Device::Ptr fresh;
    {
        std::lock_guard<std::mutex> locker(mDeviceMutex);
        if (mDevice && mDevice->toJson() == json)
            return;
        // Whoever holds the old record keeps it valid.
        fresh = std::make_shared<Device>(json);
        mDevice = fresh;
    }
    emit onDeviceChanged(fresh);
}

void DBManagerPrivate::handleConfigMessage(const QJsonDocument &document)
{
    const QString boUrl = document.object().value(QLatin1String("bo_url")).toString();
    // Nothing to learn, and an empty URL must not overwrite a configured one.
    if (boUrl.isEmpty())
        return;
    if (!setting(QStringLiteral("tarvik/enabled")).toBool())
        return;

    const QString configured = setting(QStringLiteral("tarvik/url")).toString();
    if (configured.isEmpty()) {
        kLog.warning(QStringLiteral("WARN : Configured Tarvik URL is empty. Extracting from DBManager : ") + boUrl);
        {
            std::lock_guard<std::mutex> locker(mConfigMutex);
            mConfig->set(QStringLiteral("tarvik/url"), boUrl);
            mLearntUrl = boUrl;
        }
        startBackendLink();
    } else if (configured != boUrl) {
        // The running link keeps its URL; the new one takes effect at the next start.
        kLog.warning(QStringLiteral("WARN : Mismatched configured Tarvik URL. Updating from DBManager : ") + boUrl);
        std::lock_guard<std::mutex> locker(mConfigMutex);
        mConfig->set(QStringLiteral("tarvik/url"), boUrl);
    }
}

// The UI's requests to the database service; the gateway's own come back here too and are
// ignored with every other method.
void DBManagerPrivate::handleIssueTicketRequest(const QJsonDocument &document, const QByteArray &topic)
{
    Q_UNUSED(topic)
    const QString method = document.object().value(QLatin1String("method")).toString();
    if (method == QLatin1String("issueSingleTicket"))
        emit onPaperTicketIssuingStarted();
    else if (method == QLatin1String("issueMultipleTickets"))
        emit onMultipleTicketsIssuingStarted();
}

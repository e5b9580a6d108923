#include "rfid/rfidmanager_p.h"

#include "framework/mqttclient.h"
#include "rfid/rfidmanager.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonParseError>
#include <QJsonValue>
#include <QLoggingCategory>
#include <QMutex>
#include <QVector>

#include <limits>

namespace {

const QString kTag = QStringLiteral("[rfid] ");

void logInfo(const QString &text)
{
    // Several per tap: the tag is not joined for a line the logger drops.
    if (QLoggingCategory::defaultCategory()->isInfoEnabled())
        qInfo().noquote() << kTag + text;
}

QVariantMap toMap(const QJsonDocument &doc)
{
    // An array (valid JSON, not an object) gives the empty map.
    return doc.object().toVariantMap();
}

bool isCompleted(const QJsonDocument &doc)
{
    return doc.object().value(QStringLiteral("completed")).toBool(false);
}

// The clients of each connection, oldest first. The validation service and card inspection
// each hold one on the same connection, and both hear every message: the oldest alone logs it.
struct Listeners
{
    QMutex mutex;
    QHash<const manager::MqttClient *, QVector<const RfidManagerPrivate *>> byClient;
};

Listeners &listeners()
{
    static Listeners instance;
    return instance;
}

} // namespace

RfidManagerPrivate::RfidManagerPrivate(manager::MqttClient *client, QObject *parent)
    : QObject(parent)
    , mTopics(mConfig.topics(RfidManager::Defaults))
    , mClient(client)
{
    if (!mClient) {
        qCritical().noquote() << kTag + QStringLiteral("ERROR: No MQTT client: the reader cannot be reached");
        return;
    }
    connect(mClient, &manager::MqttClient::received, this, &RfidManagerPrivate::onReceived);
    {
        Listeners &all = listeners();
        QMutexLocker lock(&all.mutex);
        all.byClient[mClient].append(this);
    }

    const quint8 qos = static_cast<quint8>(mConfig.get(QStringLiteral("rfid/sub_qos")).toInt() & 0xff);
    static const char *const subscriptions[] = {
        "rfid/sub_info",         "rfid/sub_status",      "rfid/sub_config",      "rfid/sub_error",
        "rfid/sub_card_found",   "rfid/sub_card_removed", "rfid/sub_card_autoread", "rfid/sub_enable",
        "rfid/sub_disable",      "rfid/sub_card_create", "rfid/sub_card_read",   "rfid/sub_card_write",
    };
    for (const char *key : subscriptions)
        mClient->subscribe(topic(QLatin1String(key)), qos);
}

RfidManagerPrivate::~RfidManagerPrivate()
{
    Listeners &all = listeners();
    QMutexLocker lock(&all.mutex);
    const auto it = all.byClient.find(mClient);
    if (it == all.byClient.end())
        return;
    it->removeOne(this);
    if (it->isEmpty())
        all.byClient.erase(it);
}

qint32 RfidManagerPrivate::nextRequestId(qint32 current)
{
    return current == std::numeric_limits<qint32>::max() ? 0 : current + 1;
}

void RfidManagerPrivate::getInfo()
{
    logInfo(QStringLiteral("Get info"));
    publish(topic(QStringLiteral("rfid/pub_info_get")), QJsonObject());
}

void RfidManagerPrivate::getStatus()
{
    logInfo(QStringLiteral("Get status"));
    publish(topic(QStringLiteral("rfid/pub_status_get")), QJsonObject());
}

void RfidManagerPrivate::getConfig()
{
    logInfo(QStringLiteral("Get config"));
    publish(topic(QStringLiteral("rfid/pub_config_get")), QJsonObject());
}

void RfidManagerPrivate::setConfig()
{
    logInfo(QStringLiteral("Set config (TBD)"));
}

void RfidManagerPrivate::enable(const QVariantMap &data)
{
    if (mReaderEnabled)
        return;
    request(QStringLiteral("rfid/pub_enable"), QJsonObject::fromVariantMap(data), QStringLiteral("Enable request"));
}

void RfidManagerPrivate::disable()
{
    if (!mReaderEnabled)
        return;
    request(QStringLiteral("rfid/pub_disable"), QJsonObject(), QStringLiteral("Disable request"));
}

void RfidManagerPrivate::createCard(const QVariantMap &card)
{
    request(QStringLiteral("rfid/pub_card_create"), QJsonObject::fromVariantMap(card),
            QStringLiteral("Create card request"));
}

void RfidManagerPrivate::readCard(const QVariantMap &card)
{
    request(QStringLiteral("rfid/pub_card_read"), QJsonObject::fromVariantMap(card),
            QStringLiteral("Read card request"));
}

void RfidManagerPrivate::writeCard(const QVariantMap &card)
{
    request(QStringLiteral("rfid/pub_card_write"), QJsonObject::fromVariantMap(card),
            QStringLiteral("Write card request"));
}

void RfidManagerPrivate::ledSet(const QJsonObject &ledState)
{
    request(QStringLiteral("rfid/pub_led_set"), ledState, QStringLiteral("Set leds request"));
}

void RfidManagerPrivate::onReceived(const QByteArray &data, const QByteArray &topic)
{
    QJsonParseError parseError;
    QJsonDocument doc = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (!data.isEmpty()) {
            if (logsReceived()) {
                qWarning().noquote() << kTag + QStringLiteral("Received malformed data on topic: ")
                                            + QString::fromUtf8(topic);
            }
            return;
        }
        doc = QJsonDocument(QJsonObject());
    }

    using Handler = void (RfidManagerPrivate::*)(const QJsonDocument &);
    struct Route
    {
        const char *key;
        Handler handler;
    };
    static const Route events[] = {
        {"rfid/sub_info", &RfidManagerPrivate::onInfo},
        {"rfid/sub_status", &RfidManagerPrivate::onStatus},
        {"rfid/sub_config", &RfidManagerPrivate::onConfig},
        {"rfid/sub_error", &RfidManagerPrivate::onError},
        {"rfid/sub_card_found", &RfidManagerPrivate::onCardFound},
        {"rfid/sub_card_removed", &RfidManagerPrivate::onCardRemoved},
        {"rfid/sub_card_autoread", &RfidManagerPrivate::onCardAutoread},
    };
    static const Route responses[] = {
        {"rfid/sub_enable", &RfidManagerPrivate::onEnabled},
        {"rfid/sub_disable", &RfidManagerPrivate::onDisabled},
        {"rfid/sub_card_create", &RfidManagerPrivate::onCardCreated},
        {"rfid/sub_card_read", &RfidManagerPrivate::onCardRead},
        {"rfid/sub_card_write", &RfidManagerPrivate::onCardWritten},
    };
    for (const Route &route : events) {
        if (topic == this->topic(QLatin1String(route.key))) {
            (this->*route.handler)(doc);
            return;
        }
    }
    for (const Route &route : responses) {
        if (isResponseTopic(topic, QLatin1String(route.key))) {
            (this->*route.handler)(doc);
            return;
        }
    }
}

void RfidManagerPrivate::onInfo(const QJsonDocument &doc)
{
    logReceived(QStringLiteral("Info received"));
    emit info(toMap(doc));
}

void RfidManagerPrivate::onStatus(const QJsonDocument &doc)
{
    logReceived(QStringLiteral("Status received"));
    const QJsonObject root = doc.object();
    const QJsonObject device = root.value(QStringLiteral("device")).toObject();
    // A state that is missing or not a whole number within int range counts as 0.
    mReaderEnabled = device.value(QStringLiteral("state")).toInt(0) > RfidManager::Idle;

    bool alive = false;
    if (root.value(QStringLiteral("service")).toBool(false))
        alive = !device.value(QStringLiteral("sams")).toArray().isEmpty();
    const bool active = device.value(QStringLiteral("active")).toBool(false);
    calculateServiceStatus(alive, active);
    emit status(root.toVariantMap());
}

void RfidManagerPrivate::onConfig(const QJsonDocument &doc)
{
    logReceived(QStringLiteral("Config received"));
    emit config(toMap(doc));
}

void RfidManagerPrivate::onError(const QJsonDocument &doc)
{
    if (logsReceived())
        qDebug().noquote() << kTag + QStringLiteral("Error received");
    emit error(toMap(doc));
}

void RfidManagerPrivate::onCardFound(const QJsonDocument &doc)
{
    logReceived(QStringLiteral("Card found received"));
    emit cardFound(toMap(doc));
}

void RfidManagerPrivate::onCardRemoved(const QJsonDocument &doc)
{
    logReceived(QStringLiteral("Card removed received"));
    emit cardRemoved(toMap(doc));
}

void RfidManagerPrivate::onCardAutoread(const QJsonDocument &doc)
{
    logReceived(QStringLiteral("Card autoread received"));
    emit cardAutoread(toMap(doc));
}

void RfidManagerPrivate::onEnabled(const QJsonDocument &doc)
{
    logReceived(QStringLiteral("Enable response received"));
    if (!isCompleted(doc)) {
        logReceived(QStringLiteral("Enable request failed"));
        return;
    }
    logReceived(QStringLiteral("Enable request succeeded"));
    mReaderEnabled = true;
    emit enabled();
}

void RfidManagerPrivate::onDisabled(const QJsonDocument &doc)
{
    logReceived(QStringLiteral("Disable response received"));
    if (!isCompleted(doc)) {
        logReceived(QStringLiteral("Disable request failed"));
        return;
    }
    logReceived(QStringLiteral("Disable request succeeded"));
    mReaderEnabled = false;
    emit disabled();
}

void RfidManagerPrivate::onCardCreated(const QJsonDocument &doc)
{
    logReceived(QStringLiteral("Card create response received"));
    logReceived(isCompleted(doc) ? QStringLiteral("Card create request succeeded")
                                 : QStringLiteral("Card create request failed"));
    emit cardCreated(toMap(doc));
}

void RfidManagerPrivate::onCardRead(const QJsonDocument &doc)
{
    logReceived(QStringLiteral("Card read response received"));
    logReceived(isCompleted(doc) ? QStringLiteral("Card read request succeeded")
                                 : QStringLiteral("Card read request failed"));
    emit cardRead(toMap(doc));
}

void RfidManagerPrivate::onCardWritten(const QJsonDocument &doc)
{
    logReceived(QStringLiteral("Card write response received"));
    logReceived(isCompleted(doc) ? QStringLiteral("Card write request succeeded")
                                 : QStringLiteral("Card write request failed"));
    emit cardWritten(toMap(doc));
}

bool RfidManagerPrivate::isResponseTopic(const QByteArray &topic, const QString &key) const
{
    // The subscription ends in the "+" of the id; whatever its last character, it goes.
    QByteArray prefix = this->topic(key);
    prefix.chop(1);
    // An empty prefix would take every message on the shared connection for a response.
    return !prefix.isEmpty() && topic.startsWith(prefix);
}

void RfidManagerPrivate::calculateServiceStatus(bool alive, bool active)
{
    if (!alive)
        mServiceStatus = QStringLiteral("CRITICAL");
    else if (active)
        mServiceStatus = QStringLiteral("GOOD");
    else
        mServiceStatus = QStringLiteral("WARNING");
}

QByteArray RfidManagerPrivate::topic(const QString &key) const
{
    return mTopics.value(key);
}

bool RfidManagerPrivate::logsReceived() const
{
    Listeners &all = listeners();
    QMutexLocker lock(&all.mutex);
    const auto it = all.byClient.constFind(mClient);
    return it == all.byClient.cend() || it->value(0) == this;
}

void RfidManagerPrivate::logReceived(const QString &text) const
{
    if (logsReceived())
        logInfo(text);
}

void RfidManagerPrivate::request(const QString &key, const QJsonObject &payload, const QString &what)
{
    const QString id = QString::number(mRequestCounter);
    if (QLoggingCategory::defaultCategory()->isInfoEnabled())
        logInfo(what + QStringLiteral(" (") + id + QLatin1Char(')'));
    mRequestCounter = nextRequestId(mRequestCounter);
    publish(topic(key) + id.toLatin1(), payload);
}

void RfidManagerPrivate::publish(const QByteArray &topic, const QJsonObject &payload)
{
    if (!mClient)
        return;
    const quint8 qos = static_cast<quint8>(mConfig.get(QStringLiteral("rfid/pub_qos")).toInt() & 0xff);
    mClient->publish(QJsonDocument(payload).toJson(QJsonDocument::Compact), topic, qos, false);
}

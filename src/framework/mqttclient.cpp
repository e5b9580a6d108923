#include "framework/mqttclient.h"

#include "framework/logtag.h"

#include <QDebug>
#include <QTimer>

#include <mosquitto.h>

#include <limits>

namespace manager {

namespace {

const LogTag kLog(QStringLiteral("[MqttClient] "));

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// Topics come as bytes from the service clients; a zero byte ends them.
QString topicText(const QByteArray &topic)
{
    return QString::fromUtf8(topic.constData(), int(qstrnlen(topic.constData(), uint(topic.size()))));
}

} // namespace

MqttClient::MqttClient(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<MosquittoClient::ClientState>("ClientState");
    qRegisterMetaType<MosquittoClient::ClientError>("ClientError");
}

MqttClient::~MqttClient()
{
    mPingTimer.reset();
    mRetryTimer.reset();
    mClient.reset();
}

QString MqttClient::combinePath(const QString &a, const QString &b)
{
    QString path = a;
    if (!a.isEmpty() && !a.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    path += b.startsWith(QLatin1Char('/')) ? b.mid(1) : b;
    return path;
}

// The library reads C strings: a NUL would cut the text short before its checks see the rest.
bool MqttClient::isTopicName(const QString &topic)
{
    const QByteArray bytes = topic.toUtf8();
    return !bytes.isEmpty() && !bytes.contains('\0') && mosquitto_pub_topic_check(bytes.constData()) == MOSQ_ERR_SUCCESS;
}

bool MqttClient::isTopicFilter(const QString &filter)
{
    const QByteArray bytes = filter.toUtf8();
    return !bytes.isEmpty() && !bytes.contains('\0') && mosquitto_sub_topic_check(bytes.constData()) == MOSQ_ERR_SUCCESS;
}

bool MqttClient::topicMatches(const QString &filter, const QString &topic)
{
    if (!isTopicFilter(filter) || !isTopicName(topic))
        return false;
    bool matches = false;
    return mosquitto_topic_matches_sub(filter.toUtf8().constData(), topic.toUtf8().constData(), &matches)
               == MOSQ_ERR_SUCCESS
           && matches;
}

void MqttClient::connect()
{
    kLog.info(QStringLiteral("Connecting..."));
    initTimer();
    initPingTimer();
    initClient();
    if (mEncrypted)
        qInfo("Encryption not yet supported");
    mClient->connectToHost();
}

void MqttClient::disconnect()
{
    if (mClient)
        mClient->disconnectFromHost();
}

void MqttClient::initTimer()
{
    if (!mRetryTimer) {
        mRetryTimer = std::make_unique<QTimer>();
        QObject::connect(mRetryTimer.get(), &QTimer::timeout, this, &MqttClient::onTimeout);
    }
    kLog.debug(QStringLiteral("Applying client configuration:"));
    kLog.debug(QStringLiteral("Retry interval millis: ") + QString::number(mRetryMillis));
    mRetryTimer->setInterval(retryInterval());
}

// The interval follows the keep-alive in force at every connect: fixed once, a keep-alive
// raised at run time would have the supervision drop a healthy link for ever.
void MqttClient::initPingTimer()
{
    const int interval = (MosquittoClient::effectiveKeepAlive(mKeepAlive) + 1) * 1000;
    if (mPingTimer && mPingTimer->interval() == interval)
        return;
    kLog.info(QStringLiteral("Initializing keep alive ping timer : %1 msec(s)").arg(interval));
    if (!mPingTimer) {
        mPingTimer = std::make_unique<QTimer>();
        mPingTimer->setSingleShot(true);
        QObject::connect(mPingTimer.get(), &QTimer::timeout, this, &MqttClient::onPingTimeout);
    }
    mPingTimer->setInterval(interval);
}

void MqttClient::initClient()
{
    if (!mClient) {
        mClient = std::make_unique<MosquittoClient>();
        MosquittoClient *c = mClient.get();
        QObject::connect(c, &MosquittoClient::connected, this, &MqttClient::onConnected);
        QObject::connect(c, &MosquittoClient::disconnected, this, &MqttClient::onDisconnected);
        QObject::connect(c, &MosquittoClient::errorChanged, this, &MqttClient::onError);
        QObject::connect(c, &MosquittoClient::stateChanged, this, &MqttClient::onStateChanged);
        QObject::connect(c, &MosquittoClient::messageReceived, this, &MqttClient::onReceived);
        QObject::connect(c, &MosquittoClient::pingResponseReceived, this, &MqttClient::onPingResponse);
    }
    kLog.debug(QStringLiteral("Applying client configuration:"));
    kLog.debug(QStringLiteral("Hostname: ") + mHostname);
    kLog.debug(QStringLiteral("Port    : ") + QString::number(mPort));
    kLog.debug(QStringLiteral("Username: ") + mUsername);
    kLog.debug(QStringLiteral("CleanSession: ") + boolText(mCleanSession));
    kLog.debug(QStringLiteral("Client Id   : ") + mClientId);
    kLog.debug(QStringLiteral("Keepalive   : ") + QString::number(mKeepAlive));
    kLog.debug(QStringLiteral("Will Message: ") + QString::fromUtf8(mWillMessage));
    kLog.debug(QStringLiteral("Will QoS    : ") + QString::number(mWillQoS));
    kLog.debug(QStringLiteral("Will Retain : ") + boolText(mWillRetain));
    kLog.debug(QStringLiteral("Will Topic  : ") + mWillTopic);

    mClient->setHostname(mHostname);
    if (mPort > std::numeric_limits<quint16>::max()) {
        // Cut to 16 bits it would name some other service; port 0 makes the attempt fail.
        kLog.critical(QStringLiteral("ERROR: Invalid broker port : ") + QString::number(mPort));
        mClient->setPort(0);
    } else {
        mClient->setPort(quint16(mPort));
    }
    mClient->setUsername(mUsername);
    mClient->setPassword(mPassword);
    mClient->setCleanSession(mCleanSession);
    mClient->setClientId(mClientId);
    mClient->setKeepAlive(mKeepAlive);
    mClient->setWillMessage(mWillMessage);
    mClient->setWillQoS(mWillQoS);
    mClient->setWillRetain(mWillRetain);
    mClient->setWillTopic(mWillTopic);
}

QString MqttClient::brokerAddress() const
{
    return mClient->hostname() + QLatin1Char(':') + QString::number(mClient->port());
}

int MqttClient::retryInterval() const
{
    return int(qMin<quint32>(mRetryMillis, std::numeric_limits<int>::max()));
}

void MqttClient::onStateChanged(MosquittoClient::ClientState state)
{
    switch (state) {
    case MosquittoClient::Connecting:
        kLog.debug(QStringLiteral("State is Connecting."));
        mRetryTimer->start();
        break;
    case MosquittoClient::Connected:
        kLog.debug(QStringLiteral("State is Connected."));
        mRetryTimer->stop();
        startPingTimer();
        break;
    case MosquittoClient::Disconnected:
        kLog.debug(QStringLiteral("State is Disconnected."));
        QTimer::singleShot(retryInterval(), this, &MqttClient::onReconnect);
        stopPingTimer();
        break;
    }
}

void MqttClient::onTimeout()
{
    kLog.warning(QStringLiteral("Force closing timed-out connection"));
    mClient->abortConnection();
}

void MqttClient::onReconnect()
{
    if (mClient->state() == MosquittoClient::Disconnected)
        connect();
}

void MqttClient::onConnected()
{
    kLog.info(QStringLiteral("Connected to broker ") + mClient->hostname());
    // A copy: a handler of error() may subscribe, and that one is asked for right away.
    const auto wanted = mWanted;
    for (const auto &w : wanted) {
        if (mClient->state() != MosquittoClient::Connected)
            return; // a handler dropped the link: the next connection asks again
        doSubscribe(w.first, w.second);
    }
    emit connected();
}

void MqttClient::onDisconnected()
{
    kLog.info(QStringLiteral("Disconnected from broker ") + mClient->hostname());
    while (!mLive.empty()) {
        MosquittoSubscription *subscription = mLive.front();
        mLive.erase(mLive.begin());
        subscription->deleteLater();
    }
    emit disconnected();
}

void MqttClient::startPingTimer()
{
    if (mKeepAlive == 0 || !mPingTimer)
        return;
    kLog.debug(QStringLiteral("Starting keep alive ping timer : %1 msec(s)").arg(mPingTimer->interval()));
    mPingTimer->start();
}

void MqttClient::stopPingTimer()
{
    if (!mPingTimer || !mPingTimer->isActive())
        return;
    kLog.debug(QStringLiteral("Stopping keep alive ping timer"));
    mPingTimer->stop();
}

void MqttClient::onPingResponse()
{
    kLog.debug(QStringLiteral("Ping response received from broker : ") + brokerAddress());
    startPingTimer();
}

void MqttClient::onPingTimeout()
{
    kLog.critical(QStringLiteral("ERROR: Keep-alive ping timed-out. Disconnecting from broker : ") + brokerAddress());
    mClient->disconnectFromHost();
}

void MqttClient::subscribe(const QByteArray &topic, quint8 qos)
{
    const QString filter = topicText(topic);
    mWanted.emplace_back(filter, qos);
    if (mClient && mClient->state() == MosquittoClient::Connected)
        doSubscribe(filter, qos);
}

void MqttClient::doSubscribe(const QString &filter, quint8 qos)
{
    kLog.info(QStringLiteral("Subscribing to '") + filter + QStringLiteral("' with QoS = ") + QString::number(qos));
    if (MosquittoSubscription *subscription = mClient->subscribe(filter, qos))
        mLive.push_back(subscription);
    else
        emit error(QStringLiteral("Subscription to ") + filter + QStringLiteral(" failed."));
}

MosquittoSubscription *MqttClient::subscribeDirect(const QString &topic, int qos)
{
    // Before the first connect there is no library client to ask.
    MosquittoSubscription *subscription = nullptr;
    if (mClient && qos >= 0 && qos <= 2)
        subscription = mClient->subscribe(topic, quint8(qos));
    if (!subscription) {
        kLog.critical(QStringLiteral("ERROR: Could not subscribe to topic : ") + topic);
        return nullptr;
    }
    kLog.info(QStringLiteral("Subscribed to topic : ") + topic);
    return subscription;
}

bool MqttClient::publish(const QByteArray &data, const QByteArray &topic, quint8 qos, bool retain)
{
    const QString name = topicText(topic);
    if (kLog.isDebugEnabled())
        kLog.debug(QStringLiteral("Publishing to topic '") + name + QLatin1Char('\''));
    // Before the first connect nothing can be sent, and saying otherwise would lose the message.
    if (!mClient)
        return false;
    if (mClient->publish(name, data, qos, retain) != -1)
        return true;
    emit error(QStringLiteral("Publish to ") + name + QStringLiteral(" failed."));
    return false;
}

void MqttClient::onReceived(const QByteArray &message, const QString &topic)
{
    if (kLog.isDebugEnabled())
        kLog.debug(QStringLiteral("Received on topic: ") + topic);
    emit received(message, topic.toUtf8());
}

void MqttClient::onError(MosquittoClient::ClientError e)
{
    QString text;
    switch (e) {
    case MosquittoClient::NoError:
        return;
    case MosquittoClient::InvalidProtocolVersion:
        text = QStringLiteral("Invalid protocol version: ") + QString::number(mClient->protocolVersion())
            + QStringLiteral(". Broker does not accept a connection using the specified protocol version.");
        break;
    case MosquittoClient::IdRejected:
        text = QStringLiteral("Id rejected: ") + mClient->clientId()
            + QStringLiteral(". The client ID is malformed. This might be related to its length.");
        break;
    case MosquittoClient::ServerUnavailable:
        text = QStringLiteral("Server unavailable: ") + brokerAddress()
            + QStringLiteral(". The network connection has been established, but the service is unavailable on "
                             "the broker side.");
        break;
    case MosquittoClient::BadUsernameOrPassword:
        text = QStringLiteral("Bad username or password. The data in the username or password is malformed.");
        break;
    case MosquittoClient::NotAuthorized:
        text = QStringLiteral("Not authorized: ") + mClient->clientId()
            + QStringLiteral(". The client is not authorized to connect.");
        break;
    case MosquittoClient::TransportInvalid:
        text = QStringLiteral("Transport invalid: The underlying transport caused an error. For example, the "
                              "connection might have been interrupted unexpectedly.");
        break;
    case MosquittoClient::ProtocolViolation:
        text = QStringLiteral("Protocol violation:The client encountered a protocol violation, and therefore "
                              "closed the connection.");
        break;
    default:
        text = QStringLiteral("Unknown error.");
        break;
    }
    kLog.warning(text);
    emit error(QStringLiteral("Mqtt client error."));
    mClient->disconnectFromHost();
}

} // namespace manager

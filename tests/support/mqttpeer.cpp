#include "support/mqttpeer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QUuid>

#include <mosquitto.h>

#include <mutex>

namespace {

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

} // namespace

MqttPeer::MqttPeer(const QString &clientId, QObject *parent)
    : QObject(parent)
{
    initLibrary();
    const QByteArray id = (clientId.isEmpty()
                               ? QStringLiteral("peer-") + QUuid::createUuid().toString(QUuid::WithoutBraces)
                               : clientId)
                              .toUtf8();
    mClient = mosquitto_new(id.constData(), true, this);
    mosquitto_connect_callback_set(mClient, &MqttPeer::onConnect);
    mosquitto_disconnect_callback_set(mClient, &MqttPeer::onDisconnect);
    mosquitto_message_callback_set(mClient, &MqttPeer::onMessage);
    mosquitto_subscribe_callback_set(mClient, &MqttPeer::onSubscribe);
    mosquitto_publish_callback_set(mClient, &MqttPeer::onPublish);
}

MqttPeer::~MqttPeer()
{
    disconnectFromBroker();
    mosquitto_destroy(mClient);
}

bool MqttPeer::connectTo(const QString &host, quint16 port, int timeoutMs, const QString &user,
                         const QString &password)
{
    if (!user.isEmpty())
        mosquitto_username_pw_set(mClient, user.toUtf8().constData(), password.toUtf8().constData());
    {
        QMutexLocker lock(&mMutex);
        mConnack = -1;
    }
    if (mosquitto_connect(mClient, host.toUtf8().constData(), port, 30) != MOSQ_ERR_SUCCESS)
        return false;
    if (!mLoopRunning) {
        if (mosquitto_loop_start(mClient) != MOSQ_ERR_SUCCESS)
            return false;
        mLoopRunning = true;
    }
    waitFor([this] { return mConnack >= 0; }, timeoutMs);
    return isConnected();
}

void MqttPeer::disconnectFromBroker()
{
    if (!mLoopRunning)
        return;
    mosquitto_disconnect(mClient);
    mosquitto_loop_stop(mClient, true);
    mLoopRunning = false;
    QMutexLocker lock(&mMutex);
    mConnected = false;
}

bool MqttPeer::isConnected() const
{
    QMutexLocker lock(&mMutex);
    return mConnected;
}

bool MqttPeer::subscribe(const QString &filter, int qos, int timeoutMs)
{
    int mid = 0;
    if (mosquitto_subscribe(mClient, &mid, filter.toUtf8().constData(), qos) != MOSQ_ERR_SUCCESS)
        return false;
    return waitFor([this, mid] { return mAcked.contains(mid); }, timeoutMs);
}

int MqttPeer::publish(const QString &topic, const QByteArray &payload, int qos, bool retain, int timeoutMs)
{
    int mid = 0;
    if (mosquitto_publish(mClient, &mid, topic.toUtf8().constData(), payload.size(), payload.constData(), qos,
                          retain)
        != MOSQ_ERR_SUCCESS)
        return -1;
    if (qos > 0 && !waitFor([this, mid] { return mAcked.contains(mid); }, timeoutMs))
        return -1;
    return mid;
}

QList<MqttPeer::Message> MqttPeer::messages() const
{
    QMutexLocker lock(&mMutex);
    return mMessages;
}

QList<MqttPeer::Message> MqttPeer::messages(const QString &topic) const
{
    QList<Message> out;
    for (const auto &m : messages()) {
        if (m.topic == topic)
            out.append(m);
    }
    return out;
}

int MqttPeer::count(const QString &topic) const
{
    return topic.isEmpty() ? messages().size() : messages(topic).size();
}

void MqttPeer::clear()
{
    QMutexLocker lock(&mMutex);
    mMessages.clear();
}

bool MqttPeer::waitForMessages(const QString &topic, int wanted, int timeoutMs)
{
    return waitFor(
        [this, &topic, wanted] {
            int n = 0;
            for (const auto &m : mMessages)
                n += (topic.isEmpty() || m.topic == topic) ? 1 : 0;
            return n >= wanted;
        },
        timeoutMs);
}

// Runs the caller's event loop while waiting, so a client under test on this thread keeps working.
bool MqttPeer::waitFor(const std::function<bool()> &condition, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    forever {
        {
            QMutexLocker lock(&mMutex);
            if (condition())
                return true;
        }
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
}

void MqttPeer::onConnect(mosquitto *, void *self, int rc)
{
    auto peer = static_cast<MqttPeer *>(self);
    QMutexLocker lock(&peer->mMutex);
    peer->mConnack = rc;
    peer->mConnected = (rc == 0);
}

void MqttPeer::onDisconnect(mosquitto *, void *self, int)
{
    auto peer = static_cast<MqttPeer *>(self);
    QMutexLocker lock(&peer->mMutex);
    peer->mConnected = false;
}

void MqttPeer::onMessage(mosquitto *, void *self, const mosquitto_message *msg)
{
    auto peer = static_cast<MqttPeer *>(self);
    Message m;
    m.topic = QString::fromUtf8(msg->topic);
    m.payload = QByteArray(static_cast<const char *>(msg->payload), msg->payloadlen);
    m.qos = msg->qos;
    m.retain = msg->retain;
    m.receivedMs = QDateTime::currentMSecsSinceEpoch();
    {
        QMutexLocker lock(&peer->mMutex);
        peer->mMessages.append(m);
    }
    QMetaObject::invokeMethod(
        peer, [peer, m] { emit peer->received(m.topic, m.payload); }, Qt::QueuedConnection);
}

void MqttPeer::onSubscribe(mosquitto *, void *self, int mid, int, const int *)
{
    auto peer = static_cast<MqttPeer *>(self);
    QMutexLocker lock(&peer->mMutex);
    peer->mAcked.append(mid);
}

void MqttPeer::onPublish(mosquitto *, void *self, int mid)
{
    auto peer = static_cast<MqttPeer *>(self);
    QMutexLocker lock(&peer->mMutex);
    peer->mAcked.append(mid);
}

#include "support/mqttpeer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QUuid>

#include <mosquitto.h>

#include <mutex>

void MqttPeer::connected(void *self, int connack, bool up)
{
    auto peer = static_cast<MqttPeer *>(self);
    QMutexLocker lock(&peer->mMutex);
    if (connack >= 0)
        peer->mConnack = connack;
    peer->mConnected = up;
}

void MqttPeer::acked(void *self, int mid)
{
    auto peer = static_cast<MqttPeer *>(self);
    QMutexLocker lock(&peer->mMutex);
    peer->mAcked.append(mid);
}

MqttPeer::MqttPeer(const QString &clientId, QObject *parent)
    : QObject(parent)
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
    const QString id = clientId.isEmpty() ? "peer-" + QUuid::createUuid().toString(QUuid::WithoutBraces) : clientId;
    mClient = mosquitto_new(id.toUtf8().constData(), true, this);
    // The callbacks run on the library's network thread.
    mosquitto_connect_callback_set(mClient, [](mosquitto *, void *self, int rc) { connected(self, rc, rc == 0); });
    mosquitto_disconnect_callback_set(mClient, [](mosquitto *, void *self, int) { connected(self, -1, false); });
    mosquitto_message_callback_set(mClient, [](mosquitto *, void *self, const mosquitto_message *msg) {
        auto peer = static_cast<MqttPeer *>(self);
        const Message m{QString::fromUtf8(msg->topic),
                        QByteArray(static_cast<const char *>(msg->payload), msg->payloadlen), msg->qos, msg->retain};
        {
            QMutexLocker lock(&peer->mMutex);
            peer->mMessages.append(m);
        }
        QMetaObject::invokeMethod(
            peer, [peer, m] { emit peer->received(m.topic, m.payload); }, Qt::QueuedConnection);
    });
    mosquitto_subscribe_callback_set(mClient,
                                     [](mosquitto *, void *self, int mid, int, const int *) { acked(self, mid); });
    mosquitto_publish_callback_set(mClient, [](mosquitto *, void *self, int mid) { acked(self, mid); });
}

MqttPeer::~MqttPeer()
{
    if (mLoopRunning) {
        mosquitto_disconnect(mClient);
        mosquitto_loop_stop(mClient, true);
    }
    mosquitto_destroy(mClient);
}

bool MqttPeer::connectTo(const QString &host, quint16 port, int timeoutMs)
{
    {
        QMutexLocker lock(&mMutex);
        mConnack = -1;
    }
    if (mosquitto_connect(mClient, host.toUtf8().constData(), port, 30) != MOSQ_ERR_SUCCESS)
        return false;
    if (!mLoopRunning && mosquitto_loop_start(mClient) != MOSQ_ERR_SUCCESS)
        return false;
    mLoopRunning = true;
    waitFor([this] { return mConnack >= 0; }, timeoutMs);
    return isConnected();
}

bool MqttPeer::isConnected() const
{
    QMutexLocker lock(&mMutex);
    return mConnected;
}

bool MqttPeer::subscribe(const QString &filter, int qos, int timeoutMs)
{
    int mid = 0;
    return mosquitto_subscribe(mClient, &mid, filter.toUtf8().constData(), qos) == MOSQ_ERR_SUCCESS
        && waitFor([this, mid] { return mAcked.contains(mid); }, timeoutMs);
}

int MqttPeer::publish(const QString &topic, const QByteArray &payload, int qos, bool retain, int timeoutMs)
{
    int mid = 0;
    if (mosquitto_publish(mClient, &mid, topic.toUtf8().constData(), payload.size(), payload.constData(), qos, retain)
            != MOSQ_ERR_SUCCESS
        || (qos > 0 && !waitFor([this, mid] { return mAcked.contains(mid); }, timeoutMs)))
        return -1;
    return mid;
}

QList<MqttPeer::Message> MqttPeer::messages(const QString &topic) const
{
    QMutexLocker lock(&mMutex);
    QList<Message> out;
    for (const auto &m : mMessages) {
        if (topic.isEmpty() || m.topic == topic)
            out.append(m);
    }
    return out;
}

void MqttPeer::clear()
{
    QMutexLocker lock(&mMutex);
    mMessages.clear();
}

bool MqttPeer::waitForMessages(const QString &topic, int wanted, int timeoutMs)
{
    return waitFor([&] {
        return std::count_if(mMessages.cbegin(), mMessages.cend(),
                             [&](const Message &m) { return topic.isEmpty() || m.topic == topic; }) >= wanted;
    }, timeoutMs);
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

#include "support/mqttpeer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QUuid>

#include <mosquitto.h>

#include <mutex>

// The callbacks run on the library's network thread.
namespace {
MqttPeer *peer(void *self)
{
    return static_cast<MqttPeer *>(self);
}
} // namespace

MqttPeer::MqttPeer(const QString &clientId, QObject *parent)
    : QObject(parent)
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
    const QString id = clientId.isEmpty() ? "peer-" + QUuid::createUuid().toString(QUuid::WithoutBraces) : clientId;
    mClient = mosquitto_new(id.toUtf8().constData(), true, this);
    // As zub's own client: a message that follows another must not wait for its acknowledgement.
    mosquitto_int_option(mClient, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(mClient, [](mosquitto *, void *self, int rc) {
        QMutexLocker lock(&peer(self)->mMutex);
        peer(self)->mConnack = rc;
        peer(self)->mConnected = rc == 0;
    });
    mosquitto_disconnect_callback_set(mClient, [](mosquitto *, void *self, int) {
        QMutexLocker lock(&peer(self)->mMutex);
        peer(self)->mConnected = false;
    });
    mosquitto_message_callback_set(mClient, [](mosquitto *, void *self, const mosquitto_message *msg) {
        const Message m{QString::fromUtf8(msg->topic),
                        QByteArray(static_cast<const char *>(msg->payload), msg->payloadlen), msg->qos, msg->retain};
        QMutexLocker lock(&peer(self)->mMutex);
        peer(self)->mMessages.append(m);
        QMetaObject::invokeMethod(peer(self), [p = peer(self), m] { emit p->received(m.topic, m.payload); },
                                  Qt::QueuedConnection);
    });
    static const auto acked = [](mosquitto *, void *self, int mid) {
        QMutexLocker lock(&peer(self)->mMutex);
        peer(self)->mAcked.append(mid);
    };
    mosquitto_subscribe_callback_set(mClient, [](mosquitto *m, void *self, int mid, int, const int *) { acked(m, self, mid); });
    mosquitto_publish_callback_set(mClient, acked);
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
    if (mosquitto_connect(mClient, host.toUtf8().constData(), port, 30) != MOSQ_ERR_SUCCESS
        || (!mLoopRunning && mosquitto_loop_start(mClient) != MOSQ_ERR_SUCCESS))
        return false;
    mLoopRunning = true;
    waitFor([this] { return mConnack >= 0; }, timeoutMs);
    return isConnected();
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

bool MqttPeer::waitFor(const std::function<bool()> &condition, int timeoutMs, bool locked) const
{
    for (QDeadlineTimer deadline(timeoutMs);; QThread::usleep(500)) {
        QMutexLocker lock(locked ? &mMutex : nullptr);
        if (condition())
            return true;
        lock.unlock();
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

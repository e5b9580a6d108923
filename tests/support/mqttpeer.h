#pragma once

#include <QList>
#include <QMutex>
#include <QObject>

#include <functional>

struct mosquitto;

// A test peer on a real broker: plays a device service (card reader, database service,
// OBU, ...). Built straight on libmosquitto with the library's own network thread, so it
// is independent of the client under test. Everything it receives is recorded and
// re-emitted on the peer's thread as received().
class MqttPeer : public QObject
{
    Q_OBJECT
public:
    struct Message
    {
        QString topic;
        QByteArray payload;
        int qos = 0;
        bool retain = false;
    };

    explicit MqttPeer(const QString &clientId = QString(), QObject *parent = nullptr);
    ~MqttPeer() override;
    Q_DISABLE_COPY(MqttPeer)

    // Blocking until CONNACK or the deadline; true when the broker accepted.
    bool connectTo(const QString &host, quint16 port, int timeoutMs = 5000);
    bool isConnected() const
    {
        QMutexLocker lock(&mMutex);
        return mConnected;
    }

    // Blocking until SUBACK or the deadline.
    bool subscribe(const QString &filter, int qos = 0, int timeoutMs = 5000);
    // Returns the message id, or -1 on failure. QoS 1/2: waits until the broker acknowledged.
    int publish(const QString &topic, const QByteArray &payload, int qos = 0, bool retain = false,
                int timeoutMs = 5000);

    QList<Message> messages(const QString &topic = QString()) const; // of every topic when empty
    int count(const QString &topic = QString()) const { return messages(topic).size(); }
    void clear()
    {
        QMutexLocker lock(&mMutex);
        mMessages.clear();
    }
    // Waits until `count` messages on `topic` (any topic when empty) have arrived in total.
    bool waitForMessages(const QString &topic, int count = 1, int timeoutMs = 5000)
    {
        return waitFor([&] { return this->count(topic) >= count; }, timeoutMs, false);
    }

signals:
    void received(const QString &topic, const QByteArray &payload);

private:
    // Runs the caller's event loop while waiting, so a client under test on this thread keeps working.
    bool waitFor(const std::function<bool()> &condition, int timeoutMs, bool locked = true) const;

    mosquitto *mClient = nullptr;
    mutable QMutex mMutex;
    QList<Message> mMessages;
    QList<int> mAcked; // subscribe and publish acknowledgements by message id
    int mConnack = -1;
    bool mConnected = false;
    bool mLoopRunning = false;
};

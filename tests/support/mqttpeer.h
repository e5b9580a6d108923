#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <functional>

struct mosquitto;
struct mosquitto_message;

// A test peer on a real broker: plays a device service (card reader, database service,
// OBU, ...). Built straight on libmosquitto with the library's own network thread, so it
// is independent of the client under test. Everything it receives is recorded with a
// timestamp and re-emitted on the peer's thread as received().
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
        qint64 receivedMs = 0; // ms since the epoch
    };

    explicit MqttPeer(const QString &clientId = QString(), QObject *parent = nullptr);
    ~MqttPeer() override;
    Q_DISABLE_COPY(MqttPeer)

    // Blocking until CONNACK or the deadline; true when the broker accepted.
    bool connectTo(const QString &host, quint16 port, int timeoutMs = 5000,
                   const QString &user = QString(), const QString &password = QString());
    void disconnectFromBroker();
    bool isConnected() const;

    // Blocking until SUBACK or the deadline.
    bool subscribe(const QString &filter, int qos = 0, int timeoutMs = 5000);
    // Returns the message id, or -1 on failure. QoS 1/2: waits until the broker acknowledged.
    int publish(const QString &topic, const QByteArray &payload, int qos = 0, bool retain = false,
                int timeoutMs = 5000);

    QList<Message> messages() const;
    QList<Message> messages(const QString &topic) const;
    int count(const QString &topic = QString()) const;
    void clear();
    // Waits until `count` messages on `topic` (any topic when empty) have arrived in total.
    bool waitForMessages(const QString &topic, int count = 1, int timeoutMs = 5000);

signals:
    void received(const QString &topic, const QByteArray &payload);

private:
    static void onConnect(mosquitto *, void *self, int rc);
    static void onDisconnect(mosquitto *, void *self, int rc);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *msg);
    static void onSubscribe(mosquitto *, void *self, int mid, int count, const int *granted);
    static void onPublish(mosquitto *, void *self, int mid);
    bool waitFor(const std::function<bool()> &condition, int timeoutMs) const;

    mosquitto *mClient = nullptr;
    mutable QMutex mMutex;
    QList<Message> mMessages;
    QList<int> mAcked; // subscribe and publish acknowledgements by message id
    int mConnack = -1;
    bool mConnected = false;
    bool mLoopRunning = false;
};

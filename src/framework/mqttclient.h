#pragma once

#include "framework/mosquittoclient.h"
#include "framework/mosquittosubscription.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

class QTimer;

namespace manager {

// The one MQTT connection a group of service clients shares: keeps the broker parameters its
// owner sets, connects and reconnects by itself, drops a link whose keep-alive answers stop,
// makes every wanted subscription again after each connection and emits all that arrives as
// received(). Lives on the main thread; failures come as log lines and error().
class MqttClient : public QObject
{
    Q_OBJECT
public:
    explicit MqttClient(QObject *parent = nullptr);
    ~MqttClient() override;
    Q_DISABLE_COPY(MqttClient)

    // Each value reaches the library client at the next connect(), the automatic ones included.
    void setHostname(const QString &hostname) { mHostname = hostname; }
    void setPort(quint32 port) { mPort = port; }
    void setUsername(const QString &username) { mUsername = username; }
    void setPassword(const QString &password) { mPassword = password; }
    void setRetryMillis(quint32 millis) { mRetryMillis = millis; }
    void setEncrypted(bool encrypted) { mEncrypted = encrypted; }
    void setCleanSession(bool clean) { mCleanSession = clean; }
    void setClientId(const QString &id) { mClientId = id; }
    void setKeepAlive(quint8 seconds) { mKeepAlive = seconds; }
    void setWillMessage(const QByteArray &message) { mWillMessage = message; }
    void setWillQoS(quint8 qos) { mWillQoS = qos; }
    void setWillRetain(bool retain) { mWillRetain = retain; }
    void setWillTopic(const QString &topic) { mWillTopic = topic; }

    // Joins two topic levels with exactly one "/".
    static QString combinePath(const QString &a, const QString &b);

    // What the broker takes: a topic to publish on (not empty, no wildcard, no NUL), and a
    // filter to subscribe to (not empty, no NUL, each wildcard a whole level, "#" the last).
    static bool isTopicName(const QString &topic);
    static bool isTopicFilter(const QString &filter);
    // Whether a message on `topic` reaches a subscription to `filter`.
    static bool topicMatches(const QString &filter, const QString &topic);

    // Delivers one topic straight to a handler of the receiver (queued), on the current
    // connection only: not remembered, not made again after a reconnection.
    template <typename T, typename F>
    void subscribe(const QString &topic, const T *receiver, F handler, int qos)
    {
        if (MosquittoSubscription *subscription = subscribeDirect(topic, qos))
            QObject::connect(subscription, &MosquittoSubscription::messageReceived, receiver, handler,
                             Qt::QueuedConnection);
    }

public slots:
    void connect();
    void disconnect();
    void subscribe(const QByteArray &topic, quint8 qos = 0);
    bool publish(const QByteArray &data, const QByteArray &topic, quint8 qos = 0, bool retain = false);

signals:
    void connected();
    void disconnected();
    void received(const QByteArray &data, const QByteArray &from);
    void error(const QString &error);

private slots:
    void onConnected();
    void onDisconnected();
    void onStateChanged(manager::MosquittoClient::ClientState state);
    void onTimeout();
    void onReconnect();
    void onReceived(const QByteArray &message, const QString &topic);
    void onError(manager::MosquittoClient::ClientError e);
    void onPingTimeout();
    void onPingResponse();

private:
    void initTimer();
    void initPingTimer();
    void initClient();
    void startPingTimer();
    void stopPingTimer();
    void doSubscribe(const QString &filter, quint8 qos);
    MosquittoSubscription *subscribeDirect(const QString &topic, int qos);
    int retryInterval() const;
    QString brokerAddress() const;

    std::unique_ptr<MosquittoClient> mClient;
    std::unique_ptr<QTimer> mRetryTimer;
    std::unique_ptr<QTimer> mPingTimer;
    std::vector<std::pair<QString, quint8>> mWanted;
    std::vector<MosquittoSubscription *> mLive;
    QString mHostname = QStringLiteral("127.0.0.1");
    quint32 mPort = 1883;
    QString mUsername;
    QString mPassword;
    quint32 mRetryMillis = 3000;
    bool mEncrypted = false;
    bool mCleanSession = true;
    QString mClientId;
    quint8 mKeepAlive = 60;
    QByteArray mWillMessage;
    quint8 mWillQoS = 2;
    bool mWillRetain = true;
    QString mWillTopic;
};

} // namespace manager

#pragma once

#include "framework/mosquittosubscription.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <memory>
#include <vector>

struct mosquitto;
struct mosquitto_message;
class QSocketNotifier;
class QTimer;

namespace manager {

// The library client under MqttClient: one MQTT 3.1.1 connection over libmosquitto, run by the
// event loop of its thread (socket notifiers and a housekeeping timer, no thread of its own).
// Library callbacks only queue what happened; the signals go out once the library call has
// returned, each with the state already updated. Nothing is emitted once destruction has begun.
class MosquittoClient : public QObject
{
    Q_OBJECT
public:
    enum ClientState { Disconnected = 0, Connecting = 1, Connected = 2 };
    Q_ENUM(ClientState)

    enum ClientError {
        NoError = 0,
        InvalidProtocolVersion = 1,
        IdRejected = 2,
        ServerUnavailable = 3,
        BadUsernameOrPassword = 4,
        NotAuthorized = 5,
        TransportInvalid = 256,
        ProtocolViolation = 257,
        UnknownError = 258,
        Mqtt5SpecificError = 259
    };
    Q_ENUM(ClientError)

    explicit MosquittoClient(QObject *parent = nullptr);
    ~MosquittoClient() override;
    Q_DISABLE_COPY(MosquittoClient)

    // The keep-alive the library accepts for a wanted one: 1 to 4 s become 5 s.
    static quint16 effectiveKeepAlive(quint16 seconds);

    // The connection parameters; a change is refused, with a warning, unless disconnected.
    QString hostname() const { return mHostname; }
    void setHostname(const QString &hostname)
    {
        if (hostname != mHostname && mayChange("host name"))
            mHostname = hostname;
    }
    quint16 port() const { return mPort; }
    void setPort(quint16 port)
    {
        if (port != mPort && mayChange("port"))
            mPort = port;
    }
    QString username() const { return mUsername; }
    void setUsername(const QString &username)
    {
        if (username != mUsername && mayChange("user name"))
            mUsername = username;
    }
    QString password() const { return mPassword; }
    void setPassword(const QString &password)
    {
        if (password != mPassword && mayChange("password"))
            mPassword = password;
    }
    bool cleanSession() const { return mCleanSession; }
    void setCleanSession(bool clean)
    {
        if (clean != mCleanSession && mayChange("clean session flag"))
            mCleanSession = clean;
    }
    QString clientId() const { return mClientId; }
    void setClientId(const QString &id)
    {
        if (id != mClientId && mayChange("client id"))
            mClientId = id;
    }
    quint16 keepAlive() const { return mKeepAlive; } // the value in force
    void setKeepAlive(quint16 seconds);
    QByteArray willMessage() const { return mWillMessage; }
    void setWillMessage(const QByteArray &message)
    {
        if (message != mWillMessage && mayChange("will message"))
            mWillMessage = message;
    }
    quint8 willQoS() const { return mWillQoS; }
    void setWillQoS(quint8 qos)
    {
        if (qos != mWillQoS && mayChange("will QoS"))
            mWillQoS = qos;
    }
    bool willRetain() const { return mWillRetain; }
    void setWillRetain(bool retain)
    {
        if (retain != mWillRetain && mayChange("will retain flag"))
            mWillRetain = retain;
    }
    QString willTopic() const { return mWillTopic; }
    void setWillTopic(const QString &topic)
    {
        if (topic != mWillTopic && mayChange("will topic"))
            mWillTopic = topic;
    }
    int protocolVersion() const { return 4; }

    ClientState state() const { return mState; }
    ClientError error() const { return mError; }

    void connectToHost();
    void disconnectFromHost();
    // Drops the connection without a DISCONNECT packet, also while the TCP connect is pending.
    void abortConnection();

    // Null when not connected, for a bad filter, a QoS above 2 or a refusal by the library.
    MosquittoSubscription *subscribe(const QString &filter, quint8 qos = 0);
    // -1 on failure, 0 for QoS 0, the packet id for QoS 1 and 2.
    qint32 publish(const QString &topic, const QByteArray &payload, quint8 qos = 0, bool retain = false);

signals:
    void stateChanged(manager::MosquittoClient::ClientState state);
    void connected();
    void disconnected();
    void errorChanged(manager::MosquittoClient::ClientError error);
    void messageReceived(const QByteArray &message, const QString &topic);
    void pingResponseReceived();

private:
    bool mayChange(const char *what) const;

    // One connection attempt: a fresh library handle, its socket notifiers and what its
    // callbacks learnt. Retired handles are destroyed later, never inside a library call.
    struct Link
    {
        MosquittoClient *owner = nullptr;
        mosquitto *handle = nullptr;
        quint64 epoch = 0;
        QSocketNotifier *reader = nullptr;
        QSocketNotifier *writer = nullptr;
        bool up = false;       // CONNACK accepted and not lost since
        bool finished = false; // the end of the link is queued
        bool retired = false;  // we dropped it: its callbacks no longer count
    };

    struct Event
    {
        enum Kind { StateUp, Up, StateDown, Down, Failure, Message, SubscriptionMessage, Ping };
        Kind kind = StateUp;
        quint64 epoch = 0;
        ClientError error = NoError;
        MosquittoMessage message;
        QPointer<MosquittoSubscription> subscription;
    };

    void startLink(const QString &address);
    void endLink(Link *link, ClientError error);
    void queueDown(quint64 epoch, ClientError error);
    void retireLink();
    void reapLinks();
    void dropLink();
    void afterLibraryCall(int rc);
    void afterUserCall();
    void updateNotifiers();
    void onReadable();
    void onWritable();
    void onHousekeeping();
    void setStateAndEmit(ClientState state);
    void queue(Event &&event);
    void scheduleFlush();
    void flush();
    void deliver(const Event &event);
    void noteInbound(Link *link, bool pingResponse);

    static void onLibConnect(mosquitto *, void *link, int rc);
    static void onLibDisconnect(mosquitto *, void *link, int rc);
    static void onLibMessage(mosquitto *, void *link, const mosquitto_message *message);
    static void onLibLog(mosquitto *, void *link, int level, const char *text);

    QString mHostname;
    quint16 mPort = 1883;
    QString mUsername;
    QString mPassword;
    bool mCleanSession = true;
    QString mClientId;
    quint16 mKeepAlive = 60;
    quint16 mWarnedKeepAlive = 0;
    QByteArray mWillMessage;
    quint8 mWillQoS = 0;
    bool mWillRetain = false;
    QString mWillTopic;

    ClientState mState = Disconnected;
    ClientError mError = NoError;
    quint64 mEpoch = 0; // bumped by every attempt and by every connection we drop ourselves
    std::unique_ptr<Link> mLink;
    std::vector<std::unique_ptr<Link>> mRetired;
    std::vector<QPointer<MosquittoSubscription>> mSubscriptions;
    std::deque<Event> mEvents;
    QTimer *mHousekeeping = nullptr;
    QElapsedTimer mLastInbound;
    int mLookupId = -1;
    bool mFlushPosted = false;
    bool mReapPosted = false;
    bool mDestroying = false;
};

} // namespace manager

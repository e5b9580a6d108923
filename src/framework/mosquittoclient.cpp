#include "framework/mosquittoclient.h"

#include "framework/logtag.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <mosquitto.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace manager {

namespace {

const LogTag kLog(QStringLiteral("[MqttClient] "));

// libmosquitto sends its pings and notices a silent broker only from mosquitto_loop_misc.
constexpr int kHousekeepingMs = 200;
// A busy link carries no pings: inbound traffic stands in for them, reported at most this often.
constexpr qint64 kInboundReportMs = 1000;
constexpr quint16 kLeastKeepAlive = 5; // mosquitto_connect refuses 1 to 4 s

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

MosquittoClient::ClientError errorFromLibrary(int rc)
{
    switch (rc) {
    case MOSQ_ERR_KEEPALIVE:
        return MosquittoClient::ServerUnavailable;
    case MOSQ_ERR_PROTOCOL:
    case MOSQ_ERR_MALFORMED_PACKET:
    case MOSQ_ERR_MALFORMED_UTF8:
    case MOSQ_ERR_DUPLICATE_PROPERTY:
    case MOSQ_ERR_OVERSIZE_PACKET:
        return MosquittoClient::ProtocolViolation;
    case MOSQ_ERR_SUCCESS: // the end of a link we did not drop ourselves
    case MOSQ_ERR_NO_CONN:
    case MOSQ_ERR_CONN_REFUSED:
    case MOSQ_ERR_CONN_LOST:
    case MOSQ_ERR_ERRNO:
    case MOSQ_ERR_EAI:
    case MOSQ_ERR_LOOKUP:
        return MosquittoClient::TransportInvalid;
    default:
        return MosquittoClient::UnknownError;
    }
}

// CONNACK return codes of MQTT 3.1.1; the rest of the byte is reserved.
MosquittoClient::ClientError errorFromConnack(int rc)
{
    if (rc >= MosquittoClient::InvalidProtocolVersion && rc <= MosquittoClient::NotAuthorized)
        return MosquittoClient::ClientError(rc);
    return MosquittoClient::ProtocolViolation;
}

bool startsWith(const char *text, const char *prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool endsWith(const char *text, const char *suffix)
{
    const std::size_t n = std::strlen(text);
    const std::size_t m = std::strlen(suffix);
    return n >= m && std::strcmp(text + n - m, suffix) == 0;
}

} // namespace

MosquittoClient::MosquittoClient(QObject *parent)
    : QObject(parent)
{
    initLibrary();
    mHousekeeping = new QTimer(this);
    mHousekeeping->setInterval(kHousekeepingMs);
    QObject::connect(mHousekeeping, &QTimer::timeout, this, &MosquittoClient::onHousekeeping);
}

MosquittoClient::~MosquittoClient()
{
    mDestroying = true;
    retireLink();
    reapLinks();
}

quint16 MosquittoClient::effectiveKeepAlive(quint16 seconds)
{
    return (seconds > 0 && seconds < kLeastKeepAlive) ? kLeastKeepAlive : seconds;
}

bool MosquittoClient::mayChange(const char *what) const
{
    if (mState == Disconnected)
        return true;
    kLog.warning(QStringLiteral("WARN: Cannot change the ") + QLatin1String(what)
            + QStringLiteral(" while connecting or connected"));
    return false;
}

void MosquittoClient::setKeepAlive(quint16 seconds)
{
    const quint16 effective = effectiveKeepAlive(seconds);
    if (mState != Disconnected) {
        if (effective != mKeepAlive)
            mayChange("keep-alive");
        return;
    }
    if (effective != seconds && seconds != mWarnedKeepAlive) {
        kLog.warning(QStringLiteral("WARN: Keep-alive of %1 s is below the least the library "
                                    "accepts, using %2 s")
                             .arg(seconds)
                             .arg(effective));
    }
    mWarnedKeepAlive = (effective != seconds) ? seconds : 0;
    mKeepAlive = effective;
}

void MosquittoClient::connectToHost()
{
    if (mState != Disconnected) {
        kLog.warning(QStringLiteral("WARN: Connect request ignored, already ")
                + (mState == Connected ? QStringLiteral("connected") : QStringLiteral("connecting"))
                + QStringLiteral(" to ") + mHostname + QLatin1Char(':') + QString::number(mPort));
        return;
    }
    mError = NoError;
    const quint64 epoch = ++mEpoch;
    setStateAndEmit(Connecting);
    if (epoch != mEpoch)
        return; // a handler already changed course
    if (mHostname.isEmpty() || mPort == 0) {
        // A failed attempt like any other, so that the owner's retries go on.
        queueDown(epoch, TransportInvalid);
        scheduleFlush();
        return;
    }

    const QHostAddress literal(mHostname);
    if (!literal.isNull()) {
        startLink(literal.toString());
        scheduleFlush();
        return;
    }
    // Name resolution inside libmosquitto would block the event loop.
    mLookupId = QHostInfo::lookupHost(mHostname, this, [this, epoch](const QHostInfo &info) {
        mLookupId = -1;
        if (epoch != mEpoch)
            return;
        const auto addresses = info.addresses();
        if (addresses.isEmpty()) {
            kLog.warning(QStringLiteral("ERROR: Could not resolve broker host ") + mHostname);
            queueDown(epoch, TransportInvalid);
        } else {
            QHostAddress chosen = addresses.first();
            for (const auto &a : addresses) {
                if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                    chosen = a;
                    break;
                }
            }
            startLink(chosen.toString());
        }
        flush();
    });
}

void MosquittoClient::startLink(const QString &address)
{
    auto link = std::make_unique<Link>();
    link->owner = this;
    link->epoch = mEpoch;
    const QByteArray id = mClientId.toUtf8();
    link->handle = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), mCleanSession, link.get());
    mLink = std::move(link);
    Link *l = mLink.get();
    if (!l->handle) {
        // The library refuses an empty id without a clean session, as a broker would.
        endLink(l, (id.isEmpty() && !mCleanSession) ? IdRejected : UnknownError);
        return;
    }
    mosquitto_int_option(l->handle, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // A verdict and its lights go out back to back: without this the second waits for the
    // broker's delayed acknowledgement of the first (Nagle), some 40 ms.
    mosquitto_int_option(l->handle, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(l->handle, &MosquittoClient::onLibConnect);
    mosquitto_disconnect_callback_set(l->handle, &MosquittoClient::onLibDisconnect);
    mosquitto_message_callback_set(l->handle, &MosquittoClient::onLibMessage);
    mosquitto_log_callback_set(l->handle, &MosquittoClient::onLibLog);

    int rc = MOSQ_ERR_SUCCESS;
    if (!mUsername.isEmpty()) {
        const QByteArray password = mPassword.toUtf8();
        rc = mosquitto_username_pw_set(l->handle, mUsername.toUtf8().constData(),
                                       password.isEmpty() ? nullptr : password.constData());
    }
    if (rc == MOSQ_ERR_SUCCESS && !mWillTopic.isEmpty()) {
        rc = mosquitto_will_set(l->handle, mWillTopic.toUtf8().constData(), mWillMessage.size(),
                                mWillMessage.constData(), mWillQoS, mWillRetain);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        kLog.warning(QStringLiteral("ERROR: Could not set up the connection to ") + mHostname
                + QLatin1Char(':') + QString::number(mPort) + QStringLiteral(" : ")
                + QString::fromUtf8(mosquitto_strerror(rc)));
        endLink(l, UnknownError);
        return;
    }
    rc = mosquitto_connect_async(l->handle, address.toUtf8().constData(), mPort, mKeepAlive);
    if (rc != MOSQ_ERR_SUCCESS) {
        endLink(l, errorFromLibrary(rc));
        return;
    }
    const int fd = mosquitto_socket(l->handle);
    l->reader = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    l->writer = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    l->writer->setEnabled(false);
    QObject::connect(l->reader, &QSocketNotifier::activated, this, &MosquittoClient::onReadable);
    QObject::connect(l->writer, &QSocketNotifier::activated, this, &MosquittoClient::onWritable);
    mHousekeeping->start();
    updateNotifiers();
}

// Marks the link as ended and queues the state change, the signal and the error, in that order.
void MosquittoClient::endLink(Link *link, ClientError error)
{
    if (link->finished)
        return;
    link->finished = true;
    link->up = false;
    queueDown(link->epoch, error);
}

void MosquittoClient::queueDown(quint64 epoch, ClientError error)
{
    Event event;
    event.epoch = epoch;
    event.kind = Event::StateDown;
    queue(Event(event));
    event.kind = Event::Down;
    queue(Event(event));
    event.kind = Event::Failure;
    event.error = error;
    queue(std::move(event));
}

void MosquittoClient::retireLink()
{
    mSubscriptions.clear();
    if (mLookupId != -1) {
        QHostInfo::abortHostLookup(mLookupId);
        mLookupId = -1;
    }
    if (!mLink)
        return;
    mLink->retired = true;
    // Disabled now, before the library closes the descriptor; deleted later, as one of them
    // may be the notifier whose activation we are running in.
    for (QSocketNotifier *n : {mLink->reader, mLink->writer}) {
        if (n) {
            n->setEnabled(false);
            n->deleteLater();
        }
    }
    mLink->reader = mLink->writer = nullptr;
    mRetired.push_back(std::move(mLink));
    mHousekeeping->stop();
    if (!mReapPosted && !mDestroying) {
        mReapPosted = true;
        QMetaObject::invokeMethod(this, &MosquittoClient::reapLinks, Qt::QueuedConnection);
    }
}

// Runs from the event loop (or the destructor), so no library call is on the stack.
void MosquittoClient::reapLinks()
{
    mReapPosted = false;
    for (auto &link : mRetired) {
        if (link->handle)
            mosquitto_destroy(link->handle);
    }
    mRetired.clear();
}

void MosquittoClient::disconnectFromHost()
{
    switch (mState) {
    case Disconnected:
        return;
    case Connecting:
        abortConnection();
        return;
    case Connected:
        break;
    }
    if (mLink && mLink->up) {
        mLink->retired = true; // its disconnect callback is ours, not news
        mosquitto_disconnect(mLink->handle);
    }
    dropLink();
}

void MosquittoClient::abortConnection()
{
    if (mState == Disconnected)
        return;
    dropLink();
}

// The end of a link we decided ourselves: told at once, and whatever the library queued for it
// is stale.
void MosquittoClient::dropLink()
{
    retireLink();
    const quint64 epoch = ++mEpoch;
    setStateAndEmit(Disconnected);
    if (epoch == mEpoch)
        emit disconnected();
}

MosquittoSubscription *MosquittoClient::subscribe(const QString &filter, quint8 qos)
{
    if (mState != Connected || !mLink || !mLink->up || qos > 2)
        return nullptr;
    const QByteArray bytes = filter.toUtf8();
    if (bytes.isEmpty() || mosquitto_sub_topic_check(bytes.constData()) != MOSQ_ERR_SUCCESS)
        return nullptr;
    const int rc = mosquitto_subscribe(mLink->handle, nullptr, bytes.constData(), qos);
    afterUserCall();
    if (rc != MOSQ_ERR_SUCCESS)
        return nullptr;
    mSubscriptions.erase(std::remove(mSubscriptions.begin(), mSubscriptions.end(), nullptr), mSubscriptions.end());
    auto subscription = new MosquittoSubscription(filter, qos, this);
    mSubscriptions.emplace_back(subscription);
    return subscription;
}

qint32 MosquittoClient::publish(const QString &topic, const QByteArray &payload, quint8 qos, bool retain)
{
    // Checked here first: libmosquitto keeps a QoS 1 or 2 message of a dead link and would send
    // it after the next connection, although we reported failure.
    if (mState != Connected || !mLink || !mLink->up || qos > 2)
        return -1;
    const QByteArray name = topic.toUtf8();
    if (name.isEmpty())
        return -1;
    int id = 0;
    const int rc = mosquitto_publish(mLink->handle, &id, name.constData(), payload.size(), payload.constData(), qos,
                                     retain);
    afterUserCall();
    if (rc != MOSQ_ERR_SUCCESS)
        return -1;
    return qos == 0 ? 0 : id;
}

void MosquittoClient::onReadable()
{
    if (!mLink || mLink->finished)
        return;
    const int rc = mosquitto_loop_read(mLink->handle, 1);
    // Acknowledge at once (Linux drops quick-ack mode again by itself). A broker that uses Nagle
    // otherwise holds a reply back until our delayed ACK of the previous packet, ~40 ms later:
    // that hit every request whose own echo arrives just before its answer.
    const int fd = mosquitto_socket(mLink->handle);
    if (fd >= 0) {
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    }
    afterLibraryCall(rc);
}

void MosquittoClient::onWritable()
{
    if (mLink && !mLink->finished)
        afterLibraryCall(mosquitto_loop_write(mLink->handle, 1));
}

void MosquittoClient::onHousekeeping()
{
    if (mLink && !mLink->finished && mosquitto_socket(mLink->handle) != -1)
        afterLibraryCall(mosquitto_loop_misc(mLink->handle));
}

void MosquittoClient::afterLibraryCall(int rc)
{
    if (mLink && rc != MOSQ_ERR_SUCCESS)
        endLink(mLink.get(), errorFromLibrary(rc));
    updateNotifiers();
    flush();
}

// Our own calls into the library may queue events too, but the caller gets them from the event
// loop rather than inside publish() or subscribe().
void MosquittoClient::afterUserCall()
{
    updateNotifiers();
    scheduleFlush();
}

void MosquittoClient::updateNotifiers()
{
    Link *link = mLink.get();
    if (!link || !link->reader)
        return;
    const bool open = mosquitto_socket(link->handle) != -1;
    if (!open && !link->finished)
        endLink(link, TransportInvalid); // closed behind our back: never sit on a dead link
    const bool reading = open && !link->finished;
    const bool writing = reading && mosquitto_want_write(link->handle);
    if (link->reader->isEnabled() != reading)
        link->reader->setEnabled(reading);
    if (link->writer->isEnabled() != writing)
        link->writer->setEnabled(writing);
    if (!reading)
        mHousekeeping->stop();
}

void MosquittoClient::setStateAndEmit(ClientState state)
{
    if (mState == state)
        return;
    mState = state;
    emit stateChanged(state);
}

void MosquittoClient::queue(Event &&event)
{
    mEvents.push_back(std::move(event));
}

void MosquittoClient::scheduleFlush()
{
    if (mFlushPosted || mEvents.empty() || mDestroying)
        return;
    mFlushPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            mFlushPosted = false;
            flush();
        },
        Qt::QueuedConnection);
}

// One signal per event, taken from the front: a handler that runs a nested event loop may flush
// again, and the order still holds.
void MosquittoClient::flush()
{
    QPointer<MosquittoClient> self(this);
    while (!mEvents.empty() && !mDestroying) {
        const Event event = std::move(mEvents.front());
        mEvents.pop_front();
        if (event.epoch != mEpoch)
            continue;
        deliver(event);
        if (!self)
            return;
    }
}

void MosquittoClient::deliver(const Event &event)
{
    switch (event.kind) {
    case Event::StateUp:
        setStateAndEmit(Connected);
        break;
    case Event::Up:
        emit connected();
        break;
    case Event::StateDown:
        retireLink();
        setStateAndEmit(Disconnected);
        break;
    case Event::Down:
        emit disconnected();
        break;
    case Event::Failure:
        mError = event.error;
        emit errorChanged(event.error);
        break;
    case Event::Message:
        emit messageReceived(event.message.payload, event.message.topic);
        break;
    case Event::SubscriptionMessage:
        if (event.subscription)
            emit event.subscription->messageReceived(event.message);
        break;
    case Event::Ping:
        emit pingResponseReceived();
        break;
    }
}

void MosquittoClient::noteInbound(Link *link, bool pingResponse)
{
    if (!pingResponse && mLastInbound.isValid() && mLastInbound.elapsed() < kInboundReportMs)
        return;
    mLastInbound.start();
    Event event;
    event.kind = Event::Ping;
    event.epoch = link->epoch;
    queue(std::move(event));
}

// The callbacks below run inside library calls: they only record and queue.

void MosquittoClient::onLibConnect(mosquitto *, void *data, int rc)
{
    auto link = static_cast<Link *>(data);
    if (link->retired || link->finished)
        return;
    if (rc != 0) {
        // libmosquitto reports the refused link once more through its disconnect callback.
        link->owner->endLink(link, errorFromConnack(rc));
        return;
    }
    link->up = true;
    link->owner->mLastInbound.start();
    Event event;
    event.epoch = link->epoch;
    event.kind = Event::StateUp;
    link->owner->queue(Event(event));
    event.kind = Event::Up;
    link->owner->queue(std::move(event));
}

void MosquittoClient::onLibDisconnect(mosquitto *, void *data, int rc)
{
    auto link = static_cast<Link *>(data);
    if (!link->retired)
        link->owner->endLink(link, errorFromLibrary(rc));
}

void MosquittoClient::onLibMessage(mosquitto *, void *data, const mosquitto_message *message)
{
    auto link = static_cast<Link *>(data);
    if (link->retired || link->finished || !link->up)
        return;
    MosquittoClient *self = link->owner;
    Event event;
    event.epoch = link->epoch;
    event.kind = Event::Message;
    event.message.topic = QString::fromUtf8(message->topic);
    event.message.payload = QByteArray(static_cast<const char *>(message->payload), message->payloadlen);
    event.message.qos = quint8(message->qos);
    event.message.retain = message->retain;
    event.message.id = message->mid;
    self->queue(Event(event));
    event.kind = Event::SubscriptionMessage;
    for (const auto &subscription : self->mSubscriptions) {
        bool matches = false;
        if (subscription
            && mosquitto_topic_matches_sub(subscription->filter().toUtf8().constData(), message->topic, &matches)
                == MOSQ_ERR_SUCCESS
            && matches) {
            event.subscription = subscription;
            self->queue(Event(event));
        }
    }
}

// libmosquitto has no callback for PINGRESP nor for most inbound packets, but it logs each one.
void MosquittoClient::onLibLog(mosquitto *, void *data, int level, const char *text)
{
    auto link = static_cast<Link *>(data);
    if (level != MOSQ_LOG_DEBUG || link->retired || link->finished || !link->up || !startsWith(text, "Client "))
        return;
    if (endsWith(text, " received PINGRESP"))
        link->owner->noteInbound(link, true);
    else if (std::strstr(text, " received "))
        link->owner->noteInbound(link, false);
}

} // namespace manager

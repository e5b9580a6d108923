// The database service's requests and replies: the half of DBManagerPrivate that callers
// on the validation thread reach.
#include "db/dbmanager_p.h"

#include "framework/logtag.h"
#include "framework/mqttclient.h"
#include "tickets/urbanmelva_v1.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QVariantMap>

#include <exception>
#include <limits>

namespace {

const manager::LogTag kLog(QStringLiteral("[DBManager] "));

int errorId(const QJsonObject &reply)
{
    return reply.value(QLatin1String("error")).toObject().value(QLatin1String("id")).toInt(0);
}

QString errorText(const QJsonObject &reply)
{
    return reply.value(QLatin1String("error")).toObject().value(QLatin1String("error")).toString();
}

// The look-ups answer with their record as the first element of "resp"; none reads as {}.
QJsonObject firstRecord(const QJsonObject &reply)
{
    return reply.value(QLatin1String("resp")).toArray().at(0).toObject();
}

QVariantList oneParam(const QString &name, const QString &value)
{
    return {QVariantMap{{QStringLiteral("name"), name}, {QStringLiteral("value"), value}}};
}

// Building a record only keeps its object; whatever is thrown on the way becomes a null
// record and one critical line.
template <typename Record>
std::shared_ptr<Record> build(const QJsonObject &json, const QString &failure)
{
    try {
        return std::make_shared<Record>(json);
    } catch (const std::exception &e) {
        kLog.critical(failure + QString::fromUtf8(e.what()));
    } catch (...) {
        kLog.critical(failure + QStringLiteral("unknown error"));
    }
    return nullptr;
}

struct AcceptAny
{
    template <typename Ptr>
    bool operator()(const Ptr &) const
    {
        return true;
    }
};

} // namespace

int DBManagerPrivate::publishRequest(const QString &method, const QList<QVariant> &params)
{
    const int id = mRequestCounter;
    mRequestCounter = mRequestCounter == std::numeric_limits<int>::max() ? 0 : mRequestCounter + 1;

    // Before the first status message there is no device record, and no user either.
    const Device::Ptr current = device();
    const QJsonObject request{
        {QStringLiteral("src"), QStringLiteral("zub")},
        {QStringLiteral("method"), method},
        {QStringLiteral("id"), QString::number(id)},
        {QStringLiteral("params"), QJsonArray::fromVariantList(params)},
        {QStringLiteral("timestamp"),
         QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss'Z'"))},
        {QStringLiteral("userId"), current ? current->userId() : 0},
    };
    if (mClient)
        mClient->publish(QJsonDocument(request).toJson(QJsonDocument::Indented), mRequestTopic, mPubQos, false);
    return id;
}

int DBManagerPrivate::requestQRTicket(const QString &ticketId)
{
    kLog.info([&ticketId] { return QStringLiteral("Requesting to find ticket : ") + ticketId; });
    if (ticketId.isEmpty()) {
        emit onFindQRTicketResponse(nullptr);
        return -1;
    }
    return publishRequest(QStringLiteral("getValidatedTicket"), oneParam(QStringLiteral("ticketId"), ticketId));
}

int DBManagerPrivate::requestSCTicket(const QString &uid)
{
    kLog.info([&uid] { return QStringLiteral("Requesting to find card in blacklist : ") + uid; });
    if (uid.isEmpty()) {
        emit onFindSCTicketResponse(nullptr);
        return -1;
    }
    return publishRequest(QStringLiteral("getBlacklistedSmartCard"), oneParam(QStringLiteral("uid"), uid));
}

int DBManagerPrivate::requestLogin(const QString &cardId)
{
    kLog.info([&cardId] { return QStringLiteral("Requesting Log-in with card ID : '") + cardId + QLatin1Char('\''); });
    if (cardId.isEmpty()) {
        emit onLoginResponse(nullptr);
        return -1;
    }
    return publishRequest(QStringLiteral("loginCard"), oneParam(QStringLiteral("card_id"), cardId));
}

int DBManagerPrivate::requestEMV(const QString &method, const QString &logText, const QJsonArray &tickets)
{
    kLog.info(logText);
    return publishRequest(method, tickets.toVariantList());
}

void DBManagerPrivate::findQRTicketAsync(const QString &ticketId)
{
    requestQRTicket(ticketId);
}

void DBManagerPrivate::findSCTicketAsync(const QString &cardId)
{
    requestSCTicket(cardId);
}

void DBManagerPrivate::loginCardAsync(const QString &cardId)
{
    requestLogin(cardId);
}

void DBManagerPrivate::issueEMVTicketsAsync(const QJsonArray &tickets)
{
    requestEMV(QStringLiteral("issueEMVTickets"), QStringLiteral("Requesting to issue EMV tickets..."), tickets);
}

void DBManagerPrivate::storeEMVTicketsAsync(const QJsonArray &tickets)
{
    requestEMV(QStringLiteral("storeEMVTickets"), QStringLiteral("Requesting to store EMV tickets..."), tickets);
}

void DBManagerPrivate::storeEMVResultAsync(const QJsonArray &tickets)
{
    requestEMV(QStringLiteral("storeEMVResult"), QStringLiteral("Requesting to store EMV result..."), tickets);
}

void DBManagerPrivate::blockCard(const QString &uid, SCBlacklistEntry::BlockReason reason)
{
    const QJsonObject message{
        {QStringLiteral("status"), 5},
        {QStringLiteral("reason"), static_cast<int>(reason)},
        {QStringLiteral("uid"), uid},
    };
    if (mClient)
        mClient->publish(QJsonDocument(message).toJson(QJsonDocument::Indented), mBlockTopic, mPubQos, false);
}

// One blocking request on the caller's thread. The request itself is sent from the main
// thread; the caller's own events go on being handled while it waits. The gateway may be
// destroyed while the loop runs (a handler on the main thread, or the owner while the
// validation thread waits): after the loop only locals and the shared book are touched.
template <typename Record, typename Send, typename Accept>
std::shared_ptr<Record> DBManagerPrivate::waitForReply(void (DBManagerPrivate::*signal)(std::shared_ptr<Record>),
                                                       Send send, Accept accept)
{
    const int timeoutMs = setting(QStringLiteral("db/timeout_ms")).toInt();
    const std::shared_ptr<DBRequestBook> book = mBook;
    const auto wait = std::make_shared<DBRequestBook::Wait>();

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);

    std::shared_ptr<Record> kept;
    bool answered = false;
    QElapsedTimer elapsed;
    {
        QObject context; // on the caller's thread: the reply is taken there
        connect(this, signal, &context, [&](std::shared_ptr<Record> record) {
            if (answered || !accept(record))
                return;
            kept = std::move(record);
            answered = true;
            timer.stop();
            loop.quit();
        });
        connect(this, &QObject::destroyed, &context, [&] {
            timer.stop();
            loop.quit();
        });

        elapsed.start();
        QMetaObject::invokeMethod(
            this, [this, send, book, wait] { book->sent(wait, send(this)); }, Qt::QueuedConnection);
        timer.start(timeoutMs);
        loop.exec();
    }
    book->ended(wait);
    kLog.info([&elapsed] { return QStringLiteral("Operation completed in %1 msec(s)").arg(elapsed.elapsed()); });
    return kept;
}

qrticket_ptr DBManagerPrivate::findQRTicket(const QString &ticketId)
{
    qrticket_ptr ticket = waitForReply(
        &DBManagerPrivate::onFindQRTicketResponse,
        [ticketId](DBManagerPrivate *d) { return d->requestQRTicket(ticketId); }, AcceptAny());
    // The service answers a miss with no ticket: the empty ticket built from that answer must
    // not read as a ticket already validated.
    if (ticket && ticket->isEmpty())
        return nullptr;
    return ticket;
}

SCBlacklistEntry::Ptr DBManagerPrivate::findSCTicket(const QString &uid)
{
    // An entry that names another card answers someone else's question; taking it would
    // block this card for that one.
    const auto sameCard = [uid](const SCBlacklistEntry::Ptr &entry) {
        if (!entry)
            return true;
        const QString named = entry->uid();
        if (named.isEmpty() || named.compare(uid, Qt::CaseInsensitive) == 0)
            return true;
        kLog.warning([&] {
            return QStringLiteral("WARN: Dropped blacklist entry of card ") + named
                + QStringLiteral(" while waiting for card ") + uid;
        });
        return false;
    };
    return waitForReply(
        &DBManagerPrivate::onFindSCTicketResponse,
        [uid](DBManagerPrivate *d) { return d->requestSCTicket(uid); }, sameCard);
}

Employee::Ptr DBManagerPrivate::login(const QString &cardId)
{
    return waitForReply(
        &DBManagerPrivate::onLoginResponse,
        [cardId](DBManagerPrivate *d) { return d->requestLogin(cardId); }, AcceptAny());
}

EMVticketResp::Ptr DBManagerPrivate::issueEMVTickets(const QJsonArray &tickets)
{
    return waitForReply(
        &DBManagerPrivate::onIssueEMVTicketsResponse,
        [tickets](DBManagerPrivate *d) {
            return d->requestEMV(QStringLiteral("issueEMVTickets"), QStringLiteral("Requesting to issue EMV tickets..."),
                                 tickets);
        },
        AcceptAny());
}

EMVticketResp::Ptr DBManagerPrivate::storeEMVticketsData(const QJsonArray &tickets)
{
    return waitForReply(
        &DBManagerPrivate::onStoreEMVTicketsResponse,
        [tickets](DBManagerPrivate *d) {
            return d->requestEMV(QStringLiteral("storeEMVTickets"), QStringLiteral("Requesting to store EMV tickets..."),
                                 tickets);
        },
        AcceptAny());
}

EMVticketResp::Ptr DBManagerPrivate::storeEMVResults(const QJsonArray &tickets)
{
    return waitForReply(
        &DBManagerPrivate::onStoreEMVresultResponse,
        [tickets](DBManagerPrivate *d) {
            return d->requestEMV(QStringLiteral("storeEMVResult"), QStringLiteral("Requesting to store EMV result..."),
                                 tickets);
        },
        AcceptAny());
}

// Replies are matched to their method, not to the id of a request: the next reply of a method
// answers whoever waits for it. Only a reply to a request whose wait has ended is held back.
void DBManagerPrivate::handleResponseMessage(const QJsonDocument &document, const QByteArray &topic)
{
    const QList<QByteArray> pattern = mResponseTopic.split('/');
    const QList<QByteArray> levels = topic.split('/');
    if (levels.size() != pattern.size() || levels.size() < 2)
        return;
    for (int i = 0; i < levels.size() - 2; ++i) {
        if (levels.at(i) != pattern.at(i))
            return;
    }
    const QByteArray requester = levels.at(levels.size() - 2);
    const QString method = document.object().value(QLatin1String("method")).toString();

    using Handler = void (DBManagerPrivate::*)(const QJsonDocument &);
    Handler handler = nullptr;
    if (requester == "ui") {
        if (method == QLatin1String("setCurrentLanguage"))
            handler = &DBManagerPrivate::handleSetCurrentLanguageResponse;
        else if (method == QLatin1String("issueSingleTicket"))
            handler = &DBManagerPrivate::handleIssueSingleTicketResponse;
        else if (method == QLatin1String("issueMultipleTickets"))
            handler = &DBManagerPrivate::handleIssueMultipleTicketsResponse;
        if (handler)
            (this->*handler)(document);
        return;
    }
    if (requester != "zub")
        return;

    if (method == QLatin1String("loginCard"))
        handler = &DBManagerPrivate::handleLoginCardResponse;
    else if (method == QLatin1String("getValidatedTicket"))
        handler = &DBManagerPrivate::handleFindQRTicketResponse;
    else if (method == QLatin1String("getBlacklistedSmartCard"))
        handler = &DBManagerPrivate::handleFindSCTicketResponse;
    else if (method == QLatin1String("issueEMVTickets"))
        handler = &DBManagerPrivate::handleIssueEMVTicketsResponse;
    else if (method == QLatin1String("storeEMVTickets"))
        handler = &DBManagerPrivate::handleStoreEMVTicketsResponse;
    else if (method == QLatin1String("storeEMVResult"))
        handler = &DBManagerPrivate::handleStoreEMVresultResponse;
    if (!handler)
        return;

    bool numeric = false;
    const int id = levels.last().toInt(&numeric);
    if (numeric && mBook->hasEnded(id)) {
        kLog.warning(QStringLiteral("WARN: Dropped late '") + method + QStringLiteral("' response to request ")
                   + QString::number(id) + QStringLiteral(" : its caller no longer waits"));
        return;
    }
    (this->*handler)(document);
}

void DBManagerPrivate::handleFindQRTicketResponse(const QJsonDocument &document)
{
    const QJsonObject reply = document.object();
    kLog.info(QStringLiteral("Find QR Ticket response received"));
    if (errorId(reply) != 0) {
        kLog.critical(QStringLiteral("Request failed: ") + errorText(reply));
        emit onFindQRTicketResponse(nullptr);
        return;
    }
    const qrticket_ptr ticket = build<UrbanMelva_v1>(firstRecord(reply), QStringLiteral("Could not parse ticket: "));
    emit onFindQRTicketResponse(ticket);
}

void DBManagerPrivate::handleFindSCTicketResponse(const QJsonDocument &document)
{
    const QJsonObject reply = document.object();
    kLog.info(QStringLiteral("Find SC Ticket response received"));
    if (errorId(reply) != 0) {
        kLog.critical(QStringLiteral("Request failed: ") + errorText(reply));
        emit onFindSCTicketResponse(nullptr);
        return;
    }
    emit onFindSCTicketResponse(build<SCBlacklistEntry>(
        firstRecord(reply), QStringLiteral("Could not parse 'getBlacklistedSmartCard' response: ")));
}

void DBManagerPrivate::handleLoginCardResponse(const QJsonDocument &document)
{
    const QJsonObject reply = document.object();
    if (errorId(reply) != 0) {
        kLog.critical(QStringLiteral("ERROR: Request failed : ") + errorText(reply));
        emit onLoginResponse(nullptr);
        return;
    }
    emit onLoginResponse(build<Employee>(firstRecord(reply), QStringLiteral("ERROR: Could not parse Login response : ")));
}

void DBManagerPrivate::handleIssueEMVTicketsResponse(const QJsonDocument &document)
{
    const QJsonObject reply = document.object();
    kLog.info(QStringLiteral("Get Issued Tickets response received"));
    if (errorId(reply) != 0) {
        kLog.critical(QStringLiteral("Request failed: ") + errorText(reply));
        emit onIssueEMVTicketsResponse(nullptr);
        return;
    }
    emit onIssueEMVTicketsResponse(build<EMVticketResp>(reply, QStringLiteral("Could not parse 'issueEMVTickets' response: ")));
}

void DBManagerPrivate::handleStoreEMVTicketsResponse(const QJsonDocument &document)
{
    const QJsonObject reply = document.object();
    kLog.info(QStringLiteral("Stored Tickets response received"));
    // The reply of a failed store still travels: its caller reads the error from it.
    if (errorId(reply) != 0)
        kLog.critical(QStringLiteral("Request failed: ") + errorText(reply));
    emit onStoreEMVTicketsResponse(build<EMVticketResp>(reply, QStringLiteral("Could not parse 'storeEMVTickets' response: ")));
}

void DBManagerPrivate::handleStoreEMVresultResponse(const QJsonDocument &document)
{
    const QJsonObject reply = document.object();
    kLog.info(QStringLiteral("Get Stored Result response received"));
    if (errorId(reply) != 0) {
        kLog.critical(QStringLiteral("Request failed: ") + errorText(reply));
        emit onStoreEMVresultResponse(nullptr);
        return;
    }
    emit onStoreEMVresultResponse(build<EMVticketResp>(reply, QStringLiteral("Could not parse 'storeEMVResult' response: ")));
}

void DBManagerPrivate::handleSetCurrentLanguageResponse(const QJsonDocument &document)
{
    const QJsonObject reply = document.object();
    kLog.info(QStringLiteral("Processing 'setCurrentLanguage' response"));
    if (errorId(reply) != 0) {
        kLog.critical(QStringLiteral("Request failed: ") + errorText(reply));
        return;
    }
    const QJsonArray resp = reply.value(QLatin1String("resp")).toArray();
    if (resp.isEmpty())
        return;
    const QString language = resp.at(0).toObject().value(QLatin1String("value")).toString();
    if (language == mSelectedLanguage)
        return;
    kLog.info(QStringLiteral("Selected language changed : ") + language);
    mSelectedLanguage = language;
    emit onLanguageChanged(language);
}

void DBManagerPrivate::handleIssueSingleTicketResponse(const QJsonDocument &document)
{
    const QJsonObject reply = document.object();
    kLog.info(QStringLiteral("Processing 'issueSingleTicket' response"));
    const int code = errorId(reply);
    if (code != 0)
        kLog.critical(QStringLiteral("Request failed: ") + errorText(reply));
    emit onPaperTicketIssuingEnded(code);
}

void DBManagerPrivate::handleIssueMultipleTicketsResponse(const QJsonDocument &document)
{
    const QJsonObject reply = document.object();
    kLog.info(QStringLiteral("Processing 'issueMultipleTickets' response"));
    const int code = errorId(reply);
    if (code != 0)
        kLog.critical(QStringLiteral("Request failed: ") + errorText(reply));
    emit onMultipleTicketsIssuingEnded(code);
}

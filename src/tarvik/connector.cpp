#include "tarvik/connector.h"

#include "tarvik/jsonread.h"
#include "tarvik/requestcontext.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QJsonDocument>
#include <QMetaObject>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QSettings>
#include <QSslError>
#include <QThread>
#include <QTimer>
#include <QUrlQuery>

#include <exception>
#include <utility>

namespace tarvik {

namespace {

const QString Tag = QStringLiteral("[tarvik::connector] ");

QDebug logDebug() { return qDebug().noquote().nospace() << Tag; }
QDebug logInfo() { return qInfo().noquote().nospace() << Tag; }
QDebug logWarning() { return qWarning().noquote().nospace() << Tag; }
QDebug logCritical() { return qCritical().noquote().nospace() << Tag; }

const QString kDateFormat = QStringLiteral("dd/MM/yyyy hh:mm:ss");
const QString kNeverSynced = QStringLiteral("01/01/1970 00:00:00");
const QString kLastSyncDateKey = QStringLiteral("lastSyncDate");

const QString kSyncBoPath = QStringLiteral("web/api/sync_bo");
const QString kObuMgmtSavePath = QStringLiteral("web/api/deviceManager/save");
const QString kActionListPath = QStringLiteral("web/abt/client/action");
const QString kActionCompletePath = QStringLiteral("web/abt/client/action/complete");
const QString kCustomerDetailsPath = QStringLiteral("web/api/customers/get_details");
const QLatin1String kSmartCardUuid("smartCardUuid");
const QLatin1String kImageBase64("customerImageBase64");

QJsonObject customerBody(const QJsonValue &id, const QJsonValue &cardId)
{
    const QJsonValue null(QJsonValue::Null);
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("uuid"), null},
                       {QStringLiteral("email"), null},
                       {kSmartCardUuid, cardId},
                       {QStringLiteral("highResolutionImage"), false}};
}

// The uuid comes from the back-end and becomes a file name: nothing that could leave the
// cache folder, or make no name at all.
bool isSafeFileName(const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name.contains(QLatin1String("..")))
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    }
    return true;
}

QJsonObject syncBody(const QString &deviceUuid, const QList<int> &tables, const QJsonValue &lastSyncDate)
{
    QJsonArray syncTables;
    for (int table : tables)
        syncTables.append(table);
    return QJsonObject{
        {QStringLiteral("syncAll"), 0},
        {QStringLiteral("syncTables"), syncTables},
        {QStringLiteral("devicesUuid"), deviceUuid},
        {QStringLiteral("lastSyncDate"), lastSyncDate},
    };
}

// An unusable date asks for everything rather than sending an empty text.
QJsonValue dateOrNull(const QDateTime &date)
{
    return date.isValid() ? QJsonValue(date.toString(kDateFormat)) : QJsonValue(QJsonValue::Null);
}

template <typename T>
QSharedPointer<T> construct(const QJsonObject &json)
{
    return QSharedPointer<T>::create(json);
}

// One record per element of reply[key]; a missing key, a non-array or an empty array emits nothing.
template <typename T>
void emitRecords(Connector *connector, const QJsonObject &reply, QLatin1String key,
                 void (Connector::*signal)(const QList<QSharedPointer<T>> &),
                 QSharedPointer<T> (*make)(const QJsonObject &) = &construct<T>)
{
    const auto it = reply.constFind(key);
    if (it == reply.constEnd() || !it.value().isArray())
        return;
    const QJsonArray array = it.value().toArray();
    QList<QSharedPointer<T>> list;
    list.reserve(array.size());
    for (const QJsonValue &element : array)
        list.append(make(element.toObject()));
    if (!list.isEmpty())
        (connector->*signal)(list);
}

bool isFollowable(const QUrl &from, const QUrl &to)
{
    const QString scheme = to.scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return false;
    return !(from.scheme() == QLatin1String("https") && scheme == QLatin1String("http"));
}

// The signals name the record lists by their alias: string-based connections, queued calls by
// name and signal spies find them only under that name.
void registerMetaTypes()
{
    static const bool registered = [] {
        qRegisterMetaType<KeyValue::List>("tarvik::KeyValue::List");
        qRegisterMetaType<TicketMaterial::List>("tarvik::TicketMaterial::List");
        qRegisterMetaType<PassengerType::List>("tarvik::PassengerType::List");
        qRegisterMetaType<PaymentMethod::List>("tarvik::PaymentMethod::List");
        qRegisterMetaType<PaymentChannel::List>("tarvik::PaymentChannel::List");
        qRegisterMetaType<BaseFare::List>("tarvik::BaseFare::List");
        qRegisterMetaType<FareProduct2::List>("tarvik::FareProduct2::List");
        qRegisterMetaType<FareProductBaseFare::List>("tarvik::FareProductBaseFare::List");
        qRegisterMetaType<FareProductPassengerType::List>("tarvik::FareProductPassengerType::List");
        qRegisterMetaType<FareProductTicketMaterial::List>("tarvik::FareProductTicketMaterial::List");
        qRegisterMetaType<FareProductPaymentMethod::List>("tarvik::FareProductPaymentMethod::List");
        qRegisterMetaType<FareProductPaymentChannel::List>("tarvik::FareProductPaymentChannel::List");
        qRegisterMetaType<Stop2::List>("tarvik::Stop2::List");
        qRegisterMetaType<StopGroup2::List>("tarvik::StopGroup2::List");
        qRegisterMetaType<StopGroupStops::List>("tarvik::StopGroupStops::List");
        qRegisterMetaType<AxisStop::List>("tarvik::AxisStop::List");
        qRegisterMetaType<Axis::List>("tarvik::Axis::List");
        qRegisterMetaType<CappingRule::List>("tarvik::CappingRule::List");
        qRegisterMetaType<CappingRuleStopGroup::List>("tarvik::CappingRuleStopGroup::List");
        qRegisterMetaType<Action::List>("tarvik::Action::List");
        qRegisterMetaType<Customer::Ptr>("tarvik::Customer::Ptr");
        return true;
    }();
    Q_UNUSED(registered)
}

} // namespace

Connector::Connector(QObject *parent)
    : QObject(parent)
{
    registerMetaTypes();
}

Connector::Connector(const QUrl &url, QObject *parent)
    : QObject(parent)
    , mUrl(url)
{
    registerMetaTypes();
}

Connector::~Connector() = default;

QUrl Connector::url() const
{
    QMutexLocker lock(&mMutex);
    return mUrl;
}

void Connector::setUrl(const QUrl &url)
{
    QMutexLocker lock(&mMutex);
    mUrl = url;
}

QString Connector::storagePath() const
{
    QMutexLocker lock(&mMutex);
    return mStoragePath;
}

void Connector::setStoragePath(const QString &storagePath)
{
    QMutexLocker lock(&mMutex);
    mStoragePath = storagePath;
}

int Connector::timeout() const { return mTimeout.load(); }
void Connector::setTimeout(int timeoutMs) { mTimeout.store(timeoutMs); }

void Connector::setApiKey(const QString &apiKey)
{
    QMutexLocker lock(&mMutex);
    mApiKey = apiKey;
}

void Connector::setIgnoreSslErrors(bool ignore) { mIgnoreSslErrors.store(ignore); }

QUrl Connector::createUrl(const QString &relativePath) const
{
    const QUrl base = url();
    QString path;
    if (relativePath.startsWith(QLatin1Char('/'))) {
        path = relativePath;
    } else {
        path = base.path(QUrl::FullyDecoded);
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        path += relativePath;
    }
    return base.resolved(QUrl(path, QUrl::TolerantMode));
}

// --- requests ---------------------------------------------------------------------------------

void Connector::requestCustomerInfo(int customerId)
{
    post(createUrl(kCustomerDetailsPath), customerBody(customerId, QJsonValue::Null));
}

void Connector::requestCustomerInfo(const QString &cardId)
{
    post(createUrl(kCustomerDetailsPath), customerBody(QJsonValue::Null, cardId));
}

void Connector::requestDeviceParams(const QString &deviceUuid, bool incremental)
{
    const QJsonValue since = incremental ? QJsonValue(lastSyncDate()) : QJsonValue(QJsonValue::Null);
    post(createUrl(kSyncBoPath), syncBody(deviceUuid, {20}, since));
}

void Connector::requestFareData(const QString &deviceUuid, const QDateTime &lastSyncDate)
{
    post(createUrl(kSyncBoPath),
         syncBody(deviceUuid, {7, 8, 9, 10, 11, 12, 14, 15, 16, 17, 18, 41, 42}, dateOrNull(lastSyncDate)));
}

void Connector::requestRouteData(const QString &deviceUuid, const QDateTime &lastSyncDate)
{
    post(createUrl(kSyncBoPath), syncBody(deviceUuid, {1, 2, 3, 19}, dateOrNull(lastSyncDate)));
}

void Connector::requestObuMgmtSave(const QJsonObject &data)
{
    post(createUrl(kObuMgmtSavePath), data);
}

void Connector::requestActionList(int actionId)
{
    QUrl url = createUrl(kActionListPath);
    if (actionId > 0)
        url.setQuery(QUrlQuery{{QStringLiteral("actionId"), QString::number(actionId)}});
    get(url);
}

void Connector::requestActionComplete(const QJsonObject &data)
{
    post(createUrl(kActionCompletePath), data);
}

// --- transport --------------------------------------------------------------------------------

void Connector::post(const QUrl &url, const QJsonObject &body)
{
    send(Outgoing{false, url, url, body, timeout(), 0});
}

void Connector::get(const QUrl &url)
{
    send(Outgoing{true, url, url, QJsonObject(), timeout(), 0});
}

void Connector::send(const Outgoing &request)
{
    // Replies, their timers and TLS decisions all belong to this object's thread: a reply made
    // on another thread could not be aborted from here, nor its TLS errors ignored in time.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this, request] { send(request); }, Qt::QueuedConnection);
        return;
    }

    if (request.isGet) {
        logInfo() << "Performing GET request : " << request.url.toDisplayString();
    } else {
        logInfo() << "Performing POST request : " << request.url.toDisplayString();
        logDebug() << "Data: " << QString::fromUtf8(QJsonDocument(request.body).toJson(QJsonDocument::Compact));
    }

    const QUrl base = url();
    if (base.isEmpty()) {
        logWarning() << "WARN: Tarvik URL not configured. Aborting.";
        endCustomerRequest(request.origin, request.body);
        return;
    }
    if (!base.isValid()) {
        logCritical() << "ERROR: Invalid Tarvik URL : " << base.toDisplayString();
        endCustomerRequest(request.origin, request.body);
        return;
    }

    QByteArray apiKey;
    {
        QMutexLocker lock(&mMutex);
        apiKey = mApiKey.toLatin1();
    }
    if (apiKey.isNull())
        apiKey = QByteArray(""); // a null value would drop the header; an empty key is still sent

    QNetworkRequest networkRequest(request.url);
    networkRequest.setRawHeader("Content-Type", "application/json");
    networkRequest.setRawHeader("User-Agent", "obu/vurt512");
    networkRequest.setRawHeader("Connection", "keep-alive");
    networkRequest.setRawHeader("x-api-key", apiKey);

    QNetworkReply *reply = request.isGet
        ? qnam()->get(networkRequest)
        : qnam()->post(networkRequest, QJsonDocument(request.body).toJson(QJsonDocument::Compact));

    auto *context = new RequestContext(request.isGet ? RequestContext::Method::Get : RequestContext::Method::Post,
                                       request.origin, request.body, request.timeoutMs, request.redirects, reply);

    connect(reply, &QNetworkReply::downloadProgress, this, &Connector::onDownloadProgress);
    connect(reply, &QNetworkReply::finished, this, &Connector::onFinished);

    connect(context->timer(), &QTimer::timeout, this, &Connector::onTimeout);
    context->timer()->start(request.timeoutMs);
}

QNetworkAccessManager *Connector::qnam()
{
    if (!mQnam) {
        logDebug() << "Creating new Network Access Manager for thread "
                   << QStringLiteral("0x%1").arg(quintptr(QThread::currentThread()), 0, 16);
        mQnam = new QNetworkAccessManager(this);
        connect(mQnam, &QNetworkAccessManager::sslErrors, this, &Connector::onSslErrors);
    }
    return mQnam;
}

void Connector::onTimeout()
{
    auto *timer = qobject_cast<QTimer *>(sender());
    if (!timer)
        return;
    timer->stop();
    auto *reply = timer->parent() ? qobject_cast<QNetworkReply *>(timer->parent()->parent()) : nullptr;
    if (!reply)
        return;
    logCritical() << "ERROR: Request timed-out (timeout=" << timeout() << " msec). Aborting.";
    reply->abort();
}

void Connector::onSslErrors(QNetworkReply *reply, const QList<QSslError> &errors)
{
    logWarning() << "SSL Error(s) occured : ";
    for (const QSslError &error : errors)
        logWarning() << " - " << error.errorString();
    if (mIgnoreSslErrors.load()) {
        logWarning() << "Ignoring SSL Errors ('ignoreSslErrors' is set to 'true' in configuration)";
        reply->ignoreSslErrors(errors);
    }
}

void Connector::onDownloadProgress(qint64 received, qint64 total)
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    RequestContext *context = sender() ? sender()->findChild<RequestContext *>() : nullptr;
    if (!context || total == 0)
        return;
    // At the end of a body without a length the network layer reports it as its own total.
    if (reply && !reply->header(QNetworkRequest::ContentLengthHeader).isValid())
        return;
    const qint64 percent = received * 100 / total; // negative while the size is unknown
    if (percent - context->lastPercent() < 5)
        return;
    context->setLastPercent(int(percent));
    const double mebibyte = 1024.0 * 1024.0;
    logInfo() << "Downloaded " << QString::number(received / mebibyte, 'f', 1) << '/'
              << QString::number(total / mebibyte, 'f', 1) << " MB [" << percent << "%]";
    emit downloadProgress(reply ? reply->url() : QUrl(), int(percent));
}

void Connector::onFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    RequestContext *context = reply->findChild<RequestContext *>();
    if (!context)
        return;
    reply->deleteLater();
    context->timer()->stop();

    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    logInfo() << "Received response for : " << reply->url().toString();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    QByteArray body = reply->readAll();

    try {
        if (reply->error() != QNetworkReply::NoError) {
            const QJsonDocument document = QJsonDocument::fromJson(body);
            logCritical() << "ERROR: " << reply->errorString();
            logCritical() << "ERROR: HTTP Status   : " << status;
            // Indented, one record per line: the logger escapes a line break inside a record.
            const QStringList lines = QString::fromUtf8(document.toJson(QJsonDocument::Indented))
                                          .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            logCritical() << "ERROR: HTTP Response : " << lines.value(0);
            for (int i = 1; i < lines.size(); ++i)
                logCritical() << lines.at(i);
            reportFailure(context, status, document.object());
            return;
        }
        if (!target.isEmpty()) {
            followRedirect(reply, context, target, status, QJsonDocument::fromJson(body).object());
            return;
        }
        logInfo() << "Request completed successfully : " << context->elapsedMs() << " msec(s)";
        dispatch(context->origin().toString(), status, std::move(body), context->body());
    } catch (const std::exception &e) {
        // A receiver of our signals threw: keep it from unwinding through the event loop.
        logCritical() << "ERROR: Handling the response of " << context->origin().toString()
                      << " failed : " << e.what();
        endCustomerRequest(context->origin(), context->body());
    } catch (...) {
        logCritical() << "ERROR: Handling the response of " << context->origin().toString() << " failed";
        endCustomerRequest(context->origin(), context->body());
    }
}

void Connector::followRedirect(QNetworkReply *reply, RequestContext *context, const QUrl &target, int status,
                               const QJsonObject &body)
{
    const QUrl next = url().resolved(target);
    if (context->redirects() >= MaxRedirects) {
        logCritical() << "ERROR: Too many redirects (" << MaxRedirects << ") for : "
                      << context->origin().toDisplayString() << ". Aborting.";
        reportFailure(context, status, body);
        return;
    }
    if (!isFollowable(reply->url(), next)) {
        logCritical() << "ERROR: Refusing redirect from " << reply->url().toDisplayString() << " to "
                      << next.toDisplayString() << ". Aborting.";
        reportFailure(context, status, body);
        return;
    }
    logWarning() << "WARN: Request was redirected to : " << next.toDisplayString();
    const bool isGet = context->method() == RequestContext::Method::Get;
    send(Outgoing{isGet, next, context->origin(), isGet ? QJsonObject() : context->body(), context->timeoutMs(),
                  context->redirects() + 1});
}

// The action list manager and the gateway's customer look-ups wait for an answer: they must
// hear of a failure too.
void Connector::reportFailure(RequestContext *context, int status, const QJsonObject &body)
{
    if (context->origin().toString().contains(QLatin1String("/web/abt/client/action/complete")))
        parseActionCompleteResponse(status, body);
    endCustomerRequest(context->origin(), context->body());
}

// A customer request that got no answer.
void Connector::endCustomerRequest(const QUrl &origin, const QJsonObject &request)
{
    if (origin.toString().contains(kCustomerDetailsPath))
        emit customerRequestEnded(request, -1);
}

void Connector::dispatch(const QString &path, int status, QByteArray body, const QJsonObject &request)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    // A sync answer runs to megabytes: its text goes before the records are merged and saved.
    body = QByteArray();
    // The completion path also holds the list path: it must be tried first.
    if (path.contains(QLatin1String("web/api/customers/get_details")))
        parseCustomerInfo(document.object(), request);
    else if (path.contains(QLatin1String("web/api/sync_bo")))
        parseSyncBoResponse(document.object());
    else if (path.contains(QLatin1String("web/api/deviceManager/save")))
        parseObuMgmtResponse(document.object());
    else if (path.contains(QLatin1String("/web/abt/client/action/complete")))
        parseActionCompleteResponse(status, document.object());
    else if (path.contains(QLatin1String("/web/abt/client/action")))
        parseActionListResponse(document.array());
}

// --- messages ---------------------------------------------------------------------------------

QString Connector::syncFilePath() const
{
    const QString root = storagePath();
    return root.isEmpty() ? QString() : QDir(root).filePath(QStringLiteral(".sync"));
}

QString Connector::lastSyncDate() const
{
    QString date = kNeverSynced;
    const QString file = syncFilePath();
    if (!file.isEmpty()) {
        const QSettings settings(file, QSettings::NativeFormat);
        date = settings.value(kLastSyncDateKey, kNeverSynced).toString();
    }
    logDebug() << "Last Sync Date is : " << date;
    return date;
}

void Connector::setLastSyncDate(const QString &date)
{
    // Storing garbage would send garbage as the next incremental date.
    if (!QDateTime::fromString(date, kDateFormat).isValid()) {
        logWarning() << "WARN: Invalid sync date received : " << date << ", keeping the last one";
        return;
    }
    const QString file = syncFilePath();
    if (file.isEmpty()) {
        logWarning() << "WARN: Storage path not configured, last sync date not stored";
        return;
    }
    logInfo() << "Setting Last Sync Date to : " << date;
    QSettings settings(file, QSettings::NativeFormat);
    settings.setValue(kLastSyncDateKey, date);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        logWarning() << "WARN: Could not write the last sync date to " << file;
}

void Connector::parseSyncBoResponse(const QJsonObject &reply)
{
    if (!json::readString(reply, QLatin1String("resp")).contains(QLatin1String("OK"))) {
        logCritical() << "ERROR: sync-bo failed, server responded : "
                      << json::readString(reply, QLatin1String("error"));
        return;
    }
    const QString newSyncDate = json::readString(reply, QLatin1String("newsyncdate"));

    if (reply.contains(QLatin1String("DeletedEntities"))) {
        for (const QJsonValue &element : json::readArray(reply, QLatin1String("DeletedEntities"))) {
            const QJsonObject entity = element.toObject();
            const QString tableName = json::readString(entity, QLatin1String("tableName"));
            const int id = json::readInt(entity, QLatin1String("tableId"));
            if (tableName == QLatin1String("DEVICE_TYPE_KEY_VALUE"))
                emit deviceParamDeleted(id, json::readInt(entity, QLatin1String("carriersId")));
            else
                emit entityDeleted(tableName, id);
        }
    }

    if (reply.contains(QLatin1String("DeviceTypeKeyValues"))) {
        KeyValue::List params;
        for (const QJsonValue &element : json::readArray(reply, QLatin1String("DeviceTypeKeyValues")))
            params.append(KeyValue::Ptr::create(element.toObject()));
        if (!params.isEmpty())
            emit deviceParamsReceived(params);
        setLastSyncDate(newSyncDate);
    }

    emitRecords(this, reply, QLatin1String("TicketMaterials"), &Connector::ticketMaterialsReceived);
    emitRecords(this, reply, QLatin1String("PassengerTypes"), &Connector::passengerTypesReceived);
    emitRecords(this, reply, QLatin1String("PaymentChannels"), &Connector::paymentChannelsReceived);
    emitRecords(this, reply, QLatin1String("PaymentMethods"), &Connector::paymentMethodsReceived);
    emitRecords(this, reply, QLatin1String("BaseFares"), &Connector::baseFaresReceived);
    emitRecords(this, reply, QLatin1String("FareProducts"), &Connector::fareProductsReceived);
    emitRecords(this, reply, QLatin1String("FareProductBaseFares"), &Connector::fareProductBaseFaresReceived);
    emitRecords(this, reply, QLatin1String("FareProductPassengerTypes"),
                &Connector::fareProductPassengerTypesReceived);
    emitRecords(this, reply, QLatin1String("FareProductTicketMaterials"),
                &Connector::fareProductTicketMaterialsReceived);
    emitRecords(this, reply, QLatin1String("FareProductPaymentMethods"),
                &Connector::fareProductPaymentMethodsReceived);
    emitRecords(this, reply, QLatin1String("FareProductPaymentChannels"),
                &Connector::fareProductPaymentChannelsReceived);
    emitRecords(this, reply, QLatin1String("Stops"), &Connector::stopsReceived);
    emitRecords(this, reply, QLatin1String("StopGroups"), &Connector::stopGroupsReceived);
    emitRecords(this, reply, QLatin1String("StopGroupStops"), &Connector::stopGroupStopsReceived);
    emitRecords(this, reply, QLatin1String("AxisStops"), &Connector::axisStopsReceived);
    emitRecords(this, reply, QLatin1String("Axis"), &Connector::axisReceived);
    emitRecords(this, reply, QLatin1String("CappingRules"), &Connector::cappingRulesReceived, &CappingRule::fromJson);
    emitRecords(this, reply, QLatin1String("CappingRuleStopGroups"), &Connector::cappingRuleStopGroupsReceived,
                &CappingRuleStopGroup::fromJson);

    const QDateTime syncDate = QDateTime::fromString(newSyncDate, kDateFormat);
    if (reply.contains(QLatin1String("Axis")))
        emit onRouteDataSyncEnd(syncDate);
    if (reply.contains(QLatin1String("FareProducts")))
        emit onFareDataSyncEnd(syncDate);
    emit onSyncEnd(syncDate);
}

void Connector::parseObuMgmtResponse(const QJsonObject &reply)
{
    if (json::readString(reply, QLatin1String("status")).contains(QLatin1String("ERROR"))) {
        logCritical() << "ERROR: Tarvik responded : (" << json::readString(reply, QLatin1String("errorCode")) << ") "
                      << json::readString(reply, QLatin1String("errorMessage"));
    } else {
        logInfo() << "Tarvik responded : " << json::readString(reply, QLatin1String("successMessage"));
    }
}

void Connector::parseActionListResponse(const QJsonArray &reply)
{
    Action::List actions;
    actions.reserve(reply.size());
    for (const QJsonValue &element : reply)
        actions.append(Action::fromJson(element.toObject()));
    if (!actions.isEmpty())
        emit actionListReceived(actions);
}

void Connector::parseActionCompleteResponse(int httpStatusCode, const QJsonObject &reply)
{
    emit actionCompleteResponseReceived(httpStatusCode, json::readString(reply, QLatin1String("code")),
                                        json::readString(reply, QLatin1String("message")));
}

void Connector::parseCustomerInfo(const QJsonObject &reply, const QJsonObject &request)
{
    if (json::readString(reply, QLatin1String("status")).contains(QLatin1String("ERROR"))) {
        logCritical() << "ERROR: Tarvik responded : (" << json::readString(reply, QLatin1String("errorCode")) << ") "
                      << json::readString(reply, QLatin1String("errorMessage"));
        emit customerRequestEnded(request, 0);
        return;
    }
    const QJsonArray customers = json::readArray(reply, QLatin1String("customerDetailsDtoList"));
    for (const QJsonValue &element : customers) {
        QJsonObject customer = element.toObject();
        const QString image = saveCustomerImage(customer);
        if (customer.value(kSmartCardUuid).isNull() || customer.value(kSmartCardUuid).isUndefined()) {
            logWarning() << "WARN: 'smartCardUuid' missing from response. Patching from request.";
            customer.insert(kSmartCardUuid, request.value(kSmartCardUuid));
        }
        auto record = Customer::Ptr::create(customer);
        record->setImage(image);
        emit customerInfoReceived(record);
    }
    emit customerRequestEnded(request, customers.size());
}

QString Connector::saveCustomerImage(QJsonObject &customer)
{
    const QString uuid = json::readString(customer, QLatin1String("uuid"));
    const QByteArray bytes =
        QByteArray::fromBase64(json::readString(customer, kImageBase64).toLatin1());
    customer.remove(kImageBase64);
    if (bytes.isEmpty()) {
        logWarning() << "WARN: Customer image is empty. Will not store.";
        return {};
    }
    if (!isSafeFileName(uuid)) {
        QString shown = uuid;
        for (QChar &c : shown) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                c = QLatin1Char('?'); // keeps the log line one line
        }
        logWarning() << "WARN: Customer uuid is not a safe file name. Will not store : " << shown;
        return {};
    }
    const QString root = storagePath();
    if (root.isEmpty()) {
        logWarning() << "WARN: Storage path not configured. Will not store customer image.";
        return {};
    }
    const QString cache = QDir(root).filePath(QStringLiteral(".cache"));
    if (!QDir(cache).exists()) {
        logWarning() << "WARN: Cache directory does not exist. Creating : " << cache;
        if (!QDir().mkpath(cache)) {
            logCritical() << "ERROR: Could not create cache directory : " << cache;
            return {};
        }
    }
    const QString path = cache + QLatin1Char('/') + QStringLiteral("%1.%2").arg(uuid, detectImageFormat(bytes));
    logInfo() << "Storing file : " << path;
    // Through a temporary file: a half-written picture would otherwise be kept for good.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        logCritical() << "ERROR: Could not store customer image : " << path << " : " << file.errorString();
        return {};
    }
    return path;
}

QString Connector::detectImageFormat(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    return format.isEmpty() ? QString() : QString::fromLatin1(format).toLower();
}

} // namespace tarvik

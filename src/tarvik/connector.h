#pragma once

#include "tarvik/action.h"
#include "tarvik/axis.h"
#include "tarvik/axisstop.h"
#include "tarvik/basefare.h"
#include "tarvik/cappingrule.h"
#include "tarvik/cappingrulestopgroup.h"
#include "tarvik/customer.h"
#include "tarvik/fareproduct2.h"
#include "tarvik/fareproductbasefare.h"
#include "tarvik/fareproductpassengertype.h"
#include "tarvik/fareproductpaymentchannel.h"
#include "tarvik/fareproductpaymentmethod.h"
#include "tarvik/fareproductticketmaterial.h"
#include "tarvik/keyvalue.h"
#include "tarvik/passengertype.h"
#include "tarvik/paymentchannel.h"
#include "tarvik/paymentmethod.h"
#include "tarvik/stop2.h"
#include "tarvik/stopgroup2.h"
#include "tarvik/stopgroupstops.h"
#include "tarvik/ticketmaterial.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QUrl>

#include <atomic>

class QNetworkAccessManager;
class QNetworkReply;
class QSslError;

namespace tarvik {

class RequestContext;

// The device's one HTTP(S) client of the back-end: route, fare and device-parameter sync, the
// device-management report, the action list and action completion. Lives on the thread that
// created it (the main thread); requests may be made from any thread but are always sent, and
// answered, on its own. Each answer comes back as the signals of its path; nothing is retried.
// Customer pictures go to ".cache" under the storage path.
//
//   path                               method  parser                        signals
//   "web/api/customers/get_details"    POST    parseCustomerInfo             customerInfoReceived
//   "web/api/sync_bo"                  POST    parseSyncBoResponse           records, deletions, ends
//   "web/api/deviceManager/save"       POST    parseObuMgmtResponse          none (logged)
//   "web/abt/client/action/complete"   POST    parseActionCompleteResponse   actionCompleteResponseReceived
//   "web/abt/client/action"            GET     parseActionListResponse       actionListReceived
class Connector : public QObject
{
    Q_OBJECT
public:
    // A redirect chain longer than this fails: a server that loops would otherwise be asked forever.
    static constexpr int MaxRedirects = 5;

    explicit Connector(QObject *parent = nullptr);
    explicit Connector(const QUrl &url, QObject *parent = nullptr);
    ~Connector() override;

    // Settings may be changed from any thread; a request takes its time-out when it is made.
    QUrl url() const;
    void setUrl(const QUrl &url);
    QString storagePath() const;
    void setStoragePath(const QString &storagePath);
    int timeout() const;
    void setTimeout(int timeoutMs);
    void setApiKey(const QString &apiKey);
    void setIgnoreSslErrors(bool ignore);

    // The base URL's path taken as a directory, with `relativePath` below it.
    QUrl createUrl(const QString &relativePath) const;

    // Date of the last device-parameter sync, as the back-end wrote it, kept in ".sync".
    QString lastSyncDate() const;
    // Refuses (with a warning) text that is not a "dd/MM/yyyy hh:mm:ss" date.
    void setLastSyncDate(const QString &date);

    // Called with each answer of the matching path; synchronous, on the caller's thread.
    void parseSyncBoResponse(const QJsonObject &reply);
    void parseObuMgmtResponse(const QJsonObject &reply);
    void parseActionListResponse(const QJsonArray &reply);
    void parseActionCompleteResponse(int httpStatusCode, const QJsonObject &reply);
    // `request` is the body that was sent: it supplies a card uuid the reply leaves out.
    void parseCustomerInfo(const QJsonObject &reply, const QJsonObject &request);

    // Takes "customerImageBase64" out of the customer and stores the picture as
    // ".cache/<uuid>.<format>"; the file's path, or empty when nothing was stored (a refused
    // uuid, no picture, a failed write: the next look-up then fetches it again).
    QString saveCustomerImage(QJsonObject &customer);
    // The image library's name for the bytes' format ("png", "jpeg"); null when unknown.
    static QString detectImageFormat(const QByteArray &bytes);

public slots:
    void requestCustomerInfo(int customerId);
    void requestCustomerInfo(const QString &cardId);
    void requestDeviceParams(const QString &deviceUuid, bool incremental = true);
    void requestFareData(const QString &deviceUuid, const QDateTime &lastSyncDate = QDateTime());
    void requestRouteData(const QString &deviceUuid, const QDateTime &lastSyncDate = QDateTime());
    void requestObuMgmtSave(const QJsonObject &data);
    void requestActionList(int actionId = 0);
    void requestActionComplete(const QJsonObject &data);

signals:
    void customerInfoReceived(const tarvik::Customer::Ptr &customer);
    // Once per customer request, when it is over, with the body that was sent: the number of
    // customers its answer carried, or -1 when no answer came (not sent, failed, timed out).
    void customerRequestEnded(const QJsonObject &request, int customers);
    void deviceParamsReceived(const tarvik::KeyValue::List &params);
    void deviceParamDeleted(int id, int carrierId);
    void downloadProgress(const QUrl &url, int percent);
    void entityDeleted(const QString &tableName, int id);
    void ticketMaterialsReceived(const tarvik::TicketMaterial::List &list);
    void passengerTypesReceived(const tarvik::PassengerType::List &list);
    void paymentMethodsReceived(const tarvik::PaymentMethod::List &list);
    void paymentChannelsReceived(const tarvik::PaymentChannel::List &list);
    void baseFaresReceived(const tarvik::BaseFare::List &list);
    void fareProductsReceived(const tarvik::FareProduct2::List &list);
    void fareProductBaseFaresReceived(const tarvik::FareProductBaseFare::List &list);
    void fareProductPassengerTypesReceived(const tarvik::FareProductPassengerType::List &list);
    void fareProductTicketMaterialsReceived(const tarvik::FareProductTicketMaterial::List &list);
    void fareProductPaymentMethodsReceived(const tarvik::FareProductPaymentMethod::List &list);
    void fareProductPaymentChannelsReceived(const tarvik::FareProductPaymentChannel::List &list);
    void stopsReceived(const tarvik::Stop2::List &list);
    void stopGroupsReceived(const tarvik::StopGroup2::List &list);
    void stopGroupStopsReceived(const tarvik::StopGroupStops::List &list);
    void axisStopsReceived(const tarvik::AxisStop::List &list);
    void axisReceived(const tarvik::Axis::List &list);
    void cappingRulesReceived(const tarvik::CappingRule::List &list);
    void cappingRuleStopGroupsReceived(const tarvik::CappingRuleStopGroup::List &list);
    void onRouteDataSyncEnd(const QDateTime &syncDate);
    void onFareDataSyncEnd(const QDateTime &syncDate);
    void onSyncEnd(const QDateTime &syncDate);
    void actionListReceived(const tarvik::Action::List &list);
    void actionCompleteResponseReceived(int httpStatusCode, const QString &code, const QString &message);

private:
    Q_DISABLE_COPY(Connector)

    struct Outgoing
    {
        bool isGet = false;
        QUrl url;
        QUrl origin;
        QJsonObject body;
        int timeoutMs = 0;
        int redirects = 0;
    };

    void post(const QUrl &url, const QJsonObject &body);
    void get(const QUrl &url);
    void send(const Outgoing &request);
    QNetworkAccessManager *qnam();
    QString syncFilePath() const;

    void onFinished();
    void onTimeout();
    void onSslErrors(QNetworkReply *reply, const QList<QSslError> &errors);
    void onDownloadProgress(qint64 received, qint64 total);

    void followRedirect(QNetworkReply *reply, RequestContext *context, const QUrl &target, int status,
                        const QJsonObject &body);
    void reportFailure(RequestContext *context, int status, const QJsonObject &body);
    void endCustomerRequest(const QUrl &origin, const QJsonObject &request);
    void dispatch(const QString &path, int status, QByteArray body, const QJsonObject &request);

    mutable QMutex mMutex; // guards the url, storage path and API key
    QUrl mUrl;
    QString mStoragePath;
    QString mApiKey;
    std::atomic<int> mTimeout{30000};
    std::atomic<bool> mIgnoreSslErrors{false};
    QNetworkAccessManager *mQnam = nullptr; // created on first use, on the client's own thread
};

} // namespace tarvik

Q_DECLARE_METATYPE(tarvik::TicketMaterial::Ptr)
Q_DECLARE_METATYPE(tarvik::PassengerType::Ptr)
Q_DECLARE_METATYPE(tarvik::PaymentMethod::Ptr)
Q_DECLARE_METATYPE(tarvik::PaymentChannel::Ptr)
Q_DECLARE_METATYPE(tarvik::BaseFare::Ptr)
Q_DECLARE_METATYPE(tarvik::FareProduct2::Ptr)
Q_DECLARE_METATYPE(tarvik::FareProductBaseFare::Ptr)
Q_DECLARE_METATYPE(tarvik::FareProductPassengerType::Ptr)
Q_DECLARE_METATYPE(tarvik::FareProductTicketMaterial::Ptr)
Q_DECLARE_METATYPE(tarvik::FareProductPaymentMethod::Ptr)
Q_DECLARE_METATYPE(tarvik::FareProductPaymentChannel::Ptr)
Q_DECLARE_METATYPE(tarvik::Stop2::Ptr)
Q_DECLARE_METATYPE(tarvik::StopGroup2::Ptr)
Q_DECLARE_METATYPE(tarvik::StopGroupStops::Ptr)
Q_DECLARE_METATYPE(tarvik::AxisStop::Ptr)
Q_DECLARE_METATYPE(tarvik::Axis::Ptr)
Q_DECLARE_METATYPE(tarvik::CappingRule::Ptr)
Q_DECLARE_METATYPE(tarvik::CappingRuleStopGroup::Ptr)

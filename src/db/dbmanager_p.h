#pragma once

#include "db/customerrequests.h"
#include "db/device.h"
#include "db/employee.h"
#include "db/emvticketresp.h"
#include "db/scblacklistentry.h"
#include "tarvik/connector.h"
#include "tarvik/keyvalue.h"
#include "tickets/qrticket.h"

#include <QByteArray>
#include <QJsonArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QTimer>
#include <QVariant>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

class Configuration;
class CustomerDB;
class DeviceParamsDB;
class QJsonDocument;
class QJsonObject;

namespace manager {
class MqttClient;
}

namespace tarvik {
class ActionListManager;
class FareManager;
class Route;
class RouteManager;
}

using qrticket_ptr = std::shared_ptr<QrTicket>;

// Which blocking waits have ended, by the id of their request. A reply carrying such an id
// comes after its caller gave up (or was already answered) and must not answer the next
// caller of the same method. Shared by the gateway and every caller inside a blocking wait,
// so a caller can finish its wait even when the gateway went away meanwhile. Any thread.
class DBRequestBook
{
public:
    // One blocking wait: the id of its request once published (main thread), and whether the
    // caller has stopped waiting (caller's thread). Read and written under the book's lock.
    struct Wait
    {
        int id = -1;
        bool ended = false;
    };

    static constexpr int Capacity = 64;

    void sent(const std::shared_ptr<Wait> &wait, int id);
    void ended(const std::shared_ptr<Wait> &wait);
    bool hasEnded(int id) const;

private:
    void remember(int id);

    mutable std::mutex mMutex;
    std::deque<int> mEndedIds; // oldest first, at most Capacity
};

// The data gateway's work: the database service's protocol on the OBU broker (requests and
// their replies, blocking and asynchronous), its info, status and configuration, and the
// UI's language and paper-ticket events. Lives on the main thread with its MQTT client; the
// blocking calls and device() may be called from any thread.
class DBManagerPrivate : public QObject
{
    Q_OBJECT
public:
    // The database service as last seen in its status message.
    enum State : int {
        ServiceDown = 0,
        ServiceUpState0 = 1,
        ServiceUpState1 = 2,
        ServiceUpOtherState = 3,
    };
    Q_ENUM(State)

    struct Info
    {
        QString serviceVersion;
        QString databaseSchema;
        QString databaseVersion;
    };

    explicit DBManagerPrivate(manager::MqttClient *client, QObject *parent = nullptr);
    ~DBManagerPrivate() override;
    Q_DISABLE_COPY(DBManagerPrivate)

    State state() const { return mState; }
    bool service() const { return mService; }
    Info info() const { return mInfo; }
    Device::Ptr device() const;
    const QString &selectedLanguage() const { return mSelectedLanguage; }
    QString serviceStatus() const;

    void setRoute(QSharedPointer<tarvik::Route> route);
    QSharedPointer<tarvik::Route> route() const;

    // The back-end link and the local stores. Stores and managers are null until the link is
    // set up, and then stay for the gateway's lifetime; the look-ups, the managers and the
    // prefetches may be called from any thread.
    void initialize();
    tarvik::RouteManager *routeData() const { return mRouteManager.load(); }
    tarvik::FareManager *fareData() const { return mFareManager.load(); }
    tarvik::ActionListManager *actionList() const { return mActionListManager.load(); }
    QSharedPointer<tarvik::Customer> findCustomer(int id);
    void prefetchCustomer(int id);
    void prefetchCustomer(const QString &cardId);
    tarvik::KeyValue::Ptr findDeviceParam(const QString &key);
    void sendDeviceManagementInfo(const QJsonObject &report);
    CustomerRequests &customerRequests() { return mCustomerRequests; }

    // The directory of the back-end's data files for `url`, below "tarvik/storagePath";
    // created when missing.
    QString storagePath(const QUrl &url) const;
    // Each sets up its part once; nothing without a back-end URL.
    void initDatabase();
    void initAfcConnection();
    // Main thread: the timers' work, also run once at start-up.
    void syncDatabase();
    void cleanupDatabase();

    // Blocking requests: wait on the caller's thread for at most "db/timeout_ms"; null when
    // no usable reply came in time.
    qrticket_ptr findQRTicket(const QString &ticketId);
    SCBlacklistEntry::Ptr findSCTicket(const QString &uid);
    Employee::Ptr login(const QString &cardId);
    EMVticketResp::Ptr issueEMVTickets(const QJsonArray &tickets);
    EMVticketResp::Ptr storeEMVticketsData(const QJsonArray &tickets);
    EMVticketResp::Ptr storeEMVResults(const QJsonArray &tickets);

    static State mapState(int state, bool service);
    QString calculateServiceStatus(bool alive, bool ready) const;

    void subscribeFromConf(const QString &key);
    int publishRequest(const QString &method, const QList<QVariant> &params);

public slots:
    void findQRTicketAsync(const QString &ticketId);
    void findSCTicketAsync(const QString &cardId);
    void issueEMVTicketsAsync(const QJsonArray &tickets);
    void storeEMVTicketsAsync(const QJsonArray &tickets);
    void storeEMVResultAsync(const QJsonArray &tickets);
    void loginCardAsync(const QString &cardId);
    void blockCard(const QString &uid, SCBlacklistEntry::BlockReason reason);

    void handleMQTTMessage(const QByteArray &message, const QByteArray &topic);

signals:
    void onInfoChanged(DBManagerPrivate::Info info);
    void onStateChanged(DBManagerPrivate::State state);
    void onDeviceChanged(Device::Ptr device);
    void onFindQRTicketResponse(qrticket_ptr ticket);
    void onFindSCTicketResponse(SCBlacklistEntry::Ptr entry);
    void onIssueEMVTicketsResponse(EMVticketResp::Ptr response);
    void onStoreEMVTicketsResponse(EMVticketResp::Ptr response);
    void onStoreEMVresultResponse(EMVticketResp::Ptr response);
    void onLoginResponse(Employee::Ptr employee);
    void onDeviceParamChanged(tarvik::KeyValue::Ptr param);
    void onDeviceParamRemoved(tarvik::KeyValue::Ptr param);
    void onLanguageChanged(QString language);
    void onPaperTicketIssuingStarted();
    void onPaperTicketIssuingEnded(int errorCode);
    void onMultipleTicketsIssuingStarted();
    void onMultipleTicketsIssuingEnded(int errorCode);

private:
    // Each returns the id of the request it published, or -1 when it sent nothing.
    int requestQRTicket(const QString &ticketId);
    int requestSCTicket(const QString &uid);
    int requestLogin(const QString &cardId);
    int requestEMV(const QString &method, const QString &logText, const QJsonArray &tickets);

    template <typename Record, typename Send, typename Accept>
    std::shared_ptr<Record> waitForReply(void (DBManagerPrivate::*signal)(std::shared_ptr<Record>),
                                         Send send, Accept accept);

    void handleResponseMessage(const QJsonDocument &document, const QByteArray &topic);
    void handleFindQRTicketResponse(const QJsonDocument &document);
    void handleFindSCTicketResponse(const QJsonDocument &document);
    void handleLoginCardResponse(const QJsonDocument &document);
    void handleIssueEMVTicketsResponse(const QJsonDocument &document);
    void handleStoreEMVTicketsResponse(const QJsonDocument &document);
    void handleStoreEMVresultResponse(const QJsonDocument &document);

    void handleInfoMessage(const QJsonDocument &document);
    void handleStatusMessage(const QJsonDocument &document);
    void handleConfigMessage(const QJsonDocument &document);
    void handleSetCurrentLanguageResponse(const QJsonDocument &document);
    void handleIssueSingleTicketResponse(const QJsonDocument &document);
    void handleIssueMultipleTicketsResponse(const QJsonDocument &document);
    void handleIssueTicketRequest(const QJsonDocument &document, const QByteArray &topic);

    // Standing in for the database service towards the UI ("db/mock_dbman").
    void handleRequestMessage(const QJsonDocument &document, const QByteArray &topic);
    void handleGetRoutesRequest(int id, const QString &src, const QString &method, const QJsonArray &params);
    void handleGetFareProductsRequest(int id, const QString &src, const QString &method, const QJsonArray &params);
    void handleGetStopGroupsRequest(int id, const QString &src, const QString &method, const QJsonArray &params);
    void publishResponseOk(int id, const QString &src, const QString &method, const QJsonArray &resp,
                           const QJsonObject &extra = QJsonObject());
    void publishResponseError(int id, const QString &src, const QString &method, int code, const QString &text);

    void startBackendLink();
    QUrl backendUrl() const;
    void startPeriodically(QTimer &timer, const QString &minutesKey);
    QSharedPointer<CustomerDB> customers() const;
    QSharedPointer<DeviceParamsDB> deviceParams() const;
    bool isCustomerMissing(const QSharedPointer<tarvik::Customer> &customer) const;
    bool mayRequestCustomer(const QString &key);
    void onCustomerInfoReceived(const QSharedPointer<tarvik::Customer> &customer);
    void onDeviceParamsReceived(const tarvik::KeyValue::List &params);
    void onDeviceParamDeleted(int id, int carrierId);
    void deviceParamSyncFailed(const QString &reason);
    QVariant setting(const QString &key) const;
    QByteArray topicSetting(const QString &key) const;

    // Read on the validation thread (blocking calls) as well as on the main thread.
    std::unique_ptr<Configuration> mConfig;
    mutable std::mutex mConfigMutex;
    manager::MqttClient *mClient = nullptr;
    int mRequestCounter = 0;
    State mState = ServiceDown;
    bool mService = false;
    Info mInfo;
    Device::Ptr mDevice; // replaced on the main thread, copied on any thread
    mutable std::mutex mDeviceMutex;
    QString mSelectedLanguage = QStringLiteral("none");
    QSharedPointer<tarvik::Route> mRoute;
    std::shared_ptr<DBRequestBook> mBook = std::make_shared<DBRequestBook>();

    // Read once: the subscriptions made from them are fixed at construction as well.
    QByteArray mBaseTopic;
    QByteArray mInfoTopic;
    QByteArray mStatusTopic;
    QByteArray mConfigTopic;
    QByteArray mResponseTopic;
    QByteArray mRequestTopic;
    QByteArray mBlockTopic;
    quint8 mPubQos = 0;

    // The back-end link. Stores and managers are made on the main thread once, while the
    // validation thread may already ask for them: published under a lock or atomically, and
    // never replaced.
    tarvik::Connector mConnector;
    QSharedPointer<CustomerDB> mCustomerDb;
    QSharedPointer<DeviceParamsDB> mDeviceParamsDb;
    mutable std::mutex mStoresMutex;
    CustomerRequests mCustomerRequests;
    QTimer mCleanupTimer{this}; // children, so that they can be found by name
    QTimer mDeviceParamSyncTimer{this};
    std::atomic<tarvik::RouteManager *> mRouteManager{nullptr};
    std::atomic<tarvik::FareManager *> mFareManager{nullptr};
    std::atomic<tarvik::ActionListManager *> mActionListManager{nullptr};
    bool mDatabaseReady = false;
    bool mAfcConnectionReady = false;
    QString mLearntUrl; // "bo_url", in case the settings file could not keep it

    // Device-parameter syncs, main thread. A parameter that could not be stored or removed
    // would be skipped for good by the next incremental sync, which starts after its date.
    bool mFullParamSyncNeeded = false;
    bool mParamSyncRequestedFull = false;
    bool mParamSyncFailed = false; // since the last request
};

Q_DECLARE_METATYPE(DBManagerPrivate::Info)

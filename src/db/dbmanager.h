#pragma once

#include "db/dbmanager_p.h"

#include <QJsonArray>
#include <QMap>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QVariant>

#include <memory>

namespace manager {
class MqttClient;
}

namespace tarvik {
class ActionListManager;
class Customer;
class FareManager;
class Route;
class RouteManager;
}

// The one object through which validators, the validation service, inspection and the
// controller reach data: the database service on the OBU broker, and the vehicle's current
// route. Lives on the main thread; the blocking requests and device() may be called from any
// thread. Re-emits every signal of its private part.
class DBManager : public QObject
{
    Q_OBJECT
public:
    // The settings groups "db" (database service) and "tarvik" (back-end link and stores).
    static const QMap<QString, QVariant> Defaults;

    explicit DBManager(manager::MqttClient *client, QObject *parent = nullptr);
    ~DBManager() override;
    Q_DISABLE_COPY(DBManager)

    void initialize();

    DBManagerPrivate::State state() const;
    DBManagerPrivate::Info info() const;
    const QString &selectedLanguage() const;
    Device::Ptr device() const;
    bool service();
    QString serviceStatus() const;

    // Blocking: null when no usable reply came within "db/timeout_ms".
    std::shared_ptr<QrTicket> findQRTicket(const QString &ticketId);
    SCBlacklistEntry::Ptr findSCTicket(const QString &uid);
    EMVticketResp::Ptr issueEMVTickets(const QJsonArray &tickets);
    EMVticketResp::Ptr storeEMVticketsData(const QJsonArray &tickets);
    EMVticketResp::Ptr storeEMVResults(const QJsonArray &tickets);
    Employee::Ptr login(const QString &cardId);

    void setRoute(QSharedPointer<tarvik::Route> route);
    QSharedPointer<tarvik::Route> route() const;

    // The back-end's route network, fare catalogue and action list: null until the back-end
    // link is set up (at initialize(), or once the database service names the back-end), then
    // fixed. Any thread.
    tarvik::RouteManager *routeData() const;
    tarvik::FareManager *fareData() const;
    tarvik::ActionListManager *actionList() const;

    // The local stores, from any thread: null (or nothing done) until the link is set up.
    QSharedPointer<tarvik::Customer> findCustomer(int id);
    // Asks the back-end when the customer or its picture is not at hand; the answer is stored.
    void prefetchCustomer(int id);
    void prefetchCustomer(const QString &cardId);
    tarvik::KeyValue::Ptr findDeviceParam(const QString &key);
    // The controller's device-management report, to the back-end over HTTP.
    void sendDeviceManagementInfo(const QJsonObject &report);

public slots:
    void findQRTicketAsync(const QString &cardId);
    void findSCTicketAsync(const QString &cardId);
    void issueEMVTicketsAsync(const QJsonArray &tickets);
    void storeEMVTicketsAsync(const QJsonArray &tickets);
    void storeEMVResultAsync(const QJsonArray &tickets);
    void loginAsync(const QString &cardId);
    void blockCard(const QString &cardId, SCBlacklistEntry::BlockReason reason);

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
    std::unique_ptr<DBManagerPrivate> d;
};

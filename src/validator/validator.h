#pragma once

#include "tarvik/route.h"
#include "tarvik/routeprogress.h"
#include "validator/results/basket.h"
#include "validator/results/validatorresult.h"

#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class DBManager;
class QThread;
class ValidatorPrivate;

namespace manager {
class MqttClient;
}

// The validation service, which turns card taps and QR scans into verdicts. Lives on the main
// thread; its worker runs on a thread of its own, started here and quit and waited for at
// destruction. Re-emits every signal of the worker on the main thread. Holds the defaults of
// its settings group "validator", which every Configuration knows.
class Validator : public QObject
{
    Q_OBJECT
public:
    static const QMap<QString, QVariant> Defaults;

    Validator(manager::MqttClient *client, DBManager &db, Basket::Ptr basket, QObject *parent = nullptr);
    ~Validator() override;
    Q_DISABLE_COPY(Validator)

    // While blocked, the reader client's events are dropped, not delayed.
    void blockRfidSignals(bool block);
    QString qrServiceStatus() const;
    QString rfidServiceStatus() const;

    // The worker, for tests that drive it directly.
    ValidatorPrivate *worker() const { return d; }

public slots:
    void setRfid(bool enabled);
    void setBarcode(bool enabled);
    void setBasket(Basket::Ptr newBasket);
    void routeStarted(const tarvik::Route &route);
    void routeEnded();
    void routeProgress(const tarvik::RouteProgress &progress);
    void remotelyValidatedTicket(const QVariantMap &ticket);
    void onFoundEmployeeCard(QString uid, uint employeeId);

signals:
    void status(QVariantMap status);
    void scannedTicket(ValidatorResult res);
    void cardTransactionStarted();
    void cardTransactionError();
    void emvValidationProgress();
    void validatedCard(ValidatorResult res);
    void validatedEMVcard(ValidatorResult res);
    void receivedRfidInfo(QVariantMap info);
    void receivedQrInfo(QVariantMap info);
    void receivedRfidStatus(QVariantMap status);
    void receivedQrStatus(QVariantMap status);
    void foundEmployeeCard(QString Uid, uint employee);
    void maintenanceQrScanned(QJsonObject data);

private:
    ValidatorPrivate *d = nullptr;
    QThread *mThread = nullptr;
};

#include "validator/validator.h"

#include "validator/results/validatordefaults.h"
#include "validator/validator_p.h"

#include <QThread>

// The map itself lives with the validation results, which the validators that read it link.
const QMap<QString, QVariant> Validator::Defaults = validatorDefaults();

namespace {
[[maybe_unused]] const bool DefaultsRegistered = registerValidatorDefaults();
}

Validator::Validator(manager::MqttClient *client, DBManager &db, Basket::Ptr basket, QObject *parent)
    : QObject(parent)
    , d(new ValidatorPrivate(client, db, basket, nullptr))
    , mThread(new QThread(nullptr))
{
    d->initDb();
    d->moveToThread(mThread);

    connect(d, &ValidatorPrivate::statusChanged, this, &Validator::status);
    connect(d, &ValidatorPrivate::scannedTicket, this, &Validator::scannedTicket);
    connect(d, &ValidatorPrivate::cardTransactionStarted, this, &Validator::cardTransactionStarted);
    connect(d, &ValidatorPrivate::cardTransactionError, this, &Validator::cardTransactionError);
    connect(d, &ValidatorPrivate::emvValidationProgress, this, &Validator::emvValidationProgress);
    connect(d, &ValidatorPrivate::validatedCard, this, &Validator::validatedCard);
    connect(d, &ValidatorPrivate::validatedEMVcard, this, &Validator::validatedEMVcard);
    connect(d, &ValidatorPrivate::receivedQrInfo, this, &Validator::receivedQrInfo);
    connect(d, &ValidatorPrivate::receivedRfidInfo, this, &Validator::receivedRfidInfo);
    connect(d, &ValidatorPrivate::receivedQrStatus, this, &Validator::receivedQrStatus);
    connect(d, &ValidatorPrivate::receivedRfidStatus, this, &Validator::receivedRfidStatus);
    connect(d, &ValidatorPrivate::foundEmployeeCard, this, &Validator::onFoundEmployeeCard);
    connect(d, &ValidatorPrivate::maintenanceQrScanned, this, &Validator::maintenanceQrScanned);

    mThread->start(QThread::InheritPriority);
}

Validator::~Validator()
{
    mThread->quit();
    mThread->wait();
    delete mThread;
    // The thread has stopped: no slot of the worker runs while it goes.
    delete d;
}

void Validator::blockRfidSignals(bool block)
{
    d->blockRfidSignals(block);
}

QString Validator::qrServiceStatus() const
{
    return d->qrServiceStatus();
}

QString Validator::rfidServiceStatus() const
{
    return d->rfidServiceStatus();
}

void Validator::setRfid(bool enabled)
{
    d->setRfid(enabled);
}

void Validator::setBarcode(bool enabled)
{
    d->setBarcode(enabled);
}

void Validator::setBasket(Basket::Ptr newBasket)
{
    d->setBasket(std::move(newBasket));
}

void Validator::routeStarted(const tarvik::Route &route)
{
    d->routeStarted(route);
}

void Validator::routeEnded()
{
    d->routeEnded();
}

void Validator::routeProgress(const tarvik::RouteProgress &progress)
{
    d->routeProgress(progress);
}

void Validator::remotelyValidatedTicket(const QVariantMap &ticket)
{
    d->remotelyValidatedTicket(ticket);
}

void Validator::onFoundEmployeeCard(QString uid, uint employeeId)
{
    emit foundEmployeeCard(uid, employeeId);
}

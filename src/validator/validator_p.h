#pragma once

#include "framework/configuration.h"
#include "rfid/rfidcardfactory.h"
#include "tarvik/route.h"
#include "tarvik/routeprogress.h"
#include "tickets/qrticketfactory.h"
#include "validator/results/basket.h"
#include "validator/results/rfidvalidatorfactory.h"
#include "validator/results/ticketdb.h"
#include "validator/results/validatorresult.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <mutex>

class DBManager;
class QRManager;
class QrTicket;
class QrValidator;
class QrValidatorFactory;
class RfidManager;
class RfidValidator;

namespace manager {
class MqttClient;
}

// The validation worker: turns card taps and QR scans into verdicts on the validation thread.
// Owns the reader and scanner clients (which stay on the main thread), the factories, the
// store of remotely validated tickets and its clean timer. The facade's calls run here on the
// caller's thread; the clients' signals arrive queued. The route and the basket are the only
// members both threads touch: they are swapped under a short lock and read as snapshots, and a
// published route is never changed (progress moves a copy), so a validation never sees one
// change under it.
class ValidatorPrivate : public QObject
{
    Q_OBJECT
public:
    // The source of "now" for the clean timer and for every validator made here; tests pin it.
    using Clock = std::function<QDateTime()>;

    ValidatorPrivate(manager::MqttClient *client, DBManager &db, std::shared_ptr<Basket> basket,
                     QObject *parent = nullptr);
    ~ValidatorPrivate() override;
    Q_DISABLE_COPY(ValidatorPrivate)

    void initDb();
    void blockRfidSignals(bool block);
    QString qrServiceStatus() const;
    QString rfidServiceStatus() const;
    bool isCardSupported(const QString &templateName);
    // Blocks until the database service answers or its time-out passes; true when it answered.
    bool storeEMVResults(std::shared_ptr<Basket> basket, int errorCode);

    // Any thread: the route as it stands now (null while no route runs), never changed after.
    std::shared_ptr<tarvik::Route> routeSnapshot() const;
    // Any thread: a copy of the shared basket, empty when there is none.
    std::shared_ptr<Basket> basketSnapshot() const;

    // Any thread; a null clock is the system's UTC time.
    void setClock(Clock clock);
    Clock clock() const;
    QDateTime now() const;

public slots:
    void setRfid(bool enabled);
    void setBarcode(bool enabled);
    void setBasket(Basket::Ptr newBasket);
    void routeStarted(const tarvik::Route &route);
    void routeEnded();
    void routeProgress(const tarvik::RouteProgress &progress);
    void remotelyValidatedTicket(const QVariantMap &ticket);

signals:
    void statusChanged(QVariantMap status);
    void scannedTicket(ValidatorResult res);
    void cardTransactionStarted();
    void cardTransactionError();
    void emvValidationProgress();
    void validatedCard(ValidatorResult res);
    void validatedEMVcard(ValidatorResult res);
    void receivedRfidInfo(QVariantMap info);
    void receivedQrInfo(QVariantMap info);
    void receivedQrStatus(QVariantMap status);
    void receivedRfidStatus(QVariantMap status);
    void foundEmployeeCard(QString Uid, uint employee);
    void maintenanceQrScanned(QJsonObject data);

private slots:
    void onCleanTimer();
    void onQrStatus(QVariantMap qrStatus);
    void onQrError(QString e);
    void onTicketScanned(QString serialized);
    void onRfidStatus(QVariantMap status);
    void onRfidInfo(QVariantMap info);
    void onQrInfo(QVariantMap info);
    void onRfidError(QVariantMap rfidError);
    void onCardFound(QVariantMap card);
    void onCardRead(QVariantMap card);
    void onCardAutoread(QVariantMap card);
    void onCardWritten(QVariantMap card);
    void onFoundEmployeeCard(QString Uid, uint employee);

private:
    void handleScan(const QString &serialized);
    ValidatorResult invalidScanResult() const;

    // A child, so it moves to the validation thread with the worker: it is read only there
    // (and here, before the thread starts), never where the settings file may be switched.
    Configuration mConfig{this};
    DBManager &mDb;
    std::unique_ptr<QRManager> mQrManager;
    QTimer mCleanTimer;
    QrTicketFactory mTicketFactory;
    RfidCardFactory mCardFactory;
    std::unique_ptr<RfidManager> mRfidManager;
    RfidValidatorFactory mCardValidatorFactory;
    std::unique_ptr<QrValidatorFactory> mQrValidatorFactory;
    // The validator of the scan being handled; each handler keeps its own reference as well,
    // and drops it once its scan has emitted.
    std::shared_ptr<QrValidator> mQrValidator;
    TicketDb mTicketDb;

    // Swapped on the caller's thread, read as snapshots on the validation thread.
    mutable std::mutex mShareMutex;
    std::shared_ptr<tarvik::Route> mRoute;
    std::shared_ptr<Basket> mBasket;
    Clock mClock;

    // Validation thread only.
    std::shared_ptr<Basket> mTransactionBasket;
    QVariantMap mStatus;
    QDateTime mCardFoundTime;
    QDateTime mAutoreadTime;
    QDateTime mParsingDoneTime;
    QDateTime mScanStartTime;
    QDateTime mScanParsedTime;
    QMap<QString, QVariantMap> mLucCache;
    std::shared_ptr<RfidValidator> mCardValidator;
    QString mCardTemplate;
    QElapsedTimer mStopwatch;
    int mCardReadDuration = 0;
    int mCardValidateDuration = 0;
    int mCardWriteDuration = 0;

    // A scan that arrives while another waits for its pass-back answer is handled after it,
    // so the two look-ups never wait for the same reply.
    bool mScanRunning = false;
    QStringList mDeferredScans;

    // Card road helpers (validator_p_card.cpp), validation thread only.
    void restoreOrFail(const QString &uid, const QVariantMap &error);
    void onWriteCompleted(const QVariantMap &data);
    void onWriteFailed(const QVariantMap &error);
    void failCard(const QString &line);
    void setLeds(bool valid);
    void writeCard(const QVariantMap &card);
    QString mCardUid; // the card of the current card validator, which write answers must name
};

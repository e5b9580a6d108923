#pragma once

#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "framework/mqttclient.h"
#include "inspection/cardinspector.h"
#include "validator/results/basket.h"
#include "validator/validator.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>

class QJsonDocument;
class QJsonObject;

// The controller's working part: owns the managers by value, in the order of construction
// (destroyed in reverse), handles the controller's own topics on the local broker, keeps the
// device's state, switches the readers and publishes every verdict.
class ZUBPrivate : public QObject
{
    Q_OBJECT
public:
    // The device's health. Every handler copies it, changes its fields and hands it to
    // setState(); onStateChanged() alone applies what follows from a change.
    struct State {
        bool initialising = true;
        bool localBroker = false;
        bool obu = false;
        bool qr = false;   // the scanner service runs and its scanner is active
        bool rfid = false; // the reader service runs and its reader is ready
        bool route = false;
        bool inspection = false;

        // "init", "offline", "out-of-service", "degraded" or "online", and why.
        QString verdict() const;
        QString reason() const;
        bool operator==(const State &other) const;
        bool operator!=(const State &other) const { return !(*this == other); }
    };

    // What of the command line must be in force before any manager reads a setting: the
    // settings file it names and the logger's options. Help, version and a bad command line
    // end the process here. Returns the parsed options.
    static QVariantMap applyCommandLine();

    explicit ZUBPrivate(const QVariantMap &commandLine = QVariantMap());
    ~ZUBPrivate() override;
    Q_DISABLE_COPY(ZUBPrivate)

    // Logs the configuration in force; with "-s" saves it and ends the process.
    void finishCommandLine();
    void updateConfiguration();
    void connectSignals();
    void connectBrokers();

    // Every component's defaults, in the order they are united. Naming each map here keeps
    // its component in the program, so the settings file is complete from the first start.
    static const QMap<QString, QVariant> *const ComponentDefaults[16];

    const State &state() const { return mState; }
    void setState(const State &state);
    Validator &validator() { return mValidator; }

    static constexpr int InitialisationTimeout = 90000; // ms

signals:
    void config(const QJsonDocument &configuration);
    void stateChanged();
    void statusChanged(const QJsonObject &status);
    void info(const QJsonObject &info);

private slots:
    void onLocalConnected();
    void onLocalReceived(const QByteArray &data, const QByteArray &topic);
    void onStateChanged();
    void onValidatorStatus(const QVariantMap &status);
    void onInitialisationTimeout();
    void onSettingsChanged();

private:
    void configureClient(manager::MqttClient &client, const QString &prefix);
    void readTopics();
    void publishConfig();
    void publishState();
    void publishResult(const QString &topic, const QJsonObject &result);
    void connectDevice();
    bool inspectionMode() const;
    void applyConfig(const QByteArray &data, const QString &topic);
    void reportRestartNeeded(const QStringList &keys) const;
    void refuseUnusableTopics(QMap<QString, QVariant> &settings, const QString &from) const;
    bool isOwnSubscription(const QString &topic, const QMap<QString, QVariant> &pending) const;
    bool hearsItself(const QMap<QString, QVariant> &pending) const;
    QString topic(const QString &key, const QMap<QString, QVariant> &pending) const;
    quint8 qos(const QString &key) const;
    int number(const QString &key, int lowest, int highest) const;

    QVariantMap mCommandLine;
    Configuration mConfig;
    // Read once, before the first connection: a change of these settings applies at the next
    // start, as the subscriptions were made with them. Empty: not used.
    QString mWillTopic;
    QString mConfigTopic;
    QString mConfigGetTopic;
    QString mConfigSetTopic;
    QString mCardInspectedTopic;
    QString mRfidScannedTopic;
    QString mBarcodeScannedTopic;
    State mState;
    State mApplied; // the state whose consequences are in force
    Basket::Ptr mBasket = std::make_shared<Basket>();
    manager::MqttClient mLocal; // the device's services and the controller's own topics
    manager::MqttClient mObu;   // the on-board unit and the database service
    DBManager mDb{&mObu};       // the database service and the back-end link
    Validator mValidator{&mLocal, mDb, mBasket};
    CardInspector mInspector{&mLocal, mDb};
    QTimer mInitTimer;
};

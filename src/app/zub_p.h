#pragma once

#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "framework/mqttclient.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariant>

class QJsonDocument;

// The controller's working part: owns the managers by value, in the order of construction
// (destroyed in reverse), and handles the controller's own topics on the local broker.
class ZUBPrivate : public QObject
{
    Q_OBJECT
public:
    ZUBPrivate();
    ~ZUBPrivate() override;
    Q_DISABLE_COPY(ZUBPrivate)

    void parseCommandLine();
    void updateConfiguration();
    void connectSignals();
    void connectBrokers();

    // Every component's defaults, in the order they are united. Naming each map here keeps
    // its component in the program, so the settings file is complete from the first start.
    static const QMap<QString, QVariant> *const ComponentDefaults[16];

signals:
    void config(const QJsonDocument &configuration);

private slots:
    void onLocalConnected();
    void onLocalReceived(const QByteArray &data, const QByteArray &topic);

private:
    void configureClient(manager::MqttClient &client, const QString &prefix);
    void readTopics();
    void publishConfig();
    void applyConfig(const QByteArray &data, const QString &topic);
    void refuseUnusableTopics(QMap<QString, QVariant> &settings, const QString &from) const;
    bool isOwnSubscription(const QString &topic, const QMap<QString, QVariant> &pending) const;
    bool hearsItself(const QMap<QString, QVariant> &pending) const;
    QString topic(const QString &key, const QMap<QString, QVariant> &pending) const;
    quint8 qos(const QString &key) const;
    int number(const QString &key, int lowest, int highest) const;

    Configuration mConfig;
    // Read once, before the first connection: a change of these settings applies at the next
    // start, as the subscriptions were made with them. Empty: not used.
    QString mWillTopic;
    QString mConfigTopic;
    QString mConfigGetTopic;
    QString mConfigSetTopic;
    manager::MqttClient mLocal; // the device's services and the controller's own topics
    manager::MqttClient mObu;   // the on-board unit and the database service
    DBManager mDb{&mObu};       // the database service and the back-end link
};

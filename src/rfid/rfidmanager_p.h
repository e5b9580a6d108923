#pragma once

#include "framework/configuration.h"

#include <QByteArray>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace manager {
class MqttClient;
}

// The working part of RfidManager: subscribes to the reader's event and response topics,
// dispatches what arrives by topic, publishes the requests with a per-client id, and keeps
// the reader-enabled flag and the health word. Same thread as its MQTT client.
class RfidManagerPrivate : public QObject
{
    Q_OBJECT
public:
    explicit RfidManagerPrivate(manager::MqttClient *client, QObject *parent = nullptr);
    ~RfidManagerPrivate() override;
    Q_DISABLE_COPY(RfidManagerPrivate)

    QString serviceStatus() const { return mServiceStatus; }

    // The id after `current`; wraps to 0 after the largest one.
    static qint32 nextRequestId(qint32 current);

public slots:
    void getInfo();
    void getStatus();
    void getConfig();
    void setConfig();
    void enable(const QVariantMap &data);
    void disable();
    void createCard(const QVariantMap &card);
    void readCard(const QVariantMap &card);
    void writeCard(const QVariantMap &card);
    void ledSet(const QJsonObject &ledState);

signals:
    void info(const QVariantMap &info);
    void status(const QVariantMap &status);
    void config(const QVariantMap &config);
    void error(const QVariantMap &error);
    void cardFound(const QVariantMap &found);
    void cardRemoved(const QVariantMap &removed);
    void cardAutoread(const QVariantMap &autoread);
    void enabled();
    void disabled();
    void cardCreated(const QVariantMap &response);
    void cardRead(const QVariantMap &response);
    void cardWritten(const QVariantMap &response);

private slots:
    void onReceived(const QByteArray &data, const QByteArray &topic);
    void onInfo(const QJsonDocument &doc);
    void onStatus(const QJsonDocument &doc);
    void onConfig(const QJsonDocument &doc);
    void onError(const QJsonDocument &doc);
    void onCardFound(const QJsonDocument &doc);
    void onCardRemoved(const QJsonDocument &doc);
    void onCardAutoread(const QJsonDocument &doc);
    void onEnabled(const QJsonDocument &doc);
    void onDisabled(const QJsonDocument &doc);
    void onCardCreated(const QJsonDocument &doc);
    void onCardRead(const QJsonDocument &doc);
    void onCardWritten(const QJsonDocument &doc);

private:
    bool isResponseTopic(const QByteArray &topic, const QString &key) const;
    void calculateServiceStatus(bool alive, bool active);
    QByteArray topic(const QString &key) const;
    // Whether this client writes the lines of what arrives: the first on its connection does.
    bool logsReceived() const;
    void logReceived(const QString &text) const;
    // Publishes `payload` on the topic of `key` followed by the next request id.
    void request(const QString &key, const QJsonObject &payload, const QString &what);
    void publish(const QByteArray &topic, const QJsonObject &payload);

    QString mServiceStatus;
    Configuration mConfig;
    // Every topic setting as read at construction: the subscriptions are made once, so a
    // changed topic takes effect at the next start, for requests as well.
    QHash<QString, QByteArray> mTopics;
    manager::MqttClient *mClient = nullptr;
    qint32 mRequestCounter = 0;
    bool mReaderEnabled = false;

    friend class tst_RfidManager;
};

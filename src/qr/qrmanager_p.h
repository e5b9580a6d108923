#pragma once

#include "framework/configuration.h"
#include "qr/qrcryptofactory.h"

#include <QByteArray>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <memory>

namespace manager {
class MqttClient;
}
class QrCrypto;

// The working part of QRManager: subscribes to the scanner's report topics, dispatches what
// arrives by topic, publishes the requests, keeps the scanning flag and the health word, and
// runs each scan through the decryptor named by "qr/crypto". Same thread as its MQTT client.
class QRManagerPrivate : public QObject
{
    Q_OBJECT
public:
    // Far above any QR code: longer scans are dropped unread.
    static constexpr int MaxScanLength = 8192;

    explicit QRManagerPrivate(manager::MqttClient *client, QObject *parent = nullptr);
    ~QRManagerPrivate() override;
    Q_DISABLE_COPY(QRManagerPrivate)

    QString serviceStatus() const { return mServiceStatus; }

public slots:
    void enable();
    void disable();
    void reset();
    void getConfig();
    void setConfig(const QVariantMap &config);

signals:
    void status(const QVariantMap &status);
    void info(const QVariantMap &info);
    void config(const QVariantMap &config);
    void error(const QString &e);
    void ticketScanned(const QString &serialized);
    void maintenanceQrScanned(const QJsonObject &data);

private slots:
    void onReceived(const QByteArray &data, const QByteArray &topic);
    void onStatus(const QJsonDocument &doc);
    void onInfo(const QJsonDocument &doc);
    void onConfig(const QJsonDocument &doc);
    void onError(const QJsonDocument &doc);
    void onScan(const QJsonDocument &doc);

private:
    void calculateServiceStatus(bool service, bool active);
    // Ticket text of deciphered bytes: text up to the first NUL, or a binary layout by size.
    QString ticketText(QVector<unsigned char> &bytes);
    QByteArray topic(const QString &key) const;
    void publish(const QString &key, const QByteArray &payload);

    Configuration mConfig;
    // Every topic setting as read at construction: the subscriptions are made once, so a
    // changed topic takes effect at the next start, for requests as well.
    QHash<QString, QByteArray> mTopics;
    manager::MqttClient *mClient = nullptr;
    QrCryptoFactory mFactory;
    std::unique_ptr<QrCrypto> mCrypto;
    bool mEnabled = false;
    QString mServiceStatus;
};

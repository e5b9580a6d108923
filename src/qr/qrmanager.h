#pragma once

#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>

namespace manager {
class MqttClient;
}
class QRManagerPrivate;

// Client of the QR scanner service on a shared MQTT connection (not owned): switches scanning
// on and off, follows the service's reports, and turns each scan into a maintenance code or
// a ticket text (deciphered where needed). Lives on the thread of its MQTT client.
class QRManager : public QObject
{
    Q_OBJECT
public:
    // Defaults of the settings group "qr", which every Configuration knows.
    static const QMap<QString, QVariant> Defaults;

    explicit QRManager(manager::MqttClient *client, QObject *parent = nullptr);
    ~QRManager() override;
    Q_DISABLE_COPY(QRManager)

    // "GOOD", "WARNING" or "CRITICAL" from the last status report; empty before the first.
    QString serviceStatus() const;

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

private:
    std::unique_ptr<QRManagerPrivate> d;
};

#pragma once

#include "support/mqttpeer.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

// The QR scanner service on a real broker: publishes status, info, configuration, error and
// scan messages, and records the commands of other clients (enable, disable, reset,
// config/get, config/set). When answering, it reports its new state after enable and disable
// as the service does. Lives on the test's thread.
class QrScannerPeer : public QObject
{
    Q_OBJECT
public:
    explicit QrScannerPeer(const QString &base = QStringLiteral("zeto/barcodeman"), QObject *parent = nullptr);
    Q_DISABLE_COPY(QrScannerPeer)

    bool connectTo(const QString &host, quint16 port);
    MqttPeer &mqtt() { return mPeer; }
    void setAnswering(bool on) { mAnswering = on; }

    bool publishStatus(bool service, bool active, bool enabled);
    bool publishInfo(const QJsonObject &info);
    bool publishConfig(const QJsonObject &config);
    bool publishError(const QString &command, const QString &error);
    // The scanned code's text as the service sends it: {"data": text}.
    bool scan(const QString &text);
    bool publishRaw(const QString &subTopic, const QByteArray &payload);

    // Commands received so far, by topic below the base ("enable", "config/set", ...); a
    // topic outside the base (see mqtt().subscribe) in full.
    QStringList commands() const;
    QByteArray lastPayload(const QString &command) const;
    bool waitForCommands(int count, int timeoutMs = 5000);
    void clear();

private slots:
    void onReceived(const QString &topic, const QByteArray &payload);

private:
    QString mBase;
    MqttPeer mPeer;
    QList<QPair<QString, QByteArray>> mCommands;
    bool mAnswering = false;
    bool mActive = true;
};

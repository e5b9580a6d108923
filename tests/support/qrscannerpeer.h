#pragma once

#include "support/mqttpeer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPair>
#include <QStringList>
#include <QTest>

// The QR scanner service on a real broker: publishes status, info, configuration and scan
// messages, and records the commands of other clients (enable, disable, reset, config/get,
// config/set). When answering, it reports its new state after enable and disable as the
// service does. Lives on the test's thread.
class QrScannerPeer : public QObject
{
    Q_OBJECT
public:
    explicit QrScannerPeer(const QString &base = QStringLiteral("zeto/barcodeman"), QObject *parent = nullptr);
    Q_DISABLE_COPY(QrScannerPeer)

    bool connectTo(const QString &host, quint16 port);
    MqttPeer &mqtt() { return mPeer; }
    void setAnswering(bool on) { mAnswering = on; }

    bool publishStatus(bool service, bool active, bool enabled)
    {
        mActive = active;
        return publish("status", {{"service", service}, {"device", QJsonObject{{"active", active}, {"enabled", enabled}}}});
    }
    bool publishInfo(const QJsonObject &info) { return publish("info", info); }
    bool publishConfig(const QJsonObject &config) { return publish("config", config); }
    // The scanned code's text as the service sends it: {"data": text}.
    bool scan(const QString &text) { return publish("barcode", {{"data", text}}); }
    bool publishRaw(const QString &subTopic, const QByteArray &payload) { return mPeer.publish(mBase + '/' + subTopic, payload) >= 0; }

    // Commands received so far, by topic below the base ("enable", "config/set", ...); a
    // topic outside the base (see mqtt().subscribe) in full.
    QStringList commands() const;
    QByteArray lastPayload(const QString &command) const;
    bool waitForCommands(int count, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return mCommands.size() >= count; }, timeoutMs);
    }
    void clear() { mCommands.clear(), mPeer.clear(); }

private:
    bool publish(const QString &subTopic, const QJsonObject &o) { return publishRaw(subTopic, QJsonDocument(o).toJson(QJsonDocument::Compact)); }

    QString mBase;
    MqttPeer mPeer;
    QList<QPair<QString, QByteArray>> mCommands;
    bool mAnswering = false;
    bool mActive = true;
};

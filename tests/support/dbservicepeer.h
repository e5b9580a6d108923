#pragma once

#include "support/mqttpeer.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <functional>

// A scripted database service on a real broker, for the data gateway and its users. It
// records the requests of other clients on the service's request topic and hands each to a
// script, which answers as the test wants (at once, late, twice, wrongly or not at all). It
// also plays the service's info, status and configuration messages and the UI's requests.
// Lives on the test's thread; the script runs there.
class DbServicePeer : public QObject
{
    Q_OBJECT
public:
    using Script = std::function<void(const QJsonObject &request)>;

    explicit DbServicePeer(const QString &base = QStringLiteral("zeto/db"), QObject *parent = nullptr);
    Q_DISABLE_COPY(DbServicePeer)

    bool connectTo(const QString &host, quint16 port) { return mPeer.connectTo(host, port) && mPeer.subscribe(mBase + "/request"); }
    // Also records what arrives on another topic filter (the card-block topic, say).
    bool listen(const QString &filter) { return mPeer.subscribe(filter); }
    MqttPeer &mqtt() { return mPeer; }

    // Called for every request whose "src" is not "ui"; none answers nothing.
    void setScript(Script script) { mScript = std::move(script); }
    QList<QJsonObject> requests() const { return mRequests; }
    bool waitForRequests(int count, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return mRequests.size() >= count; }, timeoutMs);
    }
    void clear() { mRequests.clear(), mPeer.clear(); }

    // A reply envelope; errorId 0 leaves the failure text empty.
    static QJsonObject answer(const QString &method, const QJsonArray &resp, int errorId = 0,
                              const QString &errorText = QString())
    {
        return {{"method", method}, {"resp", resp}, {"error", QJsonObject{{"id", errorId}, {"error", errorText}}}};
    }
    // Publishes on "<base>/response/<src>/<id>" of the request.
    void reply(const QJsonObject &request, const QJsonObject &body)
    {
        publishRaw("response/" + request["src"].toString() + '/' + request["id"].toString(), compact(body));
    }

    void publishInfo(const QJsonObject &info) { publishRaw(QStringLiteral("info"), compact(info)); }
    void publishStatus(const QJsonObject &status) { publishRaw(QStringLiteral("status"), compact(status)); }
    void publishConfig(const QJsonObject &config) { publishRaw(QStringLiteral("config"), compact(config)); }
    void publishRaw(const QString &subTopic, const QByteArray &payload) { mPeer.publish(mBase + '/' + subTopic, payload); }
    // A request of the UI service to the database service, as the gateway sees it pass.
    void publishUiRequest(const QString &method, int id)
    {
        publishRaw(QStringLiteral("request"), compact({{"src", "ui"}, {"method", method}, {"id", id}, {"params", QJsonArray()},
                                                       {"timestamp", QDateTime::currentDateTimeUtc().toString(Qt::ISODate)}}));
    }

private:
    static QByteArray compact(const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

    QString mBase;
    MqttPeer mPeer;
    Script mScript;
    QList<QJsonObject> mRequests;
};

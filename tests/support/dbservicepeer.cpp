#include "support/dbservicepeer.h"

#include <QDateTime>
#include <QTest>

DbServicePeer::DbServicePeer(const QString &base, QObject *parent)
    : QObject(parent)
    , mBase(base)
{
    connect(&mPeer, &MqttPeer::received, this, &DbServicePeer::onReceived);
}

bool DbServicePeer::connectTo(const QString &host, quint16 port)
{
    return mPeer.connectTo(host, port) && mPeer.subscribe(mBase + QStringLiteral("/request"));
}

bool DbServicePeer::waitForRequests(int count, int timeoutMs)
{
    return QTest::qWaitFor([this, count] { return mRequests.size() >= count; }, timeoutMs);
}

QJsonObject DbServicePeer::answer(const QString &method, const QJsonArray &resp, int errorId,
                                  const QString &errorText)
{
    return {{"method", method}, {"resp", resp}, {"error", QJsonObject{{"id", errorId}, {"error", errorText}}}};
}

void DbServicePeer::reply(const QJsonObject &request, const QJsonObject &body)
{
    mPeer.publish(mBase + "/response/" + request.value("src").toString() + '/' + request.value("id").toString(),
                  compact(body));
}

void DbServicePeer::publishUiRequest(const QString &method, int id)
{
    publishRaw(QStringLiteral("request"),
               compact({{"src", "ui"}, {"method", method}, {"id", id}, {"params", QJsonArray()},
                        {"timestamp", QDateTime::currentDateTimeUtc().toString(Qt::ISODate)}}));
}

void DbServicePeer::onReceived(const QString &topic, const QByteArray &payload)
{
    const QJsonObject request = QJsonDocument::fromJson(payload).object();
    if (topic != mBase + QStringLiteral("/request") || request.value("src").toString() == QLatin1String("ui"))
        return;
    mRequests << request;
    emit requestReceived(request);
    if (mScript)
        mScript(request);
}

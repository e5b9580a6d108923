#include "support/dbservicepeer.h"

#include <QDateTime>
#include <QJsonDocument>
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

bool DbServicePeer::listen(const QString &filter)
{
    return mPeer.subscribe(filter);
}

bool DbServicePeer::waitForRequests(int count, int timeoutMs)
{
    return QTest::qWaitFor([this, count] { return mRequests.size() >= count; }, timeoutMs);
}

void DbServicePeer::clear()
{
    mRequests.clear();
    mPeer.clear();
}

QJsonObject DbServicePeer::answer(const QString &method, const QJsonArray &resp, int errorId,
                                  const QString &errorText)
{
    return QJsonObject{
        {QStringLiteral("method"), method},
        {QStringLiteral("resp"), resp},
        {QStringLiteral("error"), QJsonObject{{QStringLiteral("id"), errorId}, {QStringLiteral("error"), errorText}}},
    };
}

void DbServicePeer::reply(const QJsonObject &request, const QJsonObject &body)
{
    replyRaw(request.value(QLatin1String("src")).toString(), request.value(QLatin1String("id")).toString(),
             QJsonDocument(body).toJson(QJsonDocument::Compact));
}

void DbServicePeer::replyRaw(const QString &requester, const QString &id, const QByteArray &payload)
{
    mPeer.publish(mBase + QStringLiteral("/response/") + requester + QLatin1Char('/') + id, payload);
}

void DbServicePeer::publishInfo(const QJsonObject &info)
{
    publishRaw(QStringLiteral("info"), QJsonDocument(info).toJson(QJsonDocument::Compact));
}

void DbServicePeer::publishStatus(const QJsonObject &status)
{
    publishRaw(QStringLiteral("status"), QJsonDocument(status).toJson(QJsonDocument::Compact));
}

void DbServicePeer::publishConfig(const QJsonObject &config)
{
    publishRaw(QStringLiteral("config"), QJsonDocument(config).toJson(QJsonDocument::Compact));
}

void DbServicePeer::publishRaw(const QString &subTopic, const QByteArray &payload)
{
    mPeer.publish(mBase + QLatin1Char('/') + subTopic, payload);
}

void DbServicePeer::publishUiRequest(const QString &method, int id)
{
    const QJsonObject request{
        {QStringLiteral("src"), QStringLiteral("ui")},
        {QStringLiteral("method"), method},
        {QStringLiteral("id"), id},
        {QStringLiteral("params"), QJsonArray()},
        {QStringLiteral("timestamp"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
    };
    publishRaw(QStringLiteral("request"), QJsonDocument(request).toJson(QJsonDocument::Compact));
}

void DbServicePeer::onReceived(const QString &topic, const QByteArray &payload)
{
    if (topic != mBase + QStringLiteral("/request"))
        return;
    const QJsonObject request = QJsonDocument::fromJson(payload).object();
    if (request.value(QLatin1String("src")).toString() == QLatin1String("ui"))
        return;
    mRequests << request;
    emit requestReceived(request);
    if (mScript)
        mScript(request);
}

#include "support/dbservicepeer.h"

#include <QDateTime>

DbServicePeer::DbServicePeer(const QString &base, QObject *parent)
    : QObject(parent)
    , mBase(base)
{
    connect(&mPeer, &MqttPeer::received, this, [this](const QString &topic, const QByteArray &payload) {
        const QJsonObject request = QJsonDocument::fromJson(payload).object();
        if (topic != mBase + "/request" || request["src"] == "ui")
            return;
        mRequests << request;
        emit requestReceived(request);
        if (mScript)
            mScript(request);
    });
}

void DbServicePeer::publishUiRequest(const QString &method, int id)
{
    publishRaw(QStringLiteral("request"),
               compact({{"src", "ui"}, {"method", method}, {"id", id}, {"params", QJsonArray()},
                        {"timestamp", QDateTime::currentDateTimeUtc().toString(Qt::ISODate)}}));
}

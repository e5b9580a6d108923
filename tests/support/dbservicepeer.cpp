#include "support/dbservicepeer.h"

DbServicePeer::DbServicePeer(const QString &base, QObject *parent)
    : QObject(parent)
    , mBase(base)
{
    connect(&mPeer, &MqttPeer::received, this, [this](const QString &topic, const QByteArray &payload) {
        const QJsonObject request = QJsonDocument::fromJson(payload).object();
        if (topic != mBase + "/request" || request["src"] == "ui")
            return;
        mRequests << request;
        if (mScript)
            mScript(request);
    });
}

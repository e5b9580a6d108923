#include "support/qrscannerpeer.h"

#include <QJsonDocument>
#include <QTest>

namespace {
const char *const Commands[] = {"enable", "disable", "reset", "config/get", "config/set"};
}

QrScannerPeer::QrScannerPeer(const QString &base, QObject *parent)
    : QObject(parent)
    , mBase(base)
{
    connect(&mPeer, &MqttPeer::received, this, &QrScannerPeer::onReceived);
}

bool QrScannerPeer::connectTo(const QString &host, quint16 port)
{
    if (!mPeer.connectTo(host, port))
        return false;
    for (const char *command : Commands) {
        if (!mPeer.subscribe(mBase + QLatin1Char('/') + QLatin1String(command)))
            return false;
    }
    return true;
}

bool QrScannerPeer::publishStatus(bool service, bool active, bool enabled)
{
    mActive = active;
    const QJsonObject device{{QStringLiteral("active"), active}, {QStringLiteral("enabled"), enabled}};
    return publishRaw(QStringLiteral("status"),
                      QJsonDocument(QJsonObject{{QStringLiteral("service"), service}, {QStringLiteral("device"), device}})
                          .toJson(QJsonDocument::Compact));
}

bool QrScannerPeer::publishInfo(const QJsonObject &info)
{
    return publishRaw(QStringLiteral("info"), QJsonDocument(info).toJson(QJsonDocument::Compact));
}

bool QrScannerPeer::publishConfig(const QJsonObject &config)
{
    return publishRaw(QStringLiteral("config"), QJsonDocument(config).toJson(QJsonDocument::Compact));
}

bool QrScannerPeer::publishError(const QString &command, const QString &error)
{
    const QJsonObject report{{QStringLiteral("command"), command}, {QStringLiteral("error"), error}};
    return publishRaw(QStringLiteral("error"), QJsonDocument(report).toJson(QJsonDocument::Compact));
}

bool QrScannerPeer::scan(const QString &text)
{
    return publishRaw(QStringLiteral("barcode"),
                      QJsonDocument(QJsonObject{{QStringLiteral("data"), text}}).toJson(QJsonDocument::Compact));
}

bool QrScannerPeer::publishRaw(const QString &subTopic, const QByteArray &payload)
{
    return mPeer.publish(mBase + QLatin1Char('/') + subTopic, payload) >= 0;
}

QStringList QrScannerPeer::commands() const
{
    QStringList out;
    for (const auto &command : mCommands)
        out << command.first;
    return out;
}

QByteArray QrScannerPeer::lastPayload(const QString &command) const
{
    for (auto it = mCommands.crbegin(); it != mCommands.crend(); ++it) {
        if (it->first == command)
            return it->second;
    }
    return QByteArray();
}

bool QrScannerPeer::waitForCommands(int count, int timeoutMs)
{
    return QTest::qWaitFor([this, count] { return mCommands.size() >= count; }, timeoutMs);
}

void QrScannerPeer::clear()
{
    mCommands.clear();
    mPeer.clear();
}

// Recorded here, on the test's thread, so a waiter sees each command only after its answer.
void QrScannerPeer::onReceived(const QString &topic, const QByteArray &payload)
{
    const QString prefix = mBase + QLatin1Char('/');
    const QString command = topic.startsWith(prefix) ? topic.mid(prefix.size()) : topic;
    mCommands.append({command, payload});
    if (!mAnswering)
        return;
    if (command == QLatin1String("enable"))
        publishStatus(true, mActive, true);
    else if (command == QLatin1String("disable"))
        publishStatus(true, mActive, false);
}

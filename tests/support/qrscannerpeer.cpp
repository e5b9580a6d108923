#include "support/qrscannerpeer.h"

QrScannerPeer::QrScannerPeer(const QString &base, QObject *parent)
    : QObject(parent)
    , mBase(base)
{
    // Recorded here, on the test's thread, so a waiter sees each command only after its answer.
    connect(&mPeer, &MqttPeer::received, this, [this](const QString &topic, const QByteArray &payload) {
        const QString command = topic.startsWith(mBase + '/') ? topic.mid(mBase.size() + 1) : topic;
        mCommands.append({command, payload});
        if (mAnswering && (command == "enable" || command == "disable"))
            publishStatus(true, mActive, command == "enable");
    });
}

bool QrScannerPeer::connectTo(const QString &host, quint16 port)
{
    bool ok = mPeer.connectTo(host, port);
    for (const char *command : {"enable", "disable", "reset", "config/get", "config/set"})
        ok = ok && mPeer.subscribe(mBase + '/' + command);
    return ok;
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

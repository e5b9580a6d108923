#include "support/brokerfixture.h"

#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include <pwd.h>
#include <unistd.h>

bool BrokerFixture::start(int timeoutMs)
{
    if (isRunning())
        return true;
    QTcpServer probe;
    if (mPort == 0 && probe.listen(QHostAddress::LocalHost, 0))
        mPort = probe.serverPort();
    probe.close();
    QByteArray text = "listener " + QByteArray::number(mPort) + " 127.0.0.1\npersistence false\n"
                      "log_dest stderr\nlog_type all\nallow_anonymous true\n";
    if (mOptions.tcpNoDelay)
        text += "set_tcp_nodelay true\n";
    // Run as root, mosquitto would drop to its own user, who cannot read our temporary folder.
    if (const passwd *pw = getpwuid(getuid()))
        text += "user " + QByteArray(pw->pw_name) + "\n";
    QFile conf(mDir.filePath(QStringLiteral("mosquitto.conf")));
    if (mPort == 0 || !conf.open(QIODevice::WriteOnly) || conf.write(text) != text.size())
        return false;
    conf.close();
    mProcess.setStandardOutputFile(mDir.filePath(QStringLiteral("mosquitto.log")), QIODevice::Append);
    mProcess.setStandardErrorFile(mDir.filePath(QStringLiteral("mosquitto.log")), QIODevice::Append);
    // The parent-death signal ends the broker with the test process, even when that crashes.
    mProcess.start(QStringLiteral("setpriv"), {"--pdeathsig", "KILL", "mosquitto", "-c", conf.fileName()});
    for (QDeadlineTimer deadline(timeoutMs); mProcess.waitForStarted(timeoutMs) && !deadline.hasExpired();) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, mPort);
        if (socket.waitForConnected(200))
            return true;
        if (mProcess.waitForFinished(20))
            break; // exited (port taken, bad config)
    }
    qWarning("BrokerFixture: mosquitto did not accept connections on port %u:\n%s", mPort, qPrintable(log()));
    stop();
    return false;
}

void BrokerFixture::stop()
{
    if (!isRunning())
        return;
    mProcess.terminate();
    if (!mProcess.waitForFinished(5000)) {
        mProcess.kill();
        mProcess.waitForFinished();
    }
}

QString BrokerFixture::log() const
{
    QFile file(mDir.filePath(QStringLiteral("mosquitto.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

#include "support/brokerfixture.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
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
    const QByteArray confPath = conf.fileName().toLocal8Bit();
    const QByteArray logPath = mDir.filePath(QStringLiteral("mosquitto.log")).toLocal8Bit();
    const pid_t parent = getpid();
    mPid = fork();
    if (mPid == 0) {
        // Child: die with the test process, log into the fixture's folder.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int fd = open(logPath.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (getppid() != parent || fd < 0 || dup2(fd, STDOUT_FILENO) < 0 || dup2(fd, STDERR_FILENO) < 0)
            _exit(127);
        execlp("mosquitto", "mosquitto", "-c", confPath.constData(), static_cast<char *>(nullptr));
        _exit(127);
    }
    for (QDeadlineTimer deadline(timeoutMs); mPid > 0 && !deadline.hasExpired(); QThread::msleep(20)) {
        if (waitpid(mPid, nullptr, WNOHANG) == mPid)
            mPid = -1; // exited (port taken, bad config)
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, mPort);
        if (mPid > 0 && socket.waitForConnected(200))
            return true;
    }
    qWarning("BrokerFixture: mosquitto did not accept connections on port %u:\n%s", mPort, qPrintable(log()));
    stop();
    return false;
}

void BrokerFixture::stop()
{
    if (mPid <= 0)
        return;
    kill(mPid, SIGTERM);
    for (QDeadlineTimer deadline(5000); waitpid(mPid, nullptr, WNOHANG) == 0; QThread::msleep(5)) {
        if (deadline.hasExpired()) {
            kill(mPid, SIGKILL);
            waitpid(mPid, nullptr, 0);
        }
    }
    mPid = -1;
}

QString BrokerFixture::log() const
{
    QFile file(mDir.filePath(QStringLiteral("mosquitto.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

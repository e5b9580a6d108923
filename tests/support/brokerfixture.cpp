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
    if (mPort == 0) {
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, 0))
            mPort = probe.serverPort();
    }
    QByteArray text = "listener " + QByteArray::number(mPort) + " 127.0.0.1\npersistence false\n"
                      "log_dest stderr\nlog_type all\nallow_anonymous true\n";
    if (mOptions.tcpNoDelay)
        text += "set_tcp_nodelay true\n";
    // Run as root, mosquitto would drop to its own user, who cannot read our temporary folder.
    if (const passwd *pw = getpwuid(getuid()))
        text += "user " + QByteArray(pw->pw_name) + "\n";
    QFile conf(mDir.filePath(QStringLiteral("mosquitto.conf")));
    if (!mDir.isValid() || mPort == 0 || !conf.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || conf.write(text) != text.size())
        return false;
    conf.close();

    const QByteArray confPath = conf.fileName().toLocal8Bit();
    const QByteArray logPath = mDir.filePath(QStringLiteral("mosquitto.log")).toLocal8Bit();
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        // Child: die with the test process, log into the fixture's folder.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        const int fd = open(logPath.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            dup2(fd, STDOUT_FILENO);
            dup2(fd, STDERR_FILENO);
            close(fd);
        }
        execlp("mosquitto", "mosquitto", "-c", confPath.constData(), static_cast<char *>(nullptr));
        _exit(127);
    }
    mPid = pid;
    if (waitUntilAccepting(timeoutMs))
        return true;
    qWarning("BrokerFixture: mosquitto did not accept connections on port %u:\n%s", mPort, qPrintable(log()));
    stop();
    return false;
}

bool BrokerFixture::waitUntilAccepting(int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        int status = 0;
        if (waitpid(mPid, &status, WNOHANG) == mPid)
            return false; // exited (port taken, bad config)
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, mPort);
        if (socket.waitForConnected(200))
            return true;
        // Refused at once while the broker is still starting: give it a moment before the next try.
        QThread::msleep(20);
    }
    return false;
}

void BrokerFixture::stop()
{
    if (mPid <= 0)
        return;
    kill(mPid, SIGTERM);
    const QDeadlineTimer deadline(5000);
    bool ended = false;
    while (!(ended = waitpid(mPid, nullptr, WNOHANG) != 0) && !deadline.hasExpired())
        QThread::msleep(5);
    if (!ended) {
        kill(mPid, SIGKILL);
        waitpid(mPid, nullptr, 0);
    }
    mPid = -1;
}

QString BrokerFixture::log() const
{
    QFile file(mDir.filePath(QStringLiteral("mosquitto.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

#include "support/brokerfixture.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

} // namespace

BrokerFixture::BrokerFixture()
    : BrokerFixture(Options())
{
}

BrokerFixture::BrokerFixture(const Options &options)
    : mOptions(options)
{
}

BrokerFixture::~BrokerFixture()
{
    stop();
}

bool BrokerFixture::writeConfig()
{
    QFile conf(mDir.filePath(QStringLiteral("mosquitto.conf")));
    if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray text;
    text += "listener " + QByteArray::number(mPort) + " 127.0.0.1\n";
    text += "persistence false\n";
    if (mOptions.tcpNoDelay)
        text += "set_tcp_nodelay true\n";
    // Run as root, mosquitto would drop to its own user, who cannot read our temporary folder.
    if (const passwd *pw = getpwuid(getuid()))
        text += "user " + QByteArray(pw->pw_name) + "\n";
    text += "log_dest stderr\n";
    text += "log_type all\n";
    if (mOptions.passwordFile.isEmpty()) {
        text += "allow_anonymous true\n";
    } else {
        text += "allow_anonymous false\n";
        text += "password_file " + mOptions.passwordFile.toLocal8Bit() + "\n";
    }
    if (!mOptions.aclFile.isEmpty())
        text += "acl_file " + mOptions.aclFile.toLocal8Bit() + "\n";
    return conf.write(text) == text.size();
}

bool BrokerFixture::start(int timeoutMs)
{
    if (isRunning())
        return true;
    if (!mDir.isValid())
        return false;
    if (mPort == 0)
        mPort = freeLoopbackPort();
    if (mPort == 0 || !writeConfig())
        return false;

    const QByteArray confPath = mDir.filePath(QStringLiteral("mosquitto.conf")).toLocal8Bit();
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
    mPaused = false;
    if (!waitUntilAccepting(timeoutMs)) {
        qWarning("BrokerFixture: mosquitto did not accept connections on port %u:\n%s", mPort,
                 qPrintable(log()));
        stop();
        return false;
    }
    return true;
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
        if (socket.waitForConnected(200)) {
            socket.abort();
            return true;
        }
        // Refused at once while the broker is still starting: give it a moment before the next try.
        QThread::msleep(20);
    }
    return false;
}

void BrokerFixture::stop()
{
    if (mPid <= 0)
        return;
    if (mPaused)
        kill(mPid, SIGCONT);
    kill(mPid, SIGTERM);
    QDeadlineTimer deadline(5000);
    int status = 0;
    while (waitpid(mPid, &status, WNOHANG) == 0) {
        if (deadline.hasExpired()) {
            kill(mPid, SIGKILL);
            waitpid(mPid, &status, 0);
            break;
        }
        QThread::msleep(5);
    }
    mPid = -1;
    mPaused = false;
}

bool BrokerFixture::restart(int timeoutMs)
{
    stop();
    return start(timeoutMs);
}

void BrokerFixture::pause()
{
    if (mPid > 0 && !mPaused) {
        kill(mPid, SIGSTOP);
        mPaused = true;
    }
}

void BrokerFixture::resume()
{
    if (mPid > 0 && mPaused) {
        kill(mPid, SIGCONT);
        mPaused = false;
    }
}

QString BrokerFixture::log() const
{
    QFile file(mDir.filePath(QStringLiteral("mosquitto.log")));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(file.readAll());
}

bool BrokerFixture::writePasswordFile(const QString &path, const QString &user, const QString &password)
{
    QFile::remove(path);
    QFile create(path);
    if (!create.open(QIODevice::WriteOnly))
        return false;
    create.close();
    return QProcess::execute(QStringLiteral("mosquitto_passwd"),
                             {QStringLiteral("-b"), path, user, password})
        == 0;
}

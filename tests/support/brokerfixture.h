#pragma once

#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>

// A private mosquitto broker on a free loopback port, for tests that speak MQTT.
// It keeps its port across restarts and is killed when the fixture goes away (and,
// through the parent-death signal, when the test process dies).
class BrokerFixture
{
public:
    struct Options
    {
        QString passwordFile; // mosquitto_passwd format; anonymous access is refused when set
        QString aclFile;
        // Sends at once instead of gathering small writes (Nagle): as a broker tuned for latency.
        bool tcpNoDelay = false;
    };

    BrokerFixture();
    explicit BrokerFixture(const Options &options);
    ~BrokerFixture();
    BrokerFixture(const BrokerFixture &) = delete;
    BrokerFixture &operator=(const BrokerFixture &) = delete;

    bool start(int timeoutMs = 10000);
    void stop();
    bool restart(int timeoutMs = 10000);
    void pause();  // SIGSTOP: the socket stays open, nothing is answered
    void resume(); // SIGCONT

    bool isRunning() const { return mPid > 0; }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return mPort; }
    QString log() const;

    // Writes a password file with one user, hashed by mosquitto_passwd.
    static bool writePasswordFile(const QString &path, const QString &user, const QString &password);

private:
    bool waitUntilAccepting(int timeoutMs) const;
    bool writeConfig();

    Options mOptions;
    QTemporaryDir mDir;
    quint16 mPort = 0;
    pid_t mPid = -1;
    bool mPaused = false;
};

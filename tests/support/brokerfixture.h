#pragma once

#include <QProcess>
#include <QTemporaryDir>

// A private mosquitto broker on a free loopback port, for tests that speak MQTT.
// It keeps its port across restarts and is killed when the fixture goes away (and,
// through the parent-death signal, when the test process dies).
class BrokerFixture
{
public:
    struct Options
    {
        // Sends at once instead of gathering small writes (Nagle): as a broker tuned for latency.
        bool tcpNoDelay = false;
    };

    BrokerFixture() = default;
    explicit BrokerFixture(const Options &options) : mOptions(options) {}
    ~BrokerFixture() { stop(); }
    BrokerFixture(const BrokerFixture &) = delete;
    BrokerFixture &operator=(const BrokerFixture &) = delete;

    bool start(int timeoutMs = 10000);
    void stop();

    bool isRunning() const { return mProcess.state() != QProcess::NotRunning; }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return mPort; }
    QString log() const;

private:
    Options mOptions;
    QTemporaryDir mDir;
    QProcess mProcess;
    quint16 mPort = 0;
};

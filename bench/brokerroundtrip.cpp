#include "brokerroundtrip.h"

#include "support/mqttpeer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <functional>

namespace {

const char *const kRequest = "bench/relay/request";
const char *const kReply = "bench/relay/reply";

std::atomic<bool> gRelaySubscribed{false};

bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace

BrokerRoundTrip::BrokerRoundTrip(MqttPeer &sender, MqttPeer &receiver, const QString &host, quint16 port)
    : mSender(sender)
    , mReceiver(receiver)
{
    mosquitto_lib_init();
    mRelay = mosquitto_new(nullptr, true, nullptr);
    mosquitto_int_option(mRelay, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_message_callback_set(mRelay, [](mosquitto *relay, void *, const mosquitto_message *message) {
        mosquitto_publish(relay, nullptr, kReply, message->payloadlen, message->payload, 0, false);
    });
    mosquitto_subscribe_callback_set(mRelay, [](mosquitto *, void *, int, int, const int *) { gRelaySubscribed = true; });
    gRelaySubscribed = false;
    if (mosquitto_connect(mRelay, host.toUtf8().constData(), port, 60) != MOSQ_ERR_SUCCESS
        || mosquitto_loop_start(mRelay) != MOSQ_ERR_SUCCESS
        || mosquitto_subscribe(mRelay, nullptr, kRequest, 0) != MOSQ_ERR_SUCCESS)
        return;
    mReady = spinUntil([] { return gRelaySubscribed.load(); }, 5000) && mReceiver.subscribe(QLatin1String(kReply));
}

BrokerRoundTrip::~BrokerRoundTrip()
{
    mosquitto_disconnect(mRelay);
    mosquitto_loop_stop(mRelay, true);
    mosquitto_destroy(mRelay);
}

std::vector<double> BrokerRoundTrip::time(int runs)
{
    std::vector<double> micros;
    if (!mReady)
        return micros;
    // Waits as the benchmarks do for their answers: asleep in the event loop until one comes.
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    qint64 arrivedNs = -1;
    QObject::connect(&mReceiver, &MqttPeer::received, &loop, [&](const QString &topic) {
        if (topic == QLatin1String(kReply)) {
            arrivedNs = timer.nsecsElapsed();
            loop.quit();
        }
    });
    const QByteArray payload(64, 'x'); // about a status message's size
    for (int i = 0; i < runs; ++i) {
        arrivedNs = -1;
        deadline.start(2000);
        timer.start();
        mSender.publish(QLatin1String(kRequest), payload);
        if (arrivedNs < 0)
            loop.exec();
        if (arrivedNs < 0) {
            micros.clear();
            break;
        }
        micros.push_back(double(arrivedNs) / 1000.0);
    }
    std::sort(micros.begin(), micros.end());
    return micros;
}

bool BrokerRoundTrip::report(benchmark::State &state, const std::vector<double> &answers, int runs)
{
    const std::vector<double> bare = time(runs);
    if (bare.empty()) {
        state.SkipWithError("a bare round trip was lost");
        return false;
    }
    std::vector<double> sorted = answers;
    std::sort(sorted.begin(), sorted.end());
    state.counters["bare_p50_us"] = percentile(bare, 0.50);
    state.counters["bare_p99_us"] = percentile(bare, 0.99);
    state.counters["bare_max_us"] = percentile(bare, 1.0);
    state.counters["ratio_p50"] = percentile(sorted, 0.50) / percentile(bare, 0.50);
    return true;
}

double BrokerRoundTrip::percentile(const std::vector<double> &sorted, double p)
{
    return sorted.empty() ? 0 : sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size())))];
}

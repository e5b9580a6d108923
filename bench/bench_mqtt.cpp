#include "framework/mqttclient.h"
#include "support/brokerfixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>

#include <benchmark/benchmark.h>
#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

// Our client against a bare libmosquitto client doing the same work, both through one private
// mosquitto on loopback: round trip of one message to a topic the client itself subscribes,
// and sustained messages per second with a bounded number in flight.

namespace {

BrokerFixture *gBroker = nullptr;
const QByteArray kPayload(64, 'p');
constexpr int kBurst = 20000;
constexpr int kWindow = 500; // messages published but not yet back

using Clock = std::chrono::steady_clock;

bool spinUntil(const std::function<bool()> &done, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double percentile(std::vector<double> &values, int pct)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, values.size() * std::size_t(pct) / 100)];
}

double median(std::vector<double> &values)
{
    return percentile(values, 50);
}

struct Ours
{
    manager::MqttClient client;
    int received = 0;

    Ours(const QByteArray &topic, quint8 qos)
    {
        client.setHostname(gBroker->host());
        client.setPort(gBroker->port());
        client.setKeepAlive(60);
        QObject::connect(&client, &manager::MqttClient::received, [this] { ++received; });
        client.subscribe(topic, qos);
        bool up = false;
        QObject::connect(&client, &manager::MqttClient::connected, [&up] { up = true; });
        client.connect();
        spinUntil([&] { return up; });
        // The SUBACK has no signal: a probe that comes back proves the subscription stands.
        spinUntil([&] {
            client.publish("probe", topic, 0);
            return received > 0;
        });
        spinUntil([] { return false; }, 50);
        received = 0;
    }
};

struct Bare
{
    mosquitto *handle = nullptr;
    int received = 0;
    bool subscribed = false;

    Bare(const char *topic, int qos)
    {
        handle = mosquitto_new(nullptr, true, this);
        mosquitto_int_option(handle, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        mosquitto_int_option(handle, MOSQ_OPT_TCP_NODELAY, 1);
        mosquitto_message_callback_set(handle, [](mosquitto *, void *self, const mosquitto_message *) {
            ++static_cast<Bare *>(self)->received;
        });
        mosquitto_subscribe_callback_set(handle, [](mosquitto *, void *self, int, int, const int *) {
            static_cast<Bare *>(self)->subscribed = true;
        });
        mosquitto_connect(handle, gBroker->host().toUtf8().constData(), gBroker->port(), 60);
        mosquitto_subscribe(handle, nullptr, topic, qos);
        while (!subscribed)
            mosquitto_loop(handle, 1000, 1);
    }
    ~Bare()
    {
        mosquitto_disconnect(handle);
        mosquitto_destroy(handle);
    }
};

// One round trip of each client per iteration, so that both see the same load on the machine.
void BM_RoundTrip(benchmark::State &state)
{
    Ours ours("bench/rt/ours", 0);
    Bare bare("bench/rt/bare", 0);
    std::vector<double> oursMicros;
    std::vector<double> bareMicros;
    auto oursOnce = [&] {
        const int target = ours.received + 1;
        const auto start = Clock::now();
        ours.client.publish(kPayload, "bench/rt/ours", 0);
        while (ours.received < target)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        oursMicros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    };
    auto bareOnce = [&] {
        const int target = bare.received + 1;
        const auto start = Clock::now();
        mosquitto_publish(bare.handle, nullptr, "bench/rt/bare", kPayload.size(), kPayload.constData(), 0, false);
        while (bare.received < target)
            mosquitto_loop(bare.handle, 1000, 1);
        bareMicros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    };
    bool oursFirst = true;
    for (auto _ : state) {
        // Taking turns at going first, so neither gains from the other having woken the broker.
        if (oursFirst) {
            oursOnce();
            bareOnce();
        } else {
            bareOnce();
            oursOnce();
        }
        oursFirst = !oursFirst;
    }
    const double oursMedian = median(oursMicros);
    const double bareMedian = median(bareMicros);
    state.counters["ours_median_us"] = oursMedian;
    state.counters["bare_median_us"] = bareMedian;
    state.counters["ours_p99_us"] = percentile(oursMicros, 99);
    state.counters["bare_p99_us"] = percentile(bareMicros, 99);
    state.counters["overhead_pct"] = bareMedian > 0 ? 100.0 * (oursMedian - bareMedian) / bareMedian : 0;
}
BENCHMARK(BM_RoundTrip)->MinTime(3.0);

void BM_ThroughputOurs(benchmark::State &state)
{
    const auto qos = quint8(state.range(0));
    const QByteArray topic = "bench/tp/ours/" + QByteArray::number(qos);
    Ours ours(topic, qos);
    for (auto _ : state) {
        ours.received = 0;
        int sent = 0;
        const bool complete = spinUntil([&] {
            while (sent < kBurst && sent - ours.received < kWindow) {
                ours.client.publish(kPayload, topic, qos);
                ++sent;
            }
            return ours.received >= kBurst;
        });
        if (!complete || ours.received != kBurst) {
            state.SkipWithError("messages lost");
            break;
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBurst);
}
BENCHMARK(BM_ThroughputOurs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_ThroughputBare(benchmark::State &state)
{
    const int qos = int(state.range(0));
    const QByteArray topic = "bench/tp/bare/" + QByteArray::number(qos);
    Bare bare(topic.constData(), qos);
    for (auto _ : state) {
        bare.received = 0;
        int sent = 0;
        while (bare.received < kBurst) {
            while (sent < kBurst && sent - bare.received < kWindow) {
                mosquitto_publish(bare.handle, nullptr, topic.constData(), kPayload.size(), kPayload.constData(), qos,
                                  false);
                ++sent;
            }
            if (mosquitto_loop(bare.handle, 1000, 1) != MOSQ_ERR_SUCCESS) {
                state.SkipWithError("connection lost");
                return;
            }
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBurst);
}
BENCHMARK(BM_ThroughputBare)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // As on the device at the default log level: no per-message debug lines.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
    mosquitto_lib_init();
    BrokerFixture broker;
    if (!broker.start()) {
        fprintf(stderr, "could not start mosquitto\n");
        return 1;
    }
    gBroker = &broker;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    gBroker = nullptr;
    return 0;
}

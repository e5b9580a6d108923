#include "brokerroundtrip.h"

#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "framework/mqttclient.h"
#include "framework/settings.h"
#include "framework/timezone.h"
#include "validator/validator.h"

#include "support/brokerfixture.h"
#include "support/mqttpeer.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

// One tap without write-back, end to end: the reader service's auto-read message on the broker,
// the reader client, the validation thread (card model, validator, verdict) and the LED request
// back on the broker, as the reader service sees it; beside it, in the same run, the reader's
// bare round trip through the same broker (bare_*, and the tap's ratio to it). Log lines are
// dropped (the logger has its own benchmark).

namespace {

constexpr int kTaps = 1000;
const QString kLeds = QStringLiteral("zeto/rfid/led/set/request/");

void silent(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

static void BM_AutoreadToLeds(benchmark::State &state)
{
    BrokerFixture::Options options;
    options.tcpNoDelay = true;
    BrokerFixture broker(options);
    TestEnv env;
    QFile sample(QStringLiteral(CARD_SAMPLE));
    if (!broker.start() || !env.writeFile(QStringLiteral("zub.conf"), QByteArray()) || !sample.open(QIODevice::ReadOnly)) {
        state.SkipWithError("no broker, settings file or card sample");
        return;
    }
    const QByteArray card = sample.readAll();
    manager::Settings::instance()->setDefaultLocation(QFileInfo(env.settingsFile()));
    Configuration().set(QStringLiteral("validator/db_name"), env.filePath(QStringLiteral("tickets.sqlite")));

    MqttPeer reader;
    reader.connectTo(broker.host(), broker.port());
    reader.subscribe(kLeds + QLatin1Char('+'));
    BrokerRoundTrip bare(reader, broker.host(), broker.port());

    manager::MqttClient client;
    client.setHostname(broker.host());
    client.setPort(broker.port());
    DBManager db(&client);
    Validator validator(&client, db, std::make_shared<Basket>(), nullptr);
    // The reader client subscribed before the probe: once the probe comes back, it is ready.
    QSignalSpy probe(&client, &manager::MqttClient::received);
    client.subscribe("bench/probe", 0);
    client.connect();
    if (!QTest::qWaitFor([&] { client.publish("{}", "bench/probe"); return probe.wait(50); }, 10000)
        || !bare.isReady()) {
        state.SkipWithError("client or relay not connected");
        return;
    }

    QEventLoop loop;
    QObject::connect(&reader, &MqttPeer::received, &loop, [&loop](const QString &topic) {
        if (topic.startsWith(kLeds))
            loop.quit();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);

    for (auto _ : state) {
        std::vector<double> micros;
        micros.reserve(kTaps);
        int lost = 0;
        for (int i = 0; i < kTaps; ++i) {
            QElapsedTimer timer;
            timer.start();
            deadline.start(2000);
            reader.publish(QStringLiteral("zeto/rfid/card/autoread"), card);
            loop.exec();
            if (!deadline.isActive())
                ++lost;
            deadline.stop();
            micros.push_back(double(timer.nsecsElapsed()) / 1000.0);
        }
        if (!bare.report(state, micros, kTaps))
            return;
        std::sort(micros.begin(), micros.end());
        state.counters["p50_us"] = BrokerRoundTrip::percentile(micros, 0.5);
        state.counters["p99_us"] = BrokerRoundTrip::percentile(micros, 0.99);
        state.counters["max_us"] = micros.back();
        state.counters["lost"] = lost;
    }
}
BENCHMARK(BM_AutoreadToLeds)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    keepLoadedTimeZone(); // as zub starts
    benchmark::Initialize(&argc, argv);
    // After Initialize: the flags it knows are gone, and the settings' command line sees none.
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(silent);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

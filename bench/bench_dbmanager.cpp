#include "db/customerdb.h"
#include "db/dbmanager.h"
#include "db/deviceparamsdb.h"
#include "framework/configuration.h"
#include "framework/mqttclient.h"
#include "framework/settings.h"

#include "support/brokerfixture.h"
#include "support/dbservicepeer.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

// Every card tap asks the blacklist: a blocking findSCTicket from the validation thread,
// answered at once by a database service on a local broker. Log lines are dropped here (the
// logger has its own benchmark), so the figures are the protocol's and the threads' own.

namespace {

constexpr int kCalls = 1000;

void silent(QtMsgType, const QMessageLogContext &, const QString &) {}

double percentile(std::vector<double> sorted, double p)
{
    const size_t index = std::min(sorted.size() - 1, size_t(p * double(sorted.size())));
    return sorted[index];
}

} // namespace

static void BM_FindSCTicketRoundTrip(benchmark::State &state)
{
    BrokerFixture::Options options;
    options.tcpNoDelay = state.range(0) != 0;
    BrokerFixture broker(options);
    TestEnv env;
    if (!broker.start() || !env.writeFile(QStringLiteral("zub.conf"), QByteArray())) {
        state.SkipWithError("no broker");
        return;
    }
    manager::Settings::instance()->setDefaultLocation(QFileInfo(env.settingsFile()));

    DbServicePeer peer;
    peer.connectTo(broker.host(), broker.port());
    peer.setScript([&peer](const QJsonObject &request) {
        peer.reply(request, DbServicePeer::answer(request.value(QLatin1String("method")).toString(), QJsonArray()));
    });

    manager::MqttClient client;
    client.setHostname(broker.host());
    client.setPort(broker.port());
    DBManager db(&client);
    QSignalSpy ready(&db, &DBManager::onPaperTicketIssuingStarted);
    client.connect();
    if (!QTest::qWaitFor([&] { peer.publishUiRequest(QStringLiteral("issueSingleTicket"), 0); return ready.wait(50); },
                         10000)) {
        state.SkipWithError("gateway not subscribed");
        return;
    }

    for (auto _ : state) {
        std::vector<double> micros;
        micros.reserve(kCalls);
        int unanswered = 0;
        std::unique_ptr<QThread> validation(QThread::create([&] {
            for (int i = 0; i < kCalls; ++i) {
                QElapsedTimer timer;
                timer.start();
                if (!db.findSCTicket(QStringLiteral("04A1B2C3D4E5F6")))
                    ++unanswered;
                micros.push_back(double(timer.nsecsElapsed()) / 1000.0);
            }
        }));
        // The main thread runs its event loop meanwhile: it sends the requests and routes the replies.
        QEventLoop loop;
        QObject::connect(validation.get(), &QThread::finished, &loop, &QEventLoop::quit);
        validation->start();
        loop.exec();
        validation->wait();

        std::sort(micros.begin(), micros.end());
        state.counters["median_us"] = percentile(micros, 0.5);
        state.counters["p99_us"] = percentile(micros, 0.99);
        state.counters["max_us"] = micros.back();
        state.counters["unanswered"] = unanswered;
    }
}
// Argument 0: a broker as mosquitto comes; 1: one with "set_tcp_nodelay true". The gateway
// sees its own request come back on the service's request topic just before the reply, and a
// broker that gathers small writes holds that reply until the echo is acknowledged.
BENCHMARK(BM_FindSCTicketRoundTrip)->ArgName("nodelay")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The look-ups a tap makes through the gateway on the validation thread: a device parameter
// (answered from the store's cache), a customer (one SQLite query, a last-access update handed
// to the thread pool, and the name-hiding parameter), and the managers.
static void BM_PerTapLookups(benchmark::State &state)
{
    TestEnv env;
    if (!env.writeFile(QStringLiteral("zub.conf"), QByteArray())) {
        state.SkipWithError("no settings file");
        return;
    }
    manager::Settings::instance()->setDefaultLocation(QFileInfo(env.settingsFile()));
    {
        Configuration config;
        config.set(QStringLiteral("tarvik/storagePath"), env.filePath(QStringLiteral("tarvik")));
        config.set(QStringLiteral("tarvik/url"), QStringLiteral("http://127.0.0.1:9/bo"));
    }
    DBManagerPrivate gateway(nullptr);
    const QString storage = gateway.storagePath(QUrl(QStringLiteral("http://127.0.0.1:9/bo")));
    {
        DeviceParamsDB params(storage + QStringLiteral("/deviceParams.sqlite"));
        params.insert(tarvik::KeyValue::Ptr::create(QJsonObject{
            {"id", 1}, {"carriersId", 1}, {"key", "CARD_VALIDATION_HIDE_NAME"}, {"value", "1"}, {"keyDescription", ""}}));
        CustomerDB customers(storage + QStringLiteral("/customers.sqlite"));
        customers.insert(tarvik::Customer::Ptr::create(QJsonObject{
            {"id", 501}, {"uuid", "u"}, {"smartCardUuid", "04A1B2C3D4E580"}, {"name", "Eleni"}, {"surname", "P"}}));
    }
    gateway.initDatabase();

    const int which = int(state.range(0));
    for (auto _ : state) {
        switch (which) {
        case 0:
            benchmark::DoNotOptimize(gateway.findDeviceParam(QStringLiteral("CARD_VALIDATION_HIDE_NAME")));
            break;
        case 1:
            benchmark::DoNotOptimize(gateway.findCustomer(501));
            break;
        default:
            benchmark::DoNotOptimize(gateway.routeData());
            benchmark::DoNotOptimize(gateway.fareData());
            benchmark::DoNotOptimize(gateway.actionList());
            break;
        }
    }
    QThreadPool::globalInstance()->waitForDone();
}
// 0: findDeviceParam, 1: findCustomer, 2: routeData + fareData + actionList.
BENCHMARK(BM_PerTapLookups)->ArgName("lookup")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    // After Initialize: the flags it knows are gone, and the settings' command line sees none.
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(silent);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

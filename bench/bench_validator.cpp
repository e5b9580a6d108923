#include "brokerroundtrip.h"

#include "db/dbmanager.h"
#include "framework/mqttclient.h"
#include "framework/settings.h"
#include "framework/timezone.h"
#include "tarvik/fareproducts.h"
#include "tarvik/route.h"
#include "validator/validator.h"
#include "validator/validator_p.h"

#include "support/brokerfixture.h"
#include "support/dbservicepeer.h"
#include "support/qrscannerpeer.h"
#include "support/qrtestkey.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

// One QR scan, from the scanner service's message on the broker to scannedTicket on the main
// thread: deciphering, the ticket, the urban validator and its pass-back look-up, answered at once
// by a database service on the same broker; beside it, in the same run, the scanner's bare round
// trip through the same broker (bare_*, and the scan's ratio to it). The process starts as zub
// does (TZ named when unset). Log lines are dropped (the logger has its own benchmark).

namespace {

constexpr int kScans = 1000;
const QDateTime kNow(QDate(2026, 3, 10), QTime(12, 0), Qt::UTC);

void silent(QtMsgType, const QMessageLogContext &, const QString &) {}

bool spinUntil(const std::function<bool()> &done, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

tarvik::Route route()
{
    const QJsonObject stop{{"id", 21}, {"ordinal", 1}};
    const QJsonObject zone{{"id", 2}, {"ordinal", 1}, {"stops", QJsonArray{stop}}};
    tarvik::Route route(QJsonObject{
        {"status", "start"},
        {"data", QJsonObject{{"axis", QJsonObject{{"routeId", 6}}},
                             {"routeExecution", QJsonObject{{"tripsExecutionId", 77}, {"tripsRouteId", 88}}},
                             {"stopGroups", QJsonArray{zone}}}}});
    route.setCarrierId(7);
    const QJsonObject product{{"fareProductId", 5}, {"fromStopGroupId", 2}, {"toStopGroupId", 2},
                              {"passengerTypes", QJsonArray{QJsonObject{{"id", 1}, {"description", "Adult"}}}}};
    route.setFareProducts(tarvik::FareProducts(QJsonObject{{"axisId", 6}, {"products", QJsonArray{product}}}));
    route.acceptRouteProgress(tarvik::RouteProgress(6, 21));
    return route;
}

} // namespace

static void BM_ScanToVerdict(benchmark::State &state)
{
    BrokerFixture::Options options;
    options.tcpNoDelay = true;
    BrokerFixture broker(options);
    TestEnv env;
    if (!broker.start() || !env.writeFile(QStringLiteral("zub.conf"), QByteArray())) {
        state.SkipWithError("no broker");
        return;
    }
    manager::Settings::instance()->setDefaultLocation(QFileInfo(env.settingsFile()));

    DbServicePeer peer;
    QrScannerPeer scanner;
    peer.connectTo(broker.host(), broker.port());
    scanner.connectTo(broker.host(), broker.port());
    peer.setScript([&peer](const QJsonObject &request) {
        peer.reply(request, DbServicePeer::answer(request.value(QLatin1String("method")).toString(), QJsonArray()));
    });

    BrokerRoundTrip bare(scanner.mqtt(), broker.host(), broker.port());

    manager::MqttClient client;
    client.setHostname(broker.host());
    client.setPort(broker.port());
    bool up = false;
    QObject::connect(&client, &manager::MqttClient::connected, [&up] { up = true; });
    DBManager db(&client);
    client.connect();
    Validator validator(&client, db, nullptr, nullptr);
    validator.worker()->setClock([] { return kNow; });
    validator.routeStarted(route());

    int verdicts = 0;
    int valid = 0;
    QObject::connect(&validator, &Validator::scannedTicket, [&](const ValidatorResult &result) {
        ++verdicts;
        valid += result.getResult() ? 1 : 0;
    });
    int infos = 0;
    QObject::connect(&validator, &Validator::receivedQrInfo, [&infos] { ++infos; });
    // Every subscription stands once a report gets through; the gateway's once a scan is answered.
    if (!spinUntil([&] { return up; }) || !spinUntil([&] { return scanner.publishInfo({}), infos > 0; })
        || !bare.isReady()) {
        state.SkipWithError("validator or relay not connected");
        return;
    }
    const QString text = QStringLiteral("6|1234|A1|R1|2|3|%1|99|0|0|false|PASSENGER|0|5|1|0|%2|3600|7")
                             .arg(kNow.toSecsSinceEpoch() - 3600)
                             .arg(kNow.toSecsSinceEpoch() - 600);
    const QString payload = QrTestKey::encipher(QrTestKey::pad(text.toUtf8()));
    if (!spinUntil([&] { return scanner.scan(payload), spinUntil([&] { return verdicts > 0; }, 200); })) {
        state.SkipWithError("no verdict");
        return;
    }

    std::vector<double> micros;
    micros.reserve(kScans);
    const int validBefore = valid;
    for (auto _ : state) {
        const int target = verdicts + 1;
        const auto start = std::chrono::steady_clock::now();
        scanner.scan(payload);
        if (!spinUntil([&] { return verdicts >= target; })) {
            state.SkipWithError("scan lost");
            return;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    if (!bare.report(state, micros, kScans))
        return;
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = BrokerRoundTrip::percentile(micros, 0.50);
    state.counters["p99_us"] = BrokerRoundTrip::percentile(micros, 0.99);
    state.counters["valid_pct"] = 100.0 * (valid - validBefore) / double(micros.size());
}
BENCHMARK(BM_ScanToVerdict)->Iterations(kScans)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    keepLoadedTimeZone(); // as zub starts
    benchmark::Initialize(&argc, argv);
    // After Initialize: the flags it knows are gone, and the settings' command line sees none.
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(silent);
    qRegisterMetaType<ValidatorResult>("ValidatorResult");
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

#include "tarvik/fareproducts.h"
#include "tarvik/route.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

#include <benchmark/benchmark.h>

// A long line: 200 stops in 30 zones, 500 fare products of every kind.
namespace {

constexpr int kZones = 30;
constexpr int kStops = 200;
constexpr int kProducts = 500;

QByteArray routeText()
{
    QJsonArray zones;
    int stop = 0;
    for (int z = 0; z < kZones; ++z) {
        QJsonArray stops;
        const int count = kStops / kZones + (z < kStops % kZones ? 1 : 0);
        for (int i = 0; i < count; ++i, ++stop)
            stops.append(QJsonObject{{"id", 1000 + stop}, {"ordinal", stop + 1}, {"name", QStringLiteral("Stop %1").arg(stop)},
                                     {"publicStopId", QString::number(5000 + stop)}, {"latitude", 45.3 + stop * 0.001},
                                     {"longitude", 13.6 + stop * 0.001}});
        zones.append(QJsonObject{{"id", 100 + z}, {"name", QStringLiteral("Zone %1").arg(z)}, {"publicStopGroupId", QString::number(z)},
                                 {"ordinal", z + 1}, {"stops", stops}});
    }
    const QJsonObject message{
        {"status", "start"},
        {"data", QJsonObject{{"axis", QJsonObject{{"routeId", 12}, {"name", "Line 12"}, {"publicRouteId", "120"}, {"useAxisProducts", false}}},
                             {"routeExecution", QJsonObject{{"departureDate", "2026-07-01T08:30:00Z"}, {"tripsExecutionId", 77}, {"tripsRouteId", 88}}},
                             {"stopGroups", zones}}}};
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}

QByteArray fareText()
{
    QJsonArray products;
    for (int p = 0; p < kProducts; ++p) {
        QJsonObject product{{"fareProductId", 1 + p}, {"fareProductName", QStringLiteral("Product %1").arg(p)}, {"fareDiscount", 0},
                            {"image", ""}, {"isReturnFee", false}, {"price", 1.5 + p % 7}, {"validFrom", "01/01/2026 00:00:00"},
                            {"validPerRoute", p % 2 == 0}, {"axisId", 12}, {"numberOfTrips", 1}, {"validityPeriodMin", 60}};
        switch (p % 4) {
        case 0: // window
            product["fromStopGroupId"] = 100 + p % kZones;
            product["toStopGroupId"] = 100 + (p * 7) % kZones;
            product["isZoneFare"] = true;
            break;
        case 1: // same zone
            product["fromStopGroupId"] = 100 + p % kZones;
            product["toStopGroupId"] = 100 + p % kZones;
            break;
        case 2: // city zone
            product["isCityZoneFare"] = true;
            product["validStopGroups"] = QJsonArray{100 + p % kZones, 101 + p % kZones, 102 + p % kZones};
            break;
        default: // anywhere to a zone
            product["toStopGroupId"] = 100 + p % kZones;
            product["isAxisFare"] = true;
        }
        product["passengerTypes"] = QJsonArray{
            QJsonObject{{"id", 1}, {"code", "PT_ADULT"}, {"description", "Adult"}, {"discount", 0}, {"default", 1}, {"active", 1}},
            QJsonObject{{"id", 2}, {"code", "PT_CHILD"}, {"description", "Child"}, {"discount", 50}, {"ageFrom", 6}, {"ageTo", 14}}};
        product["ticketMaterial"] = QJsonArray{QJsonObject{{"ticketMaterial", QJsonObject{{"id", 1}, {"code", "TM_PAPER_TICKET"}}}}};
        product["paymentMethod"] = QJsonArray{QJsonObject{{"paymentMethod", QJsonObject{{"id", 3}, {"code", "PM_CARRIER_CARD_MONEY"}}}}};
        product["paymentChannel"] = QJsonArray{QJsonObject{{"paymentChannel", QJsonObject{{"id", 4}, {"code", "PC_DRIVER"}}}}};
        products.append(product);
    }
    return QJsonDocument(QJsonObject{{"axisId", 12}, {"products", products}}).toJson(QJsonDocument::Compact);
}

void dropMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

tarvik::Route buildRoute()
{
    tarvik::Route route(QJsonDocument::fromJson(routeText()).object());
    route.setFareProducts(tarvik::FareProducts(QJsonDocument::fromJson(fareText()).object()));
    return route;
}

} // namespace

// The bare JSON parse of both messages: the yardstick for the route parse.
static void BM_JsonParseOnly(benchmark::State &state)
{
    const QByteArray route = routeText();
    const QByteArray fares = fareText();
    for (auto _ : state) {
        benchmark::DoNotOptimize(QJsonDocument::fromJson(route));
        benchmark::DoNotOptimize(QJsonDocument::fromJson(fares));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (route.size() + fares.size()));
}
BENCHMARK(BM_JsonParseOnly)->Unit(benchmark::kMicrosecond);

// What the OBU link does per route and fare message pair.
static void BM_RouteParse(benchmark::State &state)
{
    const QByteArray route = routeText();
    const QByteArray fares = fareText();
    for (auto _ : state) {
        tarvik::Route r(QJsonDocument::fromJson(route).object());
        r.setFareProducts(tarvik::FareProducts(QJsonDocument::fromJson(fares).object()));
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (route.size() + fares.size()));
}
BENCHMARK(BM_RouteParse)->Unit(benchmark::kMicrosecond);

// One progress event deciding all 500 products, debug output filtered out as at the default
// level; the two information lines go to a handler that drops them.
static void BM_ProgressEvent(benchmark::State &state)
{
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const QtMessageHandler previous = qInstallMessageHandler(dropMessages);
    tarvik::Route route = buildRoute();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(route.acceptRouteProgress(tarvik::RouteProgress(12, 1000 + (i++ * 37) % kStops)));
    }
    qInstallMessageHandler(previous);
}
BENCHMARK(BM_ProgressEvent)->Unit(benchmark::kMicrosecond);

// The first event on a fresh copy pays for detaching it from the other owners.
static void BM_ProgressEventOnSharedCopy(benchmark::State &state)
{
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const QtMessageHandler previous = qInstallMessageHandler(dropMessages);
    const tarvik::Route shared = buildRoute();
    int i = 0;
    for (auto _ : state) {
        tarvik::Route mine = shared;
        benchmark::DoNotOptimize(mine.acceptRouteProgress(tarvik::RouteProgress(12, 1000 + (i++ * 37) % kStops)));
    }
    qInstallMessageHandler(previous);
}
BENCHMARK(BM_ProgressEventOnSharedCopy)->Unit(benchmark::kMicrosecond);

static void BM_RouteCopy(benchmark::State &state)
{
    const tarvik::Route shared = buildRoute();
    for (auto _ : state) {
        tarvik::Route copy = shared;
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_RouteCopy);

static void BM_ValidFareProducts(benchmark::State &state)
{
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const QtMessageHandler previous = qInstallMessageHandler(dropMessages);
    tarvik::Route route = buildRoute();
    route.acceptRouteProgress(tarvik::RouteProgress(12, 1100));
    qInstallMessageHandler(previous);
    for (auto _ : state)
        benchmark::DoNotOptimize(route.validFareProducts());
}
BENCHMARK(BM_ValidFareProducts)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();

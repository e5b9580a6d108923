#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "framework/mqttclient.h"
#include "framework/settings.h"
#include "framework/timezone.h"
#include "qr/qrvalidator.h"
#include "qr/qrvalidatorfactory.h"
#include "tarvik/fareproducts.h"
#include "tarvik/route.h"
#include "tickets/qrticket.h"
#include "tickets/qrticketfactory.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

// One scan on the validation thread: the ticket built from its text, a new validator of its
// format (one per scan, reading the service's settings, as the validation service does) run
// against the route, pass-back off. The process starts as zub does: TZ is named by zub itself
// when the caller left it unset. Goal: under 50 us per validation; the bare ticket build is the
// baseline. Log lines are filtered out (the logger has its own benchmark), so the figures are
// the checks' own.

namespace {

const QDateTime gNow = QDateTime::currentDateTimeUtc();
std::unique_ptr<DBManager> gDb;
std::unique_ptr<Configuration> gSettings; // the validation service's
std::shared_ptr<tarvik::Route> gRoute;

void silent(QtMsgType, const QMessageLogContext &, const QString &) {}

QString text(int format)
{
    const qint64 now = gNow.toSecsSinceEpoch();
    if (format == 0)
        return QStringLiteral("6|1234|A1|R1|2|3|%1|99|0|0|false|PASSENGER|0|5|1|%2|%3|3600|7").arg(now - 3600).arg(now + 86400).arg(now - 600);
    return QStringLiteral("DYNAMIC|1234|A1|%1|99|5|1|%2|3600|7|30|3").arg(now - 3600).arg(now - 95);
}

std::shared_ptr<tarvik::Route> route()
{
    const auto zone = [](int id, int ordinal, int stop) {
        return QJsonObject{{"id", id}, {"ordinal", ordinal},
                           {"stops", QJsonArray{QJsonObject{{"id", stop}, {"ordinal", ordinal}, {"publicStopId", "210"}}}}};
    };
    auto r = std::make_shared<tarvik::Route>(QJsonObject{
        {"status", "start"},
        {"data", QJsonObject{{"axis", QJsonObject{{"routeId", 6}}}, {"stopGroups", QJsonArray{zone(2, 1, 21), zone(3, 2, 31)}}}}});
    r->setCarrierId(7);
    QJsonArray products;
    for (int id = 1; id <= 20; ++id)
        products.append(QJsonObject{{"fareProductId", id}, {"fareProductName", QStringLiteral("Product %1").arg(id)},
                                    {"fromStopGroupId", 2}, {"toStopGroupId", 2},
                                    {"passengerTypes", QJsonArray{QJsonObject{{"id", 1}, {"description", "Adult"}}}}});
    r->setFareProducts(tarvik::FareProducts(QJsonObject{{"axisId", 6}, {"products", products}}));
    r->acceptRouteProgress(tarvik::RouteProgress(6, 21));
    return r;
}

bool validate(const QString &ticketText)
{
    const std::shared_ptr<QrTicket> ticket = QrTicketFactory().create(ticketText);
    const std::shared_ptr<QrValidator> validator(QrValidatorFactory().create(ticket, nullptr, *gDb, gSettings.get()));
    validator->setClock([] { return gNow; });
    validator->validate(gRoute, ticket);
    return validator->getResult().getResult();
}

// 0: urban, 1: dynamic.
void BM_TicketOnly(benchmark::State &state)
{
    const QString scanned = text(int(state.range(0)));
    const QrTicketFactory factory;
    for (auto _ : state)
        benchmark::DoNotOptimize(factory.create(scanned));
}
BENCHMARK(BM_TicketOnly)->ArgName("format")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_TicketAndValidation(benchmark::State &state)
{
    const QString scanned = text(int(state.range(0)));
    if (!validate(scanned)) {
        state.SkipWithError("the ticket is not valid on the route");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(validate(scanned));
}
BENCHMARK(BM_TicketAndValidation)->ArgName("format")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    keepLoadedTimeZone();
    benchmark::Initialize(&argc, argv);
    // After Initialize: the flags it knows are gone, and the settings' command line sees none.
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(silent);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false\n*.warning=false"));
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("zub.conf"));
    QFile file(settings);
    if (!file.open(QIODevice::WriteOnly) || file.write("[validator]\nqr_passback=false\n") < 0)
        return 1;
    file.close();
    manager::Settings::instance()->setDefaultLocation(QFileInfo(settings));
    manager::MqttClient client; // never connected: pass-back is off
    gDb = std::make_unique<DBManager>(&client);
    gSettings = std::make_unique<Configuration>();
    gRoute = route();
    benchmark::RunSpecifiedBenchmarks();
    gRoute.reset();
    gSettings.reset();
    gDb.reset();
    return 0;
}

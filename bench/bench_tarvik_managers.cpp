#include "tarvik/connector.h"
#include "tarvik/faremanager.h"
#include "tarvik/routemanager.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include <sys/wait.h>
#include <unistd.h>

// An operator-sized network and catalogue: 2,000 stops in 300 stop groups on 100 axes of
// 20 stops; 10,000 fare products with 100,000 link rows (two of each kind per product),
// 1,000 base fares and 50 capping rules of 6 zones each. One product in a hundred is an
// e-purse product in minutes.
namespace {

constexpr int kStops = 2000;
constexpr int kGroups = 300;
constexpr int kAxes = 100;
constexpr int kStopsPerAxis = 20;
constexpr int kProducts = 10000;
constexpr int kBaseFares = 1000;
constexpr int kRules = 50;

QJsonObject coded(int id, const QString &code)
{
    return {{"id", id}, {"code", code}, {"name", code},
            {"multiLanguageFieldsMap", QJsonObject{{"name", QJsonObject{{"en", code}, {"el", code}}}}}};
}

QJsonObject routes()
{
    QJsonArray axes, axisStops, stops, groups, members;
    for (int id = 1; id <= kGroups; ++id)
        groups.append(QJsonObject{{"id", id}, {"userIdentifier", QStringLiteral("Z%1").arg(id)},
                                  {"name", QStringLiteral("Zone %1").arg(id)}, {"ordinal", id}});
    for (int id = 1; id <= kStops; ++id) {
        stops.append(QJsonObject{{"id", id}, {"name", QStringLiteral("Stop %1").arg(id)},
                                 {"userIdentifier", QStringLiteral("S%1").arg(id)},
                                 {"latitude", "37.9838"}, {"longitude", "23.7275"}});
        members.append(QJsonObject{{"id", id}, {"stopGroupId", (id - 1) % kGroups + 1}, {"stopId", id},
                                   {"ordinal", 1}, {"enabled", true}});
    }
    int row = 1;
    for (int axis = 1; axis <= kAxes; ++axis) {
        QJsonArray list;
        for (int k = 0; k < kStopsPerAxis; ++k) {
            const int stop = (axis * kStopsPerAxis + k * 7) % kStops + 1;
            axisStops.append(QJsonObject{{"id", row++}, {"axisId", axis}, {"stopId", stop}, {"ordinal", k + 1},
                                         {"enabled", true}, {"duration", 2.5}});
            list.append(stop);
        }
        axes.append(QJsonObject{{"id", axis}, {"name", QStringLiteral("Line %1").arg(axis)},
                                {"oppositeAxisId", axis % 2 ? axis + 1 : axis - 1}, {"status", true},
                                {"useAxisProducts", axis % 10 == 0}, {"axisStopList", list}});
    }
    return {{"Axis", axes}, {"AxisStops", axisStops}, {"Stops", stops}, {"StopGroups", groups},
            {"StopGroupStops", members}};
}

QJsonObject product(int id, int duration)
{
    const QJsonObject names{{"en", QStringLiteral("Product %1").arg(id)}, {"el", QStringLiteral("Proion %1").arg(id)}};
    return {{"id", id}, {"code", QStringLiteral("FP%1").arg(id)}, {"carriersId", 2},
            {"validFrom", "FROM_VALIDATION"}, {"validityUnit", id % 100 == 0 ? "minutes" : "DAYS"},
            {"validityDuration", duration}, {"numberOfTrips", -1}, {"calculatedPrice", 150},
            {"fareDiscount", 0.1}, {"isPersonalized", 0}, {"color", "#ff8800"}, {"position", id % 7},
            {"activationDate", 1704067200000.0}, {"expirationDate", 4102444800000.0},
            {"multiLanguageFieldsMap", QJsonObject{{"name", names}}}};
}

QJsonObject fares()
{
    QJsonArray types, methods, channels, materials, baseFares, products, rules, ruleZones;
    for (int id = 1; id <= 10; ++id)
        types.append(coded(id, QStringLiteral("PT_%1").arg(id)));
    const QStringList methodCodes{"PM_CARRIER_CARD_MONEY", "PM_CASH", "PM_EMV", "PM_QR", "PM_OTHER"};
    const QStringList channelCodes{"PC_DRIVER", "PC_WEB", "PC_KIOSK", "PC_APP", "PC_OTHER"};
    const QStringList materialCodes{"TM_PAPER_TICKET", "TM_CARD", "TM_QR", "TM_EMV", "TM_OTHER"};
    for (int i = 0; i < 5; ++i) {
        methods.append(coded(i + 1, methodCodes.at(i)));
        channels.append(coded(i + 1, channelCodes.at(i)));
        materials.append(coded(i + 1, materialCodes.at(i)));
    }
    for (int id = 1; id <= kBaseFares; ++id) {
        QJsonObject fare{{"id", id}, {"code", QStringLiteral("BF%1").arg(id)}, {"fareAmount", 1.2}};
        switch (id % 3) {
        case 0:
            fare.insert("isAxisFare", true);
            fare.insert("axisId", id % kAxes + 1);
            break;
        case 1:
            fare.insert("isZoneFare", true);
            fare.insert("zoneFrom", id % kGroups + 1);
            fare.insert("zoneTo", id % 5 ? (id * 7) % kGroups + 1 : 0);
            break;
        default:
            fare.insert("isCityZoneFare", true);
            fare.insert("cityZoneFareStopGroups", QJsonArray{id % kGroups + 1, (id + 1) % kGroups + 1});
        }
        baseFares.append(fare);
    }
    QJsonObject join;
    const QStringList tables{"FareProductBaseFares", "FareProductPassengerTypes", "FareProductPaymentMethods",
                             "FareProductPaymentChannels", "FareProductTicketMaterials"};
    const QStringList keys{"baseFareId", "passengerTypeId", "paymentMethodId", "paymentChannelId", "ticketMaterialId"};
    QVector<QJsonArray> rows(tables.size());
    int row = 1;
    for (int id = 1; id <= kProducts; ++id) {
        products.append(product(id, 30 + id % 90));
        const int targets[5][2] = {{id % kBaseFares + 1, (id * 13) % kBaseFares + 1},
                                   {id % 10 + 1, (id + 3) % 10 + 1},
                                   {id % 5 + 1, (id + 1) % 5 + 1},
                                   {id % 5 + 1, (id + 2) % 5 + 1},
                                   {id % 5 + 1, (id + 3) % 5 + 1}};
        for (int t = 0; t < tables.size(); ++t) {
            for (int k = 0; k < 2; ++k)
                rows[t].append(QJsonObject{{"id", row++}, {"fareProductId", id}, {keys.at(t), targets[t][k]}});
        }
    }
    for (int t = 0; t < tables.size(); ++t)
        join.insert(tables.at(t), rows.at(t));
    for (int id = 1; id <= kRules; ++id) {
        rules.append(QJsonObject{{"id", id}, {"active", id % 9 != 0},
                                 {"productType", id % 2 ? "E_PURSE" : "STORED_JOURNEYS"},
                                 {"thresholdAmount", 1000 - id * 10}, {"code", QStringLiteral("CR%1").arg(id)}});
        for (int k = 0; k < 6; ++k)
            ruleZones.append(
                QJsonObject{{"id", id * 10 + k}, {"ruleId", id}, {"stopGroupId", (id * 6 + k) % kGroups + 1}});
    }
    QJsonObject root = join;
    root.insert("PassengerTypes", types);
    root.insert("PaymentMethods", methods);
    root.insert("PaymentChannels", channels);
    root.insert("TicketMaterials", materials);
    root.insert("BaseFares", baseFares);
    root.insert("FareProducts", products);
    root.insert("CappingRules", rules);
    root.insert("CappingRuleStopGroups", ruleZones);
    return root;
}

// The files, written once for every benchmark by a child process (before this one starts any
// thread): made here, the documents' heap, freed and reused by the data loaded afterwards,
// would hide most of what the data take from the resident figure.
const QTemporaryDir &dataDir()
{
    static QTemporaryDir dir;
    static const bool written = [] {
        const pid_t child = fork();
        if (child == 0) {
            QFile r(dir.filePath("routes.json"));
            QFile f(dir.filePath("fares.json"));
            const bool ok = r.open(QIODevice::WriteOnly) && r.write(QJsonDocument(routes()).toJson()) > 0
                && f.open(QIODevice::WriteOnly) && f.write(QJsonDocument(fares()).toJson()) > 0 && r.flush() && f.flush();
            _exit(ok ? 0 : 1); // no destructors: the folder is the parent's
        }
        int status = 0;
        return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }();
    if (!written)
        std::fprintf(stderr, "could not write the data files\n");
    return dir;
}

struct Loaded
{
    tarvik::Connector connector;
    tarvik::RouteManager routes{connector, QStringLiteral("SN-1"), dataDir().path()};
    tarvik::FareManager fares{connector, routes, QStringLiteral("SN-1"), dataDir().path()};

    Loaded()
    {
        routes.start(0);
        fares.start(0);
    }
};

long residentKiB()
{
    long pages = 0, resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * 4;
}

Loaded &loaded()
{
    static Loaded instance;
    return instance;
}

} // namespace

// First, so the memory the data take is measured on a heap that held nothing of this size.
static void BM_ResidentMemoryOfLoadedData(benchmark::State &state)
{
    dataDir();
    const long before = residentKiB();
    for (auto _ : state)
        benchmark::DoNotOptimize(&loaded());
    state.counters["resident_MiB"] = double(residentKiB() - before) / 1024.0;
}
BENCHMARK(BM_ResidentMemoryOfLoadedData)->Iterations(1)->Unit(benchmark::kMillisecond);

// Start-up: read both files, link both, publish both snapshots.
static void BM_LoadAndLinkAtStart(benchmark::State &state)
{
    dataDir();
    for (auto _ : state) {
        Loaded fresh;
        benchmark::DoNotOptimize(fresh.fares.snapshot());
    }
}
BENCHMARK(BM_LoadAndLinkAtStart)->Unit(benchmark::kMillisecond);

// One incremental fare sync of 100 changed products: merge, save the file, link anew.
static void BM_IncrementalFareSyncOf100(benchmark::State &state)
{
    Loaded &data = loaded();
    int round = 0;
    for (auto _ : state) {
        tarvik::FareProduct2::List changed;
        for (int i = 0; i < 100; ++i)
            changed << tarvik::FareProduct2::Ptr::create(product(i * 97 + 1, 30 + round % 60));
        emit data.connector.fareProductsReceived(changed);
        emit data.connector.onFareDataSyncEnd(QDateTime(QDate(2024, 3, 1), QTime(8, 0)).addSecs(round++));
    }
}
BENCHMARK(BM_IncrementalFareSyncOf100)->Unit(benchmark::kMillisecond);

// One incremental route sync of 100 changed stops: the fares are linked anew after it.
static void BM_IncrementalRouteSyncOf100(benchmark::State &state)
{
    Loaded &data = loaded();
    int round = 0;
    for (auto _ : state) {
        tarvik::Stop2::List changed;
        for (int i = 0; i < 100; ++i)
            changed << tarvik::Stop2::Ptr::create(QJsonObject{{"id", i * 19 + 1}, {"name", QString::number(round)}});
        emit data.connector.stopsReceived(changed);
        emit data.connector.onRouteDataSyncEnd(QDateTime(QDate(2024, 3, 1), QTime(8, 0)).addSecs(round++));
    }
}
BENCHMARK(BM_IncrementalRouteSyncOf100)->Unit(benchmark::kMillisecond);

static void BM_FindFareProductById(benchmark::State &state)
{
    Loaded &data = loaded();
    int id = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(data.fares.findFareProduct(id++ % kProducts + 1));
}
BENCHMARK(BM_FindFareProductById);

static void BM_FindFareProductByCode(benchmark::State &state)
{
    Loaded &data = loaded();
    const QString code = QStringLiteral("FP9999");
    for (auto _ : state)
        benchmark::DoNotOptimize(data.fares.findFareProduct(code));
}
BENCHMARK(BM_FindFareProductByCode);

static void BM_FindEpurseProduct(benchmark::State &state)
{
    Loaded &data = loaded();
    int round = 0;
    for (auto _ : state) {
        const int axis = round % kAxes + 1;
        benchmark::DoNotOptimize(data.fares.findEpurseProduct(axis, round % kGroups + 1, round % 10 + 1));
        ++round;
    }
}
BENCHMARK(BM_FindEpurseProduct);

static void BM_FindCappingRules(benchmark::State &state)
{
    Loaded &data = loaded();
    const QString type = QStringLiteral("E_PURSE");
    int zone = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(data.fares.findCappingRules(zone++ % kGroups + 1, type));
}
BENCHMARK(BM_FindCappingRules);

static void BM_FindPassengerTypeByIdAndCode(benchmark::State &state)
{
    Loaded &data = loaded();
    const QString code = QStringLiteral("PT_7");
    for (auto _ : state) {
        benchmark::DoNotOptimize(data.fares.findPassengerType(7));
        benchmark::DoNotOptimize(data.fares.findPassengerType(code));
    }
}
BENCHMARK(BM_FindPassengerTypeByIdAndCode);

static void BM_FindPassengerTypesOfProduct(benchmark::State &state)
{
    Loaded &data = loaded();
    int id = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(data.fares.findPassengerTypes(id++ % kProducts + 1));
}
BENCHMARK(BM_FindPassengerTypesOfProduct);

// The log lines of the managers go nowhere: what is measured is the work, not the sink.
static void discard(QtMsgType, const QMessageLogContext &, const QString &) {}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(discard);
    // The device's default log level: debug lines are filtered before they are built.
    QLoggingCategory::setFilterRules(QStringLiteral("*=true\n*.debug=false\nqt.*=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

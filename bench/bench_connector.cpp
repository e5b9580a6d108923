#include "tarvik/connector.h"

#include <QJsonDocument>

#include <benchmark/benchmark.h>

#include <atomic>
#include <malloc.h>

// Heap accounting for the peak-memory figures: every malloc family call of the process (Qt's
// containers and operator new alike) goes through these and is counted by its usable size.
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *pointer);
}

namespace {

std::atomic<long long> gLive{0};
std::atomic<long long> gPeak{0};

void *counted(void *pointer)
{
    if (pointer) {
        const auto size = static_cast<long long>(malloc_usable_size(pointer));
        const long long live = gLive.fetch_add(size) + size;
        long long peak = gPeak.load();
        while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
        }
    }
    return pointer;
}

void uncount(void *pointer)
{
    if (pointer)
        gLive.fetch_sub(static_cast<long long>(malloc_usable_size(pointer)));
}

} // namespace

extern "C" {
void *malloc(size_t size) { return counted(__libc_malloc(size)); }
void *calloc(size_t count, size_t size) { return counted(__libc_calloc(count, size)); }
void free(void *pointer)
{
    uncount(pointer);
    __libc_free(pointer);
}
void *realloc(void *pointer, size_t size)
{
    uncount(pointer);
    void *moved = __libc_realloc(pointer, size);
    if (!moved && pointer && size != 0)
        counted(pointer); // failed: the old block still stands
    return counted(moved);
}
void *memalign(size_t alignment, size_t size) { return counted(__libc_memalign(alignment, size)); }
void *aligned_alloc(size_t alignment, size_t size) { return counted(__libc_memalign(alignment, size)); }
int posix_memalign(void **out, size_t alignment, size_t size)
{
    void *pointer = counted(__libc_memalign(alignment, size));
    if (!pointer)
        return 12; // ENOMEM
    *out = pointer;
    return 0;
}
}

namespace {

constexpr int kProducts = 10000;
constexpr int kLinkRows = 100000; // spread over the five link tables

QJsonObject product(int id)
{
    return QJsonObject{
        {"id", id}, {"carriersId", 2}, {"code", QStringLiteral("PRODUCT_%1").arg(id)},
        {"validFrom", "FROM_VALIDATION"}, {"validityUnit", "DAYS"}, {"validityDuration", 1 + id % 30},
        {"numberOfTrips", -1}, {"calculatedPrice", 0}, {"fareFixed", 1.2 + id % 7}, {"fareDiscount", 0.1},
        {"fareRoundingCeiling", true}, {"isReturnFare", false}, {"isPersonalized", 1}, {"perBaseFare", false},
        {"color", "#ff8800"}, {"position", id % 40}, {"activationDate", 1704067200000.0},
        {"expirationDate", 4102444800000.0}, {"logDate", "01/01/2024 00:00:00"},
        {"lastEdited", "02/01/2024 10:15:00"}, {"createdBy", "admin"}, {"editedBy", "admin"}, {"status", "ACTIVE"},
        {"uuid", QStringLiteral("5b0c6c1e-8f5e-4f5e-9b6a-%1").arg(id, 12, 10, QLatin1Char('0'))}, {"mainId", id},
        {"description", "Pass for every line of the network"},
        {"multiLanguageFieldsMap", QJsonObject{{"name", QJsonObject{{"en", "Pass"}, {"el", "Karta"}}}}}};
}

QJsonArray links(const char *foreignKey, int firstId, int count)
{
    QJsonArray rows;
    for (int i = 0; i < count; ++i) {
        rows.append(QJsonObject{{"id", firstId + i}, {"fareProductId", 1 + i % kProducts}, {foreignKey, 1 + i % 50},
                                {"carriersId", 2}, {"logDate", "01/01/2024 00:00:00"},
                                {"lastEdited", "02/01/2024 10:15:00"}, {"createdBy", "admin"}});
    }
    return rows;
}

// A full fare sync as the back-end sends it.
const QByteArray &fareReply()
{
    static const QByteArray bytes = [] {
        QJsonArray products;
        for (int id = 1; id <= kProducts; ++id)
            products.append(product(id));
        const int perTable = kLinkRows / 5;
        const QJsonObject reply{
            {"resp", "OK"},
            {"newsyncdate", "05/03/2024 06:07:08"},
            {"FareProducts", products},
            {"FareProductBaseFares", links("baseFareId", 1, perTable)},
            {"FareProductPassengerTypes", links("passengerTypeId", 1 * perTable + 1, perTable)},
            {"FareProductTicketMaterials", links("ticketMaterialId", 2 * perTable + 1, perTable)},
            {"FareProductPaymentMethods", links("paymentMethodId", 3 * perTable + 1, perTable)},
            {"FareProductPaymentChannels", links("paymentChannelId", 4 * perTable + 1, perTable)},
        };
        return QJsonDocument(reply).toJson(QJsonDocument::Compact);
    }();
    return bytes;
}

// Heap in use above what was live when the measured step began, at its highest.
class PeakMeter
{
public:
    PeakMeter() : mBase(gLive.load()) { gPeak.store(mBase); }
    double mebibytes() const { return double(gPeak.load() - mBase) / (1024.0 * 1024.0); }

private:
    long long mBase;
};

void BM_SyncFareReplyBareParse(benchmark::State &state)
{
    const QByteArray &bytes = fareReply();
    double peak = 0;
    for (auto _ : state) {
        const PeakMeter meter;
        {
            const QJsonDocument document = QJsonDocument::fromJson(bytes);
            benchmark::DoNotOptimize(document.object().size());
        }
        peak = meter.mebibytes();
    }
    state.counters["peak_MiB"] = peak;
    state.counters["reply_MiB"] = bytes.size() / (1024.0 * 1024.0);
}
BENCHMARK(BM_SyncFareReplyBareParse)->Unit(benchmark::kMillisecond);

// The same bytes into the record lists the fare manager receives, the lists held to the end.
void BM_SyncFareReplyIntoRecords(benchmark::State &state)
{
    const QByteArray &bytes = fareReply();
    tarvik::Connector connector;
    tarvik::FareProduct2::List products;
    int links = 0;
    QList<QVariant> held;
    QObject::connect(&connector, &tarvik::Connector::fareProductsReceived,
                     [&](const tarvik::FareProduct2::List &list) { products = list; });
    const auto count = [&](const auto &list) {
        links += list.size();
        held.append(QVariant::fromValue(list));
    };
    QObject::connect(&connector, &tarvik::Connector::fareProductBaseFaresReceived, count);
    QObject::connect(&connector, &tarvik::Connector::fareProductPassengerTypesReceived, count);
    QObject::connect(&connector, &tarvik::Connector::fareProductTicketMaterialsReceived, count);
    QObject::connect(&connector, &tarvik::Connector::fareProductPaymentMethodsReceived, count);
    QObject::connect(&connector, &tarvik::Connector::fareProductPaymentChannelsReceived, count);

    double peak = 0;
    for (auto _ : state) {
        const PeakMeter meter;
        {
            const QJsonDocument document = QJsonDocument::fromJson(bytes);
            links = 0;
            connector.parseSyncBoResponse(document.object());
            if (products.size() != kProducts || links != kLinkRows)
                state.SkipWithError("records missing");
            products.clear();
            held.clear();
        }
        peak = meter.mebibytes();
    }
    state.counters["peak_MiB"] = peak;
}
BENCHMARK(BM_SyncFareReplyIntoRecords)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

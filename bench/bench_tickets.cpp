#include "tickets/dynamicqr.h"
#include "tickets/qrticketfactory.h"
#include "tickets/urbanmelva_v1.h"

#include <benchmark/benchmark.h>

// One scan on the validation thread: the factory builds the ticket, the validator reads
// it and logs its dump.
namespace {

const QString kUrban = QStringLiteral(
    "101|2002|DEV-7|RC-12|3|9|1700000000|555|77|12|false|PASSENGER|0|41|2|1700006400|1700003600|7200|5");
const QString kDynamic = QStringLiteral("DYNAMIC|1234|AB|1700000000|42|41|2|1700003600|7200|7|30|120");

void BM_CreateUrban(benchmark::State &state)
{
    const QrTicketFactory factory;
    for (auto _ : state)
        benchmark::DoNotOptimize(factory.create(kUrban));
}
BENCHMARK(BM_CreateUrban);

void BM_CreateDynamic(benchmark::State &state)
{
    const QrTicketFactory factory;
    for (auto _ : state)
        benchmark::DoNotOptimize(factory.create(kDynamic));
}
BENCHMARK(BM_CreateDynamic);

void BM_UrbanDumpAndJson(benchmark::State &state)
{
    const UrbanMelva_v1 ticket(kUrban);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ticket.toString());
        benchmark::DoNotOptimize(ticket.toJson());
    }
}
BENCHMARK(BM_UrbanDumpAndJson);

void BM_DynamicUidAndRemaining(benchmark::State &state)
{
    const DynamicQr ticket(kDynamic);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ticket.uid());
        benchmark::DoNotOptimize(ticket.remainingSec());
    }
}
BENCHMARK(BM_DynamicUidAndRemaining);

} // namespace

BENCHMARK_MAIN();

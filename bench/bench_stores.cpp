#include "db/customerdb.h"
#include "db/deviceparamsdb.h"
#include "tarvik/actionlistmanager.h"
#include "tarvik/actionrecordlist.h"
#include "tarvik/connector.h"
#include "tarvik/database.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

// The per-tap reads of the local stores (a device parameter, a customer by card, the pending
// actions of a card) and the one write a tap with actions makes (an action record).
namespace {

constexpr int kCustomers = 1000;
constexpr int kActions = 10000;

QTemporaryDir &folder()
{
    static QTemporaryDir dir;
    return dir;
}

void findDeviceParam(benchmark::State &state)
{
    DeviceParamsDB store(folder().filePath(QStringLiteral("deviceParams.sqlite")));
    for (int i = 0; i < 50; ++i) {
        store.insert(tarvik::KeyValue::Ptr::create(QJsonObject{
            {"id", i}, {"carriersId", 1}, {"key", QStringLiteral("KEY_%1").arg(i)}, {"value", "60"}}));
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(store.find(QStringLiteral("KEY_25")));
}
BENCHMARK(findDeviceParam);

void findCustomerByCard(benchmark::State &state)
{
    CustomerDB store(folder().filePath(QStringLiteral("customers.sqlite")));
    for (int i = 0; i < kCustomers; ++i) {
        auto c = tarvik::Customer::Ptr::create();
        c->setId(i);
        c->setUuid(QStringLiteral("uuid-%1").arg(i));
        c->setSmartCardUuid(QStringLiteral("card-%1").arg(i));
        c->setFirstname(QStringLiteral("Name %1").arg(i));
        store.insert(c);
    }
    int i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(store.find(QStringLiteral("card-%1").arg(i++ % kCustomers)));
}
BENCHMARK(findCustomerByCard)->Unit(benchmark::kMicrosecond);

void actionsByUid(benchmark::State &state)
{
    tarvik::Connector connector;
    tarvik::ActionListManager manager(connector, QStringLiteral("SN"), folder().path());
    tarvik::Action::List list;
    for (int i = 1; i <= kActions; ++i) {
        list.append(tarvik::Action::fromJson({{"id", i},
                                              {"counter", i},
                                              {"smartCardUuid", QStringLiteral("card-%1").arg(i % 2000)},
                                              {"accountToken", QStringLiteral("tok-%1").arg(i % 2000)},
                                              {"status", "UNASSIGNED"}}));
    }
    manager.processNewList(list);
    for (auto _ : state)
        benchmark::DoNotOptimize(manager.actionsByUid(QStringLiteral("card-77"), 0));
}
BENCHMARK(actionsByUid)->Unit(benchmark::kMicrosecond);

void addActionRecord(benchmark::State &state)
{
    tarvik::ActionRecordList store(QSharedPointer<tarvik::Database>::create(
        folder().filePath(QStringLiteral("actionRecordList.db"))));
    int i = 0;
    for (auto _ : state) {
        auto record = tarvik::ActionRecord::Ptr::create(tarvik::Action::fromJson(
            {{"id", i}, {"counter", i}, {"smartCardUuid", "card"}, {"accountToken", QString::number(i)}}));
        ++i;
        benchmark::DoNotOptimize(store.add(record));
    }
}
BENCHMARK(addActionRecord)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false\n*.warning=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

#include "db/customerdb.h"
#include "db/deviceparamsdb.h"
#include "framework/timezone.h"
#include "tarvik/actionlistmanager.h"
#include "tarvik/actionrecordlist.h"
#include "tarvik/connector.h"
#include "tarvik/database.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <mutex>

// The per-tap reads of the local stores (a device parameter, a customer by card, the pending
// actions of a card) and the writes that keep their indexes (a customer, the action list's
// load and merge, and an action record), at an operator's size: 20,000 customers, 10,000
// actions over 5,000 cards. Each look-up runs next to the way it was done before its index:
// the customer store with its card index dropped, the pending actions by a walk over the list.
namespace {

constexpr int kCustomers = 20000;
constexpr int kActions = 10000; // in the list: 9,000 actions and 1,000 resent copies
constexpr int kFirstNew = kActions * 9 / 10 + 1;
constexpr int kCards = 5000;

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

QString card(int i)
{
    return QStringLiteral("card-%1").arg(i);
}

// A store of kCustomers rows, filled in one transaction; without the card index when asked.
std::unique_ptr<CustomerDB> customers(const QString &name, bool indexed)
{
    const QString path = folder().filePath(name);
    QFile::remove(path);
    auto store = std::make_unique<CustomerDB>(path);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.open();
        db.transaction();
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("INSERT INTO customers (id, uuid, smartCardUuid, type, name, surname, email, "
                                      "mobile, image, accountCreationDate, lastAccessTime) "
                                      "VALUES (?, ?, ?, 'PT_ADULT', ?, 'Lee', 'x@example.org', '555', '', 0, 0)"));
        for (int i = 0; i < kCustomers; ++i) {
            insert.addBindValue(i);
            insert.addBindValue(QStringLiteral("uuid-%1").arg(i));
            insert.addBindValue(card(i));
            insert.addBindValue(QStringLiteral("Name %1").arg(i));
            insert.exec();
        }
        db.commit();
        if (!indexed)
            QSqlQuery(db).exec(QStringLiteral("DROP INDEX IF EXISTS customers_smartCardUuid"));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return store;
}

void findCustomerByCard(benchmark::State &state, bool indexed)
{
    const auto store = customers(indexed ? QStringLiteral("indexed.sqlite") : QStringLiteral("plain.sqlite"), indexed);
    QStringList cards;
    for (int i = 0; i < kCustomers; i += 7)
        cards << card(i);
    int i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(store->find(cards.at(i++ % cards.size())));
}
BENCHMARK_CAPTURE(findCustomerByCard, unindexed, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(findCustomerByCard, indexed, true)->Unit(benchmark::kMicrosecond);

// The yardstick of the indexed look-up: the same query on the same file, prepared once on a
// connection of its own, its row's columns read and the statement reset. Goal: the store's
// look-up under 50 us and at most 3x this.
void bareCustomerByCard(benchmark::State &state)
{
    const auto store = customers(QStringLiteral("indexed.sqlite"), true);
    QStringList cards;
    for (int i = 0; i < kCustomers; i += 7)
        cards << card(i);
    const QString name = QStringLiteral("bare");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(folder().filePath(QStringLiteral("indexed.sqlite")));
        db.open();
        QSqlQuery query(db);
        query.prepare(QStringLiteral("SELECT * FROM customers WHERE smartCardUuid = ?"));
        int i = 0;
        for (auto _ : state) {
            query.addBindValue(cards.at(i++ % cards.size()));
            query.exec();
            if (query.next()) {
                for (int column = 0; column < 11; ++column)
                    benchmark::DoNotOptimize(query.value(column));
            }
            query.finish();
        }
    }
    QSqlDatabase::removeDatabase(name);
}
BENCHMARK(bareCustomerByCard)->Unit(benchmark::kMicrosecond);

// A tap's write: a new customer, in its own transaction.
void insertCustomer(benchmark::State &state, bool indexed)
{
    const auto store = customers(indexed ? QStringLiteral("indexed.sqlite") : QStringLiteral("plain.sqlite"), indexed);
    int i = kCustomers;
    for (auto _ : state) {
        auto c = tarvik::Customer::Ptr::create();
        c->setId(i);
        c->setUuid(QStringLiteral("uuid-%1").arg(i));
        c->setSmartCardUuid(card(i++));
        benchmark::DoNotOptimize(store->insert(c));
    }
}
BENCHMARK_CAPTURE(insertCustomer, unindexed, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(insertCustomer, indexed, true)->Unit(benchmark::kMicrosecond);

// Ids from 1, about two per card, the counter equal to the id; every ninth one resent at the
// end of the list and every fiftieth replaced.
tarvik::Action::List actionList()
{
    tarvik::Action::List list;
    for (int i = 1; i < kFirstNew; ++i) {
        list.append(tarvik::Action::fromJson({{"id", i},
                                              {"counter", i},
                                              {"smartCardUuid", card(i % kCards)},
                                              {"accountToken", QStringLiteral("tok-%1").arg(i % kCards)},
                                              {"status", i % 50 == 0 ? "REPLACED" : "UNASSIGNED"}}));
    }
    for (int i = 9; i < kFirstNew; i += 9)
        list.append(list.at(i - 1));
    return list;
}

// The actions file of actionList(), loaded by the manager as a change from outside.
void load(tarvik::ActionListManager &manager)
{
    QJsonArray array;
    for (const tarvik::Action::Ptr &action : actionList())
        array.append(action->toJson());
    QSaveFile file(manager.filePath());
    file.open(QIODevice::WriteOnly);
    file.write(QJsonDocument(array).toJson());
    file.commit();
    manager.onFileChanged(manager.filePath());
}

// The look-up as it was: a walk from the end of the whole list under the list lock.
tarvik::Action::List scan(std::mutex &lock, const tarvik::Action::List &list, const QString &uid, int counter)
{
    tarvik::Action::List found;
    QSet<int> seen;
    std::lock_guard<std::mutex> locked(lock);
    for (auto it = list.crbegin(); it != list.crend(); ++it) {
        const tarvik::Action::Ptr &action = *it;
        if (action->smartCardUuid() != uid || seen.contains(action->id()))
            continue;
        seen.insert(action->id());
        if (action->counter() > counter && action->status() != QLatin1String("COMPLETED"))
            found.append(action);
    }
    std::reverse(found.begin(), found.end());
    return found;
}

void actionsByUid(benchmark::State &state, bool indexed)
{
    QTemporaryDir dir;
    tarvik::Connector connector;
    tarvik::ActionListManager manager(connector, QStringLiteral("SN"), dir.path());
    load(manager);
    const tarvik::Action::List list = manager.actions();
    std::mutex lock;
    QStringList cards;
    for (int i = 0; i < kCards; i += 7)
        cards << card(i);
    int i = 0;
    for (auto _ : state) {
        const QString &uid = cards.at(i++ % cards.size());
        benchmark::DoNotOptimize(indexed ? manager.actionsByUid(uid, 0) : scan(lock, list, uid, 0));
    }
}
BENCHMARK_CAPTURE(actionsByUid, walk, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(actionsByUid, indexed, true)->Unit(benchmark::kMicrosecond);

// Loading the list file at start or after an outside change.
void loadActions(benchmark::State &state)
{
    QTemporaryDir dir;
    tarvik::Connector connector;
    tarvik::ActionListManager manager(connector, QStringLiteral("SN"), dir.path());
    for (auto _ : state)
        load(manager);
}
BENCHMARK(loadActions)->Unit(benchmark::kMillisecond);

// A sync's merge on the main thread: ten new actions, one of them completing a card's earlier
// ones, onto the loaded list; the file is written afterwards on the manager's own worker.
void mergeActions(benchmark::State &state)
{
    tarvik::Action::List batch;
    for (int i = kFirstNew; i < kFirstNew + 10; ++i) {
        batch.append(tarvik::Action::fromJson({{"id", i},
                                               {"counter", i},
                                               {"smartCardUuid", card(i % kCards)},
                                               {"accountToken", QStringLiteral("tok-%1").arg(i % kCards)},
                                               {"status", i == kFirstNew + 5 ? "COMPLETED" : "UNASSIGNED"}}));
    }
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        tarvik::Connector connector;
        auto manager = std::make_unique<tarvik::ActionListManager>(connector, QStringLiteral("SN"), dir.path());
        load(*manager);
        state.ResumeTiming();
        manager->processNewList(batch);
        state.PauseTiming();
        manager.reset(); // waits for the file to be written
        state.ResumeTiming();
    }
}
BENCHMARK(mergeActions)->Unit(benchmark::kMillisecond);

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
    keepLoadedTimeZone(); // as zub starts
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false\n*.warning=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

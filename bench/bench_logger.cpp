#include "framework/logger.h"

#include <QLoggingCategory>

#include <benchmark/benchmark.h>

// Every component logs through the one handler, from the main thread, the validation
// thread and the pool: the lines per second it passes bound how chatty they may be.

Q_LOGGING_CATEGORY(lcBench, "zub.bench")

namespace {
long long gBytes = 0; // written under the logger's mutex
}

static void BM_InfoLineToSyslog(benchmark::State &state)
{
    int i = 0;
    for (auto _ : state)
        qInfo("[bench] validated card %d on route %s", ++i, "42A");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InfoLineToSyslog)->Threads(1)->Threads(4)->UseRealTime();

static void BM_InfoLineToSyslogAndStderr(benchmark::State &state)
{
    manager::Logger::instance()->setStderr(true);
    int i = 0;
    for (auto _ : state)
        qInfo("[bench] validated card %d on route %s", ++i, "42A");
    manager::Logger::instance()->setStderr(false);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InfoLineToSyslogAndStderr)->UseRealTime();

// At the default level debug lines are dropped, but Qt builds the text first.
static void BM_FilteredDebugStream(benchmark::State &state)
{
    int i = 0;
    for (auto _ : state)
        qDebug() << "[bench] card" << ++i << "state" << QStringLiteral("idle");
}
BENCHMARK(BM_FilteredDebugStream);

static void BM_FilteredDebugPrintf(benchmark::State &state)
{
    int i = 0;
    for (auto _ : state)
        qDebug("[bench] card %d state %s", ++i, "idle");
}
BENCHMARK(BM_FilteredDebugPrintf);

// Guarded: the category is asked first, nothing is built.
static void BM_FilteredDebugGuarded(benchmark::State &state)
{
    int i = 0;
    for (auto _ : state)
        qCDebug(lcBench) << "[bench] card" << ++i << "state" << QStringLiteral("idle");
}
BENCHMARK(BM_FilteredDebugGuarded);

static void BM_FilteredDebugDefaultCategoryGuarded(benchmark::State &state)
{
    int i = 0;
    for (auto _ : state) {
        if (QLoggingCategory::defaultCategory()->isDebugEnabled())
            qDebug() << "[bench] card" << ++i << "state" << QStringLiteral("idle");
    }
}
BENCHMARK(BM_FilteredDebugDefaultCategoryGuarded);

int main(int argc, char **argv)
{
    manager::Logger *logger = manager::Logger::instance();
    logger->setLevel(2);
    logger->setStderr(false);
    logger->setSyslog(true);
    logger->setSyslogWriter([](int, const QByteArray &record) { gBytes += record.size(); });
    logger->setStderrWriter([](const QByteArray &line) { gBytes += line.size(); });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return gBytes > 0 ? 0 : 1;
}

#include "framework/configuration.h"
#include "framework/settings.h"
#include "rfid/rfidmanager.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

// Validators and inspectors make a Configuration per tap or scan on the validation thread and
// read their topics through it: both must stay close to what a bare QSettings costs.
// Goals: construction at most 2x a QSettings construction, a get of a one-placeholder topic
// at most 3x a QSettings::value() of the same key (two reads are the floor, so finding and
// replacing the placeholder must cost less than a read).

namespace {
QString gFile; // every default written out, as on a device
const QString TopicKey = QStringLiteral("rfid/sub_card_found");
}

static void BM_QSettingsConstruct(benchmark::State &state)
{
    for (auto _ : state) {
        QSettings settings(gFile, QSettings::IniFormat);
        benchmark::DoNotOptimize(&settings);
    }
}
BENCHMARK(BM_QSettingsConstruct);

static void BM_ConfigurationConstruct(benchmark::State &state)
{
    for (auto _ : state) {
        Configuration config;
        benchmark::DoNotOptimize(&config);
    }
}
BENCHMARK(BM_ConfigurationConstruct);

static void BM_QSettingsValue(benchmark::State &state)
{
    QSettings settings(gFile, QSettings::IniFormat);
    for (auto _ : state)
        benchmark::DoNotOptimize(settings.value(TopicKey));
}
BENCHMARK(BM_QSettingsValue);

// The floor of a get with one placeholder: the key, then the setting it names.
static void BM_TwoReads(benchmark::State &state)
{
    QSettings settings(gFile, QSettings::IniFormat);
    const QString base = QStringLiteral("rfid/base");
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings.value(TopicKey));
        benchmark::DoNotOptimize(settings.value(base));
    }
}
BENCHMARK(BM_TwoReads);

static void BM_ConfigurationGetTopic(benchmark::State &state)
{
    Configuration config;
    for (auto _ : state)
        benchmark::DoNotOptimize(config.get(TopicKey));
}
BENCHMARK(BM_ConfigurationGetTopic);

static void BM_ConfigurationGetInt(benchmark::State &state)
{
    Configuration config;
    for (auto _ : state)
        benchmark::DoNotOptimize(config.get(QStringLiteral("rfid/sub_qos")));
}
BENCHMARK(BM_ConfigurationGetInt);

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    // An existing default file keeps the settings owner off the command line.
    const QString defaultFile = QCoreApplication::applicationDirPath() + QLatin1Char('/')
                                + QCoreApplication::applicationName() + QStringLiteral(".conf");
    const bool createdDefault = !QFile::exists(defaultFile);
    if (createdDefault) {
        QFile file(defaultFile);
        file.open(QIODevice::WriteOnly);
    }
    QTemporaryDir dir;
    gFile = dir.filePath(QStringLiteral("zub.conf"));
    QFile(gFile).open(QIODevice::WriteOnly);
    manager::Settings::instance()->setDefaultLocation(QFileInfo(gFile));
    if (!RfidManager::Defaults.contains(TopicKey) || !Configuration().save())
        return 1;

    benchmark::RunSpecifiedBenchmarks();
    if (createdDefault)
        QFile::remove(defaultFile);
    return 0;
}

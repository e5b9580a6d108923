#include "rfid/rfidcardfactory.h"
#include "rfid/zetodes_v3/card.h"

#include <QFile>
#include <QJsonDocument>

#include <benchmark/benchmark.h>

#include <memory>

// One DES v3 auto-read message (three products, e-purse, five rides, three loads),
// as the reader service publishes it.
static QByteArray autoreadMessage()
{
    QFile file(QStringLiteral(CARD_SAMPLE));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return QJsonDocument::fromJson(file.readAll()).toJson(QJsonDocument::Compact);
}

// The floor: parse the message and serialise it again, nothing else.
static void BM_BareJsonDocument(benchmark::State &state)
{
    const QByteArray message = autoreadMessage();
    for (auto _ : state) {
        const QJsonDocument doc = QJsonDocument::fromJson(message);
        benchmark::DoNotOptimize(doc.toJson(QJsonDocument::Compact));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * message.size());
}
BENCHMARK(BM_BareJsonDocument);

// Parse into the card model and write the card back.
static void BM_DesV3ModelRoundTrip(benchmark::State &state)
{
    const QByteArray message = autoreadMessage();
    for (auto _ : state) {
        const ZetoDes_v3::Card card(QJsonDocument::fromJson(message).object());
        benchmark::DoNotOptimize(QJsonDocument(card.toJson()).toJson(QJsonDocument::Compact));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * message.size());
}
BENCHMARK(BM_DesV3ModelRoundTrip);

// The road of a tap: the reader client's map, the factory, and the write request's map
// serialised again.
static void BM_DesV3TapRoad(benchmark::State &state)
{
    const QByteArray message = autoreadMessage();
    for (auto _ : state) {
        const QVariantMap autoread = QJsonDocument::fromJson(message).object().toVariantMap();
        std::unique_ptr<RfidCard> card(RfidCardFactory::create(autoread));
        const QVariantMap write = card->toJson().toVariantMap();
        benchmark::DoNotOptimize(QJsonDocument::fromVariant(write).toJson(QJsonDocument::Compact));
    }
}
BENCHMARK(BM_DesV3TapRoad);

// The same maps without the model, for comparison with the tap road.
static void BM_BareTapRoad(benchmark::State &state)
{
    const QByteArray message = autoreadMessage();
    for (auto _ : state) {
        const QVariantMap autoread = QJsonDocument::fromJson(message).object().toVariantMap();
        benchmark::DoNotOptimize(QJsonDocument::fromVariant(autoread).toJson(QJsonDocument::Compact));
    }
}
BENCHMARK(BM_BareTapRoad);

BENCHMARK_MAIN();

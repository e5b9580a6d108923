#include "rfid/rfidcardfactory.h"
#include "rfid/zetodes_v3/card.h"
#include "rfid/zetoluc/card.h"
#include "rfid/zetolucv2/card.h"

#include <QFile>
#include <QJsonDocument>

#include <benchmark/benchmark.h>

#include <memory>

// One DES v3 auto-read message (three products, e-purse, five rides, three loads),
// as the reader service publishes it.
static QByteArray autoreadMessage(const char *path = CARD_SAMPLE)
{
    QFile file(QString::fromUtf8(path));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return QJsonDocument::fromJson(file.readAll()).toJson(QJsonDocument::Compact);
}

// The floor of a parse into a model (the reader client's part of a tap): parse the message, nothing
// else.
static void BM_BareJsonParse(benchmark::State &state)
{
    const QByteArray message = autoreadMessage();
    for (auto _ : state)
        benchmark::DoNotOptimize(QJsonDocument::fromJson(message));
    state.SetBytesProcessed(int64_t(state.iterations()) * message.size());
}
BENCHMARK(BM_BareJsonParse);

// The floor of a round trip through a model: parse the message and serialise it again.
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

// Parse into the card model, as every tap does; its floor is the bare parse.
static void BM_DesV3ModelParse(benchmark::State &state)
{
    const QByteArray message = autoreadMessage();
    for (auto _ : state) {
        const ZetoDes_v3::Card card(QJsonDocument::fromJson(message).object());
        benchmark::DoNotOptimize(&card);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * message.size());
}
BENCHMARK(BM_DesV3ModelParse);

// Parse into the card model and write the card back; its floor is the bare parse and serialise.
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

// A LUC tap with write-back: read, change the pass and the last ride, write the whole
// card image (only changed values go over the message as read).
static void BM_LucTapWriteBack(benchmark::State &state)
{
    const QByteArray message = autoreadMessage(LUC_SAMPLE);
    for (auto _ : state) {
        ZetoLUC::Card card(QJsonDocument::fromJson(message).object());
        card.getStoredJourneys()->setRemainingJourneys(card.getStoredJourneys()->getRemainingJourneys() - 1);
        ZetoLUC::UsageLogEntry ride = card.getUsageLogEntry();
        ride.setJourneysBefore(ride.getJourneysAfter());
        ride.setJourneysAfter(ride.getJourneysAfter() - 1);
        card.setUsageLogEntry(ride);
        benchmark::DoNotOptimize(QJsonDocument(card.toJson()).toJson(QJsonDocument::Compact));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * message.size());
}
BENCHMARK(BM_LucTapWriteBack);

// The same for a LUC v2 card.
static void BM_LucV2TapWriteBack(benchmark::State &state)
{
    const QByteArray message = autoreadMessage(LUCV2_SAMPLE);
    for (auto _ : state) {
        ZetoLUCv2::Card card(QJsonDocument::fromJson(message).object());
        card.products().at(1)->remainingValue -= 1;
        card.usageLog().transactionType = 22;
        benchmark::DoNotOptimize(QJsonDocument(card.toJson()).toJson(QJsonDocument::Compact));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * message.size());
}
BENCHMARK(BM_LucV2TapWriteBack);

// Remaining days of a period pass, as an inspection asks for it.
static void BM_LucV2RemainingDays(benchmark::State &state)
{
    ZetoLUCv2::Card::Product pass;
    pass.productType = ZetoLUCv2::Card::Product::PeriodPass;
    pass.status = ZetoLUCv2::Card::Product::Active;
    pass.initialValue = 30;
    pass.activationTimestamp = QDateTime(QDate(2024, 3, 10), QTime(10, 0), Qt::UTC);
    const QDateTime now(QDate(2024, 4, 8), QTime(20, 0), Qt::UTC);
    for (auto _ : state)
        benchmark::DoNotOptimize(pass.remainingDays(now, true));
}
BENCHMARK(BM_LucV2RemainingDays);

BENCHMARK_MAIN();

#include "brokerroundtrip.h"

#include "support/brokerfixture.h"
#include "support/childprocess.h"
#include "support/mqttpeer.h"
#include "support/qrscannerpeer.h"
#include "support/qrtestkey.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

// The whole device as the services around it see it: zub (built with the tests' QR key) as a
// child process on a private broker, peers playing the card reader and the QR scanner. Taps and
// scans are timed from the peer's publication to zub's answer arriving at the peer, each beside
// the same peers' bare round trip through the same broker in the same run (bare_*, and the
// ratio to it); the resident memory of the child is read from /proc, idle and after a back-end
// sync of an operator's fare tables (served by the example back-end stand-in), and around a
// flood of taps of unknown cards against a slow back-end.

namespace {

constexpr int kRuns = 1000;
constexpr int kProducts = 10000;
constexpr int kLinksPerTable = 2; // per product, in each of the five link tables: 100,000 rows
constexpr int kUnknownCards = 10000;
constexpr int kSlowBackendMs = 500;
const QString kLeds = QStringLiteral("zeto/rfid/led/set/request/");
const QString kCardScanned = QStringLiteral("zeto/zub/rfid/scanned");
const QString kBarcodeScanned = QStringLiteral("zeto/zub/barcode/scanned");

// Sleeps in the event loop until an event comes; a timer wakes it to look at the deadline.
bool spinUntil(const std::function<bool()> &done, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    QTimer wake;
    wake.start(20);
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return BrokerRoundTrip::percentile(values, p);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

double megabytes(qint64 bytes) { return double(bytes) / (1024.0 * 1024.0); }

// zub with its readers up and nothing to do.
class Device
{
public:
    bool start(const QByteArray &moreSettings = QByteArray(), int logLevel = 1)
    {
        BrokerFixture::Options options;
        options.tcpNoDelay = true;
        mBroker = std::make_unique<BrokerFixture>(options);
        if (!mBroker->start())
            return false;
        const QByteArray settings = QStringLiteral("[log]\nlevel=%1\nstderr=true\nsyslog=false\n"
                                                   "[zub]\nport=%2\nobu_port=%2\nclient_id=bench\nobu_client_id=bench-obu\n"
                                                   "[validator]\nqr_passback=false\n")
                                        .arg(logLevel)
                                        .arg(mBroker->port())
                                        .toUtf8()
            + moreSettings;
        if (!mEnv.writeFile(QStringLiteral("zub.conf"), settings) || !reader.connectTo(mBroker->host(), mBroker->port())
            || !scanner.connectTo(mBroker->host(), mBroker->port()))
            return false;
        for (const QString &filter : {QStringLiteral("zeto/zub/#"), QStringLiteral("zeto/rfid/+/+/request/+"),
                                      QStringLiteral("zeto/rfid/enable/request/+")}) {
            if (!reader.subscribe(filter))
                return false;
        }
        // Beside its settings file: the log's settings are read from there before any "-f".
        if (!QFile::copy(QStringLiteral(ZUB_PATH), mEnv.filePath(QStringLiteral("zub"))))
            return false;
        zub = std::make_unique<ChildProcess>(mEnv.filePath(QStringLiteral("zub")), QStringList(), mEnv.path());
        if (!zub->start() || !reader.waitForMessages(QStringLiteral("zeto/zub/config"), 1, 15000))
            return false;
        // The clients drop an enable sent before their service reports: report, then answer.
        reader.publish(QStringLiteral("zeto/rfid/status"), R"({"service":true,"device":{"state":1,"active":true,"sams":[1]}})");
        if (!reader.waitForMessages(QStringLiteral("zeto/rfid/enable/request/0")))
            return false;
        reader.publish(QStringLiteral("zeto/rfid/enable/response/0"), R"({"completed":true})");
        scanner.setAnswering(true);
        scanner.publishStatus(true, true, false);
        // Both readers up: start-up is over, the status says why the device is out of service.
        return spinUntil([this] {
            const QList<MqttPeer::Message> status = reader.messages(QStringLiteral("zeto/zub/status"));
            return scanner.commands().contains(QStringLiteral("enable")) && !status.isEmpty()
                && status.constLast().payload.contains("out-of-service");
        });
    }

    // Resident memory now, or at its peak ("VmHWM").
    qint64 rssBytes(const QString &field = QStringLiteral("VmRSS")) const
    {
        const QRegularExpression line(field + QStringLiteral(":\\s+(\\d+) kB"));
        const auto match = line.match(QString::fromLatin1(readFile(QStringLiteral("/proc/%1/status").arg(zub->processId()))));
        return match.hasMatch() ? match.captured(1).toLongLong() * 1024 : -1;
    }

    // Resident memory once it stops moving: the heap settles a little after the last log line.
    qint64 settledRssBytes()
    {
        qint64 last = rssBytes();
        QElapsedTimer clock;
        clock.start();
        for (int steady = 0; steady < 4 && clock.elapsed() < 10000;) {
            spinUntil([] { return false; }, 250);
            const qint64 now = rssBytes();
            steady = std::abs(now - last) < 64 * 1024 ? steady + 1 : 0;
            last = now;
        }
        return last;
    }

    // The same peers' round trip through the same broker beside the answers timed: `from`
    // publishes, the reader receives.
    bool reportBareRoundTrips(benchmark::State &state, MqttPeer &from, const std::vector<double> &answers)
    {
        BrokerRoundTrip bare(from, reader, mBroker->host(), mBroker->port());
        if (!bare.isReady()) {
            state.SkipWithError("the relay did not connect");
            return false;
        }
        return bare.report(state, answers, kRuns);
    }

    MqttPeer reader{QStringLiteral("bench-reader")};
    QrScannerPeer scanner;
    std::unique_ptr<ChildProcess> zub;

private:
    TestEnv mEnv;
    std::unique_ptr<BrokerFixture> mBroker;
};

// Starts the back-end stand-in on a free port: the settings that send zub to it, keeping its
// data below `storage`; empty when it did not start.
QByteArray startBackend(ChildProcess &backend, const QString &storage)
{
    if (!backend.start() || !backend.waitForErrorPart(QStringLiteral("serving ")))
        return QByteArray();
    const QRegularExpression url(QStringLiteral("serving .* on (http://127\\.0\\.0\\.1:\\d+/)"));
    const QString baseUrl = url.match(backend.errorLines().join(QLatin1Char('\n'))).captured(1);
    return QStringLiteral("[tarvik]\nenabled=true\nurl=%1bo\nstoragePath=%2\n").arg(baseUrl, storage).toUtf8();
}

// The example back-end data with an operator's fare tables: kProducts products, each linked to
// kLinksPerTable base fares, passenger types, ticket materials, payment methods and channels.
bool writeOperatorData(const QString &folder)
{
    const QDir examples(QStringLiteral(EXAMPLE_DATA));
    for (const QString &name : examples.entryList({QStringLiteral("*.json")}, QDir::Files)) {
        if (name != QLatin1String("fares.json") && !QFile::copy(examples.filePath(name), folder + QLatin1Char('/') + name))
            return false;
    }
    QJsonObject fares = QJsonDocument::fromJson(readFile(examples.filePath(QStringLiteral("fares.json")))).object();
    const QJsonArray samples = fares.value(QStringLiteral("FareProducts")).toArray();
    const struct
    {
        const char *table, *key;
        int firstId, count;
    } links[] = {{"FareProductBaseFares", "baseFareId", 401, 5},
                 {"FareProductPassengerTypes", "passengerTypeId", 1, 3},
                 {"FareProductTicketMaterials", "ticketMaterialId", 1, 2},
                 {"FareProductPaymentMethods", "paymentMethodId", 1, 3},
                 {"FareProductPaymentChannels", "paymentChannelId", 1, 2}};
    QJsonArray products;
    QJsonArray rows[5];
    for (int i = 0; i < kProducts; ++i) {
        QJsonObject product = samples.at(i % samples.size()).toObject();
        const int id = 10000 + i;
        product[QStringLiteral("id")] = id;
        product[QStringLiteral("code")] = QStringLiteral("FP-%1").arg(id);
        products.append(product);
        for (int t = 0; t < 5; ++t) {
            for (int k = 0; k < kLinksPerTable; ++k)
                rows[t].append(QJsonObject{{QStringLiteral("id"), rows[t].size() + 1},
                                           {QStringLiteral("fareProductId"), id},
                                           {QLatin1String(links[t].key), links[t].firstId + (i + k) % links[t].count}});
        }
    }
    fares[QStringLiteral("FareProducts")] = products;
    for (int t = 0; t < 5; ++t)
        fares[QLatin1String(links[t].table)] = rows[t];
    QFile file(folder + QStringLiteral("/fares.json"));
    return file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(fares).toJson(QJsonDocument::Compact)) > 0;
}

} // namespace

// One tap: the reader's auto-read message to the LED request and to the published verdict.
static void BM_TapToLedsAndVerdict(benchmark::State &state)
{
    Device device;
    const QByteArray card = readFile(QStringLiteral(CARDS_DIR "/desv3.json"));
    const QJsonObject sample = QJsonDocument::fromJson(card).object();
    if (card.isEmpty() || !device.start())
        return state.SkipWithError("zub did not start with its readers up");
    const QByteArray found = QJsonDocument(QJsonObject{{"uid", sample["uid"]}, {"type", sample["type"]}}).toJson();
    QElapsedTimer timer;
    qint64 ledNs = -1, verdictNs = -1;
    int leds = 0;
    QObject::connect(&device.reader, &MqttPeer::received, [&](const QString &topic) {
        if (topic.startsWith(kLeds)) {
            ++leds;
            ledNs = timer.nsecsElapsed();
        } else if (topic == kCardScanned) {
            verdictNs = timer.nsecsElapsed();
        }
    });
    for (auto _ : state) {
        std::vector<double> led, verdict;
        for (int i = 0; i < kRuns; ++i) {
            device.reader.publish(QStringLiteral("zeto/rfid/card/found"), found);
            ledNs = verdictNs = -1;
            timer.start();
            device.reader.publish(QStringLiteral("zeto/rfid/card/autoread"), card);
            if (!spinUntil([&] { return ledNs >= 0 && verdictNs >= 0; }, 2000))
                return state.SkipWithError(qPrintable(QStringLiteral("tap %1 lost: ").arg(i) + device.zub->describe().right(2000)));
            led.push_back(double(ledNs) / 1000.0);
            verdict.push_back(double(verdictNs) / 1000.0);
        }
        state.counters["led_p50_us"] = percentile(led, 0.50);
        state.counters["led_p99_us"] = percentile(led, 0.99);
        state.counters["verdict_p50_us"] = percentile(verdict, 0.50);
        state.counters["verdict_p90_us"] = percentile(verdict, 0.90);
        state.counters["verdict_p99_us"] = percentile(verdict, 0.99);
        state.counters["verdict_max_us"] = percentile(verdict, 1.0);
        state.counters["leds_per_tap"] = double(leds) / kRuns;
        if (!device.reportBareRoundTrips(state, device.reader, verdict))
            return;
    }
}
BENCHMARK(BM_TapToLedsAndVerdict)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// One QR scan: the scanner's message to the published verdict (no route: a refusal, the ticket
// deciphered and parsed all the same).
static void BM_ScanToVerdict(benchmark::State &state)
{
    Device device;
    if (!device.start())
        return state.SkipWithError("zub did not start with its readers up");
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QString ticket = QStringLiteral("6|1234|A1|R1|2|3|%1|99|0|0|false|PASSENGER|0|5|1|0|%2|3600|7").arg(now - 3600).arg(now - 600);
    const QString payload = QrTestKey::encipher(QrTestKey::pad(ticket.toLatin1()));
    QElapsedTimer timer;
    qint64 verdictNs = -1;
    QObject::connect(&device.reader, &MqttPeer::received, [&](const QString &topic) {
        if (topic == kBarcodeScanned)
            verdictNs = timer.nsecsElapsed();
    });
    for (auto _ : state) {
        std::vector<double> verdict;
        for (int i = 0; i < kRuns; ++i) {
            verdictNs = -1;
            timer.start();
            device.scanner.scan(payload);
            if (!spinUntil([&] { return verdictNs >= 0; }, 2000))
                return state.SkipWithError(qPrintable(QStringLiteral("scan %1 lost: ").arg(i) + device.zub->describe().right(2000)));
            verdict.push_back(double(verdictNs) / 1000.0);
        }
        state.counters["verdict_p50_us"] = percentile(verdict, 0.50);
        state.counters["verdict_p90_us"] = percentile(verdict, 0.90);
        state.counters["verdict_p99_us"] = percentile(verdict, 0.99);
        state.counters["verdict_max_us"] = percentile(verdict, 1.0);
        if (!device.reportBareRoundTrips(state, device.scanner.mqtt(), verdict))
            return;
    }
}
BENCHMARK(BM_ScanToVerdict)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Resident memory idle (no back-end), then of a second zub once it has synced the operator's
// fare tables from the back-end stand-in; and the size of the data as served and as stored.
static void BM_ResidentMemory(benchmark::State &state)
{
    for (auto _ : state) {
        qint64 idleBytes = -1;
        {
            Device idle;
            if (!idle.start())
                return state.SkipWithError("zub did not start with its readers up");
            idleBytes = idle.settledRssBytes();
        }

        TestEnv data;
        const QString served = data.filePath(QStringLiteral("served"));
        if (!QDir().mkpath(served) || !writeOperatorData(served))
            return state.SkipWithError("could not write the back-end data");
        ChildProcess backend(QStringLiteral("python3"), {QStringLiteral(BACKEND_SERVER), QStringLiteral("--data"), served});
        const QByteArray tarvik = startBackend(backend, data.filePath(QStringLiteral("stored")));
        if (tarvik.isEmpty())
            return state.SkipWithError("the back-end stand-in did not start");
        Device synced;
        // Info lines: the fare manager's summary after the sync is how it says it is done.
        if (!synced.start(tarvik + "[db]\nmock_dbman=true\n", 2)
            || !synced.zub->waitForErrorPart(QStringLiteral("FareProduct/PaymentChannels : %1").arg(kProducts * kLinksPerTable), 120000))
            return state.SkipWithError(qPrintable(QStringLiteral("no sync: ") + synced.zub->describe().right(3000)));
        const qint64 syncedBytes = synced.settledRssBytes();
        qint64 servedBytes = 0, storedBytes = 0;
        for (const QFileInfo &info : QDir(served).entryInfoList(QDir::Files))
            servedBytes += info.size();
        for (QDirIterator it(data.filePath(QStringLiteral("stored")), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
             it.hasNext();) {
            it.next();
            storedBytes += it.fileInfo().size();
        }
        state.counters["rss_idle_MB"] = megabytes(idleBytes);
        state.counters["rss_synced_MB"] = megabytes(syncedBytes);
        state.counters["growth_MB"] = megabytes(syncedBytes - idleBytes);
        state.counters["data_MB"] = megabytes(servedBytes);   // as the back-end serves it
        state.counters["stored_MB"] = megabytes(storedBytes); // as zub keeps it on disk
        state.counters["beyond_data_MB"] = megabytes(syncedBytes - servedBytes);
    }
}
BENCHMARK(BM_ResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Taps of kUnknownCards distinct cards that no customer has, as fast as the reader's peer can
// publish them, against a back-end that answers each look-up kSlowBackendMs later: the look-ups
// zub sent, dropped and saw time out, and its resident memory idle, at its peak and after.
static void BM_UnknownCardTaps(benchmark::State &state)
{
    for (auto _ : state) {
        TestEnv data;
        ChildProcess backend(QStringLiteral("python3"), {QStringLiteral(BACKEND_SERVER), QStringLiteral("--customer-delay-ms"),
                                                         QString::number(kSlowBackendMs)});
        const QByteArray tarvik = startBackend(backend, data.filePath(QStringLiteral("stored")));
        if (tarvik.isEmpty())
            return state.SkipWithError("the back-end stand-in did not start");
        Device device;
        // Info lines: a prefetch and a request are seen only there.
        if (!device.start(tarvik, 2))
            return state.SkipWithError("zub did not start with its readers up");
        const qint64 idleBytes = device.settledRssBytes();
        const auto uid = [](int i) { return QStringLiteral("UNKNOWN%1").arg(i, 5, 10, QLatin1Char('0')); };
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kUnknownCards; ++i) {
            const QJsonObject found{{"uid", uid(i)}, {"type", 0x100}};
            device.reader.publish(QStringLiteral("zeto/rfid/card/found"), QJsonDocument(found).toJson(QJsonDocument::Compact), 1);
        }
        if (!device.zub->waitForErrorPart(QStringLiteral("cardId : ") + uid(kUnknownCards - 1), 600000))
            return state.SkipWithError(qPrintable(QStringLiteral("taps lost: ") + device.zub->describe().right(3000)));
        const qint64 tapsMs = clock.elapsed();
        // Done once every look-up sent has its answer or its time-out.
        const auto count = [&](const QString &pattern) {
            return device.zub->errorLines().filter(QRegularExpression(pattern)).size();
        };
        const QString sent = QStringLiteral("POST request : .*/customers/get_details");
        const QString answered = QStringLiteral("response for : .*/customers/get_details");
        while (count(answered) < count(sent) && clock.elapsed() < 600000)
            spinUntil([] { return false; }, 500);
        state.counters["taps_s"] = double(tapsMs) / 1000.0;
        state.counters["requests"] = count(sent);
        state.counters["dropped"] = count(QStringLiteral("Dropping prefetch : "));
        state.counters["timeouts"] = count(QStringLiteral("Request timed-out"));
        state.counters["rss_idle_MB"] = megabytes(idleBytes);
        state.counters["rss_peak_MB"] = megabytes(device.rssBytes(QStringLiteral("VmHWM")));
        state.counters["rss_after_MB"] = megabytes(device.settledRssBytes());
        state.counters["peak_growth_MB"] = megabytes(device.rssBytes(QStringLiteral("VmHWM")) - idleBytes);
    }
}
BENCHMARK(BM_UnknownCardTaps)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

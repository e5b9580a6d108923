#include "core/base64.h"
#include "core/tdes.h"
#include "framework/mqttclient.h"
#include "framework/settings.h"
#include "qr/masterkey/qrmasterkey.h"
#include "qr/qrcrypto_v1.h"
#include "qr/qrmanager.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

// One scan from the scanner's message to ticketScanned (JSON, topic dispatch, Base64,
// Triple-DES, padding, binary conversion, log lines) against a bare TDES::decryptECB of the
// same ciphertext. Argument: the binary ticket's size, 33 (v4) or 54 (v2.1).
// Goal: the whole scan at most 3x the bare decryption with info lines filtered out (log level 1);
// with them on (level 2) it is measured too, into a sink that drops them, so no I/O is counted.

namespace {

const QByteArray ScanTopic = "zeto/barcodeman/barcode";

// A binary ticket enciphered under the built-in key, as the scanner publishes it.
struct Scan
{
    unsigned char key[24];
    std::vector<unsigned char> cipher;
    QByteArray message;

    explicit Scan(int size)
    {
        std::string ticket(std::size_t(size), 'a');
        ticket.back() = char(0xc0); // binary: a byte above 127
        ticket.append(8 - ticket.size() % 8, char(8 - ticket.size() % 8));
        std::memcpy(key, QrMasterKey::bytes(), 16);
        std::memcpy(key + 16, "A1b2C3d4", 8);
        TDES::encryptECB(key, ticket, cipher);
        std::string payload("A1b2");
        payload.append(cipher.begin(), cipher.end());
        payload += "C3d4";
        const QString text = QString::fromStdString(Base64::encode(payload));
        message = QJsonDocument(QJsonObject{{QStringLiteral("data"), text}}).toJson(QJsonDocument::Compact);
    }
};

void discard(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

static void BM_BareDecryptECB(benchmark::State &state)
{
    const Scan scan(int(state.range(0)));
    for (auto _ : state) {
        std::string plain;
        TDES::decryptECB(scan.key, scan.cipher, plain);
        benchmark::DoNotOptimize(plain);
    }
}
BENCHMARK(BM_BareDecryptECB)->Arg(33)->Arg(54);

// The decryptor alone: Base64, key, Triple-DES, padding and conversion.
static void BM_DecryptAndConvert(benchmark::State &state)
{
    const Scan scan(int(state.range(0)));
    const QString text = QJsonDocument::fromJson(scan.message).object().value(QStringLiteral("data")).toString();
    QrCrypto_v1 crypto;
    for (auto _ : state) {
        QVector<unsigned char> bytes = crypto.decrypt(text);
        benchmark::DoNotOptimize(bytes.size() == 33 ? crypto.v4BinaryToAsciiQr(bytes) : crypto.v21BinaryToAsciiQr(bytes));
    }
}
BENCHMARK(BM_DecryptAndConvert)->Arg(33)->Arg(54);

// The client as the MQTT connection hands it a message.
static void scanToTicket(benchmark::State &state, bool infoOn)
{
    QLoggingCategory::setFilterRules(infoOn ? QStringLiteral("*.debug=false") : QStringLiteral("*.info=false\n*.debug=false"));
    const Scan scan(int(state.range(0)));
    manager::MqttClient client; // never connected: the message goes straight to received()
    QRManager manager(&client);
    int64_t tickets = 0;
    QObject::connect(&manager, &QRManager::ticketScanned, [&tickets](const QString &ticket) {
        tickets += ticket.isEmpty() ? 0 : 1;
    });
    for (auto _ : state)
        emit client.received(scan.message, ScanTopic);
    if (tickets != int64_t(state.iterations()))
        state.SkipWithError("a scan gave no ticket");
}

static void BM_ScanToTicket(benchmark::State &state)
{
    scanToTicket(state, false);
}
BENCHMARK(BM_ScanToTicket)->Arg(33)->Arg(54);

static void BM_ScanToTicketInfoLogged(benchmark::State &state)
{
    scanToTicket(state, true);
}
BENCHMARK(BM_ScanToTicketInfoLogged)->Arg(33)->Arg(54);

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(discard);
    // An existing default file keeps the settings owner off the command line.
    const QString defaultFile = QCoreApplication::applicationDirPath() + QLatin1Char('/')
                                + QCoreApplication::applicationName() + QStringLiteral(".conf");
    const bool createdDefault = !QFile::exists(defaultFile);
    if (createdDefault)
        QFile(defaultFile).open(QIODevice::WriteOnly);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("zub.conf"));
    QFile(file).open(QIODevice::WriteOnly);
    manager::Settings::instance()->setDefaultLocation(QFileInfo(file));

    benchmark::RunSpecifiedBenchmarks();
    if (createdDefault)
        QFile::remove(defaultFile);
    return 0;
}

#include "qr/qrcrypto_v1.h"

#include <QString>
#include <QVector>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

// Scanned text straight into the decryptor: Base64 decoding, deciphering and padding, and
// every binary layout over the deciphered bytes whatever their length. Nothing may throw,
// crash or read outside a buffer.

namespace {
void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool silenced = (qInstallMessageHandler(quiet), true);
    Q_UNUSED(silenced)
    if (size > 65536)
        return 0;

    QrCrypto_v1 crypto;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    crypto.decode(text);
    QVector<unsigned char> bytes = crypto.decrypt(text);
    if (bytes.isEmpty())
        bytes = QVector<unsigned char>(data, data + size);
    crypto.v2BinaryToAsciiQr(bytes);
    crypto.v21BinaryToAsciiQr(bytes);
    crypto.v4BinaryToAsciiQr(bytes);
    return 0;
}

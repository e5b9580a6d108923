#include "qr/qrcrypto.h"

#include "core/base64.h"
#include "framework/logtag.h"

#include <stdexcept>

namespace {
const manager::LogTag Log(QStringLiteral("[qr] "));
}

QrCrypto::~QrCrypto() = default;

std::string QrCrypto::decode(const QString &qrData) const
{
    // The codec throws on a stray character; a hostile scan must not end the process. The
    // scanner client reports the empty result.
    try {
        return Base64::decode(qrData.toUtf8().toStdString());
    } catch (const std::exception &) {
        return std::string();
    }
}

#include "qr/qrcryptofactory.h"

#include "qr/qrcrypto_v1.h"

QrCryptoFactory::~QrCryptoFactory() = default;

std::unique_ptr<QrCrypto> QrCryptoFactory::create(const QString &name) const
{
    if (name == QrCrypto_v1::MyTemplate)
        return std::make_unique<QrCrypto_v1>();
    return nullptr;
}

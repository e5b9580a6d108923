#pragma once

#include <QString>

#include <memory>

class QrCrypto;

// Makes the decryptor of a name: "crypto_v1" (case-sensitive) gives a QrCrypto_v1,
// anything else none. Stateless.
class QrCryptoFactory
{
public:
    QrCryptoFactory() = default;
    virtual ~QrCryptoFactory();

    std::unique_ptr<QrCrypto> create(const QString &name) const;
};

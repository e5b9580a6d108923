#pragma once

#include <QSslCertificate>
#include <QSslKey>

// A throw-away certificate and key for a TLS test server on the loopback address, made by
// openssl at test set-up: valid for a day from now, for "localhost" and 127.0.0.1.
// Signed by itself, so a client that checks certificates refuses it.
class SelfSignedCertificate
{
public:
    static SelfSignedCertificate create(const QString &commonName = QStringLiteral("localhost"));

    bool isNull() const { return mCertificate.isNull() || mKey.isNull(); }
    QSslCertificate certificate() const { return mCertificate; }
    QSslKey key() const { return mKey; }

private:
    QSslCertificate mCertificate;
    QSslKey mKey;
};

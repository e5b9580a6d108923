#pragma once

#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>

// A throw-away certificate and key for a TLS test server on the loopback address, made by
// openssl at test set-up: valid for a day from now, for "localhost" and 127.0.0.1.
// Signed by itself, so a client that checks certificates refuses it.
class SelfSignedCertificate
{
public:
    static SelfSignedCertificate create(const QString &commonName = QStringLiteral("localhost"))
    {
        // Key and certificate both on standard output, in PEM.
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "-", "-out", "-", "-days", "1", "-subj",
                       "/CN=" + commonName, "-addext", "subjectAltName=DNS:" + commonName + ",IP:127.0.0.1"});
        SelfSignedCertificate result;
        if (openssl.waitForFinished(30000) && openssl.exitCode() == 0) {
            const QByteArray pem = openssl.readAllStandardOutput();
            result.mCertificate = QSslCertificate(pem.mid(pem.indexOf("-----BEGIN CERTIFICATE")), QSsl::Pem);
            result.mKey = QSslKey(pem, QSsl::Rsa, QSsl::Pem, QSsl::PrivateKey);
        }
        return result;
    }

    bool isNull() const { return mCertificate.isNull() || mKey.isNull(); }
    QSslCertificate certificate() const { return mCertificate; }
    QSslKey key() const { return mKey; }

private:
    QSslCertificate mCertificate;
    QSslKey mKey;
};

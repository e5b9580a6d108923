#include "support/selfsignedcertificate.h"

#include <QProcess>

SelfSignedCertificate SelfSignedCertificate::create(const QString &commonName)
{
    // Key and certificate both on standard output, in PEM.
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "-", "-out", "-", "-days", "1",
                   "-subj", "/CN=" + commonName, "-addext", "subjectAltName=DNS:" + commonName + ",IP:127.0.0.1"});
    SelfSignedCertificate result;
    if (openssl.waitForFinished(30000) && openssl.exitCode() == 0) {
        const QByteArray pem = openssl.readAllStandardOutput();
        result.mCertificate = QSslCertificate(pem.mid(pem.indexOf("-----BEGIN CERTIFICATE")), QSsl::Pem);
        result.mKey = QSslKey(pem, QSsl::Rsa, QSsl::Pem, QSsl::PrivateKey);
    }
    return result;
}

#include "support/selfsignedcertificate.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace {

template <typename T, void (*Free)(T *)>
struct Deleter
{
    void operator()(T *p) const { Free(p); }
};
using PKey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using Ext = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION, X509_EXTENSION_free>>;

QByteArray drain(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, int(size));
}

bool addExtension(X509 *cert, int nid, const char *value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    const Ext ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    return ext && X509_add_ext(cert, ext.get(), -1) == 1;
}

} // namespace

SelfSignedCertificate SelfSignedCertificate::create(const QString &commonName)
{
    SelfSignedCertificate result;
    const PKey key(EVP_RSA_gen(2048));
    const Cert cert(X509_new());
    if (!key || !cert)
        return result;

    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME *name = X509_get_subject_name(cert.get());
    const QByteArray cn = commonName.toUtf8();
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char *>(cn.constData()),
                               -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    const QByteArray altNames = "DNS:" + cn + ",IP:127.0.0.1";
    if (!addExtension(cert.get(), NID_subject_alt_name, altNames.constData())
        || X509_sign(cert.get(), key.get(), EVP_sha256()) == 0)
        return result;

    const Bio certPem(BIO_new(BIO_s_mem()));
    const Bio keyPem(BIO_new(BIO_s_mem()));
    if (!certPem || !keyPem || PEM_write_bio_X509(certPem.get(), cert.get()) != 1
        || PEM_write_bio_PrivateKey(keyPem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return result;

    result.mCertificate = QSslCertificate(drain(certPem.get()), QSsl::Pem);
    result.mKey = QSslKey(drain(keyPem.get()), QSsl::Rsa, QSsl::Pem, QSsl::PrivateKey);
    return result;
}

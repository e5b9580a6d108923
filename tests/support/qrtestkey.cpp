#include "support/qrtestkey.h"

#include "core/base64.h"
#include "core/tdes.h"
#include "qr/masterkey/qrmasterkey.h"

#include <vector>

namespace {
const unsigned char TestKey[QrMasterKey::Size] = {'z', 'u', 'b', '-', 't', 'e', 's', 't',
                                                  '-', 'q', 'r', '-', 'k', 'e', 'y', '!'};
}

// Replaces the build's key: an executable that links this object never pulls the key library's.
const unsigned char *QrMasterKey::bytes()
{
    return TestKey;
}

bool QrMasterKey::isSet()
{
    return true;
}

QByteArray QrTestKey::key()
{
    return QByteArray(reinterpret_cast<const char *>(TestKey), QrMasterKey::Size);
}

QString QrTestKey::encipher(const QByteArray &plain, const QByteArray &pieces)
{
    const QByteArray key = QrTestKey::key() + pieces.left(8);
    std::vector<unsigned char> cipher;
    TDES::encryptECB(reinterpret_cast<const unsigned char *>(key.constData()), plain.toStdString(), cipher);
    std::string payload = pieces.left(4).toStdString();
    payload.append(cipher.begin(), cipher.end());
    payload += pieces.mid(4, 4).toStdString();
    return QString::fromStdString(Base64::encode(payload));
}

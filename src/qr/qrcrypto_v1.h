#pragma once

#include "qr/qrcrypto.h"

// The decryptor of payloads enciphered under the built-in master key: Base64 text of
// key piece A (4 bytes), Triple-DES ECB ciphertext, key piece B (4 bytes). The ticket key is
// the master key followed by the two pieces. Also turns the v2, v2.1 and v4 binary layouts
// into the "|"-separated texts of the urban (v2, v2.1) and dynamic (v4) ticket formats.
class QrCrypto_v1 : public QrCrypto
{
public:
    static const QString MyTemplate;

    QVector<unsigned char> decrypt(const QString &qrData) override;
    QString v2BinaryToAsciiQr(QVector<unsigned char> &data) override;
    QString v21BinaryToAsciiQr(QVector<unsigned char> &data) override;
    QString v4BinaryToAsciiQr(QVector<unsigned char> &data) override;

    // Drops the padding: the last byte k (k >= 1) repeated k times. A length that is not a
    // whole number of blocks gives empty; a last byte that is no valid padding keeps all.
    static std::string unpad(std::string data);
    // Little-endian, unsigned; bytes outside the vector and past the fourth read as absent.
    static unsigned int readInteger(const QVector<unsigned char> &data, int offset, int len);
    // The printable ASCII bytes of the range (0x20 to 0x7E); bytes outside the vector are absent.
    static QString readString(const QVector<unsigned char> &data, int offset, int len);
};

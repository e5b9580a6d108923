#pragma once

#include <QString>
#include <QVector>

#include <string>

// A decryptor of scanned QR payloads: the scanned text to the ticket's bytes, and the
// binary ticket layouts to ticket text. Holds no state, so any thread may use one.
class QrCrypto
{
public:
    virtual ~QrCrypto();

    // The ticket's bytes; empty when the text is no enciphered payload.
    virtual QVector<unsigned char> decrypt(const QString &qrData) = 0;
    // Each takes the bytes of one binary ticket of its layout (48, 54 and 33 bytes) unchanged.
    virtual QString v2BinaryToAsciiQr(QVector<unsigned char> &data) = 0;
    virtual QString v21BinaryToAsciiQr(QVector<unsigned char> &data) = 0;
    virtual QString v4BinaryToAsciiQr(QVector<unsigned char> &data) = 0;

    // The Base64 bytes of the text; empty, silently, when it is empty or holds a character
    // outside the alphabet. Never throws.
    std::string decode(const QString &qrData) const;
};

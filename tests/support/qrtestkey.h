#pragma once

#include <QString>

// A known QR master key for tests, and the payloads a ticket issuer would print under it.
// Linking the object library zub_testqrkey puts this key in place of the build's one.
class QrTestKey
{
public:
    static QByteArray key(); // 16 bytes

    // The ticket padded to whole 8-byte blocks, each padding byte holding the padding length.
    static QByteArray pad(const QByteArray &ticket) { return ticket + QByteArray(8 - ticket.size() % 8, char(8 - ticket.size() % 8)); }
    // Base64 text of piece A (pieces bytes 0-3), the Triple-DES ECB ciphertext of `plain`
    // under the test key and the pieces, and piece B (pieces bytes 4-7).
    static QString encipher(const QByteArray &plain, const QByteArray &pieces = QByteArrayLiteral("A1b2C3d4"));
};

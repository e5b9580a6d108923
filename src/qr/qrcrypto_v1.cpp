#include "qr/qrcrypto_v1.h"

#include "core/tdes.h"
#include "framework/logtag.h"
#include "qr/masterkey/qrmasterkey.h"

#include <cstring>
#include <vector>

const QString QrCrypto_v1::MyTemplate = QStringLiteral("crypto_v1");

namespace {

const manager::LogTag Log(QStringLiteral("[qr] "));

constexpr int PieceSize = 4;

// One field of a binary layout, in the order of the ticket text.
struct Field
{
    enum Kind { Integer, Chars, TicketType, Zero };
    int offset;
    int width;
    Kind kind;
};

// Urban ticket, 19 fields: axis, user, device, reservation code, from and to stop group,
// issue time, issued ticket, route execution, seat, open ticket, type, parcel, fare product,
// passenger type, expiry ("0"), validity start, life span, carrier.
const Field V2Layout[] = {
    {0, 2, Field::Integer},   {2, 2, Field::Integer},  {4, 2, Field::Integer},  {6, 10, Field::Chars},
    {16, 2, Field::Integer},  {18, 2, Field::Integer}, {20, 4, Field::Integer}, {24, 2, Field::Integer},
    {26, 4, Field::Integer},  {30, 1, Field::Integer}, {31, 1, Field::Integer}, {32, 1, Field::TicketType},
    {33, 2, Field::Integer},  {35, 2, Field::Integer}, {37, 1, Field::Integer}, {0, 0, Field::Zero},
    {38, 4, Field::Integer},  {42, 4, Field::Integer}, {46, 2, Field::Integer},
};

// v2 with the issued ticket, parcel and fare product widened to 4 bytes.
const Field V21Layout[] = {
    {0, 2, Field::Integer},   {2, 2, Field::Integer},  {4, 2, Field::Integer},  {6, 10, Field::Chars},
    {16, 2, Field::Integer},  {18, 2, Field::Integer}, {20, 4, Field::Integer}, {24, 4, Field::Integer},
    {28, 4, Field::Integer},  {32, 1, Field::Integer}, {33, 1, Field::Integer}, {34, 1, Field::TicketType},
    {35, 4, Field::Integer},  {39, 4, Field::Integer}, {43, 1, Field::Integer}, {0, 0, Field::Zero},
    {44, 4, Field::Integer},  {48, 4, Field::Integer}, {52, 2, Field::Integer},
};

// Dynamic ticket, 12 fields: type, user, device, issue time, issued ticket, fare product,
// passenger type, validity start, life span, carrier, tick interval, tick count.
const Field V4Layout[] = {
    {0, 1, Field::TicketType}, {1, 4, Field::Integer},  {5, 2, Field::Integer},  {7, 4, Field::Integer},
    {11, 4, Field::Integer},   {15, 4, Field::Integer}, {19, 1, Field::Integer}, {20, 4, Field::Integer},
    {24, 4, Field::Integer},   {28, 2, Field::Integer}, {30, 1, Field::Integer}, {31, 2, Field::Integer},
};

// Type texts by code; a code past the end gives empty text.
const char *const UrbanTypes[] = {"PASSENGER", "PARCEL"};
const char *const DynamicTypes[] = {"PASSENGER", "PASSENGER/OPEN/RETURN", "PARCEL", "DYNAMIC"};

template <std::size_t NFields, std::size_t NTypes>
QString toText(const QVector<unsigned char> &data, const Field (&layout)[NFields],
               const char *const (&types)[NTypes])
{
    QString text;
    text.reserve(160);
    for (const Field &field : layout) {
        if (&field != layout)
            text += QLatin1Char('|');
        switch (field.kind) {
        case Field::Integer:
            text += QString::number(QrCrypto_v1::readInteger(data, field.offset, field.width));
            break;
        case Field::Chars:
            text += QrCrypto_v1::readString(data, field.offset, field.width);
            break;
        case Field::TicketType: {
            const unsigned int code = QrCrypto_v1::readInteger(data, field.offset, field.width);
            if (code < NTypes)
                text += QLatin1String(types[code]);
            break;
        }
        case Field::Zero:
            text += QLatin1Char('0');
            break;
        }
    }
    return text;
}

// The index of byte `i` of the range at `offset`, or -1 when it lies outside the vector.
int indexIn(const QVector<unsigned char> &data, int offset, int i)
{
    const qint64 index = qint64(offset) + i;
    return index >= 0 && index < data.size() ? int(index) : -1;
}

} // namespace

QVector<unsigned char> QrCrypto_v1::decrypt(const QString &qrData)
{
    const std::string payload = decode(qrData);
    if (payload.empty())
        return {};
    if (payload.size() <= 2 * PieceSize) {
        Log.warning(QStringLiteral("Corrupted payload"));
        return {};
    }

    // Ticket key: master key, then piece A (the payload's head) and piece B (its tail).
    unsigned char key[QrMasterKey::Size + 2 * PieceSize];
    std::memcpy(key, QrMasterKey::bytes(), QrMasterKey::Size);
    std::memcpy(key + QrMasterKey::Size, payload.data(), PieceSize);
    std::memcpy(key + QrMasterKey::Size + PieceSize, payload.data() + payload.size() - PieceSize, PieceSize);

    const std::vector<unsigned char> cipher(payload.begin() + PieceSize, payload.end() - PieceSize);
    std::string plain;
    TDES::decryptECB(key, cipher, plain);
    std::memset(key, 0, sizeof key);

    plain = unpad(std::move(plain));
    if (plain.empty()) {
        Log.warning(QStringLiteral("Corrupted payload"));
        return {};
    }
    return QVector<unsigned char>(plain.begin(), plain.end());
}

QString QrCrypto_v1::v2BinaryToAsciiQr(QVector<unsigned char> &data)
{
    Log.info(QStringLiteral("Converting v2 Binary Qr."));
    return toText(data, V2Layout, UrbanTypes);
}

QString QrCrypto_v1::v21BinaryToAsciiQr(QVector<unsigned char> &data)
{
    Log.info(QStringLiteral("Converting v2.1 Binary Qr."));
    return toText(data, V21Layout, UrbanTypes);
}

QString QrCrypto_v1::v4BinaryToAsciiQr(QVector<unsigned char> &data)
{
    Log.info(QStringLiteral("Converting v4 Binary Qr."));
    return toText(data, V4Layout, DynamicTypes);
}

std::string QrCrypto_v1::unpad(std::string data)
{
    const std::size_t length = data.size();
    if (length == 0)
        return data;
    if (length % 8 != 0)
        return std::string();
    // Not limited to 8: the padding may span blocks.
    const std::size_t k = static_cast<unsigned char>(data.back());
    if (k == 0 || k > length)
        return data;
    for (std::size_t i = length - k; i < length; ++i) {
        if (static_cast<unsigned char>(data[i]) != k)
            return data;
    }
    data.resize(length - k);
    return data;
}

unsigned int QrCrypto_v1::readInteger(const QVector<unsigned char> &data, int offset, int len)
{
    unsigned int value = 0;
    // A fifth byte and beyond would shift out of 32 bits.
    for (int i = 0; i < qMin(len, 4); ++i) {
        const int index = indexIn(data, offset, i);
        if (index >= 0)
            value |= static_cast<unsigned int>(data.at(index)) << (8 * i);
    }
    return value;
}

QString QrCrypto_v1::readString(const QVector<unsigned char> &data, int offset, int len)
{
    QString text;
    const qint64 begin = qMax<qint64>(offset, 0);
    const qint64 end = qMin<qint64>(qint64(offset) + qMax(len, 0), data.size());
    for (qint64 index = begin; index < end; ++index) {
        const unsigned char byte = data.at(int(index));
        if (byte >= 0x20 && byte <= 0x7e)
            text += QLatin1Char(char(byte));
    }
    return text;
}

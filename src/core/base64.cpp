#include "core/base64.h"

#include <cctype>
#include <cstdint>
#include <stdexcept>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned char kIllegal = 64;

// Largest input whose encoding still fits a 32-bit size.
constexpr std::size_t kMaxEncodable = 3221225469u;

struct ReverseTable
{
    unsigned char value[128];
    ReverseTable()
    {
        for (auto &v : value)
            v = kIllegal;
        for (unsigned char i = 0; i < 64; ++i)
            value[static_cast<unsigned char>(kAlphabet[i])] = i;
    }
};

const ReverseTable kReverse;

template<typename Bytes>
std::string encodeBytes(const Bytes &data, const char *tooLarge)
{
    if (data.size() > kMaxEncodable)
        throw std::length_error(tooLarge);

    std::string out((data.size() + 2) / 3 * 4, '=');
    std::uint32_t acc = 0;
    int bits = 0;
    std::size_t pos = 0;
    for (const auto byte : data) {
        acc = (acc << 8) | static_cast<unsigned char>(byte);
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out[pos++] = kAlphabet[(acc >> bits) & 63];
        }
    }
    if (bits > 0)
        out[pos] = kAlphabet[(acc << (6 - bits)) & 63];
    return out;
}

template<typename Bytes>
Bytes decodeText(const std::string &text)
{
    Bytes out;
    out.reserve(text.size() * 3 / 4);
    std::uint32_t acc = 0;
    int bits = 0;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '=' || std::isspace(c))
            continue;
        // Bytes at or above 0x80 are outside the table: never index it with them.
        if (c >= 128 || kReverse.value[c] > 63)
            throw std::invalid_argument("Data contains characters not legal in a base64 encoded string.");
        acc = (acc << 6) | kReverse.value[c];
        if (bits + 6 >= 8) {
            bits -= 2;
            out.push_back(static_cast<typename Bytes::value_type>((acc >> bits) & 255));
        } else {
            bits += 6;
        }
    }
    return out;
}

} // namespace

std::string Base64::encode(const std::string &data)
{
    return encodeBytes(data, "String too large to be converted to base64.");
}

std::string Base64::encodeV(const std::vector<unsigned char> &data)
{
    return encodeBytes(data, "Data too large to be converted to base64.");
}

std::string Base64::decode(const std::string &text)
{
    return decodeText<std::string>(text);
}

std::vector<unsigned char> Base64::decodeV(const std::string &text)
{
    return decodeText<std::vector<unsigned char>>(text);
}

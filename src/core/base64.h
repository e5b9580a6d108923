#pragma once

#include <string>
#include <vector>

// Base64 codec with the standard alphabet and "=" padding. Decoding is lenient:
// "=" and white space are skipped wherever they stand and trailing bits are dropped.
// Throws std::invalid_argument on an illegal character, std::length_error on oversized input.
class Base64
{
public:
    static std::string encode(const std::string &data);
    static std::string encodeV(const std::vector<unsigned char> &data);
    static std::string decode(const std::string &text);
    static std::vector<unsigned char> decodeV(const std::string &text);
};

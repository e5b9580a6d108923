#pragma once

#include <string>
#include <vector>

// Triple-DES (EDE) in ECB and CBC mode over OpenSSL's DES primitives. Data are cut into
// 8-byte blocks, the last one zero-filled; no other padding. Parity bits are ignored.
// Vector-key ECB takes 8 (single DES), 16 (K1 K2 K1) or 24 bytes; CBC takes 16 or 24.
class TDES
{
public:
    // Raw-key forms: always 24 key bytes, output appended, no checks.
    static void encryptECB(const unsigned char *key, const std::string &data, std::vector<unsigned char> &out);
    static void decryptECB(const unsigned char *key, const std::vector<unsigned char> &data, std::string &out);

    static bool encryptECB(const std::vector<unsigned char> &key, const std::vector<unsigned char> &data,
                           std::vector<unsigned char> &out);
    static bool encryptECB(const std::vector<unsigned char> &key, const std::string &data,
                           std::vector<unsigned char> &out);
    static bool decryptECB(const std::vector<unsigned char> &key, const std::vector<unsigned char> &data,
                           std::vector<unsigned char> &out);
    // Trailing zero bytes are removed from the result, plaintext zeros included.
    static bool decryptECB(const std::vector<unsigned char> &key, const std::vector<unsigned char> &data,
                           std::string &out);

    // A given iv is brought to 8 bytes first and afterwards holds the final chaining value.
    static bool encryptCBC(const std::vector<unsigned char> &key, const std::vector<unsigned char> &data,
                           std::vector<unsigned char> &out, std::vector<unsigned char> *iv = nullptr);
    static bool encryptCBC(const std::vector<unsigned char> &key, const std::string &data,
                           std::vector<unsigned char> &out, std::vector<unsigned char> *iv = nullptr);
    static bool decryptCBC(const std::vector<unsigned char> &key, const std::vector<unsigned char> &data,
                           std::vector<unsigned char> &out, std::vector<unsigned char> *iv = nullptr);
    static bool decryptCBC(const std::vector<unsigned char> &key, const std::vector<unsigned char> &data,
                           std::string &out, std::vector<unsigned char> *iv = nullptr);
};

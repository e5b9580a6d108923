#include "core/tdes.h"

#include <openssl/des.h>

#include <algorithm>
#include <cstring>

namespace {

struct KeySchedule
{
    DES_key_schedule k1, k2, k3;
    bool single = false;

    // The caller has checked the length: 8, 16 or 24 bytes.
    KeySchedule(const unsigned char *key, std::size_t length)
    {
        DES_cblock block;
        std::memcpy(block, key, 8);
        DES_set_key_unchecked(&block, &k1);
        if (length == 8) {
            single = true;
            return;
        }
        std::memcpy(block, key + 8, 8);
        DES_set_key_unchecked(&block, &k2);
        if (length == 16) {
            k3 = k1;
        } else {
            std::memcpy(block, key + 16, 8);
            DES_set_key_unchecked(&block, &k3);
        }
    }
};

// Calls fn(block, used) for each 8-byte block of data, zero-filled at the end.
template<typename Bytes, typename Fn>
void forEachBlock(const Bytes &data, Fn fn)
{
    for (std::size_t pos = 0; pos < data.size(); pos += 8) {
        DES_cblock block = {};
        const std::size_t used = std::min<std::size_t>(8, data.size() - pos);
        std::memcpy(block, data.data() + pos, used);
        fn(block, used);
    }
}

bool ecb(const std::vector<unsigned char> &key, const std::vector<unsigned char> &data,
         std::vector<unsigned char> &out, int direction, bool keepShortBlock)
{
    out.clear();
    if (key.size() != 8 && key.size() != 16 && key.size() != 24)
        return false;
    KeySchedule ks(key.data(), key.size());
    out.reserve(data.size() + 8);
    forEachBlock(data, [&](DES_cblock &in, std::size_t used) {
        DES_cblock result;
        if (ks.single)
            DES_ecb_encrypt(&in, &result, &ks.k1, direction);
        else
            DES_ecb3_encrypt(&in, &result, &ks.k1, &ks.k2, &ks.k3, direction);
        out.insert(out.end(), result, result + (keepShortBlock ? used : 8));
    });
    return true;
}

bool cbc(const std::vector<unsigned char> &key, const std::vector<unsigned char> &data,
         std::vector<unsigned char> &out, std::vector<unsigned char> *iv, int direction, bool keepShortBlock)
{
    DES_cblock chain = {};
    if (iv) {
        iv->resize(8, 0);
        std::memcpy(chain, iv->data(), 8);
    }
    out.clear();
    if (key.size() != 16 && key.size() != 24)
        return false;
    KeySchedule ks(key.data(), key.size());
    out.reserve(data.size() + 8);
    forEachBlock(data, [&](DES_cblock &in, std::size_t used) {
        DES_cblock result;
        DES_ede3_cbc_encrypt(in, result, 8, &ks.k1, &ks.k2, &ks.k3, &chain, direction);
        out.insert(out.end(), result, result + (keepShortBlock ? used : 8));
    });
    if (iv)
        std::memcpy(iv->data(), chain, 8);
    return true;
}

void assignWithoutTrailingZeros(const std::vector<unsigned char> &bytes, std::string &out)
{
    auto end = bytes.end();
    while (end != bytes.begin() && *(end - 1) == 0)
        --end;
    out.assign(bytes.begin(), end);
}

} // namespace

void TDES::encryptECB(const unsigned char *key, const std::string &data, std::vector<unsigned char> &out)
{
    KeySchedule ks(key, 24);
    forEachBlock(data, [&](DES_cblock &in, std::size_t) {
        DES_cblock result;
        DES_ecb3_encrypt(&in, &result, &ks.k1, &ks.k2, &ks.k3, DES_ENCRYPT);
        out.insert(out.end(), result, result + 8);
    });
}

void TDES::decryptECB(const unsigned char *key, const std::vector<unsigned char> &data, std::string &out)
{
    KeySchedule ks(key, 24);
    forEachBlock(data, [&](DES_cblock &in, std::size_t) {
        DES_cblock result;
        DES_ecb3_encrypt(&in, &result, &ks.k1, &ks.k2, &ks.k3, DES_DECRYPT);
        out.append(reinterpret_cast<const char *>(result), 8);
    });
}

bool TDES::encryptECB(const std::vector<unsigned char> &key, const std::vector<unsigned char> &data,
                      std::vector<unsigned char> &out)
{
    return ecb(key, data, out, DES_ENCRYPT, false);
}

bool TDES::encryptECB(const std::vector<unsigned char> &key, const std::string &data,
                      std::vector<unsigned char> &out)
{
    return encryptECB(key, std::vector<unsigned char>(data.begin(), data.end()), out);
}

bool TDES::decryptECB(const std::vector<unsigned char> &key, const std::vector<unsigned char> &data,
                      std::vector<unsigned char> &out)
{
    return ecb(key, data, out, DES_DECRYPT, true);
}

bool TDES::decryptECB(const std::vector<unsigned char> &key, const std::vector<unsigned char> &data,
                      std::string &out)
{
    std::vector<unsigned char> plain;
    if (!decryptECB(key, data, plain))
        return false;
    assignWithoutTrailingZeros(plain, out);
    return true;
}

bool TDES::encryptCBC(const std::vector<unsigned char> &key, const std::vector<unsigned char> &data,
                      std::vector<unsigned char> &out, std::vector<unsigned char> *iv)
{
    return cbc(key, data, out, iv, DES_ENCRYPT, false);
}

bool TDES::encryptCBC(const std::vector<unsigned char> &key, const std::string &data,
                      std::vector<unsigned char> &out, std::vector<unsigned char> *iv)
{
    return encryptCBC(key, std::vector<unsigned char>(data.begin(), data.end()), out, iv);
}

bool TDES::decryptCBC(const std::vector<unsigned char> &key, const std::vector<unsigned char> &data,
                      std::vector<unsigned char> &out, std::vector<unsigned char> *iv)
{
    return cbc(key, data, out, iv, DES_DECRYPT, true);
}

bool TDES::decryptCBC(const std::vector<unsigned char> &key, const std::vector<unsigned char> &data,
                      std::string &out, std::vector<unsigned char> *iv)
{
    std::vector<unsigned char> plain;
    if (!decryptCBC(key, data, plain, iv))
        return false;
    assignWithoutTrailingZeros(plain, out);
    return true;
}

#include "core/base64.h"
#include "core/tdes.h"

#include <benchmark/benchmark.h>

// A scanned QR payload is a few hundred bytes: decode and decipher run once per scan.
static void BM_Base64Decode(benchmark::State &state)
{
    const std::string text = Base64::encode(std::string(std::size_t(state.range(0)), 'q'));
    for (auto _ : state)
        benchmark::DoNotOptimize(Base64::decode(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_Base64Decode)->Arg(256)->Arg(4096);

static void BM_TdesDecryptEcbRawKey(benchmark::State &state)
{
    const unsigned char key[24] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
    std::vector<unsigned char> cipher;
    TDES::encryptECB(key, std::string(std::size_t(state.range(0)), 'q'), cipher);
    for (auto _ : state) {
        std::string out;
        TDES::decryptECB(key, cipher, out);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(cipher.size()));
}
BENCHMARK(BM_TdesDecryptEcbRawKey)->Arg(256)->Arg(4096);

BENCHMARK_MAIN();

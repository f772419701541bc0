// The ciphers' own speed, on one core, without files or archives:
//
//   parcelon_cipher_speed [MiB]      (default 64)
//
// per byte: traditional encryption and decryption (one entry, and two side
// by side with DecryptTwo), and WinZip AES-128 and AES-256 both ways with
// the authentication code, on the processor's AES and SHA instructions and
// on mbed TLS's portable code; per entry: WinZip AES's key derivation. Data
// go through in the reader's 256 KiB blocks. Each figure is the processor
// time (std::clock: the process's CPU time on Linux, so other processes on
// a busy machine do not count) of the best of five rounds.
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "crypto/CpuFeatures.h"
#include "crypto/TraditionalCipher.h"
#include "crypto/WinZipAes.h"

namespace {

using namespace parcelon;

constexpr std::size_t kBlock = 256 * 1024;
constexpr int kRounds = 5;

double BestSeconds(const std::function<void()>& run) {
    double best = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        const std::clock_t start = std::clock();
        run();
        best = std::min(best, static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    }
    return best;
}

void Row(const std::string& what, double seconds, double bytes) {
    std::printf("  %-44s %6.2f ns/byte  %7.0f MB/s\n", what.c_str(), seconds * 1e9 / bytes, bytes / seconds / 1e6);
}

void InBlocks(std::vector<unsigned char>& data, const std::function<void(unsigned char*, std::size_t)>& apply) {
    for (std::size_t at = 0; at < data.size(); at += kBlock) apply(data.data() + at, std::min(kBlock, data.size() - at));
}

void Traditional(std::vector<unsigned char>& data, std::vector<unsigned char>& other) {
    const double size = static_cast<double>(data.size());
    Row("traditional, encrypt", BestSeconds([&] {
            TraditionalCipher keys("bench-Pa55word");
            InBlocks(data, [&](unsigned char* p, std::size_t n) { keys.Encrypt(p, n); });
        }),
        size);
    Row("traditional, decrypt", BestSeconds([&] {
            TraditionalCipher keys("bench-Pa55word");
            InBlocks(data, [&](unsigned char* p, std::size_t n) { keys.Decrypt(p, n); });
        }),
        size);
    Row("traditional, decrypt two entries (DecryptTwo)", BestSeconds([&] {
            TraditionalCipher first("bench-Pa55word");
            TraditionalCipher second("another");
            for (std::size_t at = 0; at < data.size(); at += kBlock) {
                const std::size_t n = std::min(kBlock, data.size() - at);
                DecryptTwo(first, data.data() + at, n, second, other.data() + at, n);
            }
        }),
        2 * size);
}

const char* Name(AesStrength strength) { return strength == AesStrength::k128 ? "AES-128" : "AES-256"; }

void WinZip(std::vector<unsigned char>& data, CryptoEngines engines, const std::string& label) {
    const double size = static_cast<double>(data.size());
    const unsigned char salt[kAesMaxSaltSize] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    for (const AesStrength strength : {AesStrength::k128, AesStrength::k256}) {
        unsigned char code[kAesAuthCodeSize];
        Row(std::string(Name(strength)) + ", encrypt + code, " + label, BestSeconds([&] {
                WinZipAes aes("bench-Pa55word", strength, salt, engines);
                InBlocks(data, [&](unsigned char* p, std::size_t n) { aes.Encrypt(p, n); });
                aes.AuthCode(code);
            }),
            size);
        Row(std::string(Name(strength)) + ", decrypt + code, " + label, BestSeconds([&] {
                WinZipAes aes("bench-Pa55word", strength, salt, engines);
                InBlocks(data, [&](unsigned char* p, std::size_t n) { aes.Decrypt(p, n); });
                aes.AuthCode(code);
            }),
            size);
    }
}

const char* Name(Pbkdf2Engine engine) {
    switch (engine) {
    case Pbkdf2Engine::kFastest: return "fastest";
    case Pbkdf2Engine::kPortable: return "mbed TLS";
    case Pbkdf2Engine::kExtensions: return "SHA extensions";
    case Pbkdf2Engine::kSse2: return "SSE2";
    case Pbkdf2Engine::kAvx2: return "AVX2";
    case Pbkdf2Engine::kAvx512: return "AVX-512";
    }
    return "?";
}

// The keys of 240 entries, derived one entry per call or several.
void KeyDerivation(AesStrength strength, Pbkdf2Engine engine, std::size_t together) {
    constexpr std::size_t kEntries = 240;
    std::vector<unsigned char> salts(kEntries * kAesMaxSaltSize);
    for (std::size_t i = 0; i < salts.size(); ++i) salts[i] = static_cast<unsigned char>(i * 37 + 11);
    std::vector<AesKeyRequest> requests;
    for (std::size_t i = 0; i < kEntries; ++i) requests.push_back({strength, salts.data() + i * kAesMaxSaltSize});
    std::vector<WinZipAesKeys> keys(kEntries);
    const double seconds = BestSeconds([&] {
        for (std::size_t i = 0; i < kEntries; i += together)
            DeriveWinZipAesKeys("bench-Pa55word", requests.data() + i, keys.data() + i, together, engine);
    });
    std::printf("  %-44s %6.1f us/entry\n",
                (std::string(Name(strength)) + ", " + Name(engine) + ", " + std::to_string(together) +
                 (together == 1 ? " entry a call" : " entries a call"))
                    .c_str(),
                seconds * 1e6 / kEntries);
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    std::vector<unsigned char> data(mib << 20);
    std::vector<unsigned char> other(data.size());
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<unsigned char>(i * 131 + (i >> 9));
        other[i] = static_cast<unsigned char>(i * 71 + (i >> 7));
    }
    const CpuFeatures& features = ProcessorFeatures();
    std::printf("Ciphers on one core, %zu MiB in 256 KiB blocks, best of %d (AES instructions: %s, SHA extensions: %s)\n\n",
                mib, kRounds, features.aes ? "yes" : "no", features.sha ? "yes" : "no");
    std::printf(" Per byte\n");
    Traditional(data, other);
    const CryptoEngines fastest;
    const CryptoEngines portable{AesEngine::kPortable, Sha1Engine::kPortable, Pbkdf2Engine::kPortable};
    WinZip(data, fastest, features.aes || features.sha ? "instructions" : "mbed TLS");
    if (features.aes || features.sha) WinZip(data, portable, "mbed TLS");
    std::printf("\n Per entry: WinZip AES's key derivation\n");
    for (const AesStrength strength : {AesStrength::k128, AesStrength::k256}) {
        for (const Pbkdf2Engine engine : {Pbkdf2Engine::kPortable, Pbkdf2Engine::kExtensions, Pbkdf2Engine::kSse2,
                                          Pbkdf2Engine::kAvx2, Pbkdf2Engine::kAvx512, Pbkdf2Engine::kFastest}) {
            if (!Pbkdf2EngineAvailable(engine)) continue;
            for (const std::size_t together : {1u, 4u, 8u}) KeyDerivation(strength, engine, together);
        }
    }
    return 0;
}

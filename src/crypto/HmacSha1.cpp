#include "crypto/HmacSha1.h"

#include <mbedtls/platform_util.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "crypto/CpuFeatures.h"
#include "crypto/Sha1Lanes.h"

namespace parcelon {

namespace {

Sha1Stream PaddedKeyState(const unsigned char* block, unsigned char pad, Sha1Engine engine) {
    unsigned char padded[kSha1BlockSize];
    for (std::size_t i = 0; i < kSha1BlockSize; ++i) padded[i] = static_cast<unsigned char>(block[i] ^ pad);
    Sha1Stream stream(engine);
    stream.Update(padded, sizeof padded);
    mbedtls_platform_zeroize(padded, sizeof padded);
    return stream;
}

const unsigned char* BlockOf(const unsigned char* key, std::size_t size, Sha1Engine engine,
                             unsigned char (&block)[kSha1BlockSize]) {
    std::memset(block, 0, sizeof block);
    if (size <= kSha1BlockSize) {
        if (size > 0) std::memcpy(block, key, size);
        return block;
    }
    Sha1Stream hash(engine);
    hash.Update(key, size);
    unsigned char digest[kSha1Size];
    hash.Finish(digest);
    std::memcpy(block, digest, sizeof digest);
    return block;
}

// One output block of one salt: U1 ^ U2 ^ ... as it is summed.
struct Chain {
    std::size_t output;
    std::size_t offset; // of its bytes in the output
    unsigned char sum[kSha1Size];
};

// U1 = HMAC(password, salt || the block's number, big-endian).
void FirstU(const HmacKey& key, const Pbkdf2Output& output, std::uint32_t number, unsigned char (&u)[kSha1Size]) {
    const unsigned char counter[4] = {static_cast<unsigned char>(number >> 24), static_cast<unsigned char>(number >> 16),
                                      static_cast<unsigned char>(number >> 8), static_cast<unsigned char>(number)};
    Sha1Stream inner = key.inner();
    inner.Update(output.salt, output.salt_size);
    inner.Update(counter, sizeof counter);
    unsigned char hash[kSha1Size];
    inner.Finish(hash);
    Sha1Stream outer = key.outer();
    outer.Update(hash, sizeof hash);
    outer.Finish(u);
}

// One chain's remaining iterations with mbed TLS: each HMAC starts from
// copies of the padded states rather than hashing the key again.
void PortableIterations(const HmacKey& key, unsigned char (&sum)[kSha1Size], std::uint32_t more) {
    unsigned char u[kSha1Size];
    std::memcpy(u, sum, sizeof u);
    Sha1Stream inner = key.inner();
    Sha1Stream outer = key.outer();
    for (std::uint32_t i = 0; i < more; ++i) {
        unsigned char hash[kSha1Size];
        inner = key.inner();
        inner.Update(u, sizeof u);
        inner.Finish(hash);
        outer = key.outer();
        outer.Update(hash, sizeof hash);
        outer.Finish(u);
        for (std::size_t j = 0; j < kSha1Size; ++j) sum[j] ^= u[j];
    }
}

constexpr std::size_t kWidestGroup = 16;

bool Available(Pbkdf2Engine engine) {
    const CpuFeatures& cpu = ProcessorFeatures();
    switch (engine) {
    case Pbkdf2Engine::kExtensions: return cpu.sha;
    case Pbkdf2Engine::kSse2: return cpu.sse2;
    case Pbkdf2Engine::kAvx2: return cpu.avx2;
    case Pbkdf2Engine::kAvx512: return cpu.avx512;
    default: return true;
    }
}

// The engine for the next chains, and how many of them it takes at once.
struct Group {
    Pbkdf2Engine engine;
    std::size_t chains;
};

std::size_t WidthOf(Pbkdf2Engine engine) {
    switch (engine) {
    case Pbkdf2Engine::kExtensions: return sha1ni::kMaxChains;
    case Pbkdf2Engine::kSse2: return 4;
    case Pbkdf2Engine::kAvx2: return 8;
    case Pbkdf2Engine::kAvx512: return 16;
    default: return 1;
    }
}

// Measured on an AVX-512 processor with the SHA extensions (bench/
// cipher_speed.cpp), per SHA-1 block: 16 lanes of AVX-512 10 ns, 8 of AVX2
// 20 ns, 2 chains on the SHA extensions 19 ns, 4 lanes of SSE2 33 ns, mbed
// TLS 98 ns. A wide vector half empty still beats a narrower full one, not
// a quarter empty.
Group NextGroup(Pbkdf2Engine requested, std::size_t remaining) {
    Pbkdf2Engine engine = requested;
    if (!Available(requested) || requested == Pbkdf2Engine::kFastest) {
        const CpuFeatures& cpu = ProcessorFeatures();
        if (cpu.avx512 && remaining > 8) engine = Pbkdf2Engine::kAvx512;
        else if (cpu.avx2 && remaining > 4) engine = Pbkdf2Engine::kAvx2;
        else if (cpu.sha) engine = Pbkdf2Engine::kExtensions;
        else if (cpu.sse2) engine = Pbkdf2Engine::kSse2;
        else engine = Pbkdf2Engine::kPortable;
    }
    return {engine, std::min(remaining, WidthOf(engine))};
}

#if PARCELON_X86
Sha1Words WordsOf(const unsigned char (&digest)[kSha1Size]) {
    Sha1Words words;
    for (int i = 0; i < 5; ++i)
        words.h[i] = static_cast<std::uint32_t>(digest[4 * i]) << 24 | static_cast<std::uint32_t>(digest[4 * i + 1]) << 16 |
                     static_cast<std::uint32_t>(digest[4 * i + 2]) << 8 | digest[4 * i + 3];
    return words;
}

void BytesOf(const Sha1Words& words, unsigned char (&digest)[kSha1Size]) {
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<unsigned char>(words.h[i] >> (24 - 8 * j));
}

// The key's padded states as chaining words, for the engines that iterate
// on words: hashed with the SHA extensions where there are any, else with
// the SSE2 code.
void PaddedWords(const HmacKey& key, Sha1Words& inner, Sha1Words& outer) {
    constexpr Sha1Words kInitial = {{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u}};
    unsigned char padded[2][kSha1BlockSize];
    for (std::size_t i = 0; i < kSha1BlockSize; ++i) {
        padded[0][i] = static_cast<unsigned char>(key.block()[i] ^ 0x36);
        padded[1][i] = static_cast<unsigned char>(key.block()[i] ^ 0x5C);
    }
    inner = kInitial;
    outer = kInitial;
    if (ProcessorFeatures().sha) {
        sha1ni::Compress(inner, padded[0], 1);
        sha1ni::Compress(outer, padded[1], 1);
    } else {
        sha1lanes::CompressSse2(inner, padded[0]);
        sha1lanes::CompressSse2(outer, padded[1]);
    }
    mbedtls_platform_zeroize(padded, sizeof padded);
}

void WordIterations(Pbkdf2Engine engine, const Sha1Words& inner, const Sha1Words& outer, Chain* chains,
                    std::size_t count, std::uint32_t more) {
    Sha1Words words[kWidestGroup];
    for (std::size_t c = 0; c < count; ++c) words[c] = WordsOf(chains[c].sum);
    switch (engine) {
    case Pbkdf2Engine::kExtensions: sha1ni::Pbkdf2Chains(inner, outer, words, count, more); break;
    case Pbkdf2Engine::kSse2: sha1lanes::Pbkdf2Sse2(inner, outer, words, count, more); break;
    case Pbkdf2Engine::kAvx2: sha1lanes::Pbkdf2Avx2(inner, outer, words, count, more); break;
    case Pbkdf2Engine::kAvx512: sha1lanes::Pbkdf2Avx512(inner, outer, words, count, more); break;
    default: break;
    }
    for (std::size_t c = 0; c < count; ++c) BytesOf(words[c], chains[c].sum);
    mbedtls_platform_zeroize(words, sizeof words);
}
#endif

} // namespace

HmacKey::HmacKey(const unsigned char* key, std::size_t size, Sha1Engine engine)
    : block_(),
      inner_(PaddedKeyState(BlockOf(key, size, engine, block_), 0x36, engine)),
      outer_(PaddedKeyState(block_, 0x5C, engine)) {}

HmacKey::~HmacKey() { mbedtls_platform_zeroize(block_, sizeof block_); }

HmacSha1::HmacSha1(const unsigned char* key, std::size_t size, Sha1Engine engine)
    : key_(key, size, engine), running_(key_.inner()) {}

void HmacSha1::Finish(unsigned char (&code)[kSha1Size]) {
    unsigned char hash[kSha1Size];
    running_.Finish(hash);
    Sha1Stream outer = key_.outer();
    outer.Update(hash, sizeof hash);
    outer.Finish(code);
}

bool Pbkdf2EngineAvailable(Pbkdf2Engine engine) { return Available(engine); }

void Pbkdf2HmacSha1(const unsigned char* password, std::size_t password_size, const Pbkdf2Output* outputs,
                    std::size_t count, std::uint32_t iterations, Pbkdf2Engine engine) {
    const Sha1Engine stream_engine = engine == Pbkdf2Engine::kPortable ? Sha1Engine::kPortable : FastestSha1Engine();
    const HmacKey key(password, password_size, stream_engine);
    const std::uint32_t more = iterations > 0 ? iterations - 1 : 0;

    std::vector<Chain> chains;
    for (std::size_t o = 0; o < count; ++o) {
        for (std::size_t offset = 0; offset < outputs[o].size; offset += kSha1Size) {
            Chain chain{o, offset, {}};
            FirstU(key, outputs[o], static_cast<std::uint32_t>(offset / kSha1Size + 1), chain.sum);
            chains.push_back(chain);
        }
    }
#if PARCELON_X86
    Sha1Words inner{};
    Sha1Words outer{};
    bool have_words = false;
#endif
    for (std::size_t done = 0; done < chains.size();) {
        const Group group = NextGroup(engine, chains.size() - done);
#if PARCELON_X86
        if (group.engine != Pbkdf2Engine::kPortable) {
            if (!have_words) PaddedWords(key, inner, outer);
            have_words = true;
            WordIterations(group.engine, inner, outer, chains.data() + done, group.chains, more);
        } else
#endif
        {
            for (std::size_t c = 0; c < group.chains; ++c) PortableIterations(key, chains[done + c].sum, more);
        }
        done += group.chains;
    }
#if PARCELON_X86
    mbedtls_platform_zeroize(&inner, sizeof inner);
    mbedtls_platform_zeroize(&outer, sizeof outer);
#endif
    for (Chain& chain : chains) {
        const Pbkdf2Output& output = outputs[chain.output];
        std::memcpy(output.out + chain.offset, chain.sum, std::min(kSha1Size, output.size - chain.offset));
        mbedtls_platform_zeroize(chain.sum, sizeof chain.sum);
    }
}

void Pbkdf2HmacSha1(const unsigned char* password, std::size_t password_size, const unsigned char* salt,
                    std::size_t salt_size, std::uint32_t iterations, unsigned char* out, std::size_t size,
                    Pbkdf2Engine engine) {
    const Pbkdf2Output output{salt, salt_size, out, size};
    Pbkdf2HmacSha1(password, password_size, &output, 1, iterations, engine);
}

} // namespace parcelon

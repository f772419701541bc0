#include "crypto/Sha1Lanes.h"
#include "crypto/HardwareCode.h"

#if PARCELON_X86

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <utility>

// Everything below runs only on processors with AVX2, so the whole file is
// compiled for them; nothing in it is shared with other files.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#elif defined(__GNUC__)
// (No vector crosses this file's boundary: GCC's note that passing them
// changes the calling convention concerns no caller. It comes when the
// target is popped, so it stays off to the file's end.)
#pragma GCC diagnostic ignored "-Wpsabi"
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace parcelon {
namespace sha1lanes {

namespace {

struct Ops {
    using Vec = __m256i;
    static constexpr std::size_t kLanes = kAvx2Lanes;
    static Vec Set1(std::uint32_t word) { return _mm256_set1_epi32(static_cast<int>(word)); }
    static Vec Load(const std::uint32_t* words) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words)); }
    static void Store(std::uint32_t* words, Vec x) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(words), x); }
    static Vec Add(Vec x, Vec y) { return _mm256_add_epi32(x, y); }
    static Vec Xor(Vec x, Vec y) { return _mm256_xor_si256(x, y); }
    static Vec Xor3(Vec x, Vec y, Vec z) { return _mm256_xor_si256(_mm256_xor_si256(x, y), z); }
    template <int kBits>
    static Vec Rotl(Vec x) {
        return _mm256_or_si256(_mm256_slli_epi32(x, kBits), _mm256_srli_epi32(x, 32 - kBits));
    }
    static Vec Choose(Vec b, Vec c, Vec d) { return _mm256_xor_si256(d, _mm256_and_si256(b, _mm256_xor_si256(c, d))); }
    static Vec Parity(Vec b, Vec c, Vec d) { return Xor3(b, c, d); }
    static Vec Majority(Vec b, Vec c, Vec d) {
        return _mm256_or_si256(_mm256_and_si256(b, c), _mm256_and_si256(d, _mm256_or_si256(b, c)));
    }
};

#include "crypto/Sha1LanesLoop.h"

} // namespace

PARCELON_ALIGN_STACK void Pbkdf2Avx2(const Sha1Words& inner, const Sha1Words& outer, Sha1Words* blocks,
                                     std::size_t chains, std::uint32_t more) {
    Pbkdf2Lanes(inner, outer, blocks, chains, more);
}

} // namespace sha1lanes
} // namespace parcelon

#if defined(__clang__)
#pragma clang attribute pop
#elif defined(__GNUC__)
#pragma GCC pop_options
#endif

#endif // PARCELON_X86

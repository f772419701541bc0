#include "crypto/Sha1Lanes.h"
#include "crypto/HardwareCode.h"

#if PARCELON_X86

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <utility>

// Everything below runs only on processors with SSE2, so the whole file is
// compiled for them; nothing in it is shared with other files.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse2"))), apply_to = function)
#elif defined(__GNUC__)
#pragma GCC push_options
#pragma GCC target("sse2")
#endif

namespace parcelon {
namespace sha1lanes {

namespace {

struct Ops {
    using Vec = __m128i;
    static constexpr std::size_t kLanes = kSse2Lanes;
    static Vec Set1(std::uint32_t word) { return _mm_set1_epi32(static_cast<int>(word)); }
    static Vec Load(const std::uint32_t* words) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(words)); }
    static void Store(std::uint32_t* words, Vec x) { _mm_storeu_si128(reinterpret_cast<__m128i*>(words), x); }
    static Vec Add(Vec x, Vec y) { return _mm_add_epi32(x, y); }
    static Vec Xor(Vec x, Vec y) { return _mm_xor_si128(x, y); }
    static Vec Xor3(Vec x, Vec y, Vec z) { return _mm_xor_si128(_mm_xor_si128(x, y), z); }
    template <int kBits>
    static Vec Rotl(Vec x) {
        return _mm_or_si128(_mm_slli_epi32(x, kBits), _mm_srli_epi32(x, 32 - kBits));
    }
    static Vec Choose(Vec b, Vec c, Vec d) { return _mm_xor_si128(d, _mm_and_si128(b, _mm_xor_si128(c, d))); }
    static Vec Parity(Vec b, Vec c, Vec d) { return Xor3(b, c, d); }
    static Vec Majority(Vec b, Vec c, Vec d) {
        return _mm_or_si128(_mm_and_si128(b, c), _mm_and_si128(d, _mm_or_si128(b, c)));
    }
};

#include "crypto/Sha1LanesLoop.h"

} // namespace

PARCELON_ALIGN_STACK void CompressSse2(Sha1Words& state, const unsigned char* block) { CompressBroadcast(state, block); }

PARCELON_ALIGN_STACK void Pbkdf2Sse2(const Sha1Words& inner, const Sha1Words& outer, Sha1Words* blocks,
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

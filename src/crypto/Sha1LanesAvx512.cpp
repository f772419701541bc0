#include "crypto/Sha1Lanes.h"
#include "crypto/HardwareCode.h"

#if PARCELON_X86

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <utility>

// Everything below runs only on processors with AVX-512, so the whole file is
// compiled for them; nothing in it is shared with other files.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,avx512f"))), apply_to = function)
#elif defined(__GNUC__)
// (No vector crosses this file's boundary: GCC's note that passing them
// changes the calling convention concerns no caller. It comes when the
// target is popped, so it stays off to the file's end.)
#pragma GCC diagnostic ignored "-Wpsabi"
#pragma GCC push_options
#pragma GCC target("avx2,avx512f")
#endif

namespace parcelon {
namespace sha1lanes {

namespace {

// AVX-512 rotates in one instruction and computes any function of three
// inputs in one (its truth table the immediate).
struct Ops {
    using Vec = __m512i;
    static constexpr std::size_t kLanes = kAvx512Lanes;
    static Vec Set1(std::uint32_t word) { return _mm512_set1_epi32(static_cast<int>(word)); }
    static Vec Load(const std::uint32_t* words) { return _mm512_loadu_si512(words); }
    static void Store(std::uint32_t* words, Vec x) { _mm512_storeu_si512(words, x); }
    static Vec Add(Vec x, Vec y) { return _mm512_add_epi32(x, y); }
    static Vec Xor(Vec x, Vec y) { return _mm512_xor_si512(x, y); }
    static Vec Xor3(Vec x, Vec y, Vec z) { return _mm512_ternarylogic_epi32(x, y, z, 0x96); }
    // (The masked form, all lanes on: GCC 12 warns of the undefined source
    // its unmasked form passes.)
    template <int kBits>
    static Vec Rotl(Vec x) {
        return _mm512_mask_rol_epi32(x, static_cast<__mmask16>(0xFFFF), x, kBits);
    }
    static Vec Choose(Vec b, Vec c, Vec d) { return _mm512_ternarylogic_epi32(b, c, d, 0xCA); }
    static Vec Parity(Vec b, Vec c, Vec d) { return _mm512_ternarylogic_epi32(b, c, d, 0x96); }
    static Vec Majority(Vec b, Vec c, Vec d) { return _mm512_ternarylogic_epi32(b, c, d, 0xE8); }
};

#include "crypto/Sha1LanesLoop.h"

} // namespace

PARCELON_ALIGN_STACK void Pbkdf2Avx512(const Sha1Words& inner, const Sha1Words& outer, Sha1Words* blocks,
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

#include "crypto/Sha1Ni.h"
#include "crypto/HardwareCode.h"

#if PARCELON_X86

#include <immintrin.h>

#include <utility>

// Everything below runs only on processors with the SHA extensions, so the
// whole file is compiled for them. Nothing here may be an inline function
// or template another file could share: those would carry the extensions'
// instructions to machines without them.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sha,ssse3,sse4.1"))), apply_to = function)
#elif defined(__GNUC__)
#pragma GCC push_options
#pragma GCC target("sha,ssse3,sse4.1")
#endif

namespace parcelon {
namespace sha1ni {

namespace {

// The chaining words as the instructions hold them: a, b, c, d in one
// vector (a in the top lane), e in the top lane of another.
struct State {
    __m128i abcd;
    __m128i e;
};

PARCELON_FORCE_INLINE State Load(const Sha1Words& words) {
    return {_mm_set_epi32(static_cast<int>(words.h[0]), static_cast<int>(words.h[1]), static_cast<int>(words.h[2]),
                          static_cast<int>(words.h[3])),
            _mm_set_epi32(static_cast<int>(words.h[4]), 0, 0, 0)};
}

PARCELON_FORCE_INLINE void Store(const State& state, Sha1Words& words) {
    alignas(16) std::uint32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), state.abcd);
    words.h[0] = lanes[3];
    words.h[1] = lanes[2];
    words.h[2] = lanes[1];
    words.h[3] = lanes[0];
    words.h[4] = static_cast<std::uint32_t>(_mm_extract_epi32(state.e, 3));
}

// One group of four rounds of each of kChains blocks. message[c][g % 4]
// holds the message words of group g once the schedule has made them.
template <int kGroup, std::size_t kChains>
PARCELON_FORCE_INLINE void Group(State (&state)[kChains], __m128i (&before)[kChains], __m128i (&message)[kChains][4]) {
    for (std::size_t c = 0; c < kChains; ++c) {
        __m128i* w = message[c];
        if constexpr (kGroup >= 4) {
            w[kGroup % 4] = _mm_sha1msg2_epu32(
                _mm_xor_si128(_mm_sha1msg1_epu32(w[kGroup % 4], w[(kGroup + 1) % 4]), w[(kGroup + 2) % 4]),
                w[(kGroup + 3) % 4]);
        }
        __m128i e;
        if constexpr (kGroup == 0) {
            e = _mm_add_epi32(state[c].e, w[0]);
        } else {
            e = _mm_sha1nexte_epu32(before[c], w[kGroup % 4]);
        }
        before[c] = state[c].abcd;
        state[c].abcd = _mm_sha1rnds4_epu32(state[c].abcd, e, kGroup / 5);
    }
}

template <std::size_t kChains, int... kGroups>
PARCELON_FORCE_INLINE void Rounds(State (&state)[kChains], __m128i (&message)[kChains][4], std::integer_sequence<int, kGroups...>) {
    State start[kChains];
    __m128i before[kChains];
    for (std::size_t c = 0; c < kChains; ++c) start[c] = state[c];
    (Group<kGroups, kChains>(state, before, message), ...);
    for (std::size_t c = 0; c < kChains; ++c) {
        state[c].e = _mm_sha1nexte_epu32(before[c], start[c].e);
        state[c].abcd = _mm_add_epi32(state[c].abcd, start[c].abcd);
    }
}

// The block function over kChains independent blocks, interleaved so that
// one chain's rounds run while another's wait on theirs.
template <std::size_t kChains>
PARCELON_FORCE_INLINE void Block(State (&state)[kChains], __m128i (&message)[kChains][4]) {
    Rounds<kChains>(state, message, std::make_integer_sequence<int, 20>());
}

// PBKDF2's iterations for kChains chains. An iteration hashes the last
// U (20 bytes) after the key's inner state, then that hash after its outer
// state: each one padded block, whose words are put together in registers.
template <std::size_t kChains>
void Iterate(const Sha1Words& inner_words, const Sha1Words& outer_words, Sha1Words* blocks, std::uint32_t more) {
    const State inner = Load(inner_words);
    const State outer = Load(outer_words);
    // The padding of a 20-byte message after one 64-byte block: 0x80, then
    // the length, 84 * 8 bits, in the last word.
    const __m128i pad_tail = _mm_set_epi32(0, static_cast<int>(0x80000000u), 0, 0);
    const __m128i zero = _mm_setzero_si128();
    const __m128i length = _mm_set_epi32(0, 0, 0, 84 * 8);
    const __m128i top_lane = _mm_set_epi32(-1, 0, 0, 0);
    State u[kChains];
    State sum[kChains];
    for (std::size_t c = 0; c < kChains; ++c) u[c] = sum[c] = Load(blocks[c]);
    for (std::uint32_t i = 0; i < more; ++i) {
        State hash[kChains];
        __m128i message[kChains][4];
        for (std::size_t c = 0; c < kChains; ++c) {
            hash[c] = inner;
            message[c][0] = u[c].abcd;
            message[c][1] = _mm_or_si128(_mm_and_si128(u[c].e, top_lane), pad_tail);
            message[c][2] = zero;
            message[c][3] = length;
        }
        Block<kChains>(hash, message);
        for (std::size_t c = 0; c < kChains; ++c) {
            u[c] = outer;
            message[c][0] = hash[c].abcd;
            message[c][1] = _mm_or_si128(_mm_and_si128(hash[c].e, top_lane), pad_tail);
            message[c][2] = zero;
            message[c][3] = length;
        }
        Block<kChains>(u, message);
        for (std::size_t c = 0; c < kChains; ++c) {
            sum[c].abcd = _mm_xor_si128(sum[c].abcd, u[c].abcd);
            sum[c].e = _mm_xor_si128(sum[c].e, u[c].e);
        }
    }
    for (std::size_t c = 0; c < kChains; ++c) Store(sum[c], blocks[c]);
}

} // namespace

PARCELON_ALIGN_STACK void Compress(Sha1Words& words, const unsigned char* blocks, std::size_t count) {
    // The block's big-endian words, the first in the top lane.
    const __m128i reverse = _mm_set_epi64x(0x0001020304050607LL, 0x08090A0B0C0D0E0FLL);
    State state[1] = {Load(words)};
    for (std::size_t n = 0; n < count; ++n, blocks += 64) {
        __m128i message[1][4];
        for (int i = 0; i < 4; ++i)
            message[0][i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)), reverse);
        Block<1>(state, message);
    }
    Store(state[0], words);
}

PARCELON_ALIGN_STACK void Pbkdf2Chains(const Sha1Words& inner, const Sha1Words& outer, Sha1Words* blocks,
                                       std::size_t chains, std::uint32_t more) {
    switch (chains) {
    case 1: Iterate<1>(inner, outer, blocks, more); break;
    case 2: Iterate<2>(inner, outer, blocks, more); break;
    default: break;
    }
}

} // namespace sha1ni
} // namespace parcelon

#if defined(__clang__)
#pragma clang attribute pop
#elif defined(__GNUC__)
#pragma GCC pop_options
#endif

#endif // PARCELON_X86

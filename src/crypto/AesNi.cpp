#include "crypto/AesNi.h"
#include "crypto/HardwareCode.h"

#if PARCELON_X86

#include <immintrin.h>

#include <cstring>

// Everything below runs only on processors with the AES instructions, so
// the whole file is compiled for them; nothing here is shared with other
// files (no inline functions or templates of its own outside it).
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("aes,ssse3,sse4.1"))), apply_to = function)
#elif defined(__GNUC__)
#pragma GCC push_options
#pragma GCC target("aes,ssse3,sse4.1")
#endif

namespace parcelon {
namespace aesni {

namespace {

// Blocks in flight at once: the AES instruction takes several cycles but
// starts a new one every cycle, so eight independent blocks keep it busy.
constexpr std::size_t kLanes = 8;

std::uint32_t SubWord(std::uint32_t word) {
    // The key-schedule assist applies the S-box to its second and fourth
    // words; the first word of its result is SubWord of the second.
    const __m128i assisted = _mm_aeskeygenassist_si128(_mm_set_epi32(0, 0, static_cast<int>(word), 0), 0);
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(assisted));
}

std::uint32_t RotateWord(std::uint32_t word) { return word >> 8 | word << 24; }

template <std::size_t kCount>
PARCELON_FORCE_INLINE void EncryptLanes(const __m128i* round_keys, int rounds, __m128i (&lanes)[kCount]) {
    for (std::size_t i = 0; i < kCount; ++i) lanes[i] = _mm_xor_si128(lanes[i], round_keys[0]);
    for (int r = 1; r < rounds; ++r) {
        const __m128i key = round_keys[r];
        for (std::size_t i = 0; i < kCount; ++i) lanes[i] = _mm_aesenc_si128(lanes[i], key);
    }
    for (std::size_t i = 0; i < kCount; ++i) lanes[i] = _mm_aesenclast_si128(lanes[i], round_keys[rounds]);
}

__m128i CounterBlock(const std::uint64_t (&counter)[2]) {
    return _mm_set_epi64x(static_cast<long long>(counter[1]), static_cast<long long>(counter[0]));
}

void Increment(std::uint64_t (&counter)[2]) {
    if (++counter[0] == 0) ++counter[1];
}

} // namespace

PARCELON_ALIGN_STACK void ExpandKey(const unsigned char* key, std::size_t size, AesRoundKeys& keys) {
    // The schedule of FIPS-197 on little-endian words: RotWord is a right
    // rotation by one byte, the round constant goes into the low byte.
    const std::size_t key_words = size / 4;
    keys.rounds = static_cast<int>(key_words) + 6;
    const std::size_t total = 4 * static_cast<std::size_t>(keys.rounds + 1);
    std::uint32_t words[60];
    for (std::size_t i = 0; i < key_words; ++i) std::memcpy(&words[i], key + 4 * i, 4);
    std::uint32_t round_constant = 1;
    for (std::size_t i = key_words; i < total; ++i) {
        std::uint32_t temp = words[i - 1];
        if (i % key_words == 0) {
            temp = RotateWord(SubWord(temp)) ^ round_constant;
            round_constant = (round_constant << 1) ^ ((round_constant & 0x80u) != 0 ? 0x11Bu : 0u);
        } else if (key_words > 6 && i % key_words == 4) {
            temp = SubWord(temp);
        }
        words[i] = words[i - key_words] ^ temp;
    }
    std::memcpy(keys.bytes, words, total * 4);
}

PARCELON_ALIGN_STACK void CtrXor(const AesRoundKeys& keys, std::uint64_t (&counter)[2], unsigned char* data,
                                 std::size_t blocks) {
    __m128i round_keys[15];
    for (int r = 0; r <= keys.rounds; ++r)
        round_keys[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys.bytes[r]));
    for (; blocks >= kLanes; blocks -= kLanes, data += kLanes * kAesBlockSize) {
        __m128i lanes[kLanes];
        if (counter[0] <= ~std::uint64_t{0} - kLanes) {
            const __m128i first = CounterBlock(counter);
            for (std::size_t i = 0; i < kLanes; ++i)
                lanes[i] = _mm_add_epi64(first, _mm_set_epi64x(0, static_cast<long long>(i)));
            counter[0] += kLanes;
        } else {
            // The low half is about to wrap: carry into the high half.
            for (std::size_t i = 0; i < kLanes; ++i) {
                lanes[i] = CounterBlock(counter);
                Increment(counter);
            }
        }
        EncryptLanes(round_keys, keys.rounds, lanes);
        for (std::size_t i = 0; i < kLanes; ++i) {
            __m128i* at = reinterpret_cast<__m128i*>(data + i * kAesBlockSize);
            _mm_storeu_si128(at, _mm_xor_si128(_mm_loadu_si128(at), lanes[i]));
        }
    }
    for (; blocks > 0; --blocks, data += kAesBlockSize) {
        __m128i lane[1] = {CounterBlock(counter)};
        Increment(counter);
        EncryptLanes(round_keys, keys.rounds, lane);
        __m128i* at = reinterpret_cast<__m128i*>(data);
        _mm_storeu_si128(at, _mm_xor_si128(_mm_loadu_si128(at), lane[0]));
    }
}

} // namespace aesni
} // namespace parcelon

#if defined(__clang__)
#pragma clang attribute pop
#elif defined(__GNUC__)
#pragma GCC pop_options
#endif

#endif // PARCELON_X86

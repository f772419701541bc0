// SHA-1's block function on the processor's SHA extensions (x86, 32- and
// 64-bit): the HMAC over entry data and, two chains at a time, the
// thousands of HMACs of the key derivation. Call only when
// ProcessorFeatures().sha is true; HmacSha1.cpp chooses.
#ifndef PARCELON_SHA1_NI_H
#define PARCELON_SHA1_NI_H

#include <cstddef>
#include <cstdint>

#include "crypto/CpuFeatures.h"

namespace parcelon {

// SHA-1's five chaining words, h0 to h4.
struct Sha1Words {
    std::uint32_t h[5];
};

#if PARCELON_X86
namespace sha1ni {

// Runs count 64-byte blocks through the block function.
void Compress(Sha1Words& state, const unsigned char* blocks, std::size_t count);

// The most chains Pbkdf2Chains takes at once: two keep the SHA unit busy
// (19 ns a block each where one alone takes 35); more no longer fit the
// vector registers and run slower (24 ns with four).
constexpr std::size_t kMaxChains = 2;

// PBKDF2-HMAC-SHA1's iterations after the first, for chains (1 or 2)
// output blocks side by side. inner and outer are the HMAC
// key's states after its padded block; blocks[i] holds U1 of chain i on
// entry and U1 ^ U2 ^ ... ^ U(1 + more) on return.
void Pbkdf2Chains(const Sha1Words& inner, const Sha1Words& outer, Sha1Words* blocks, std::size_t chains,
                  std::uint32_t more);

} // namespace sha1ni
#endif

} // namespace parcelon

#endif // PARCELON_SHA1_NI_H

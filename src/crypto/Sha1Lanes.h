// PBKDF2-HMAC-SHA1's iterations on many chains at once, one chain per lane
// of a vector: 4 lanes with SSE2, 8 with AVX2, 16 with AVX-512 (x86, 32-
// and 64-bit). Every chain of a batch derives keys from one password, so
// the lanes share the key's padded states and differ only in their U.
// Call each width only where ProcessorFeatures() has it; HmacSha1.cpp
// chooses.
#ifndef PARCELON_SHA1_LANES_H
#define PARCELON_SHA1_LANES_H

#include <cstddef>
#include <cstdint>

#include "crypto/Sha1Ni.h"

namespace parcelon {

#if PARCELON_X86
namespace sha1lanes {

constexpr std::size_t kSse2Lanes = 4;
constexpr std::size_t kAvx2Lanes = 8;
constexpr std::size_t kAvx512Lanes = 16;

// SHA-1's block function on one block, in the SSE2 code's first lane: how
// the vector engines get the HMAC key's padded states on processors without
// the SHA extensions (two blocks a derivation, so the idle lanes cost
// nothing that counts).
void CompressSse2(Sha1Words& state, const unsigned char* block);

// As sha1ni::Pbkdf2Chains: blocks[i] holds U1 of chain i on entry and
// U1 ^ ... ^ U(1 + more) on return; chains is at most the width's lanes.
void Pbkdf2Sse2(const Sha1Words& inner, const Sha1Words& outer, Sha1Words* blocks, std::size_t chains,
                std::uint32_t more);
void Pbkdf2Avx2(const Sha1Words& inner, const Sha1Words& outer, Sha1Words* blocks, std::size_t chains,
                std::uint32_t more);
void Pbkdf2Avx512(const Sha1Words& inner, const Sha1Words& outer, Sha1Words* blocks, std::size_t chains,
                  std::uint32_t more);

} // namespace sha1lanes
#endif

} // namespace parcelon

#endif // PARCELON_SHA1_LANES_H

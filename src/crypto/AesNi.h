// AES on the processor's AES instructions (x86, 32- and 64-bit), for WinZip
// AES's counter mode: the key schedule, and the keystream XORed over whole
// blocks eight at a time. Call only when ProcessorFeatures().aes is true;
// AesCtr.cpp chooses.
#ifndef PARCELON_AES_NI_H
#define PARCELON_AES_NI_H

#include <cstddef>
#include <cstdint>

#include "crypto/CpuFeatures.h"

namespace parcelon {

constexpr std::size_t kAesBlockSize = 16;

// The encryption round keys, as bytes, and how many rounds they serve.
struct AesRoundKeys {
    unsigned char bytes[15][kAesBlockSize];
    int rounds;
};

#if PARCELON_X86
namespace aesni {

// The round keys of a 16-, 24- or 32-byte key.
void ExpandKey(const unsigned char* key, std::size_t size, AesRoundKeys& keys);

// XORs the encryption of counter, counter + 1, ... over blocks whole blocks
// of data, the counter a 128-bit little-endian number (low and high
// halves), left one past the last block used.
void CtrXor(const AesRoundKeys& keys, std::uint64_t (&counter)[2], unsigned char* data, std::size_t blocks);

} // namespace aesni
#endif

} // namespace parcelon

#endif // PARCELON_AES_NI_H

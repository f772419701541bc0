// AES in WinZip's counter mode: the keystream is the encryption of a
// 128-bit little-endian counter (not the big-endian one of NIST's mode),
// XORed over the data, so one call both encrypts and decrypts. Runs on the
// processor's AES instructions (AesNi.cpp) or on mbed TLS's AES.
#ifndef PARCELON_AES_CTR_H
#define PARCELON_AES_CTR_H

#include <mbedtls/aes.h>

#include <cstddef>
#include <cstdint>

#include "crypto/AesNi.h"

namespace parcelon {

enum class AesEngine {
    kPortable,     // mbed TLS (which may use the AES instructions itself)
    kInstructions, // the AES instructions, where ProcessorFeatures().aes
                   // (else mbed TLS after all)
};

// The AES instructions where the processor has them, else mbed TLS.
AesEngine FastestAesEngine();

class AesCtr {
public:
    // key_size is 16, 24 or 32; first is the counter's first value, 16
    // bytes, little-endian (WinZip AES starts at 1).
    AesCtr(const unsigned char* key, std::size_t key_size, const unsigned char (&first)[kAesBlockSize], AesEngine engine);
    ~AesCtr();
    AesCtr(const AesCtr&) = delete;
    AesCtr& operator=(const AesCtr&) = delete;

    // XORs the next size bytes of keystream over data; the keystream goes
    // on from call to call, whatever the sizes.
    void Apply(unsigned char* data, std::size_t size);

private:
    void XorWholeBlocks(unsigned char* data, std::size_t blocks);

    AesEngine engine_;
    mbedtls_aes_context portable_;
    AesRoundKeys instructions_;
    std::uint64_t counter_[2];
    unsigned char rest_[kAesBlockSize]; // the last block's keystream...
    std::size_t rest_used_ = kAesBlockSize; // ...of which this much is spent
};

} // namespace parcelon

#endif // PARCELON_AES_CTR_H

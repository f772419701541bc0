#include "crypto/AesCtr.h"

#include <mbedtls/platform_util.h>

#include <cstring>

#include "crypto/CpuFeatures.h"

namespace parcelon {

namespace {

// mbed TLS builds its AES tables, and asks the processor what it offers,
// on its first use, with nothing to keep two threads from doing it at
// once. The first portable cipher of the process does it alone.
bool PortableAesReady() {
    static const bool ready = [] {
        mbedtls_aes_context context;
        mbedtls_aes_init(&context);
        const unsigned char key[16] = {};
        unsigned char block[16] = {};
        mbedtls_aes_setkey_enc(&context, key, 128);
        mbedtls_aes_crypt_ecb(&context, MBEDTLS_AES_ENCRYPT, block, block);
        mbedtls_aes_free(&context);
        return true;
    }();
    return ready;
}

void StoreCounter(const std::uint64_t (&counter)[2], unsigned char (&block)[kAesBlockSize]) {
    for (int i = 0; i < 8; ++i) {
        block[i] = static_cast<unsigned char>(counter[0] >> (8 * i));
        block[8 + i] = static_cast<unsigned char>(counter[1] >> (8 * i));
    }
}

void Increment(std::uint64_t (&counter)[2]) {
    if (++counter[0] == 0) ++counter[1];
}

} // namespace

AesEngine FastestAesEngine() {
    return ProcessorFeatures().aes ? AesEngine::kInstructions : AesEngine::kPortable;
}

AesCtr::AesCtr(const unsigned char* key, std::size_t key_size, const unsigned char (&first)[kAesBlockSize],
               AesEngine engine)
    : engine_(engine), instructions_(), counter_{0, 0}, rest_() {
    for (int i = 7; i >= 0; --i) {
        counter_[0] = counter_[0] << 8 | first[i];
        counter_[1] = counter_[1] << 8 | first[8 + i];
    }
    mbedtls_aes_init(&portable_);
#if PARCELON_X86
    if (engine_ == AesEngine::kInstructions && ProcessorFeatures().aes) {
        aesni::ExpandKey(key, key_size, instructions_);
        return;
    }
#endif
    engine_ = AesEngine::kPortable;
    PortableAesReady();
    mbedtls_aes_setkey_enc(&portable_, key, static_cast<unsigned>(key_size * 8));
}

AesCtr::~AesCtr() {
    mbedtls_aes_free(&portable_);
    mbedtls_platform_zeroize(&instructions_, sizeof instructions_);
    mbedtls_platform_zeroize(rest_, sizeof rest_);
}

void AesCtr::XorWholeBlocks(unsigned char* data, std::size_t blocks) {
#if PARCELON_X86
    if (engine_ == AesEngine::kInstructions) {
        aesni::CtrXor(instructions_, counter_, data, blocks);
        return;
    }
#endif
    for (; blocks > 0; --blocks, data += kAesBlockSize) {
        unsigned char stream[kAesBlockSize];
        StoreCounter(counter_, stream);
        Increment(counter_);
        mbedtls_aes_crypt_ecb(&portable_, MBEDTLS_AES_ENCRYPT, stream, stream);
        for (std::size_t i = 0; i < kAesBlockSize; ++i) data[i] ^= stream[i];
    }
}

void AesCtr::Apply(unsigned char* data, std::size_t size) {
    // What is left of the last block's keystream first, then whole blocks,
    // then a block of keystream of which the tail takes a part.
    while (size > 0 && rest_used_ < kAesBlockSize) {
        *data++ ^= rest_[rest_used_++];
        --size;
    }
    const std::size_t whole = size / kAesBlockSize;
    XorWholeBlocks(data, whole);
    data += whole * kAesBlockSize;
    size -= whole * kAesBlockSize;
    if (size == 0) return;
    std::memset(rest_, 0, sizeof rest_);
    XorWholeBlocks(rest_, 1);
    for (rest_used_ = 0; rest_used_ < size; ++rest_used_) data[rest_used_] ^= rest_[rest_used_];
}

} // namespace parcelon

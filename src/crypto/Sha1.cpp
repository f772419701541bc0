#include "crypto/Sha1.h"

#include <mbedtls/platform_util.h>

#include <cstring>

#include "crypto/CpuFeatures.h"

namespace parcelon {

namespace {

// mbed TLS 3 dropped the _ret suffix its 2.x names carry.
#if MBEDTLS_VERSION_MAJOR >= 3
inline void PortableStart(mbedtls_sha1_context* context) { mbedtls_sha1_starts(context); }
inline void PortableUpdate(mbedtls_sha1_context* context, const unsigned char* data, std::size_t size) {
    mbedtls_sha1_update(context, data, size);
}
inline void PortableFinish(mbedtls_sha1_context* context, unsigned char* digest) { mbedtls_sha1_finish(context, digest); }
#else
inline void PortableStart(mbedtls_sha1_context* context) { mbedtls_sha1_starts_ret(context); }
inline void PortableUpdate(mbedtls_sha1_context* context, const unsigned char* data, std::size_t size) {
    mbedtls_sha1_update_ret(context, data, size);
}
inline void PortableFinish(mbedtls_sha1_context* context, unsigned char* digest) {
    mbedtls_sha1_finish_ret(context, digest);
}
#endif

constexpr Sha1Words kInitialWords = {{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u}};

#if PARCELON_X86
void CompressBlocks(Sha1Words& words, const unsigned char* blocks, std::size_t count) {
    sha1ni::Compress(words, blocks, count);
}
#else
// Never called: FastestSha1Engine gives kPortable on these processors.
void CompressBlocks(Sha1Words&, const unsigned char*, std::size_t) {}
#endif

} // namespace

Sha1Engine FastestSha1Engine() {
    return ProcessorFeatures().sha ? Sha1Engine::kExtensions : Sha1Engine::kPortable;
}

Sha1Stream::Sha1Stream(Sha1Engine engine)
    : engine_(ProcessorFeatures().sha ? engine : Sha1Engine::kPortable), words_(kInitialWords) {
    mbedtls_sha1_init(&portable_);
    if (engine_ == Sha1Engine::kPortable) PortableStart(&portable_);
}

Sha1Stream::~Sha1Stream() {
    // A stream may hold an HMAC key's state: leave nothing of it behind.
    mbedtls_sha1_free(&portable_);
    mbedtls_platform_zeroize(&words_, sizeof words_);
    mbedtls_platform_zeroize(buffer_, sizeof buffer_);
}

Sha1Stream::Sha1Stream(const Sha1Stream& other)
    : engine_(other.engine_), words_(other.words_), buffered_(other.buffered_), total_(other.total_) {
    mbedtls_sha1_init(&portable_);
    mbedtls_sha1_clone(&portable_, &other.portable_);
    std::memcpy(buffer_, other.buffer_, buffered_);
}

Sha1Stream& Sha1Stream::operator=(const Sha1Stream& other) {
    if (this == &other) return *this;
    engine_ = other.engine_;
    mbedtls_sha1_clone(&portable_, &other.portable_);
    words_ = other.words_;
    buffered_ = other.buffered_;
    total_ = other.total_;
    std::memcpy(buffer_, other.buffer_, buffered_);
    return *this;
}

void Sha1Stream::Update(const unsigned char* data, std::size_t size) {
    if (engine_ == Sha1Engine::kPortable) {
        PortableUpdate(&portable_, data, size);
        return;
    }
    total_ += size;
    if (buffered_ > 0) {
        const std::size_t take = size < kSha1BlockSize - buffered_ ? size : kSha1BlockSize - buffered_;
        std::memcpy(buffer_ + buffered_, data, take);
        buffered_ += take;
        data += take;
        size -= take;
        if (buffered_ < kSha1BlockSize) return;
        CompressBlocks(words_, buffer_, 1);
        buffered_ = 0;
    }
    const std::size_t whole = size / kSha1BlockSize;
    if (whole > 0) CompressBlocks(words_, data, whole);
    std::memcpy(buffer_, data + whole * kSha1BlockSize, size - whole * kSha1BlockSize);
    buffered_ = size - whole * kSha1BlockSize;
}

void Sha1Stream::Finish(unsigned char (&digest)[kSha1Size]) {
    if (engine_ == Sha1Engine::kPortable) {
        PortableFinish(&portable_, digest);
        return;
    }
    // 0x80, zeros up to 8 bytes before a block's end, the length in bits.
    const std::uint64_t bits = total_ * 8;
    unsigned char tail[2 * kSha1BlockSize] = {};
    std::memcpy(tail, buffer_, buffered_);
    tail[buffered_] = 0x80;
    const std::size_t size = buffered_ + 9 <= kSha1BlockSize ? kSha1BlockSize : 2 * kSha1BlockSize;
    for (int i = 0; i < 8; ++i) tail[size - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
    CompressBlocks(words_, tail, size / kSha1BlockSize);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<unsigned char>(words_.h[i] >> (24 - 8 * j));
    buffered_ = 0;
}

} // namespace parcelon

// SHA-1 of a message handed over in pieces, on either of two engines: the
// processor's SHA extensions (Sha1Ni.cpp) or mbed TLS's portable code. The
// HMAC and the key derivation of WinZip AES build on it.
#ifndef PARCELON_SHA1_H
#define PARCELON_SHA1_H

#include <mbedtls/sha1.h>

#include <cstddef>
#include <cstdint>

#include "crypto/Sha1Ni.h"

namespace parcelon {

constexpr std::size_t kSha1Size = 20;
constexpr std::size_t kSha1BlockSize = 64;

enum class Sha1Engine {
    kPortable,   // mbed TLS, on any processor
    kExtensions, // the SHA extensions, where ProcessorFeatures().sha (else
                 // mbed TLS after all)
};

// The SHA extensions where the processor has them, else mbed TLS.
Sha1Engine FastestSha1Engine();

class Sha1Stream {
public:
    explicit Sha1Stream(Sha1Engine engine);
    ~Sha1Stream();
    Sha1Stream(const Sha1Stream& other);
    Sha1Stream& operator=(const Sha1Stream& other);

    void Update(const unsigned char* data, std::size_t size);
    // The digest; the stream is then spent (only assigning a new state to
    // it makes it useful again).
    void Finish(unsigned char (&digest)[kSha1Size]);

private:
    Sha1Engine engine_;
    mbedtls_sha1_context portable_;
    Sha1Words words_;
    unsigned char buffer_[kSha1BlockSize];
    std::size_t buffered_ = 0;
    std::uint64_t total_ = 0;
};

} // namespace parcelon

#endif // PARCELON_SHA1_H

// HMAC-SHA1, over a message in pieces, and PBKDF2-HMAC-SHA1, the key
// derivation of WinZip AES.
//
// The key derivation is nearly all of WinZip AES's cost on small entries:
// 1000 iterations of two SHA-1 blocks for each 20 bytes of output, so 8000
// blocks for an AES-256 entry. Its iterations start from the key's two
// padded states, hashed once, and run many output blocks ("chains") side
// by side: 2 on the SHA extensions, and, one chain per vector lane,
// 4 with SSE2, 8 with AVX2 and 16 with AVX-512. One call may derive the
// keys of several salts (several entries) under one password, which is
// what fills the wider vectors.
#ifndef PARCELON_HMAC_SHA1_H
#define PARCELON_HMAC_SHA1_H

#include <cstddef>
#include <cstdint>

#include "crypto/Sha1.h"

namespace parcelon {

// The states of SHA-1 after the key's inner and outer padded blocks.
class HmacKey {
public:
    HmacKey(const unsigned char* key, std::size_t size, Sha1Engine engine);
    ~HmacKey();
    HmacKey(const HmacKey&) = delete;
    HmacKey& operator=(const HmacKey&) = delete;

    const Sha1Stream& inner() const { return inner_; }
    const Sha1Stream& outer() const { return outer_; }
    // The key as one block: hashed first when longer, then zero-padded.
    const unsigned char* block() const { return block_; }

private:
    unsigned char block_[kSha1BlockSize];
    Sha1Stream inner_;
    Sha1Stream outer_;
};

class HmacSha1 {
public:
    HmacSha1(const unsigned char* key, std::size_t size, Sha1Engine engine);

    void Update(const unsigned char* data, std::size_t size) { running_.Update(data, size); }
    // The code of everything Update was given; the object is then spent.
    void Finish(unsigned char (&code)[kSha1Size]);

private:
    HmacKey key_;
    Sha1Stream running_;
};

// Which code runs the key derivation's iterations. One the processor lacks
// counts as kFastest.
enum class Pbkdf2Engine {
    kFastest,    // the fastest this processor has for each group of chains
    kPortable,   // mbed TLS's SHA-1, one chain at a time
    kExtensions, // the SHA extensions, 4 chains
    kSse2,       // 4 lanes
    kAvx2,       // 8 lanes
    kAvx512,     // 16 lanes
};

// True where the processor can run it (kFastest and kPortable: always).
bool Pbkdf2EngineAvailable(Pbkdf2Engine engine);

// One salt's derivation: size bytes into out.
struct Pbkdf2Output {
    const unsigned char* salt;
    std::size_t salt_size;
    unsigned char* out;
    std::size_t size;
};

// PBKDF2-HMAC-SHA1 of one password with each of count salts, iterations
// (at least 1) each, side by side.
void Pbkdf2HmacSha1(const unsigned char* password, std::size_t password_size, const Pbkdf2Output* outputs,
                    std::size_t count, std::uint32_t iterations, Pbkdf2Engine engine = Pbkdf2Engine::kFastest);

// The same for one salt.
void Pbkdf2HmacSha1(const unsigned char* password, std::size_t password_size, const unsigned char* salt,
                    std::size_t salt_size, std::uint32_t iterations, unsigned char* out, std::size_t size,
                    Pbkdf2Engine engine = Pbkdf2Engine::kFastest);

} // namespace parcelon

#endif // PARCELON_HMAC_SHA1_H

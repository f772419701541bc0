#include "crypto/WinZipAes.h"

#include <mbedtls/platform_util.h>

#include <cstring>
#include <vector>

namespace parcelon {

namespace {

// The counter's first value: 1, little-endian.
constexpr unsigned char kFirstCounter[kAesBlockSize] = {1};

// Large blocks are authenticated and encrypted in pieces that stay in the
// processor's cache between the two passes.
constexpr std::size_t kPiece = 16 * 1024;

WinZipAesKeys DeriveOne(std::string_view password, AesStrength strength, const unsigned char* salt,
                        Pbkdf2Engine engine) {
    WinZipAesKeys keys;
    const AesKeyRequest request{strength, salt};
    DeriveWinZipAesKeys(password, &request, &keys, 1, engine);
    return keys;
}

} // namespace

std::optional<AesStrength> AesStrengthOf(std::uint8_t stored) {
    if (stored >= 1 && stored <= 3) return static_cast<AesStrength>(stored);
    return std::nullopt;
}

std::size_t AesKeySize(AesStrength strength) { return 8 + 8 * static_cast<std::size_t>(strength); }

std::size_t AesSaltSize(AesStrength strength) { return 4 + 4 * static_cast<std::size_t>(strength); }

WinZipAesKeys::~WinZipAesKeys() { mbedtls_platform_zeroize(bytes_, sizeof bytes_); }

bool WinZipAesKeys::VerifierMatches(const unsigned char* stored) const {
    return std::memcmp(stored, verifier(), kAesVerifierSize) == 0;
}

void DeriveWinZipAesKeys(std::string_view password, const AesKeyRequest* requests, WinZipAesKeys* keys,
                         std::size_t count, Pbkdf2Engine engine) {
    std::vector<Pbkdf2Output> outputs(count);
    for (std::size_t i = 0; i < count; ++i) {
        keys[i].strength_ = requests[i].strength;
        const std::size_t key_size = AesKeySize(requests[i].strength);
        outputs[i] = {requests[i].salt, AesSaltSize(requests[i].strength), keys[i].bytes_,
                      2 * key_size + kAesVerifierSize};
    }
    Pbkdf2HmacSha1(reinterpret_cast<const unsigned char*>(password.data()), password.size(), outputs.data(), count,
                   kAesKeyIterations, engine);
}

WinZipAes::WinZipAes(const WinZipAesKeys& keys, CryptoEngines engines)
    : cipher_(keys.bytes_, AesKeySize(keys.strength_), kFirstCounter, engines.aes),
      mac_(keys.bytes_ + AesKeySize(keys.strength_), AesKeySize(keys.strength_), engines.sha1) {
    std::memcpy(verifier_, keys.verifier(), kAesVerifierSize);
}

WinZipAes::WinZipAes(std::string_view password, AesStrength strength, const unsigned char* salt, CryptoEngines engines)
    : WinZipAes(DeriveOne(password, strength, salt, engines.keys), engines) {}

WinZipAes::~WinZipAes() { mbedtls_platform_zeroize(code_, sizeof code_); }

bool WinZipAes::VerifierMatches(const unsigned char* stored) const {
    return std::memcmp(stored, verifier_, kAesVerifierSize) == 0;
}

void WinZipAes::Decrypt(unsigned char* data, std::size_t size) {
    while (size > 0) {
        const std::size_t piece = size < kPiece ? size : kPiece;
        mac_.Update(data, piece);
        cipher_.Apply(data, piece);
        data += piece;
        size -= piece;
    }
}

void WinZipAes::Encrypt(unsigned char* data, std::size_t size) {
    while (size > 0) {
        const std::size_t piece = size < kPiece ? size : kPiece;
        cipher_.Apply(data, piece);
        mac_.Update(data, piece);
        data += piece;
        size -= piece;
    }
}

void WinZipAes::AuthCode(unsigned char (&code)[kAesAuthCodeSize]) {
    if (!finished_) {
        unsigned char full[kSha1Size];
        mac_.Finish(full);
        std::memcpy(code_, full, sizeof code_);
        mbedtls_platform_zeroize(full, sizeof full);
        finished_ = true;
    }
    std::memcpy(code, code_, sizeof code_);
}

bool WinZipAes::AuthCodeMatches(const unsigned char* stored) {
    unsigned char code[kAesAuthCodeSize];
    AuthCode(code);
    unsigned char difference = 0;
    for (std::size_t i = 0; i < kAesAuthCodeSize; ++i) difference |= static_cast<unsigned char>(code[i] ^ stored[i]);
    return difference == 0;
}

} // namespace parcelon

// WinZip AES encryption of one entry's data, both ways: the key derivation
// from the password and the entry's salt, AES in WinZip's counter mode, and
// the authentication code over the encrypted data. The reader and the
// writer handle the records around it: method 99 and the 0x9901 extra
// field (whose strength byte is AesStrength, its vendor version AE-1, with
// the CRC-32 kept and checked, or AE-2, with a CRC-32 of 0 and the
// authentication code alone), and the entry's stored bytes, laid out as
//
//     salt (AesSaltSize) | verifier (2) | encrypted data | code (10)
//
// all counted in the compressed size.
//
// The password's bytes are used as they are given; which bytes a typed
// password becomes is the caller's choice.
//
// The key derivation (PBKDF2-HMAC-SHA1, 1000 iterations) costs far more
// than the data of a small entry: 8000 SHA-1 blocks for AES-256, about
// 0.2 ms on one core with the SHA extensions. Deriving the keys of several
// entries in one call (DeriveWinZipAesKeys) runs them side by side in the
// processor's vectors, for a quarter to a half of that per entry where
// AVX2 or AVX-512 is there: a reader that looks a few entries ahead, and a
// writer that draws a few salts ahead, should derive them together. The
// data then pass at about 1.6 ns a byte with the AES and SHA instructions.
#ifndef PARCELON_WINZIP_AES_H
#define PARCELON_WINZIP_AES_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "crypto/AesCtr.h"
#include "crypto/HmacSha1.h"

namespace parcelon {

// The key length, as the 0x9901 extra field stores it.
enum class AesStrength : std::uint8_t { k128 = 1, k192 = 2, k256 = 3 };

// The strength a stored byte names, or nothing for a byte that names none.
std::optional<AesStrength> AesStrengthOf(std::uint8_t stored);
std::size_t AesKeySize(AesStrength strength);  // 16, 24, 32
std::size_t AesSaltSize(AesStrength strength); // 8, 12, 16

constexpr std::size_t kAesMaxSaltSize = 16;
constexpr std::size_t kAesVerifierSize = 2;
constexpr std::size_t kAesAuthCodeSize = 10;
constexpr std::uint32_t kAesKeyIterations = 1000;

// Which code runs each part: the fastest the processor allows unless a
// test or the benchmark asks for another.
struct CryptoEngines {
    AesEngine aes = FastestAesEngine();
    Sha1Engine sha1 = FastestSha1Engine(); // the authentication code
    Pbkdf2Engine keys = Pbkdf2Engine::kFastest;
};

struct AesKeyRequest;

// What the key derivation gives for one entry: its AES key, its HMAC key
// and its verifier. Wiped when destroyed.
class WinZipAesKeys {
public:
    WinZipAesKeys() = default;
    ~WinZipAesKeys();
    WinZipAesKeys(const WinZipAesKeys& other) = default;
    WinZipAesKeys& operator=(const WinZipAesKeys& other) = default;

    AesStrength strength() const { return strength_; }
    // The two bytes that follow the salt: to write, or to compare with
    // those stored. A wrong password gives other bytes but for 1 time in
    // 65,536, when only the authentication code finds it out.
    const unsigned char* verifier() const { return bytes_ + 2 * AesKeySize(strength_); }
    bool VerifierMatches(const unsigned char* stored) const;

private:
    friend class WinZipAes;
    friend void DeriveWinZipAesKeys(std::string_view, const AesKeyRequest*, WinZipAesKeys*, std::size_t, Pbkdf2Engine);

    AesStrength strength_ = AesStrength::k256;
    unsigned char bytes_[2 * 32 + kAesVerifierSize] = {};
};

// One entry's salt, AesSaltSize(strength) bytes: read from the entry, or,
// to encrypt, fresh random bytes never used with this password before (a
// repeated salt repeats the keystream).
struct AesKeyRequest {
    AesStrength strength;
    const unsigned char* salt;
};

// The keys of count entries under one password, into keys[0..count).
void DeriveWinZipAesKeys(std::string_view password, const AesKeyRequest* requests, WinZipAesKeys* keys,
                         std::size_t count, Pbkdf2Engine engine = Pbkdf2Engine::kFastest);

class WinZipAes {
public:
    explicit WinZipAes(const WinZipAesKeys& keys, CryptoEngines engines = CryptoEngines());
    // Derives the keys of this one entry first.
    WinZipAes(std::string_view password, AesStrength strength, const unsigned char* salt,
              CryptoEngines engines = CryptoEngines());
    ~WinZipAes();
    WinZipAes(const WinZipAes&) = delete;
    WinZipAes& operator=(const WinZipAes&) = delete;

    const unsigned char* verifier() const { return verifier_; }
    bool VerifierMatches(const unsigned char* stored) const;

    // The entry's bytes after the verifier, in order, in blocks of any
    // size: Decrypt authenticates the encrypted bytes, then decrypts them
    // in place; Encrypt encrypts in place, then authenticates the result.
    // One object does one or the other, for one entry.
    void Decrypt(unsigned char* data, std::size_t size);
    void Encrypt(unsigned char* data, std::size_t size);

    // The authentication code of everything that passed, to write after the
    // data, or to compare with the stored one (AuthCodeMatches, in constant
    // time). Once asked for, no more data may pass.
    void AuthCode(unsigned char (&code)[kAesAuthCodeSize]);
    bool AuthCodeMatches(const unsigned char* stored);

private:
    AesCtr cipher_;
    HmacSha1 mac_;
    unsigned char verifier_[kAesVerifierSize];
    unsigned char code_[kAesAuthCodeSize] = {};
    bool finished_ = false;
};

} // namespace parcelon

#endif // PARCELON_WINZIP_AES_H

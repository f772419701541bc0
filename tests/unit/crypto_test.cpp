// The pieces of WinZip AES against known answers and against mbed TLS's
// own code: PBKDF2-HMAC-SHA1 (RFC 6070), HMAC-SHA1 over messages in pieces,
// AES in the little-endian counter mode (FIPS-197's blocks, and keystreams
// made with `openssl enc -aes-N-ecb -nopad` over the counter blocks), each
// on every engine this processor runs; the engines against each other; and
// the whole scheme's round trip, verifier and authentication code.
#include <gtest/gtest.h>

#include <mbedtls/md.h>
#include <mbedtls/pkcs5.h>

#include <random>
#include <string>
#include <vector>

#include "crypto/AesCtr.h"
#include "crypto/CpuFeatures.h"
#include "crypto/HmacSha1.h"
#include "crypto/WinZipAes.h"

using namespace parcelon;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes RandomBytesOf(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (auto& byte : bytes) byte = static_cast<unsigned char>(generator());
    return bytes;
}

// The engines this processor can run: the portable one always.
std::vector<Sha1Engine> Sha1Engines() {
    std::vector<Sha1Engine> engines{Sha1Engine::kPortable};
    if (ProcessorFeatures().sha) engines.push_back(Sha1Engine::kExtensions);
    return engines;
}
std::vector<Pbkdf2Engine> Pbkdf2Engines() {
    std::vector<Pbkdf2Engine> engines;
    for (const Pbkdf2Engine engine : {Pbkdf2Engine::kFastest, Pbkdf2Engine::kPortable, Pbkdf2Engine::kExtensions,
                                      Pbkdf2Engine::kSse2, Pbkdf2Engine::kAvx2, Pbkdf2Engine::kAvx512}) {
        if (Pbkdf2EngineAvailable(engine)) engines.push_back(engine);
    }
    return engines;
}
std::vector<AesEngine> AesEngines() {
    std::vector<AesEngine> engines{AesEngine::kPortable};
    if (ProcessorFeatures().aes) engines.push_back(AesEngine::kInstructions);
    return engines;
}
const char* NameOf(Sha1Engine engine) { return engine == Sha1Engine::kPortable ? "mbed TLS SHA-1" : "SHA extensions"; }
const char* NameOf(Pbkdf2Engine engine) {
    switch (engine) {
    case Pbkdf2Engine::kFastest: return "fastest";
    case Pbkdf2Engine::kPortable: return "mbed TLS";
    case Pbkdf2Engine::kExtensions: return "SHA extensions";
    case Pbkdf2Engine::kSse2: return "SSE2";
    case Pbkdf2Engine::kAvx2: return "AVX2";
    case Pbkdf2Engine::kAvx512: return "AVX-512";
    }
    return "?";
}
const char* NameOf(AesEngine engine) { return engine == AesEngine::kPortable ? "mbed TLS AES" : "AES instructions"; }

Bytes Pbkdf2(const Bytes& password, const Bytes& salt, std::uint32_t iterations, std::size_t size, Pbkdf2Engine engine) {
    Bytes out(size);
    Pbkdf2HmacSha1(password.data(), password.size(), salt.data(), salt.size(), iterations, out.data(), size, engine);
    return out;
}

Bytes MbedtlsPbkdf2(const Bytes& password, const Bytes& salt, std::uint32_t iterations, std::size_t size) {
    mbedtls_md_context_t context;
    mbedtls_md_init(&context);
    EXPECT_EQ(mbedtls_md_setup(&context, mbedtls_md_info_from_type(MBEDTLS_MD_SHA1), 1), 0);
    Bytes out(size);
    EXPECT_EQ(mbedtls_pkcs5_pbkdf2_hmac(&context, password.data(), password.size(), salt.data(), salt.size(), iterations,
                                        static_cast<std::uint32_t>(size), out.data()),
              0);
    mbedtls_md_free(&context);
    return out;
}

} // namespace

// ---------------------------------------------------------------- PBKDF2

TEST(Pbkdf2HmacSha1Test, GivesTheRfc6070Vectors) {
    struct Vector {
        std::string password, salt;
        std::uint32_t iterations;
        std::string expected;
    };
    const Vector vectors[] = {
        {"password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {"password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {"password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
        {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, "56fa6aa75548099dcc37d7f03425e0c3"},
    };
    for (const Pbkdf2Engine engine : Pbkdf2Engines()) {
        for (const Vector& v : vectors) {
            SCOPED_TRACE(std::string(NameOf(engine)) + ", " + std::to_string(v.iterations) + " iterations");
            const Bytes expected = FromHex(v.expected);
            EXPECT_EQ(Pbkdf2(FromText(v.password), FromText(v.salt), v.iterations, expected.size(), engine), expected);
        }
    }
}

// Passwords around the HMAC block (a longer key is hashed first), the
// three salt sizes, and outputs of 1 to 5 blocks (a group of chains and
// one more for the narrower engines).
TEST(Pbkdf2HmacSha1Test, AgreesWithMbedtlsAcrossKeySaltAndOutputSizes) {
    unsigned seed = 1;
    for (const std::size_t password_size : {0u, 1u, 8u, 63u, 64u, 65u, 130u}) {
        for (const std::size_t salt_size : {8u, 12u, 16u}) {
            for (const std::size_t out_size : {20u, 34u, 50u, 66u, 100u}) {
                const Bytes password = RandomBytesOf(password_size, seed++);
                const Bytes salt = RandomBytesOf(salt_size, seed++);
                const std::uint32_t iterations = out_size == 66 ? 1000 : 3;
                const Bytes expected = MbedtlsPbkdf2(password, salt, iterations, out_size);
                for (const Pbkdf2Engine engine : Pbkdf2Engines()) {
                    SCOPED_TRACE(std::string(NameOf(engine)) + ": password " + std::to_string(password_size) + ", salt " +
                                 std::to_string(salt_size) + ", output " + std::to_string(out_size));
                    EXPECT_EQ(Pbkdf2(password, salt, iterations, out_size, engine), expected);
                }
            }
        }
    }
}

// Many salts in one call: every engine groups their chains into its lanes
// across salt boundaries; each salt's output must be what it gets alone.
// 1, 4, 5 and 7 AES-256 entries are 4, 16, 20 and 28 chains; the mixed
// batch has 2-, 3- and 4-chain outputs.
TEST(Pbkdf2HmacSha1Test, ManySaltsInOneCallGiveWhatEachGivesAlone) {
    const Bytes password = FromText("one password for all");
    const std::vector<std::vector<std::size_t>> batches = {
        {66}, {66, 66, 66, 66}, {66, 66, 66, 66, 66}, {66, 66, 66, 66, 66, 66, 66}, {34, 50, 66, 34, 34, 50, 66, 34, 34}};
    unsigned seed = 100;
    for (const auto& sizes : batches) {
        std::vector<Bytes> salts;
        std::vector<Bytes> alone;
        for (const std::size_t size : sizes) {
            salts.push_back(RandomBytesOf(size == 34 ? 8 : size == 50 ? 12 : 16, seed++));
            alone.push_back(MbedtlsPbkdf2(password, salts.back(), 50, size));
        }
        for (const Pbkdf2Engine engine : Pbkdf2Engines()) {
            SCOPED_TRACE(std::string(NameOf(engine)) + ", " + std::to_string(sizes.size()) + " salts");
            std::vector<Bytes> outs;
            std::vector<Pbkdf2Output> outputs;
            for (std::size_t i = 0; i < sizes.size(); ++i) outs.emplace_back(sizes[i]);
            for (std::size_t i = 0; i < sizes.size(); ++i)
                outputs.push_back({salts[i].data(), salts[i].size(), outs[i].data(), sizes[i]});
            Pbkdf2HmacSha1(password.data(), password.size(), outputs.data(), outputs.size(), 50, engine);
            EXPECT_EQ(outs, alone);
        }
    }
}

// ---------------------------------------------------------------- HMAC-SHA1

// Message sizes around SHA-1's padding limits (55, 56, 64), handed over in
// pieces that cross block boundaries anywhere.
TEST(HmacSha1Test, AgreesWithMbedtlsForMessagesInPiecesOfAnySize) {
    const Bytes key = RandomBytesOf(32, 7);
    for (const std::size_t size : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u, 70000u}) {
        const Bytes message = RandomBytesOf(size, static_cast<unsigned>(size) + 11);
        unsigned char expected[kSha1Size];
        ASSERT_EQ(mbedtls_md_hmac(mbedtls_md_info_from_type(MBEDTLS_MD_SHA1), key.data(), key.size(), message.data(),
                                  message.size(), expected),
                  0);
        for (const Sha1Engine engine : Sha1Engines()) {
            for (const std::size_t piece : {1u, 7u, 64u, 100u, 65536u}) {
                SCOPED_TRACE(std::string(NameOf(engine)) + ": " + std::to_string(size) + " bytes in pieces of " +
                             std::to_string(piece));
                HmacSha1 mac(key.data(), key.size(), engine);
                for (std::size_t at = 0; at < size; at += piece) mac.Update(message.data() + at, std::min(piece, size - at));
                unsigned char code[kSha1Size];
                mac.Finish(code);
                EXPECT_EQ(Bytes(code, code + kSha1Size), Bytes(expected, expected + kSha1Size));
            }
        }
    }
}

// ---------------------------------------------------------------- AES in counter mode

namespace {

Bytes Keystream(const Bytes& key, const Bytes& first, std::size_t size, AesEngine engine, std::size_t piece) {
    unsigned char counter[kAesBlockSize];
    std::copy(first.begin(), first.end(), counter);
    AesCtr cipher(key.data(), key.size(), counter, engine);
    Bytes stream(size, 0);
    for (std::size_t at = 0; at < size; at += piece) cipher.Apply(stream.data() + at, std::min(piece, size - at));
    return stream;
}

Bytes KeyOfSize(std::size_t size) {
    Bytes key(size);
    for (std::size_t i = 0; i < size; ++i) key[i] = static_cast<unsigned char>(i);
    return key;
}

} // namespace

TEST(AesCtrTest, EncryptsTheFips197BlocksAsItsFirstCounter) {
    const Bytes plain = FromHex("00112233445566778899aabbccddeeff");
    const struct {
        std::size_t key_size;
        std::string cipher;
    } vectors[] = {{16, "69c4e0d86a7b0430d8cdb78070b4c55a"},
                   {24, "dda97ca4864cdfe06eaf70a0ec0d7191"},
                   {32, "8ea2b7ca516745bfeafc49904b496089"}};
    for (const AesEngine engine : AesEngines()) {
        for (const auto& v : vectors) {
            SCOPED_TRACE(std::string(NameOf(engine)) + ", key of " + std::to_string(v.key_size) + " bytes");
            EXPECT_EQ(Keystream(KeyOfSize(v.key_size), plain, kAesBlockSize, engine, kAesBlockSize), FromHex(v.cipher));
        }
    }
}

// The counter counts up from its first value as one 128-bit little-endian
// number: 1, 2, 3, and across the low half's end into the high half.
TEST(AesCtrTest, CountsLittleEndianFromOneAndCarriesIntoTheHighHalf) {
    const Bytes one = FromHex("01000000000000000000000000000000");
    const Bytes low_full = FromHex("ffffffffffffffff0000000000000000");
    const struct {
        std::size_t key_size;
        const Bytes* first;
        std::string stream;
    } vectors[] = {
        {16, &one, "e37cd363dd7c87a09aff0e3e60e09c82fb8ae31ba5db9cad97364d8722d473268cb899148f1fa8ff9132d0eb15a936f2"},
        {24, &one, "094a723ceaf7f7b732e05b90d35b8cf1a8fd516dfc09cbb9b38b8527ff25bbe4f355b9dcbfe114df50cc2a2029edb053"},
        {32, &one, "c7b519846a11411cd6ac07cb03f801a84ef4b88bebd54953c37ffaf66efaca7b80c3017e8f89ab315ede32b11e48ab50"},
        {16, &low_full, "25d4e948bd5e1296afc0bf87095a72485f2c80d352d3e8fcb4aea438188d77c857dfae4563c7d0579a1b58d216a7ab82"},
        {24, &low_full, "d12193be3d5a4eb3e75bf02542a278312ff04883eaa73662e711ccd6ee7544bed5ff89e31f4d8217fb510b2cc85cf60e"},
        {32, &low_full, "91658d77eba9ef4e2a4d5619c6c186b790f10a18df1dcf11647a2a929dd45c78740e38b759dcf13b5376f3f32ffcca0b"},
    };
    for (const AesEngine engine : AesEngines()) {
        for (const auto& v : vectors) {
            const Bytes expected = FromHex(v.stream);
            for (const std::size_t piece : {1u, 5u, 16u, 48u}) {
                SCOPED_TRACE(std::string(NameOf(engine)) + ", key of " + std::to_string(v.key_size) + " bytes, pieces of " +
                             std::to_string(piece));
                EXPECT_EQ(Keystream(KeyOfSize(v.key_size), *v.first, expected.size(), engine, piece), expected);
            }
        }
    }
}

// The AES instructions' eight blocks at a time, and their carry, against
// mbed TLS's one block at a time, over lengths and pieces that leave
// partial blocks between calls.
TEST(AesCtrTest, InstructionsAgreeWithMbedtls) {
    if (!ProcessorFeatures().aes) GTEST_SKIP() << "this processor has no AES instructions";
    const Bytes near_carry = FromHex("f9ffffffffffffff0700000000000000");
    const Bytes one = FromHex("01000000000000000000000000000000");
    for (const std::size_t key_size : {16u, 24u, 32u}) {
        const Bytes key = RandomBytesOf(key_size, static_cast<unsigned>(key_size));
        for (const Bytes* first : {&one, &near_carry}) {
            for (const std::size_t piece : {3u, 16u, 127u, 128u, 4099u}) {
                SCOPED_TRACE("key of " + std::to_string(key_size) + " bytes, pieces of " + std::to_string(piece));
                EXPECT_EQ(Keystream(key, *first, 10000, AesEngine::kInstructions, piece),
                          Keystream(key, *first, 10000, AesEngine::kPortable, 10000));
            }
        }
    }
}

// ---------------------------------------------------------------- the whole scheme

namespace {

struct SealedEntry {
    Bytes data;
    Bytes verifier;
    Bytes code;
};

SealedEntry Seal(const std::string& password, AesStrength strength, const Bytes& salt, Bytes data, std::size_t piece,
                 CryptoEngines engines = CryptoEngines()) {
    WinZipAes aes(password, strength, salt.data(), engines);
    for (std::size_t at = 0; at < data.size(); at += piece) aes.Encrypt(data.data() + at, std::min(piece, data.size() - at));
    unsigned char code[kAesAuthCodeSize];
    aes.AuthCode(code);
    return {data, Bytes(aes.verifier(), aes.verifier() + kAesVerifierSize), Bytes(code, code + kAesAuthCodeSize)};
}

} // namespace

TEST(WinZipAesTest, EveryEngineSealsTheSameBytes) {
    const Bytes plain = RandomBytesOf(5000, 3);
    for (const AesStrength strength : {AesStrength::k128, AesStrength::k192, AesStrength::k256}) {
        const Bytes salt = RandomBytesOf(AesSaltSize(strength), 5);
        const SealedEntry reference = Seal("pässwörd", strength, salt, plain, 5000,
                                           CryptoEngines{AesEngine::kPortable, Sha1Engine::kPortable, Pbkdf2Engine::kPortable});
        for (const AesEngine aes : AesEngines()) {
            for (const Sha1Engine sha1 : Sha1Engines()) {
                SCOPED_TRACE(std::string(NameOf(aes)) + " with " + NameOf(sha1) + ", strength " +
                             std::to_string(static_cast<int>(strength)));
                const SealedEntry sealed = Seal("pässwörd", strength, salt, plain, 333, CryptoEngines{aes, sha1});
                EXPECT_EQ(sealed.data, reference.data);
                EXPECT_EQ(sealed.verifier, reference.verifier);
                EXPECT_EQ(sealed.code, reference.code);
            }
        }
    }
}

TEST(WinZipAesTest, DecryptsWhatItEncryptedAndTheCodeCatchesEveryChange) {
    const Bytes plain = RandomBytesOf(100000, 9);
    for (const AesStrength strength : {AesStrength::k128, AesStrength::k192, AesStrength::k256}) {
        SCOPED_TRACE("strength " + std::to_string(static_cast<int>(strength)));
        const Bytes salt = RandomBytesOf(AesSaltSize(strength), 13);
        const SealedEntry sealed = Seal("secret", strength, salt, plain, 65536);
        ASSERT_NE(sealed.data, plain);

        WinZipAes reader("secret", strength, salt.data());
        EXPECT_TRUE(reader.VerifierMatches(sealed.verifier.data()));
        Bytes data = sealed.data;
        for (std::size_t at = 0; at < data.size(); at += 4097) reader.Decrypt(data.data() + at, std::min<std::size_t>(4097, data.size() - at));
        EXPECT_TRUE(reader.AuthCodeMatches(sealed.code.data()));
        EXPECT_EQ(data, plain);

        // One flipped bit anywhere in the encrypted data, or in the code.
        for (const std::size_t at : {std::size_t{0}, sealed.data.size() / 2, sealed.data.size() - 1}) {
            Bytes flipped = sealed.data;
            flipped[at] ^= 0x01;
            WinZipAes check("secret", strength, salt.data());
            check.Decrypt(flipped.data(), flipped.size());
            EXPECT_FALSE(check.AuthCodeMatches(sealed.code.data())) << "flipped byte " << at;
        }
        Bytes code = sealed.code;
        code[kAesAuthCodeSize - 1] ^= 0x80;
        WinZipAes check("secret", strength, salt.data());
        Bytes copy = sealed.data;
        check.Decrypt(copy.data(), copy.size());
        EXPECT_FALSE(check.AuthCodeMatches(code.data()));

        // Another salt or password: other keys, another verifier (these
        // two are fixed, so no 1-in-65,536 coincidence can make this flaky).
        EXPECT_NE(Seal("Secret", strength, salt, plain, 65536).verifier, sealed.verifier);
        EXPECT_NE(Seal("secret", strength, RandomBytesOf(salt.size(), 14), plain, 65536).data, sealed.data);
    }
}

// Keys derived together are those derived one entry at a time, and serve
// to open what was sealed with those.
TEST(WinZipAesTest, KeysDerivedTogetherOpenWhatEachSealedAlone) {
    const AesStrength strengths[] = {AesStrength::k256, AesStrength::k128, AesStrength::k256, AesStrength::k192,
                                     AesStrength::k256, AesStrength::k256};
    std::vector<Bytes> salts;
    std::vector<AesKeyRequest> requests;
    for (const AesStrength strength : strengths) salts.push_back(RandomBytesOf(AesSaltSize(strength), 40 + static_cast<unsigned>(salts.size())));
    for (std::size_t i = 0; i < salts.size(); ++i) requests.push_back({strengths[i], salts[i].data()});
    const Bytes plain = RandomBytesOf(777, 41);
    for (const Pbkdf2Engine engine : Pbkdf2Engines()) {
        SCOPED_TRACE(NameOf(engine));
        std::vector<WinZipAesKeys> keys(requests.size());
        DeriveWinZipAesKeys("batch", requests.data(), keys.data(), keys.size(), engine);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const SealedEntry sealed = Seal("batch", strengths[i], salts[i], plain, 100);
            EXPECT_EQ(keys[i].strength(), strengths[i]);
            EXPECT_TRUE(keys[i].VerifierMatches(sealed.verifier.data())) << "entry " << i;
            WinZipAes aes(keys[i]);
            Bytes data = sealed.data;
            aes.Decrypt(data.data(), data.size());
            EXPECT_TRUE(aes.AuthCodeMatches(sealed.code.data())) << "entry " << i;
            EXPECT_EQ(data, plain) << "entry " << i;
        }
    }
}

TEST(WinZipAesTest, TellsTheSizesOfEachStrength) {
    EXPECT_EQ(AesStrengthOf(0), std::nullopt);
    EXPECT_EQ(AesStrengthOf(4), std::nullopt);
    const struct {
        std::uint8_t stored;
        std::size_t key, salt;
    } sizes[] = {{1, 16, 8}, {2, 24, 12}, {3, 32, 16}};
    for (const auto& s : sizes) {
        const std::optional<AesStrength> strength = AesStrengthOf(s.stored);
        ASSERT_TRUE(strength.has_value());
        EXPECT_EQ(AesKeySize(*strength), s.key);
        EXPECT_EQ(AesSaltSize(*strength), s.salt);
    }
}

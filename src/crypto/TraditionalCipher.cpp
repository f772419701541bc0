#include "crypto/TraditionalCipher.h"

#include <array>

#include "crypto/RandomBytes.h"
#include "format/ZipFormat.h"

namespace parcelon {

namespace {

// The CRC-32 table (reflected polynomial 0xEDB88320) the keys are stirred
// with, one byte at a time.
constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table {};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

inline std::uint32_t CrcStep(std::uint32_t crc, unsigned char byte) {
    return kCrcTable[(crc ^ byte) & 0xFFu] ^ (crc >> 8);
}

// The three keys, kept in locals (registers) for a whole block.
struct Keys {
    std::uint32_t k0, k1, k2;

    unsigned char StreamByte() const {
        const std::uint32_t temp = (k2 & 0xFFFFu) | 2u;
        return static_cast<unsigned char>((temp * (temp ^ 1u)) >> 8);
    }
    void Update(unsigned char plain) {
        k0 = CrcStep(k0, plain);
        k1 = (k1 + (k0 & 0xFFu)) * 134775813u + 1u;
        k2 = CrcStep(k2, static_cast<unsigned char>(k1 >> 24));
    }
};

// Encrypts or decrypts in place; the keys are stirred with each plain
// byte, which is the input one way and the output the other.
template <bool kEncrypting>
void Apply(std::uint32_t (&state)[3], unsigned char* data, std::size_t size) {
    Keys keys{state[0], state[1], state[2]};
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char in = data[i];
        const unsigned char out = static_cast<unsigned char>(in ^ keys.StreamByte());
        keys.Update(kEncrypting ? in : out);
        data[i] = out;
    }
    state[0] = keys.k0;
    state[1] = keys.k1;
    state[2] = keys.k2;
}

} // namespace

unsigned char EncryptionCheckByte(std::uint16_t flags, std::uint32_t crc, std::uint32_t dos_date_time) {
    if ((flags & zip::kFlagDataDescriptor) != 0) return static_cast<unsigned char>((dos_date_time >> 8) & 0xFFu);
    return static_cast<unsigned char>((crc >> 24) & 0xFFu);
}

TraditionalCipher::TraditionalCipher(const char* password) : keys_{0x12345678u, 0x23456789u, 0x34567890u} {
    if (password == nullptr) return;
    Keys keys{keys_[0], keys_[1], keys_[2]};
    for (const char* p = password; *p != '\0'; ++p) keys.Update(static_cast<unsigned char>(*p));
    keys_[0] = keys.k0;
    keys_[1] = keys.k1;
    keys_[2] = keys.k2;
}

void TraditionalCipher::Encrypt(unsigned char* data, std::size_t size) { Apply<true>(keys_, data, size); }

void TraditionalCipher::Decrypt(unsigned char* data, std::size_t size) { Apply<false>(keys_, data, size); }

void MakeEncryptionHeader(TraditionalCipher& keys, std::uint32_t crc, RandomBytes& random,
                          unsigned char (&header)[kEncryptionHeaderSize]) {
    random.Fill(header, kEncryptionHeaderSize - 2);
    header[kEncryptionHeaderSize - 2] = static_cast<unsigned char>(crc >> 16);
    header[kEncryptionHeaderSize - 1] = static_cast<unsigned char>(crc >> 24);
    keys.Encrypt(header, kEncryptionHeaderSize);
}

} // namespace parcelon

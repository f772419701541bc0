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

constexpr std::uint32_t kKey1Multiplier = 134775813u;

inline std::uint32_t CrcStep(std::uint32_t crc, unsigned char byte) {
    return kCrcTable[(crc ^ byte) & 0xFFu] ^ (crc >> 8);
}

// The keystream byte of a key 2. Only its bits 2 to 15 count: bit 1 is
// forced on, and t * (t ^ 1) is the same product for an even t and t + 1.
constexpr unsigned char StreamByte(std::uint32_t key2) {
    const std::uint32_t temp = (key2 & 0xFFFFu) | 2u;
    return static_cast<unsigned char>((temp * (temp ^ 1u)) >> 8);
}
constexpr std::uint32_t StreamIndex(std::uint32_t key2) { return (key2 >> 2) & 0x3FFFu; }

// Keeps the compiler from folding (k1 * M + 1) + b * M back into
// (k1 + b) * M + 1, which puts an add in front of the multiply on the
// decryption's critical path.
inline std::uint32_t Opaque(std::uint32_t value) {
#if defined(__GNUC__)
    __asm__("" : "+r"(value));
#endif
    return value;
}

// Decryption feeds every plain byte back into the keys, so one byte cannot
// start before the one before it is done: the time per byte is the length
// of the chain key 2 -> keystream byte -> key 0 -> key 1 -> key 2. The CRC
// step is linear (T[x ^ y] = T[x] ^ T[y]), which takes most of the chain's
// links off it:
//   the low byte of the next key 0 is (low byte of T[k0 & 0xFF] ^ k0 >> 8
//   ^ T[cipher byte]) ^ kKey0Byte[index of key 2], the last a table over the
//   14 bits the keystream byte depends on;
//   the next key 2's index is (index of T[k2 & 0xFF] ^ k2 >> 8) ^
//   kIndexOfCrc[key 1 >> 24].
// What is left on the chain is two table loads, a multiply, an add, a
// shift and two xors; the full keys are brought along off it.
struct ChainTables {
    std::array<std::uint16_t, 256> index_of_crc {};  // StreamIndex(T[h])
    std::array<unsigned char, 16384> key0_byte {}; // T[stream byte of the index] & 0xFF
};
constexpr ChainTables MakeChainTables() {
    ChainTables tables {};
    for (std::uint32_t h = 0; h < 256; ++h) tables.index_of_crc[h] = static_cast<std::uint16_t>(StreamIndex(kCrcTable[h]));
    for (std::uint32_t i = 0; i < 16384; ++i)
        tables.key0_byte[i] = static_cast<unsigned char>(kCrcTable[StreamByte(i << 2)] & 0xFFu);
    return tables;
}
constexpr ChainTables kChain = MakeChainTables();

// The three keys in locals (registers) for a whole block, with key 2's
// keystream index kept beside it.
struct Keys {
    std::uint32_t k0, k1, k2;

    void Update(unsigned char plain) {
        k0 = CrcStep(k0, plain);
        k1 = (k1 + (k0 & 0xFFu)) * kKey1Multiplier + 1u;
        k2 = CrcStep(k2, static_cast<unsigned char>(k1 >> 24));
    }
};

struct DecryptChain {
    std::uint32_t k0, k1, k2, index;

    explicit DecryptChain(const std::uint32_t (&state)[3])
        : k0(state[0]), k1(state[1]), k2(state[2]), index(StreamIndex(state[2])) {}
    void Store(std::uint32_t (&state)[3]) const {
        state[0] = k0;
        state[1] = k1;
        state[2] = k2;
    }

    // One byte, in place. Equal to keystream XOR then Update(plain).
    void Step(unsigned char& byte) {
        const unsigned char cipher = byte;
        const unsigned char stream = StreamByte(k2);
        byte = static_cast<unsigned char>(cipher ^ stream);
        const std::uint32_t partial = kCrcTable[k0 & 0xFFu] ^ (k0 >> 8) ^ kCrcTable[cipher];
        const std::uint32_t low = Opaque(partial & 0xFFu) ^ kChain.key0_byte[index];
        k0 = partial ^ kCrcTable[stream];
        k1 = Opaque(k1 * kKey1Multiplier + 1u) + low * kKey1Multiplier;
        const std::uint32_t high = k1 >> 24;
        const std::uint32_t shifted = kCrcTable[k2 & 0xFFu] ^ (k2 >> 8);
        k2 = shifted ^ kCrcTable[high];
        index = StreamIndex(shifted) ^ kChain.index_of_crc[high];
    }
};

void EncryptKeys(std::uint32_t (&state)[3], unsigned char* data, std::size_t size) {
    Keys keys{state[0], state[1], state[2]};
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char plain = data[i];
        data[i] = static_cast<unsigned char>(plain ^ StreamByte(keys.k2));
        keys.Update(plain);
    }
    state[0] = keys.k0;
    state[1] = keys.k1;
    state[2] = keys.k2;
}

void DecryptKeys(std::uint32_t (&state)[3], unsigned char* data, std::size_t size) {
    DecryptChain chain(state);
    for (std::size_t i = 0; i < size; ++i) chain.Step(data[i]);
    chain.Store(state);
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

void TraditionalCipher::Encrypt(unsigned char* data, std::size_t size) { EncryptKeys(keys_, data, size); }

void TraditionalCipher::Decrypt(unsigned char* data, std::size_t size) { DecryptKeys(keys_, data, size); }

void DecryptTwo(TraditionalCipher& first, unsigned char* first_data, std::size_t first_size, TraditionalCipher& second,
                unsigned char* second_data, std::size_t second_size) {
    if (&first == &second) {
        first.Decrypt(first_data, first_size);
        first.Decrypt(second_data, second_size);
        return;
    }
    // Two chains that do not wait on each other: the processor runs the
    // second's links while the first's loads are on their way.
    const std::size_t both = first_size < second_size ? first_size : second_size;
    DecryptChain a(first.keys_);
    DecryptChain b(second.keys_);
    for (std::size_t i = 0; i < both; ++i) {
        a.Step(first_data[i]);
        b.Step(second_data[i]);
    }
    a.Store(first.keys_);
    b.Store(second.keys_);
    first.Decrypt(first_data + both, first_size - both);
    second.Decrypt(second_data + both, second_size - both);
}

void MakeEncryptionHeader(TraditionalCipher& keys, std::uint32_t crc, RandomBytes& random,
                          unsigned char (&header)[kEncryptionHeaderSize]) {
    random.Fill(header, kEncryptionHeaderSize - 2);
    header[kEncryptionHeaderSize - 2] = static_cast<unsigned char>(crc >> 16);
    header[kEncryptionHeaderSize - 1] = static_cast<unsigned char>(crc >> 24);
    keys.Encrypt(header, kEncryptionHeaderSize);
}

} // namespace parcelon

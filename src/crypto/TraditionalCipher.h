// Traditional PKWARE ("ZipCrypto") encryption, both ways: extraction
// decrypts entries with it, and packing re-encrypts an entry whose check
// byte must change.
#ifndef PARCELON_TRADITIONAL_CIPHER_H
#define PARCELON_TRADITIONAL_CIPHER_H

#include <cstddef>
#include <cstdint>

namespace parcelon {

// Every encrypted entry's data start with this many header bytes.
constexpr std::size_t kEncryptionHeaderSize = 12;

// General purpose flag bits that decide how an entry is read.
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
constexpr std::uint16_t kFlagStrongEncryption = 0x0040;

// The byte a correct password leaves last in the decrypted header: the high
// byte of the CRC-32, or, when the sizes and CRC follow the data (flag bit
// 3, as Info-ZIP zip writes encrypted entries), the high byte of the DOS
// time. dos_date_time holds the DOS time in its low 16 bits and the date in
// its high 16 bits, as the entry records store them.
unsigned char EncryptionCheckByte(std::uint16_t flags, std::uint32_t crc, std::uint32_t dos_date_time);

class TraditionalCipher {
public:
    // Sets up the keys from the password's bytes up to its terminating zero,
    // taken as they are (no trimming, no conversion).
    explicit TraditionalCipher(const char* password);

    // Decrypts, or encrypts, size bytes in place; the keys go on from block
    // to block, so an entry's bytes must be handed over in order, header
    // first.
    void Decrypt(unsigned char* data, std::size_t size);
    void Encrypt(unsigned char* data, std::size_t size);

private:
    void UpdateKeys(unsigned char plain);
    unsigned char StreamByte() const;

    const void* table_; // zlib's CRC-32 table (z_crc_t elements)
    std::uint32_t keys_[3];
};

} // namespace parcelon

#endif // PARCELON_TRADITIONAL_CIPHER_H

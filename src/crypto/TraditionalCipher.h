// Traditional PKWARE ("ZipCrypto") encryption, both ways: packing encrypts
// entries with it (and re-encrypts one whose check byte must change), and
// extraction decrypts them.
#ifndef PARCELON_TRADITIONAL_CIPHER_H
#define PARCELON_TRADITIONAL_CIPHER_H

#include <cstddef>
#include <cstdint>

namespace parcelon {

class RandomBytes;

// Every encrypted entry's data start with this many header bytes.
constexpr std::size_t kEncryptionHeaderSize = 12;

// The byte a correct password leaves last in the decrypted header: the high
// byte of the CRC-32, or, when the sizes and CRC follow the data (flag bit
// 3, as Info-ZIP zip writes encrypted entries), the high byte of the DOS
// time. dos_date_time holds the DOS time in its low 16 bits and the date in
// its high 16 bits, as the entry records store them.
unsigned char EncryptionCheckByte(std::uint16_t flags, std::uint32_t crc, std::uint32_t dos_date_time);

class TraditionalCipher;

// Decrypts a block of each of two entries, each with its own keys, as
// TraditionalCipher::Decrypt would one after the other, but in a little
// over half the time: decryption is one long chain of dependent steps per
// byte, and two chains interleaved keep the processor busy while either
// waits. (A reader with two entries to extract can decrypt them together.) The sizes may differ (the longer block finishes alone); the two
// blocks must not overlap. Given the same cipher twice, it decrypts first
// block, then second block, with it.
void DecryptTwo(TraditionalCipher& first, unsigned char* first_data, std::size_t first_size, TraditionalCipher& second,
                unsigned char* second_data, std::size_t second_size);

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
    friend void DecryptTwo(TraditionalCipher&, unsigned char*, std::size_t, TraditionalCipher&, unsigned char*,
                           std::size_t);

    std::uint32_t keys_[3];
};

// The encrypted header that starts an entry whose data have the CRC-32
// crc: ten random bytes, then the CRC's two high bytes (the last is the
// check byte readers test the password with), encrypted with keys, which
// then go on to the entry's data.
void MakeEncryptionHeader(TraditionalCipher& keys, std::uint32_t crc, RandomBytes& random,
                          unsigned char (&header)[kEncryptionHeaderSize]);

} // namespace parcelon

#endif // PARCELON_TRADITIONAL_CIPHER_H

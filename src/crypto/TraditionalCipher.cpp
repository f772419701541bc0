#include "crypto/TraditionalCipher.h"

#include <zlib.h>

namespace parcelon {

namespace {

// One step of the CRC-32 over one byte. The table's elements are z_crc_t,
// whatever their width, so it is read through that type only.
std::uint32_t Crc32Step(const void* table, std::uint32_t crc, unsigned char byte) {
    const z_crc_t* const entries = static_cast<const z_crc_t*>(table);
    return static_cast<std::uint32_t>(entries[(crc ^ byte) & 0xFFu] & 0xFFFFFFFFu) ^ (crc >> 8);
}

} // namespace

unsigned char EncryptionCheckByte(std::uint16_t flags, std::uint32_t crc, std::uint32_t dos_date_time) {
    if ((flags & kFlagDataDescriptor) != 0) return static_cast<unsigned char>((dos_date_time >> 8) & 0xFFu);
    return static_cast<unsigned char>((crc >> 24) & 0xFFu);
}

TraditionalCipher::TraditionalCipher(const char* password)
    : table_(get_crc_table()), keys_{0x12345678u, 0x23456789u, 0x34567890u} {
    if (password == nullptr) return;
    for (const char* p = password; *p != '\0'; ++p) UpdateKeys(static_cast<unsigned char>(*p));
}

void TraditionalCipher::UpdateKeys(unsigned char plain) {
    keys_[0] = Crc32Step(table_, keys_[0], plain);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFFu)) * 134775813u + 1u;
    keys_[2] = Crc32Step(table_, keys_[2], static_cast<unsigned char>(keys_[1] >> 24));
}

unsigned char TraditionalCipher::StreamByte() const {
    const std::uint32_t temp = (keys_[2] & 0xFFFFu) | 2u;
    return static_cast<unsigned char>(((temp * (temp ^ 1u)) >> 8) & 0xFFu);
}

void TraditionalCipher::Encrypt(unsigned char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char plain = data[i];
        data[i] = static_cast<unsigned char>(plain ^ StreamByte());
        UpdateKeys(plain);
    }
}

void TraditionalCipher::Decrypt(unsigned char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char plain = static_cast<unsigned char>(data[i] ^ StreamByte());
        UpdateKeys(plain);
        data[i] = plain;
    }
}

} // namespace parcelon

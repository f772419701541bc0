// How an entry's stored bytes are decrypted, chosen per entry by its flags
// and extra fields: not at all, with the traditional ZIP cipher, or (once
// the library reads it) with WinZip AES. Every cipher stands between the
// stored bytes and the decoder, a block at a time.
#ifndef PARCELON_ENTRY_CIPHER_H
#define PARCELON_ENTRY_CIPHER_H

#include <cstddef>
#include <memory>
#include <optional>

#include "crypto/WinZipAes.h"
#include "extract/CentralDirectory.h"
#include "messages/Failures.h"

namespace parcelon {

class EntryCipher {
public:
    virtual ~EntryCipher() = default;

    // The bytes that stand before the entry's data (the traditional
    // cipher's header; AES's salt and password verifier) and after them
    // (AES's authentication code).
    virtual std::size_t header_size() const = 0;
    virtual std::size_t trailer_size() const = 0;

    // Checks the password against the header: None, or WrongPassword.
    virtual UnzipFailure Begin(const unsigned char* header) = 0;
    // Decrypts the data in place, in order, in blocks of any size.
    virtual void Decrypt(unsigned char* data, std::size_t size) = 0;
    // After the last byte: None, or DataCorrupt when the trailer does not
    // authenticate the data.
    virtual UnzipFailure Finish(const unsigned char* trailer) = 0;
    // Whether the entry's recorded CRC-32 holds its data (AES's AE-2
    // records none, and authenticates the data instead).
    virtual bool has_crc() const = 0;
};

// The cipher an entry needs, set up with the password: None with a null
// cipher for a plain entry (whatever the password); PasswordRequired for an
// encrypted one without a password; UnsupportedEncryption for one the
// library cannot decrypt. aes_keys: an AES entry's keys, derived ahead from
// this password and its salt, or null to derive them here.
UnzipFailure ChooseCipher(const CentralRecord& record, const char* password, const WinZipAesKeys* aes_keys,
                          std::unique_ptr<EntryCipher>& cipher);

// An AES entry's key strength, when it is one the library reads: its salt
// is the first AesSaltSize bytes of its stored data, so its keys can be
// derived ahead, several entries' at once (far cheaper each).
std::optional<AesStrength> AesStrengthOfEntry(const CentralRecord& record);

// The method the entry's data are compressed with: the recorded one (AES
// entries record 99 and name theirs in their AES extra field).
std::uint16_t CompressionMethod(const CentralRecord& record);

} // namespace parcelon

#endif // PARCELON_ENTRY_CIPHER_H

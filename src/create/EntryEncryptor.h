// How an entry's data are encrypted: the seam between the packer and an
// encryption scheme. One encryptor serves every entry of an operation, one
// entry at a time: Begin starts an entry (its header), Encrypt takes its
// data in order, End gives its trailer. What its entries' records say of it
// (flags, method, version, extra field, whether the CRC-32 is recorded) is
// the encryptor's to say.
//
// Traditional ZIP encryption needs the CRC-32 of an entry's data before
// the first byte (its header's check byte is the CRC's high byte), so
// whoever packs for it reads a file's CRC first, ends an entry a stop cut
// short where that byte still fits, and has an entry whose data came out
// otherwise encrypted again (Reencrypt) once the archive is complete.
// needs_crc_first() is the one place that says so. WinZip AES (AE-2) needs
// none of that: its entries record no CRC-32, and an authentication code
// after the data stands for it.
#ifndef PARCELON_ENTRY_ENCRYPTOR_H
#define PARCELON_ENTRY_ENCRYPTOR_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace parcelon {

class AesKeySupply;
class RandomBytes;
struct EntryCoding;

// Reads or writes size bytes at an offset of the archive: false on failure.
using ArchiveAccess = std::function<bool(std::uint64_t offset, unsigned char* data, std::size_t size)>;

// Encrypts again, in place, an entry's data (size bytes at offset, header
// first): the same length, so nothing else in the archive moves. False when
// it cannot. It keeps what it needs, and outlives its encryptor.
using Reencryption = std::function<bool(const ArchiveAccess& read, const ArchiveAccess& write, std::uint64_t offset,
                                        std::uint64_t size)>;

class EntryEncryptor {
public:
    virtual ~EntryEncryptor() = default;

    // How its entries' records say their data are stored, for data the
    // codec compressed with method.
    virtual EntryCoding Coding(std::uint16_t method) const = 0;
    // Bytes it adds to an entry's data (header and trailer).
    virtual std::uint64_t overhead() const = 0;
    // The header must be made from the CRC-32 of the data to come.
    virtual bool needs_crc_first() const = 0;
    // The records hold the data's CRC-32 (else 0).
    virtual bool records_crc() const = 0;

    // Starts an entry whose data will have the CRC-32 crc (read only when
    // needs_crc_first), replacing header with the bytes that open its data.
    // False when no header can be made (the system's random source did not
    // answer): the entry must not be written.
    virtual bool Begin(std::uint32_t crc, std::vector<unsigned char>& header) = 0;
    virtual void Encrypt(unsigned char* data, std::size_t size) = 0;
    // Replaces trailer with the bytes that close the entry's data.
    virtual void End(std::vector<unsigned char>& trailer) = 0;

    // Whether an entry begun with header_crc opens in every reader with
    // data whose CRC-32 is crc.
    virtual bool Opens(std::uint32_t header_crc, std::uint32_t crc) const = 0;

    // What encrypts an entry whose data have the CRC-32 crc again so that
    // it opens.
    virtual Reencryption ReencryptionFor(std::uint32_t crc) const = 0;
};

// No encryption: entries as they are.
std::unique_ptr<EntryEncryptor> PlainEntries();

// Traditional ZIP encryption with password (already trimmed, not empty),
// its headers' random bytes from random (which must outlive it).
std::unique_ptr<EntryEncryptor> TraditionalEncryption(const std::string& password, RandomBytes& random);

// WinZip AES-256, AE-2: method 99 with its extra field naming the codec's
// method, a salt and password verifier before the data, an authentication
// code after them, no CRC-32; each entry's salt and keys from keys (which
// must outlive it).
std::unique_ptr<EntryEncryptor> WinZipAesEncryption(AesKeySupply& keys);

// The encryptor a password asks for: none for the empty one, else the
// traditional cipher.
std::unique_ptr<EntryEncryptor> EncryptorFor(const std::string& password, RandomBytes& random);

} // namespace parcelon

#endif // PARCELON_ENTRY_ENCRYPTOR_H

// One entry of the archive being written, from opening to closing: its
// compressed bytes go in as they come, encrypted first when the entry has a
// password, and the entry closes with the size and CRC-32 of what it holds.
#ifndef PARCELON_ENTRY_STREAM_H
#define PARCELON_ENTRY_STREAM_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "create/ZipWriter.h"
#include "crypto/TraditionalCipher.h"

namespace parcelon {

class RandomBytes;

class EntryStream {
public:
    EntryStream() = default;
    // An entry still open is closed as it stands.
    ~EntryStream();
    EntryStream(const EntryStream&) = delete;
    EntryStream& operator=(const EntryStream&) = delete;

    // Opens the entry (ZIP_OK, or the error of OpenEntry and nothing is
    // open). With a password the entry is encrypted, and its header, made
    // from crc (the CRC-32 its data will have), is written at once.
    int Open(void* zip, const EntryName& name, EntryOptions options, const std::string& password, std::uint32_t crc,
             RandomBytes& random);

    // Appends compressed bytes, encrypting them in place first when the
    // entry is encrypted. False when they could not be written.
    bool Write(unsigned char* data, std::size_t size);

    // Closes the entry with the uncompressed size and CRC-32 of its data.
    bool Close(std::uint64_t size, std::uint32_t crc);

private:
    void* zip_ = nullptr; // while an entry is open
    std::optional<TraditionalCipher> keys_;
};

} // namespace parcelon

#endif // PARCELON_ENTRY_STREAM_H

// One entry on its way into a sink, from opening to closing: the
// encryptor's header first, then the compressed data, encrypted on the
// way, then its trailer; the entry closes with the size and CRC-32 of what
// it holds. An entry whose header no longer fits its data is encrypted
// again by the sink once the archive is complete.
#ifndef PARCELON_ENTRY_STREAM_H
#define PARCELON_ENTRY_STREAM_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "create/EntryEncryptor.h"
#include "create/EntrySink.h"

namespace parcelon {

class EntryStream {
public:
    // end: the bytes that end the codec's data after any whole chunk (the
    // empty last chunk's output).
    EntryStream(EntrySink& sink, EntryEncryptor& encryptor, const std::vector<unsigned char>& end)
        : sink_(sink), encryptor_(encryptor), end_(end) {}
    // An entry still open (an exception is leaving the packer: out of
    // memory, or a host's callback that threw) is ended after the last
    // whole piece written and closed with that piece's size and CRC-32:
    // never with sizes that disagree with its data.
    ~EntryStream();
    EntryStream(const EntryStream&) = delete;
    EntryStream& operator=(const EntryStream&) = delete;

    // Opens the entry and writes the encryptor's header, made from
    // header_crc. False when the header cannot be made or the sink refuses
    // the entry; nothing is open then.
    bool Open(const EntryHeader& header, std::uint32_t header_crc);

    // Appends compressed bytes (encrypting them in place); with them the
    // entry holds the first size bytes of its file, whose CRC-32 is crc.
    // False when they could not be written.
    bool Write(unsigned char* data, std::size_t count, std::uint64_t size, std::uint32_t crc);

    // Bytes of data written so far, header included.
    std::uint64_t stored() const { return stored_; }

    // Writes the trailer and closes the entry with the size and CRC-32 of
    // its data; has it encrypted again when its header no longer fits
    // them. False when anything could not be written.
    bool Close(std::uint64_t size, std::uint32_t crc);

private:
    EntrySink& sink_;
    EntryEncryptor& encryptor_;
    const std::vector<unsigned char>& end_;
    bool open_ = false;
    std::uint32_t header_crc_ = 0;
    std::uint64_t stored_ = 0;
    std::uint64_t whole_size_ = 0; // what the last whole piece left the entry holding
    std::uint32_t whole_crc_ = 0;
};

} // namespace parcelon

#endif // PARCELON_ENTRY_STREAM_H

// Turning an entry's stored bytes, once decrypted, back into its data: one
// decoder per compression method, chosen by the method the entry records.
//
// A decoder pulls the stored bytes from a StoredInput and pushes what it
// decodes into a DecodedOutput, a block at a time. It succeeds only when its
// method's stream ends exactly where the stored bytes end: a stream cut
// short, or bytes after its end, are DataCorrupt, as is any malformed data.
// The output counts what it is given and refuses bytes past the entry's
// recorded size; it also checks the CRC, reports progress and looks at the
// stop flag, so a decoder hands on whatever failure Write returns and ends.
// Memory stays bounded whatever the entry's size: blocks of a fixed size,
// and the method's own state within a set limit. Running out of memory
// throws std::bad_alloc.
#ifndef PARCELON_DECODER_H
#define PARCELON_DECODER_H

#include <cstddef>
#include <cstdint>

#include "messages/Failures.h"

namespace parcelon {

// What a decoder may need to know of its entry besides its bytes.
struct EntryFacts {
    std::uint16_t method = 0;      // the compression method (under AES, the one its extra field names)
    std::uint16_t flags = 0;       // general-purpose flags (LZMA: bit 1, an end marker ends the data)
    std::uint64_t size = 0;        // the recorded uncompressed size
    std::uint64_t stored_size = 0; // the stored bytes the decoder gets (without any encryption header or trailer)
};

// The entry's stored bytes, in order, decrypted.
class StoredInput {
public:
    virtual ~StoredInput() = default;
    // How many bytes are still to come.
    virtual std::uint64_t left() const = 0;
    // Up to size bytes into buffer; got is 0 only when none are left. False
    // when they cannot be read.
    virtual bool Next(unsigned char* buffer, std::size_t size, std::size_t& got) = 0;
};

// Where the decoded bytes go, in order.
class DecodedOutput {
public:
    virtual ~DecodedOutput() = default;
    // None, or the failure that ends the entry (DataCorrupt past the
    // recorded size, CannotWriteOutput, a stop).
    virtual UnzipFailure Write(const unsigned char* data, std::size_t size) = 0;
};

using Decoder = UnzipFailure (*)(const EntryFacts& facts, StoredInput& input, DecodedOutput& output);

// The decoder for a method, or nullptr for a method the library cannot read
// (UnsupportedMethod).
Decoder DecoderFor(std::uint16_t method);

// The size of the blocks decoders read and write in.
constexpr std::size_t kDecodeBlock = 256 * 1024;

} // namespace parcelon

#endif // PARCELON_DECODER_H

// An entry's data: where they lie, once the local header agrees with the
// central record, and their way into an output, decrypted and decoded,
// with every byte accounted for.
#ifndef PARCELON_ENTRY_DATA_H
#define PARCELON_ENTRY_DATA_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "extract/ArchiveInput.h"
#include "extract/CentralDirectory.h"
#include "messages/Failures.h"

namespace parcelon {

// The bytes an entry occupies in the file: its local header, then its data.
struct EntrySpan {
    std::uint64_t header = 0; // where the local header starts
    std::uint64_t data = 0;   // where the data start
    std::uint64_t end = 0;    // just past the data
    // A small entry's bytes from its header to its end, read at once with
    // the header (one read instead of three); empty for a larger one.
    std::shared_ptr<const std::vector<unsigned char>> bytes;

    // Reads size bytes at offset (within the entry) from bytes when they
    // hold them, else from input.
    bool Read(const ArchiveInput& input, std::uint64_t offset, void* buffer, std::size_t size) const;
};

// Reads the entry's local header: LocalHeaderMismatch when it is missing or
// names another entry or method than the central record; EntryOverlaps
// when the data would run into the central directory (which starts at
// directory_start).
UnzipFailure LocateEntry(const ArchiveInput& input, const CentralRecord& record, std::uint64_t directory_start,
                         EntrySpan& span);

// Takes the entry's uncompressed bytes, in order, in blocks as large as the
// decoding allows (a whole Deflate entry of up to 4 MiB at once).
class EntrySink {
public:
    virtual ~EntrySink() = default;
    // False when the bytes could not be taken.
    virtual bool Write(const unsigned char* data, std::size_t size) = 0;
    // Empty again, for another try at the same entry (another password);
    // false when it cannot be.
    virtual bool Restart() { return false; }
};

// Follows an entry's decoded bytes, a block at a time, once each block is
// in the sink: the operation's progress, and its stop.
class BlockObserver {
public:
    virtual ~BlockObserver() = default;
    // None to go on, or the failure that ends the entry (Stopped).
    virtual UnzipFailure OnBlock(std::size_t size) = 0;
};

class WinZipAesKeys;

// How an entry is decoded, besides its data and its password.
struct DecodeOptions {
    BlockObserver* observer = nullptr; // told of every block; may be null
    // A large entry may take a second thread (its bytes read and decrypted
    // ahead, or, when plain, checked and written behind the decoder), as a
    // reading call with threads allows.
    bool overlapped = false;
    // An AES entry's keys, derived ahead from this password and its salt;
    // null to derive them while decoding.
    const WinZipAesKeys* aes_keys = nullptr;
};

// Decodes the entry's data into sink: an encrypted entry with password (a
// plain one as it is, whatever password is given), by the decoder of its
// compression method. None only when the data end exactly at the recorded
// compressed size, give exactly the recorded size, and match the recorded
// CRC-32 (or authentication code).
UnzipFailure DecodeEntry(ArchiveInput& input, const CentralRecord& record, const EntrySpan& span,
                         const char* password, EntrySink& sink, const DecodeOptions& options = DecodeOptions());

} // namespace parcelon

#endif // PARCELON_ENTRY_DATA_H

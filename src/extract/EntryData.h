// An entry's data: where they lie, once the local header agrees with the
// central record, and their copy into an output, decrypted and inflated,
// with every byte accounted for.
#ifndef PARCELON_ENTRY_DATA_H
#define PARCELON_ENTRY_DATA_H

#include <cstddef>
#include <cstdint>

#include "extract/ArchiveInput.h"
#include "extract/CentralDirectory.h"
#include "messages/Failures.h"

namespace parcelon {

// The bytes an entry occupies in the file: its local header, then its data.
struct EntrySpan {
    std::uint64_t header = 0; // where the local header starts
    std::uint64_t data = 0;   // where the data start
    std::uint64_t end = 0;    // just past the data
};

// Reads the entry's local header: LocalHeaderMismatch when it is missing or
// names another entry or method than the central record; EntryOverlaps
// when the data would run into the central directory (which starts at
// directory_start).
UnzipFailure LocateEntry(ArchiveInput& input, const CentralRecord& record, std::uint64_t directory_start,
                         EntrySpan& span);

// Takes the entry's uncompressed bytes, in order, in blocks as large as the
// reading allows (a whole entry of up to 4 MiB at once).
class EntrySink {
public:
    virtual ~EntrySink() = default;
    // False when the bytes could not be taken.
    virtual bool Write(const unsigned char* data, std::size_t size) = 0;
};

// Copies the entry's data into sink: an encrypted entry (flag bit 0) with
// password, a plain one as it is, whatever password is given. None only
// when the data end exactly at the recorded compressed size, give exactly
// the recorded size, and match the recorded CRC-32.
UnzipFailure CopyEntryData(ArchiveInput& input, const CentralRecord& record, const EntrySpan& span,
                           const char* password, EntrySink& sink);

} // namespace parcelon

#endif // PARCELON_ENTRY_DATA_H

// The archive's table of contents: the end record, found from the end of
// the file, and the central directory's records, read one after another.
// Everything here is checked against the file before it is believed: a
// record that does not parse ends the walk with a failure, not with the
// end of the list.
#ifndef PARCELON_CENTRAL_DIRECTORY_H
#define PARCELON_CENTRAL_DIRECTORY_H

#include <cstdint>
#include <string>
#include <vector>

#include "extract/ArchiveInput.h"
#include "format/ZipFormat.h"
#include "messages/Failures.h"

namespace parcelon {

// What the end record (and its ZIP64 form) says.
struct EndRecord {
    std::uint64_t entries = 0;   // as recorded; the walk goes by the directory's size
    std::uint64_t cd_offset = 0; // of the first record, in the file
    std::uint64_t cd_size = 0;
    std::uint64_t shift = 0;     // bytes before the archive proper (a self-extractor's stub)
};

// Finds the end record: the last one in the file whose comment runs to the
// file's end, or else the last one at all, searched over the largest span
// a comment allows (65,535 bytes). CannotOpenArchive when there is none;
// CannotReadArchiveInfo when the directory it describes cannot lie where
// it says.
UnzipFailure ReadEndRecord(ArchiveInput& input, EndRecord& end);

struct CentralRecord {
    std::uint16_t version_made_by = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t dos_date_time = 0; // time in the low 16 bits, date in the high
    std::uint32_t crc = 0;
    std::uint64_t compressed_size = 0;
    std::uint64_t uncompressed_size = 0;
    std::uint64_t local_header_offset = 0; // in the file (the shift included)
    std::string name;                      // as stored
    std::string extra;                     // the record's extra field
};

// The records in order, read in large blocks.
class CentralDirectoryWalk {
public:
    CentralDirectoryWalk(ArchiveInput& input, const EndRecord& end);

    // The next record: None with record filled, or, at the end of the
    // directory, None with done() true. A record that does not parse (a bad
    // signature, a length past the directory's end, a ZIP64 field missing)
    // gives CannotFindFirstEntry for the first and CannotReadEntryInfo for
    // any later one.
    UnzipFailure Next(CentralRecord& record);
    bool done() const { return position_ == end_; }

private:
    bool Read(std::uint64_t offset, std::size_t size, const unsigned char*& data);

    ArchiveInput& input_;
    std::uint64_t shift_;
    std::uint64_t position_;
    std::uint64_t end_;
    bool first_ = true;
    std::vector<unsigned char> window_;
    std::uint64_t window_start_ = 0;
};

} // namespace parcelon

#endif // PARCELON_CENTRAL_DIRECTORY_H

// Where the packer's entries go, one at a time: the library's own archive
// writer (ArchiveWriter), or a minizip archive a host opened
// (src/minizip/MinizipEntries). Each entry's data come already compressed
// and encrypted; the sink writes its records.
#ifndef PARCELON_ENTRY_SINK_H
#define PARCELON_ENTRY_SINK_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "create/EntryEncryptor.h"
#include "format/ZipFormat.h"

namespace parcelon {

// What an entry's records say before its data are known.
struct EntryHeader {
    std::string name;                  // the stored bytes (at most 65,535)
    std::uint16_t version_made_by = 0;
    // What the central record says as made by when it holds ZIP64 values.
    std::uint16_t version_made_by_zip64 = zip::kVersionZip64;
    // Needed to extract, without ZIP64 records (which need 4.5 at least).
    std::uint16_t version_needed = zip::kVersionDeflate;
    std::uint16_t flags = 0;           // general-purpose flags
    std::uint16_t method = 0;
    std::uint32_t dos_date_time = 0;   // DOS date in the high 16 bits, time in the low
    std::uint32_t external_attributes = 0;
    std::string extra;                 // fields both records carry, after any ZIP64 field
    bool zip64 = false;                // the local header has room for 64-bit sizes
};

class EntrySink {
public:
    virtual ~EntrySink() = default;

    // Opens an entry; false when it cannot be (nothing of it is written).
    virtual bool OpenEntry(const EntryHeader& header) = 0;
    // Appends bytes to the open entry's data: false when they could not be
    // written.
    virtual bool WriteEntryData(const unsigned char* data, std::size_t size) = 0;
    // Closes the open entry with the uncompressed size and CRC-32 of its
    // data: false when its records could not be written or cannot hold the
    // sizes.
    virtual bool CloseEntry(std::uint64_t size, std::uint32_t crc) = 0;

    // Whether an entry closed here can be encrypted again afterwards.
    virtual bool CanReencrypt() const = 0;
    // Has the entry closed last encrypted again, once the archive is
    // complete, so that its header fits the CRC-32 its records hold.
    virtual void ReencryptLast(Reencryption reencryption) = 0;
};

} // namespace parcelon

#endif // PARCELON_ENTRY_SINK_H

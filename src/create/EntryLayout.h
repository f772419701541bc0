// How an entry looks in the archive, decided in one place: its stored
// name, its flags and version, its date, and whether it needs ZIP64
// records.
#ifndef PARCELON_ENTRY_LAYOUT_H
#define PARCELON_ENTRY_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "create/EntrySink.h"

namespace parcelon {

// Longest entry name the format's 16-bit length field can hold.
constexpr std::size_t kMaxEntryNameBytes = 0xFFFF;

// An entry's name as the archive stores it.
struct EntryName {
    std::string bytes;
    bool utf8 = false; // general-purpose flag bit 11: the bytes are UTF-8
};

// The stored form of a wide entry name: its ANSI bytes when the code page
// holds every character of it (as every archive for such names always had),
// else its UTF-8 bytes, flagged, so that no name is garbled or lost.
EntryName EncodeEntryName(std::wstring_view name);

// Whether the entry of a file of size bytes, whose data may take up to
// most_stored bytes in the archive (the codec's worst case and the
// encryptor's overhead), needs ZIP64 records. Decided before the data are
// known, from the worst case: stored or incompressible data grow.
bool NeedsZip64(std::uint64_t size, std::uint64_t most_stored);

enum class EntryKind { File, Folder };

// The header of an entry named name, for the host's level (0 to 9, or
// (unsigned)-1 for the default), of a codec's method and an encryptor's
// flags. False for a name longer than kMaxEntryNameBytes and for any other
// level: such an entry is not opened.
bool MakeEntryHeader(const EntryName& name, EntryKind kind, unsigned int level, std::uint16_t method,
                     std::uint16_t encryption_flags, bool zip64, EntryHeader& header);

} // namespace parcelon

#endif // PARCELON_ENTRY_LAYOUT_H

// How an entry looks in the archive, decided in one place: its stored
// name, its flags and versions, its date, its attributes and extra fields,
// and whether it needs ZIP64 records; in the classic style (what the class
// writes) or the portable one (PackOptions.h).
#ifndef PARCELON_ENTRY_LAYOUT_H
#define PARCELON_ENTRY_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "create/EntrySink.h"
#include "create/PackOptions.h"
#include "format/ZipFormat.h"
#include "platform/Platform.h"

namespace parcelon {

// Longest entry name the format's 16-bit length field can hold.
constexpr std::size_t kMaxEntryNameBytes = 0xFFFF;

// An entry's name as the archive stores it.
struct EntryName {
    std::string bytes;
    bool utf8 = false; // general-purpose flag bit 11: the bytes are UTF-8
};

// The stored form of a wide entry name (with backslashes between its
// parts, as packing names entries).
// - Classic: its ANSI bytes when the code page holds every character of it
//   (as every archive for such names always had), else its UTF-8 bytes,
//   flagged, so that no name is garbled or lost; backslashes stay.
// - Portable: '/' between the parts; plain ASCII as it is, anything else
//   UTF-8, flagged, whatever the code page.
EntryName EncodeEntryName(std::wstring_view name, EntryStyle style = EntryStyle::Classic);

// Whether the entry of a file of size bytes, whose data may take up to
// most_stored bytes in the archive (the codec's worst case and the
// encryptor's overhead), needs ZIP64 records. Decided before the data are
// known, from the worst case: stored or incompressible data grow.
bool NeedsZip64(std::uint64_t size, std::uint64_t most_stored);

enum class EntryKind { File, Folder };

// How an entry's data are stored, as its records say: the codec's method,
// or what an encryption that names itself puts in its place.
struct EntryCoding {
    std::uint16_t method = zip::kMethodDeflated;
    std::uint16_t flags = 0; // the encryption's flag bits
    std::uint16_t version_needed = zip::kVersionDeflate;
    std::string extra;       // the encryption's own extra field (WinZip AES's), in both records
};

// A portable folder entry: stored, and empty.
EntryCoding PortableFolderCoding();

// The header of an entry named name, for the host's level (0 to 9, or
// (unsigned)-1 for the default) and coding. portable: the stamp of the file
// or folder, for the portable style (its time, its attributes); null for
// the classic style, whose entries record neither. False for a name longer
// than kMaxEntryNameBytes and for any other level: such an entry is not
// opened.
bool MakeEntryHeader(const EntryName& name, EntryKind kind, unsigned int level, const EntryCoding& coding,
                     bool zip64, const platform::FileStamp* portable, EntryHeader& header);

// The DOS date (high 16 bits) and time (low) of a local wall-clock time,
// in two-second steps, held to what the format can say: 1 January 1980 to
// 31 December 2107.
std::uint32_t DosDateTime(const platform::SystemTime& local);

} // namespace parcelon

#endif // PARCELON_ENTRY_LAYOUT_H

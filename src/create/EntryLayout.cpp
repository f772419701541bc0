#include "create/EntryLayout.h"

#include <algorithm>
#include <limits>

#include "text/PathText.h"
#include "text/TextHelpers.h"
#include "text/Utf8.h"

namespace parcelon {

namespace {

// MS-DOS, version 0, as every archive the library wrote has said.
constexpr std::uint16_t kVersionMadeBy = 0;
// For a UTF-8 name: NTFS, version 2.0. Info-ZIP's unzip reads the names of
// MS-DOS-made entries as OEM code page text even when they are flagged
// UTF-8, and garbles them; it takes an NTFS-made entry's flag at its word.
constexpr std::uint16_t kVersionMadeByUnicode = 0x0A14;

// The systems a portable entry says it was made on (the high byte of
// "version made by"): Unix, whose external attributes carry the file's
// mode in their high 16 bits, and NTFS, whose carry the DOS attributes,
// for the same reason as above.
constexpr std::uint16_t kHostUnix = 3;
constexpr std::uint16_t kHostNtfs = 10;

// The DOS attributes the portable style keeps: read-only, hidden, system,
// folder, archive.
constexpr std::uint32_t kDosReadOnly = 0x01;
constexpr std::uint32_t kDosFolder = 0x10;
constexpr std::uint32_t kDosKept = 0x37;
constexpr std::uint32_t kUnixWritable = 0200;

// A fixed date, 1 January 1980 (DOS date 0x0021), time 0: the same bytes
// for the same files everywhere. (Day 0 of January, what an all-zero
// record makes, is no date, and readers call the header damaged.) Folder
// entries carry date and time 0.
constexpr std::uint32_t kFileDosDateTime = 0x0021u << 16;

constexpr unsigned int kDefaultLevel = static_cast<unsigned int>(-1);

// The compression option bits (1 and 2) for the host's level, as zlib's
// minizip has always set them: 8 and 9 maximum, 2 fast, 1 super fast.
std::uint16_t LevelFlags(unsigned int level) {
    switch (level) {
    case 8:
    case 9: return 0x0002;
    case 2: return 0x0004;
    case 1: return 0x0006;
    default: return 0;
    }
}

bool IsAscii(std::wstring_view text) {
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return static_cast<std::uint32_t>(c) < 0x80; });
}

// The extended timestamp field with the modification time alone (the same
// in both records); none for a time its signed 32 bits cannot hold.
std::string ExtendedTimestamp(std::int64_t modified) {
    std::string field;
    if (modified < std::numeric_limits<std::int32_t>::min() || modified > std::numeric_limits<std::int32_t>::max())
        return field;
    zip::Put16(field, zip::kExtendedTimestampField);
    zip::Put16(field, 5);
    field += '\x01'; // a modification time follows
    zip::Put32(field, static_cast<std::uint32_t>(static_cast<std::int32_t>(modified)));
    return field;
}

void LayOutClassic(const EntryName& name, EntryKind kind, EntryHeader& header) {
    header.version_made_by = name.utf8 ? kVersionMadeByUnicode : kVersionMadeBy;
    header.version_made_by_zip64 = zip::kVersionZip64;
    header.dos_date_time = kind == EntryKind::File ? kFileDosDateTime : 0;
}

void LayOutPortable(EntryKind kind, const platform::FileStamp& stamp, EntryHeader& header) {
    const bool unix_mode = stamp.mode != 0;
    const std::uint16_t host = static_cast<std::uint16_t>((unix_mode ? kHostUnix : kHostNtfs) << 8);
    header.version_made_by = static_cast<std::uint16_t>(host | header.version_needed);
    header.version_made_by_zip64 =
        static_cast<std::uint16_t>(host | std::max(zip::kVersionZip64, header.version_needed));
    std::uint32_t attributes = kind == EntryKind::Folder ? kDosFolder : 0;
    if (unix_mode) {
        attributes |= stamp.mode << 16;
        if ((stamp.mode & kUnixWritable) == 0) attributes |= kDosReadOnly;
    } else {
        attributes |= stamp.attributes & kDosKept;
    }
    header.external_attributes = attributes;
    platform::SystemTime local;
    header.dos_date_time = platform::UtcSecondsToLocalTime(stamp.modified, local) ? DosDateTime(local) : 0x0021u << 16;
    header.extra += ExtendedTimestamp(stamp.modified);
}

} // namespace

EntryName EncodeEntryName(std::wstring_view name, EntryStyle style) {
    if (style == EntryStyle::Portable) {
        std::wstring slashed(name);
        std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
        if (IsAscii(slashed)) return EntryName{std::string(slashed.begin(), slashed.end()), false};
        return EntryName{WideToUtf8(slashed), true};
    }
    if (FitsCodePage(name)) return EntryName{platform::WideToAnsi(name), false};
    return EntryName{WideToUtf8(name), true};
}

bool NeedsZip64(std::uint64_t size, std::uint64_t most_stored) {
    return size >= zip::kSaturated32 || most_stored >= zip::kSaturated32;
}

EntryCoding PortableFolderCoding() {
    EntryCoding coding;
    coding.method = zip::kMethodStored;
    return coding;
}

bool MakeEntryHeader(const EntryName& name, EntryKind kind, unsigned int level, const EntryCoding& coding,
                     bool zip64, const platform::FileStamp* portable, EntryHeader& header) {
    if (name.bytes.size() > kMaxEntryNameBytes) return false;
    if (level > 9 && level != kDefaultLevel) return false;
    header = EntryHeader();
    header.name = name.bytes;
    header.version_needed = coding.version_needed;
    // The level's bits describe Deflate; a stored entry has none.
    const std::uint16_t level_flags = coding.method == zip::kMethodStored ? 0 : LevelFlags(level);
    header.flags = static_cast<std::uint16_t>(level_flags | coding.flags | (name.utf8 ? zip::kFlagUtf8Name : 0));
    header.method = coding.method;
    header.extra = coding.extra;
    header.zip64 = zip64;
    if (portable != nullptr) LayOutPortable(kind, *portable, header);
    else LayOutClassic(name, kind, header);
    return true;
}

std::uint32_t DosDateTime(const platform::SystemTime& local) {
    if (local.year < 1980) return 0x0021u << 16; // 1 January 1980, 00:00
    if (local.year > 2107) return (127u << 25 | 12u << 21 | 31u << 16) | (23u << 11 | 59u << 5 | 29u);
    const auto date = static_cast<std::uint32_t>((local.year - 1980) << 9 | local.month << 5 | local.day);
    const auto time = static_cast<std::uint32_t>(local.hour << 11 | local.minute << 5 | local.second / 2);
    return date << 16 | time;
}

} // namespace parcelon

#include "create/EntryLayout.h"

#include "format/ZipFormat.h"
#include "platform/Platform.h"
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

} // namespace

EntryName EncodeEntryName(std::wstring_view name) {
    if (FitsCodePage(name)) return EntryName{platform::WideToAnsi(name), false};
    return EntryName{WideToUtf8(name), true};
}

bool NeedsZip64(std::uint64_t size, std::uint64_t most_stored) {
    return size >= zip::kSaturated32 || most_stored >= zip::kSaturated32;
}

bool MakeEntryHeader(const EntryName& name, EntryKind kind, unsigned int level, std::uint16_t method,
                     std::uint16_t encryption_flags, bool zip64, EntryHeader& header) {
    if (name.bytes.size() > kMaxEntryNameBytes) return false;
    if (level > 9 && level != kDefaultLevel) return false;
    header.name = name.bytes;
    header.version_made_by = name.utf8 ? kVersionMadeByUnicode : kVersionMadeBy;
    header.flags = static_cast<std::uint16_t>(LevelFlags(level) | encryption_flags |
                                              (name.utf8 ? zip::kFlagUtf8Name : 0));
    header.method = method;
    header.dos_date_time = kind == EntryKind::File ? kFileDosDateTime : 0;
    header.zip64 = zip64;
    return true;
}

} // namespace parcelon

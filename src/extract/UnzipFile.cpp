#include "extract/UnzipFile.h"

#include <iterator>
#include <map>
#include <string>

#include "extract/ArchiveInput.h"
#include "extract/CentralDirectory.h"
#include "extract/EntryData.h"
#include "extract/EntryFolders.h"
#include "extract/OutputFile.h"
#include "extract/SafeEntryPath.h"
#include "extract/StoredName.h"
#include "crypto/TraditionalCipher.h"
#include "platform/Platform.h"
#include "text/TextHelpers.h"

namespace parcelon {

namespace {

// Where the entries go: the destination and a "/", and whether the
// destination exists (it must already be there).
struct Destination {
    std::wstring prefix;
    bool exists = false;
};

// The bytes of the entries extracted so far; a new entry's must not
// overlap any of them (two records for one local header, or an entry whose
// data hold the next entries: the way a small archive unpacks to a huge
// tree).
class Occupied {
public:
    bool Overlaps(const EntrySpan& span) const {
        auto next = spans_.lower_bound(span.header);
        if (next != spans_.end() && next->first < span.end) return true;
        if (next != spans_.end() && next->first == span.header) return true;
        if (next != spans_.begin() && std::prev(next)->second > span.header) return true;
        return false;
    }
    void Add(const EntrySpan& span) { spans_[span.header] = span.end; }

private:
    std::map<std::uint64_t, std::uint64_t> spans_; // start -> end
};

// The data into output, with the password as given and, when that fails and
// the password has white space around it, with the text the packing side
// would have used: archives packed with " s3cret " open with " s3cret ".
UnzipFailure CopyWithPassword(ArchiveInput& input, const CentralRecord& record, const EntrySpan& span,
                              const char* password, OutputFile& output) {
    const UnzipFailure first = CopyEntryData(input, record, span, password, output);
    if (first == UnzipFailure::None || first == UnzipFailure::CannotWriteOutput || password == nullptr) return first;
    if ((record.flags & zip::kFlagEncrypted) == 0) return first;
    const std::string trimmed = TrimSpaces(password);
    if (trimmed == password || !output.Restart()) return first;
    return CopyEntryData(input, record, span, trimmed.c_str(), output) == UnzipFailure::None ? UnzipFailure::None
                                                                                              : first;
}

UnzipFailure ExtractEntry(ArchiveInput& input, const CentralRecord& record, const EndRecord& end,
                          const Destination& dest, const char* password, Occupied& occupied,
                          EntryFolders& folders) {
    const std::wstring name = DecodeStoredName(record.name, record.flags, record.extra);
    const EntryPath path = ClassifyEntryName(name);
    if (!path.safe) return UnzipFailure::EntryNameUnsafe;
    if (!dest.exists) return UnzipFailure::DestinationMissing;
    if (path.folder && record.uncompressed_size > 0) return UnzipFailure::FolderEntryHasData;

    EntrySpan span;
    const UnzipFailure located = LocateEntry(input, record, end.cd_offset + end.shift, span);
    if (located != UnzipFailure::None) return located;
    if (occupied.Overlaps(span)) return UnzipFailure::EntryOverlaps;
    occupied.Add(span);

    if (!folders.Make(name, path)) return UnzipFailure::CannotCreateFolder;
    if (path.folder) return UnzipFailure::None;

    const std::wstring target = dest.prefix + name;
    if (platform::DirectoryExists(target)) return UnzipFailure::CannotCreateOutput;
    OutputFile output(target);
    if (!output.IsOpen()) return UnzipFailure::CannotCreateOutput;
    const UnzipFailure copied = CopyWithPassword(input, record, span, password, output);
    if (copied != UnzipFailure::None) return copied;
    return output.Commit();
}

UnzipFailure ExtractAll(const std::wstring& zip_path, const std::wstring& dest_dir, const char* password) {
    ArchiveInput input(zip_path);
    if (!input.IsOpen()) return UnzipFailure::CannotOpenArchive;
    EndRecord end;
    const UnzipFailure ended = ReadEndRecord(input, end);
    if (ended != UnzipFailure::None) return ended;
    // An archive without entries (what packing an empty folder writes):
    // nothing to do.
    if (end.cd_size == 0 && end.entries == 0) return UnzipFailure::None;

    // An empty text names no folder (joined with "/" it would name the root
    // instead).
    Destination dest;
    dest.prefix = dest_dir;
    dest.exists = !dest.prefix.empty() && platform::DirectoryExists(dest.prefix);
    dest.prefix += L'/';

    // Every record the directory holds: more than the end record counts
    // (a count that wrapped past 65,535, say) are extracted too; fewer mean
    // records are missing, and the entry after the last cannot be read.
    CentralDirectoryWalk walk(input, end);
    if (walk.done()) return UnzipFailure::CannotFindFirstEntry;
    Occupied occupied;
    EntryFolders folders(dest.prefix);
    CentralRecord record;
    std::uint64_t records = 0;
    while (!walk.done()) {
        const UnzipFailure read = walk.Next(record);
        if (read != UnzipFailure::None) return read;
        ++records;
        const UnzipFailure extracted = ExtractEntry(input, record, end, dest, password, occupied, folders);
        if (extracted != UnzipFailure::None) return extracted;
    }
    return records < end.entries ? UnzipFailure::CannotReadEntryInfo : UnzipFailure::None;
}

} // namespace

bool UnzipFile(const std::wstring& zip_path, const std::wstring& dest_dir, const char* password,
               Diagnostics& diagnostics) {
    const platform::CodePageScope code_page;
    const UnzipFailure failure = ExtractAll(zip_path, dest_dir, password);
    if (failure == UnzipFailure::None) return true;
    diagnostics.Report(failure);
    return false;
}

} // namespace parcelon

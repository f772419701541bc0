#include "extract/UnzipFile.h"

#include <unzip.h>

#include <string>

#include "extract/EntryCopy.h"
#include "extract/SafeEntryPath.h"
#include "extract/StoredName.h"
#include "memory/OperationMemory.h"
#include "minizip/FileFunctions.h"
#include "platform/Platform.h"

namespace parcelon {

namespace {

// The archive open for reading, closed on every way out.
class ArchiveReader {
public:
    explicit ArchiveReader(const std::wstring& path) {
        if (path.empty()) return;
        zlib_filefunc64_def functions = PlatformFileFunctions();
        ArchiveStream stream;
        stream.path = path;
        handle_ = unzOpen2_64(&stream, &functions);
    }
    ~ArchiveReader() {
        if (handle_ != nullptr) unzClose(handle_);
    }
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    bool IsOpen() const { return handle_ != nullptr; }
    unzFile handle() const { return handle_; }

private:
    unzFile handle_ = nullptr;
};

// Makes each folder the entry lies in (for a folder entry, the folder
// itself too) beneath the destination, where it is missing.
bool MakeEntryFolders(const std::wstring& dest_prefix, const EntryPath& path) {
    for (const std::wstring& folder : path.folders) {
        if (!platform::MakeDirectory(dest_prefix + folder)) return false;
    }
    return true;
}

// The current entry's record, with its name and extra field as the archive
// stores them. The lengths come first, and the buffers are made to fit.
bool ReadEntryInfo(unzFile archive, unz_file_info64& info, std::string& name, std::string& extra) {
    if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return false;
    // One spare byte each: minizip ends a name that fits with a zero.
    name.assign(info.size_filename + 1, '\0');
    extra.assign(info.size_file_extra + 1, '\0');
    const uLong name_size = static_cast<uLong>(name.size());
    const uLong extra_size = static_cast<uLong>(extra.size());
    if (unzGetCurrentFileInfo64(archive, &info, &name[0], name_size, &extra[0], extra_size, nullptr, 0) != UNZ_OK ||
        info.size_filename + 1 != name.size() || info.size_file_extra + 1 != extra.size())
        return false;
    name.pop_back();
    extra.pop_back();
    return true;
}

// Where the entries go: the destination and a "/", and whether the
// destination exists (it must already be there).
struct Destination {
    std::wstring prefix;
    bool exists = false;
};

// Extracts the archive's current entry below the destination.
UnzipFailure ExtractCurrentEntry(unzFile archive, const Destination& dest, const char* password) {
    unz_file_info64 info {};
    std::string stored_name;
    std::string extra;
    if (!ReadEntryInfo(archive, info, stored_name, extra)) return UnzipFailure::CannotReadEntryInfo;

    const std::wstring name = DecodeStoredName(stored_name, static_cast<std::uint16_t>(info.flag), extra);
    const EntryPath path = ClassifyEntryName(name);
    if (!path.safe) return UnzipFailure::EntryNameUnsafe;
    if (!dest.exists) return UnzipFailure::DestinationMissing;
    if (!MakeEntryFolders(dest.prefix, path)) return UnzipFailure::CannotCreateFolder;
    if (path.folder) return UnzipFailure::None;

    platform::FilePtr output(platform::OpenForWrite(dest.prefix + name));
    if (!output) return UnzipFailure::CannotCreateOutput;
    const UnzipFailure copied = CopyCurrentEntry(archive, FactsOf(info), password, output.get());
    if (copied != UnzipFailure::None) return copied;
    // Data still buffered reach the file only now.
    if (!platform::CloseFile(output.release())) return UnzipFailure::CannotWriteOutput;
    return UnzipFailure::None;
}

UnzipFailure ExtractAll(const char* zip_file, const char* dest_dir, const char* password) {
    ArchiveReader archive(zip_file != nullptr ? platform::AnsiToWide(zip_file) : std::wstring());
    if (!archive.IsOpen()) return UnzipFailure::CannotOpenArchive;
    unz_global_info global {};
    if (unzGetGlobalInfo(archive.handle(), &global) != UNZ_OK) return UnzipFailure::CannotReadArchiveInfo;
    if (unzGoToFirstFile(archive.handle()) != UNZ_OK) return UnzipFailure::CannotFindFirstEntry;

    // An empty text names no folder (joined with "/" it would name the root
    // instead).
    Destination dest;
    if (dest_dir != nullptr) dest.prefix = platform::AnsiToWide(dest_dir);
    dest.exists = !dest.prefix.empty() && platform::DirectoryExists(dest.prefix);
    dest.prefix += L'/';
    do {
        const UnzipFailure failure = ExtractCurrentEntry(archive.handle(), dest, password);
        if (failure != UnzipFailure::None) return failure;
    } while (unzGoToNextFile(archive.handle()) == UNZ_OK);
    return UnzipFailure::None;
}

} // namespace

bool UnzipFile(const char* szZipFile, const char* szDestDir, const char* szPassword, Diagnostics& diagnostics) {
    // Every entry's Inflate state is drawn from, and returned to, the
    // blocks this operation keeps; declared first, so it ends last.
    const AllocationScope memory;
    const platform::CodePageScope code_page;
    const UnzipFailure failure = ExtractAll(szZipFile, szDestDir, szPassword);
    if (failure == UnzipFailure::None) return true;
    diagnostics.Report(failure);
    return false;
}

} // namespace parcelon

// Extracting every entry of an archive into an existing folder: one pass in
// central-directory order that stops at the first failure, with exactly one
// message for it.
#include <unzip.h>

#include <string>

#include "Parcelon.h"
#include "archiver/Messages.h"
#include "extract/EntryCopy.h"
#include "extract/SafeEntryPath.h"
#include "memory/OperationMemory.h"
#include "platform/Platform.h"

namespace {

namespace messages = parcelon::messages;
namespace platform = parcelon::platform;

// The archive open for reading, closed on every way out.
class ArchiveReader {
public:
    explicit ArchiveReader(const char* ansi_path)
        : handle_(ansi_path == nullptr ? nullptr : unzOpen(platform::NativePath(ansi_path).c_str())) {}
    ~ArchiveReader() {
        if (handle_ != nullptr) unzClose(handle_);
    }
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    bool IsOpen() const { return handle_ != nullptr; }
    unzFile handle() const { return handle_; }

private:
    unzFile handle_;
};

// The destination must already be there; an empty text names no folder
// (joined with "/" it would name the root instead).
bool DestinationExists(const char* dest_dir) {
    return dest_dir != nullptr && *dest_dir != '\0' && platform::DirectoryExists(dest_dir);
}

// Makes each folder the entry lies in (for a folder entry, the folder
// itself too) beneath the destination, where it is missing.
bool MakeEntryFolders(const std::string& dest_prefix, const parcelon::EntryPath& path) {
    for (const std::string& folder : path.folders) {
        if (!platform::MakeDirectory((dest_prefix + folder).c_str())) return false;
    }
    return true;
}

// Extracts the archive's current entry; false after its one message.
bool ExtractCurrentEntry(unzFile archive, const char* dest_dir, const char* password) {
    // The name's length comes first: a name that cannot fit the buffer with
    // its terminating zero is never read into it.
    unz_file_info64 info {};
    if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK ||
        info.size_filename > parcelon::kMaxEntryNameLength) {
        messages::Report(messages::kUnzipFileInfo);
        return false;
    }
    char name[parcelon::kMaxEntryNameLength + 1] = {};
    if (unzGetCurrentFileInfo64(archive, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK ||
        info.size_filename > parcelon::kMaxEntryNameLength) {
        messages::Report(messages::kUnzipFileInfo);
        return false;
    }
    const std::string entry_name(name, info.size_filename);

    const parcelon::EntryPath path = parcelon::ClassifyEntryName(entry_name);
    if (!path.safe || !DestinationExists(dest_dir)) {
        messages::Report(messages::kUnzipCreateOutput);
        return false;
    }
    const std::string dest_prefix = std::string(dest_dir) + "/";
    if (!MakeEntryFolders(dest_prefix, path)) {
        messages::Report(messages::kUnzipCreateOutput);
        return false;
    }
    if (path.folder) return true;

    platform::FilePtr output(platform::OpenForWrite((dest_prefix + entry_name).c_str()));
    if (!output) {
        messages::Report(messages::kUnzipCreateOutput);
        return false;
    }
    switch (parcelon::CopyCurrentEntry(archive, parcelon::FactsOf(info), password, output.get())) {
    case parcelon::CopyResult::Copied:
        break;
    case parcelon::CopyResult::OpenFailed:
        messages::Report(messages::kUnzipOpenEntry);
        return false;
    case parcelon::CopyResult::DataFailed:
        messages::Report(messages::kUnzipReadData);
        return false;
    case parcelon::CopyResult::WriteFailed:
        messages::Report(messages::kUnzipWriteOutput);
        return false;
    }
    // Data still buffered reach the file only now.
    if (!platform::CloseFile(output.release())) {
        messages::Report(messages::kUnzipWriteOutput);
        return false;
    }
    return true;
}

} // namespace

bool CParcelon::UnzipFile(const char* szZipFile, const char* szDestDir, const char* szPassword) {
    // Every entry's Inflate state is drawn from, and returned to, the
    // blocks this operation keeps; declared first, so it ends last.
    const parcelon::AllocationScope memory;
    ArchiveReader archive(szZipFile);
    if (!archive.IsOpen()) {
        messages::Report(messages::kUnzipOpen);
        return false;
    }
    unz_global_info global {};
    if (unzGetGlobalInfo(archive.handle(), &global) != UNZ_OK) {
        messages::Report(messages::kUnzipGlobalInfo);
        return false;
    }
    if (unzGoToFirstFile(archive.handle()) != UNZ_OK) {
        messages::Report(messages::kUnzipFirstFile);
        return false;
    }
    do {
        if (!ExtractCurrentEntry(archive.handle(), szDestDir, szPassword)) return false;
    } while (unzGoToNextFile(archive.handle()) == UNZ_OK);
    return true;
}

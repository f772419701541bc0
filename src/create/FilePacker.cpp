#include "create/FilePacker.h"

#include <zip.h>
#include <zlib.h>

#include <cstdio>

#include "create/ZipWriter.h"
#include "platform/Platform.h"

namespace parcelon {

namespace {

bool Stopped(const std::atomic<bool>& stop) { return stop.load(std::memory_order_relaxed); }

// A folder entry holds no data: opened and closed at once.
PackFailure AddFolderEntry(void* zip, const std::wstring& folder, const EntryOptions& file_options) {
    EntryOptions options = file_options;
    options.file_entry = false;
    options.crc = 0;
    options.zip64 = false;
    if (OpenEntry(zip, EncodeEntryName(folder), options) != ZIP_OK) return PackFailure::CannotAddFolder;
    if (zipCloseFileInZip(static_cast<zipFile>(zip)) != ZIP_OK) return PackFailure::CannotAddFolder;
    return PackFailure::None;
}

// Streams the file into the open entry and closes the entry.
PackFailure CopyIntoEntry(void* zip, std::FILE* file, Progress& progress, const std::atomic<bool>& stop) {
    const zipFile handle = static_cast<zipFile>(zip);
    unsigned char buffer[kPackBlockSize];
    std::size_t count = std::fread(buffer, 1, sizeof buffer, file);
    while (count > 0 && !Stopped(stop)) {
        if (zipWriteInFileInZip(handle, buffer, static_cast<unsigned>(count)) != ZIP_OK) {
            zipCloseFileInZip(handle);
            return PackFailure::CannotWriteEntry;
        }
        progress.Advance(count);
        count = std::fread(buffer, 1, sizeof buffer, file);
    }
    // A read error is not the end of the file: the entry keeps what was
    // written, but the file is reported as not packed whole.
    const bool read_failed = std::ferror(file) != 0;
    const bool closed = zipCloseFileInZip(handle) == ZIP_OK;
    if (read_failed) return PackFailure::CannotReadSource;
    if (!closed) return PackFailure::CannotWriteEntry;
    return PackFailure::None;
}

} // namespace

unsigned long FileCrc(const std::wstring& path, const std::atomic<bool>& stop) {
    platform::FilePtr file(platform::OpenForReadDenyWrite(path));
    if (!file) return 0;
    uLong crc = 0;
    unsigned char buffer[kPackBlockSize] = {};
    while (!Stopped(stop)) {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
        const bool short_read = count < sizeof buffer && !std::feof(file.get());
        if (count > 0) crc = crc32(crc, buffer, static_cast<uInt>(count));
        if (short_read || count == 0) break;
    }
    return crc;
}

PackFailure PackFile(void* zip, const PackItem& item, const PackSettings& settings, Progress& progress,
                     const std::atomic<bool>& stop) {
    // A file the process may not read (or that is gone) is passed over.
    const std::wstring& source = item.path;
    if (!platform::IsReadable(source)) return PackFailure::None;

    EntryOptions options;
    options.level = settings.level;
    options.password = settings.password;
    if (!item.folder.empty()) {
        const PackFailure folder = AddFolderEntry(zip, item.folder, options);
        if (folder != PackFailure::None) return folder;
    }

    options.zip64 = item.size >= kZip64Threshold;
    if (!options.password.empty()) options.crc = FileCrc(source, stop);
    if (OpenEntry(zip, EncodeEntryName(item.name), options) != ZIP_OK) return PackFailure::CannotAddEntry;

    platform::FilePtr file(platform::OpenForRead(source));
    if (!file) {
        zipCloseFileInZip(static_cast<zipFile>(zip)); // the entry stays, empty
        return PackFailure::CannotOpenSource;
    }
    return CopyIntoEntry(zip, file.get(), progress, stop);
}

const std::wstring& FailureSubject(PackFailure failure, const PackItem& item) {
    return failure == PackFailure::CannotAddFolder ? item.folder : item.path;
}

void PackItems(void* zip, const std::vector<PackItem>& items, const PackSettings& settings, Progress& progress,
               const std::atomic<bool>& stop, Diagnostics& diagnostics) {
    for (const PackItem& item : items) {
        if (Stopped(stop)) break;
        const PackFailure failure = PackFile(zip, item, settings, progress, stop);
        if (failure != PackFailure::None) diagnostics.Report(failure, FailureSubject(failure, item));
    }
}

} // namespace parcelon

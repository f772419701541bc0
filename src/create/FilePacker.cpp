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
PackFailure AddFolderEntry(ZipWriter& archive, const std::wstring& folder, const EntryOptions& file_options) {
    EntryOptions options = file_options;
    options.file_entry = false;
    options.crc = 0;
    options.zip64 = false;
    if (OpenEntry(archive.handle(), EncodeEntryName(folder), options) != ZIP_OK) return PackFailure::CannotAddFolder;
    if (zipCloseFileInZip(static_cast<zipFile>(archive.handle())) != ZIP_OK) return PackFailure::CannotAddFolder;
    return PackFailure::None;
}

// How many of the first size bytes of data must follow a stream whose
// CRC-32 so far is crc for the high byte of the CRC to be check; size when
// no prefix does.
std::size_t BytesToCheckByte(uLong crc, const unsigned char* data, std::size_t size, unsigned char check) {
    for (std::size_t taken = 0;; ++taken) {
        if (static_cast<unsigned char>(crc >> 24) == check) return taken;
        if (taken == size) return size + 1;
        crc = crc32(crc, data + taken, 1);
    }
}

// Streams the file into the open entry and closes the entry. An encrypted
// entry's header already holds the high byte of the CRC-32 of the whole
// file (check); when a stop cuts the file short, the entry ends at the
// first byte after which its own CRC has that high byte too (within a few
// hundred bytes, as a rule), so that it still decrypts and passes its CRC
// in every reader.
PackFailure CopyIntoEntry(ZipWriter& archive, std::FILE* file, bool encrypted, unsigned char check,
                          Progress& progress, const std::atomic<bool>& stop, uLong& crc) {
    const zipFile handle = static_cast<zipFile>(archive.handle());
    unsigned char buffer[kPackBlockSize];
    std::size_t count = std::fread(buffer, 1, sizeof buffer, file);
    bool ending = false;
    while (count > 0) {
        if (Stopped(stop)) {
            if (!encrypted) break;
            const std::size_t needed = BytesToCheckByte(crc, buffer, count, check);
            if (needed <= count) {
                count = needed;
                ending = true;
            }
        }
        if (count > 0 && zipWriteInFileInZip(handle, buffer, static_cast<unsigned>(count)) != ZIP_OK) {
            zipCloseFileInZip(handle);
            return PackFailure::CannotWriteEntry;
        }
        crc = crc32(crc, buffer, static_cast<uInt>(count));
        if (count > 0) progress.Advance(count);
        if (ending) break;
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

bool FileCrc(const std::wstring& path, const std::atomic<bool>& stop, unsigned long& crc) {
    crc = 0;
    platform::FilePtr file(platform::OpenForReadDenyWrite(path));
    if (!file) return false;
    uLong sum = 0;
    unsigned char buffer[kPackBlockSize] = {};
    while (!Stopped(stop)) {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
        const bool short_read = count < sizeof buffer && !std::feof(file.get());
        if (count > 0) sum = crc32(sum, buffer, static_cast<uInt>(count));
        if (short_read || count == 0) break;
    }
    crc = sum;
    return true;
}

PackFailure PackFile(ZipWriter& archive, const PackItem& item, const PackSettings& settings, Progress& progress,
                     const std::atomic<bool>& stop) {
    // A file the process may not read (or that is gone) is passed over.
    const std::wstring& source = item.path;
    if (!platform::IsReadable(source)) return PackFailure::None;

    EntryOptions options;
    options.level = settings.level;
    options.password = settings.password;
    if (!item.folder.empty()) {
        const PackFailure folder = AddFolderEntry(archive, item.folder, options);
        if (folder != PackFailure::None) return folder;
    }

    options.zip64 = item.size >= kZip64Threshold;
    const bool encrypted = !options.password.empty();
    // The encryption header is made from the file's CRC-32: a file whose
    // CRC cannot be read (another program holds it open for writing) would
    // get an entry nobody can decrypt.
    if (encrypted && !FileCrc(source, stop, options.crc)) return PackFailure::CannotReadSource;
    const std::uint64_t entry_offset = archive.NextEntryOffset();
    if (OpenEntry(archive.handle(), EncodeEntryName(item.name), options) != ZIP_OK) return PackFailure::CannotAddEntry;

    platform::FilePtr file(platform::OpenForRead(source));
    if (!file) {
        zipCloseFileInZip(static_cast<zipFile>(archive.handle())); // the entry stays, empty
        if (encrypted) archive.RepairCheckByte(entry_offset, options.password);
        return PackFailure::CannotOpenSource;
    }
    uLong crc = 0;
    const unsigned char check = static_cast<unsigned char>(options.crc >> 24);
    const PackFailure copied = CopyIntoEntry(archive, file.get(), encrypted, check, progress, stop, crc);
    // The file changed between the two readings (or a stop met its end):
    // the header's check byte must be made from what the entry holds.
    if (encrypted && static_cast<unsigned char>(crc >> 24) != check) archive.RepairCheckByte(entry_offset, options.password);
    return copied;
}

const std::wstring& FailureSubject(PackFailure failure, const PackItem& item) {
    return failure == PackFailure::CannotAddFolder ? item.folder : item.path;
}

void PackItems(ZipWriter& archive, const std::vector<PackItem>& items, const PackSettings& settings,
               Progress& progress, const std::atomic<bool>& stop, Diagnostics& diagnostics) {
    for (const PackItem& item : items) {
        if (Stopped(stop)) break;
        const PackFailure failure = PackFile(archive, item, settings, progress, stop);
        if (failure != PackFailure::None) diagnostics.Report(failure, FailureSubject(failure, item));
    }
}

} // namespace parcelon

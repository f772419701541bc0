#include "minizip/MinizipEntries.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>

namespace parcelon {

namespace {

constexpr int kMemoryLevel = 8; // zlib's default; unused by raw entries

} // namespace

bool MinizipEntries::OpenEntry(const EntryHeader& header) {
    if (handle_ == nullptr || header.name.size() > 0xFFFF) return false;
    // minizip takes the date as given unless it is 0; a folder entry (date
    // 0) passes no record at all, which gives 0 too. The flags already
    // hold the level's bits: the default level adds none.
    zip_fileinfo info {};
    info.dosDate = header.dos_date_time;
    const zip_fileinfo* info_ptr = header.dos_date_time != 0 ? &info : nullptr;
    return zipOpenNewFileInZip4_64(static_cast<zipFile>(handle_), header.name.c_str(), info_ptr, nullptr, 0,
                                   nullptr, 0, nullptr, header.method, Z_DEFAULT_COMPRESSION, 1, -MAX_WBITS,
                                   kMemoryLevel, Z_DEFAULT_STRATEGY, nullptr, 0, header.version_made_by,
                                   header.flags, header.zip64 ? 1 : 0) == ZIP_OK;
}

bool MinizipEntries::WriteEntryData(const unsigned char* data, std::size_t size) {
    // minizip takes at most 4 GiB - 1 bytes per call.
    constexpr std::size_t kMostPerCall = 1u << 30;
    for (std::size_t done = 0; done < size;) {
        const std::size_t piece = std::min(kMostPerCall, size - done);
        if (zipWriteInFileInZip(static_cast<zipFile>(handle_), data + done, static_cast<unsigned>(piece)) != ZIP_OK)
            return false;
        done += piece;
    }
    return true;
}

bool MinizipEntries::CloseEntry(std::uint64_t size, std::uint32_t crc) {
    return zipCloseFileInZipRaw64(static_cast<zipFile>(handle_), size, crc) == ZIP_OK;
}

} // namespace parcelon

#include "create/ZipWriter.h"

#include <zip.h>
#include <zlib.h>

#include "platform/Platform.h"

namespace parcelon {

ZipWriter::ZipWriter(const std::string& ansi_path)
    : handle_(ansi_path.empty() ? nullptr
                                : zipOpen(platform::NativePath(ansi_path).c_str(), APPEND_STATUS_CREATE)) {}

ZipWriter::~ZipWriter() {
    if (handle_ != nullptr) zipClose(static_cast<zipFile>(handle_), nullptr);
}

bool ZipWriter::Close() {
    if (handle_ == nullptr) return false;
    const int result = zipClose(static_cast<zipFile>(handle_), nullptr);
    handle_ = nullptr;
    return result == ZIP_OK;
}

int OpenEntry(void* zip, const std::string& name, const EntryOptions& options) {
    if (zip == nullptr) return ZIP_PARAMERROR;
    if (name.size() > kMaxEntryNameBytes) return ZIP_PARAMERROR;
    // zlib would refuse these levels only after minizip has written the
    // local header, leaving stray bytes in the archive; refuse them first.
    const int level = static_cast<int>(options.level);
    if (level < Z_DEFAULT_COMPRESSION || level > Z_BEST_COMPRESSION) return ZIP_PARAMERROR;

    zip_fileinfo info {};
    const zip_fileinfo* info_ptr = options.file_entry ? &info : nullptr;
    zipFile handle = static_cast<zipFile>(zip);
    const int zip64 = options.zip64 ? 1 : 0;
    if (options.password.empty()) {
        if (!options.zip64)
            return zipOpenNewFileInZip(handle, name.c_str(), info_ptr, nullptr, 0, nullptr, 0, nullptr,
                                       Z_DEFLATED, level);
        return zipOpenNewFileInZip64(handle, name.c_str(), info_ptr, nullptr, 0, nullptr, 0, nullptr,
                                     Z_DEFLATED, level, zip64);
    }
    if (!options.zip64)
        return zipOpenNewFileInZip3(handle, name.c_str(), info_ptr, nullptr, 0, nullptr, 0, nullptr,
                                    Z_DEFLATED, level, 0, -15, 8, Z_DEFAULT_STRATEGY,
                                    options.password.c_str(), options.crc);
    return zipOpenNewFileInZip3_64(handle, name.c_str(), info_ptr, nullptr, 0, nullptr, 0, nullptr,
                                   Z_DEFLATED, level, 0, -15, 8, Z_DEFAULT_STRATEGY,
                                   options.password.c_str(), options.crc, zip64);
}

} // namespace parcelon

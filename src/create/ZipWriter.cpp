#include "create/ZipWriter.h"

#include <zip.h>
#include <zlib.h>

#include "minizip/FileFunctions.h"
#include "platform/Platform.h"

namespace parcelon {

namespace {

constexpr int kMemoryLevel = 8;  // zlib's default
constexpr uLong kVersionMadeBy = 0; // MS-DOS, as minizip's own calls write it

zipFile Create(const std::wstring& path) {
    if (path.empty()) return nullptr;
    zlib_filefunc64_def functions = PlatformFileFunctions();
    return zipOpen2_64(&path, APPEND_STATUS_CREATE, nullptr, &functions);
}

} // namespace

ZipWriter::ZipWriter(const std::wstring& path) : handle_(Create(path)), owned_(true) {}

ZipWriter ZipWriter::Borrowing(void* handle) { return ZipWriter(handle, false); }

ZipWriter::ZipWriter(ZipWriter&& other) noexcept : handle_(other.handle_), owned_(other.owned_) {
    other.handle_ = nullptr;
}

ZipWriter::~ZipWriter() {
    if (handle_ != nullptr && owned_) zipClose(static_cast<zipFile>(handle_), nullptr);
}

bool ZipWriter::Close() {
    if (handle_ == nullptr || !owned_) return false;
    const int result = zipClose(static_cast<zipFile>(handle_), nullptr);
    handle_ = nullptr;
    return result == ZIP_OK;
}

EntryName EncodeEntryName(std::wstring_view name) { return EntryName{platform::WideToAnsi(name)}; }

int OpenEntry(void* zip, const EntryName& name, const EntryOptions& options) {
    if (zip == nullptr) return ZIP_PARAMERROR;
    if (name.bytes.size() > kMaxEntryNameBytes) return ZIP_PARAMERROR;
    // zlib would refuse these levels only after minizip has written the
    // local header, leaving stray bytes in the archive; refuse them first.
    const int level = static_cast<int>(options.level);
    if (level < Z_DEFAULT_COMPRESSION || level > Z_BEST_COMPRESSION) return ZIP_PARAMERROR;

    // The all-zero record: minizip makes DOS date 0x0020 and time 0 of it.
    // Folder entries pass none and get date and time 0.
    zip_fileinfo info {};
    const zip_fileinfo* info_ptr = options.file_entry ? &info : nullptr;
    const char* password = options.password.empty() ? nullptr : options.password.c_str();
    // zipOpenNewFileInZip and zipOpenNewFileInZip3 (and their _64 forms) are
    // this call with version made by 0 and no flags of their own.
    return zipOpenNewFileInZip4_64(static_cast<zipFile>(zip), name.bytes.c_str(), info_ptr, nullptr, 0, nullptr,
                                   0, nullptr, Z_DEFLATED, level, 0, -MAX_WBITS, kMemoryLevel,
                                   Z_DEFAULT_STRATEGY, password, password != nullptr ? options.crc : 0,
                                   kVersionMadeBy, 0, options.zip64 ? 1 : 0);
}

} // namespace parcelon

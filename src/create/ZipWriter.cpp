#include "create/ZipWriter.h"

#include <zip.h>
#include <zlib.h>

#include "minizip/FileFunctions.h"
#include "platform/Platform.h"
#include "text/TextHelpers.h"
#include "text/Utf8.h"

namespace parcelon {

namespace {

constexpr int kMemoryLevel = 8;  // zlib's default
constexpr uLong kVersionMadeBy = 0; // MS-DOS, as minizip's own calls write it
// For a UTF-8 name: NTFS, version 2.0. Info-ZIP's unzip reads the names of
// MS-DOS-made entries as OEM code page text even when they are flagged
// UTF-8, and garbles them; it takes an NTFS-made entry's flag at its word.
constexpr uLong kVersionMadeByUnicode = 0x0A14;
constexpr uLong kFlagUtf8 = 0x0800;

void Remember(const std::wstring& path, std::vector<ArchiveFile>& files) {
    ArchiveFile file;
    platform::FileStatus status;
    if (!platform::GetFileIdentity(path, file.identity)) return;
    if (platform::LookUpEntry(path, status)) file.size = status.size;
    files.push_back(file);
}

} // namespace

bool IsOneOf(const std::wstring& path, std::uint64_t size, const std::vector<ArchiveFile>& files) {
    platform::FileIdentity identity;
    bool looked_up = false;
    for (const ArchiveFile& file : files) {
        if (file.size != size) continue;
        if (!looked_up && !platform::GetFileIdentity(path, identity)) return false;
        looked_up = true;
        if (identity == file.identity) return true;
    }
    return false;
}

ZipWriter::ZipWriter(const std::wstring& path) : path_(path) {
    failure_ = PackFailure::CannotCreateArchive;
    if (path.empty() || platform::CanReplace(path) == platform::Replacement::Refused) return;
    platform::TemporaryFile temporary = platform::CreateTemporaryBeside(path);
    if (temporary.file == nullptr) return;
    temporary_ = temporary.path;
    ArchiveStream stream;
    stream.file = temporary.file; // minizip owns it from here, and closes it
    zlib_filefunc64_def functions = PlatformFileFunctions();
    handle_ = zipOpen2_64(&stream, APPEND_STATUS_CREATE, nullptr, &functions);
    if (handle_ == nullptr) {
        platform::RemoveFile(temporary_);
        return;
    }
    failure_ = PackFailure::None;
    Remember(temporary_, own_files_);
    Remember(path_, own_files_);
}

ZipWriter::~ZipWriter() {
    if (handle_ == nullptr) return;
    zipClose(static_cast<zipFile>(handle_), nullptr);
    platform::RemoveFile(temporary_);
}

PackFailure ZipWriter::Finish() {
    if (handle_ == nullptr) return failure_;
    const int closed = zipClose(static_cast<zipFile>(handle_), nullptr);
    handle_ = nullptr;
    if (closed != ZIP_OK) {
        platform::RemoveFile(temporary_);
        return PackFailure::CannotCloseArchive;
    }
    if (!platform::MoveIntoPlace(temporary_, path_)) {
        platform::RemoveFile(temporary_);
        return PackFailure::CannotReplaceArchive;
    }
    return PackFailure::None;
}

EntryName EncodeEntryName(std::wstring_view name) {
    if (FitsCodePage(name)) return EntryName{platform::WideToAnsi(name), false};
    return EntryName{WideToUtf8(name), true};
}

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
                                   name.utf8 ? kVersionMadeByUnicode : kVersionMadeBy, name.utf8 ? kFlagUtf8 : 0,
                                   options.zip64 ? 1 : 0);
}

} // namespace parcelon

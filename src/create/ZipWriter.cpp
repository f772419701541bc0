#include "create/ZipWriter.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "crypto/TraditionalCipher.h"
#include "format/ZipFormat.h"
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
using zip::Le16;
using zip::Le32;

bool ReadAt(std::FILE* file, std::uint64_t offset, unsigned char* data, std::size_t size) {
    return platform::SeekFile(file, static_cast<std::int64_t>(offset), SEEK_SET) &&
           std::fread(data, 1, size, file) == size;
}
bool WriteAt(std::FILE* file, std::uint64_t offset, const unsigned char* data, std::size_t size) {
    return platform::SeekFile(file, static_cast<std::int64_t>(offset), SEEK_SET) &&
           std::fwrite(data, 1, size, file) == size;
}

// Encrypts the entry whose local header is at offset again, with a header
// whose check byte is the high byte of the CRC-32 the entry stores: the
// same random bytes, the same length, so nothing else in the archive moves.
bool ReencryptEntry(std::FILE* file, std::uint64_t offset, const std::string& password) {
    unsigned char header[zip::kLocalHeaderSize];
    if (!ReadAt(file, offset, header, sizeof header) || Le32(header) != zip::kLocalHeaderSignature) return false;
    const std::uint32_t crc = Le32(header + 14);
    std::uint64_t size = Le32(header + 18);
    const std::size_t name_size = Le16(header + 26);
    const std::size_t extra_size = Le16(header + 28);
    if (size == 0xFFFFFFFF) {
        // A ZIP64 entry: its local extra field holds both sizes.
        std::string extra(extra_size, '\0');
        std::uint64_t uncompressed = 0;
        if (!ReadAt(file, offset + zip::kLocalHeaderSize + name_size, reinterpret_cast<unsigned char*>(&extra[0]),
                    extra.size()) ||
            !zip::ReadZip64Field(extra, &uncompressed, &size, nullptr))
            return false;
    }
    if (size < kEncryptionHeaderSize) return false;
    const std::uint64_t data = offset + zip::kLocalHeaderSize + name_size + extra_size;
    TraditionalCipher old_keys(password.c_str());
    TraditionalCipher new_keys(password.c_str());
    std::vector<unsigned char> block(64 * 1024);
    for (std::uint64_t done = 0; done < size;) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - done));
        if (!ReadAt(file, data + done, block.data(), count)) return false;
        old_keys.Decrypt(block.data(), count);
        if (done == 0) block[kEncryptionHeaderSize - 2] = static_cast<unsigned char>(crc >> 16);
        if (done == 0) block[kEncryptionHeaderSize - 1] = static_cast<unsigned char>(crc >> 24);
        new_keys.Encrypt(block.data(), count);
        if (!WriteAt(file, data + done, block.data(), count)) return false;
        done += count;
    }
    return true;
}

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
    stream_ = temporary.file;
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

ZipWriter ZipWriter::Borrowing(void* handle) {
    ZipWriter writer;
    writer.handle_ = handle;
    writer.owned_ = false;
    return writer;
}

ZipWriter::ZipWriter(ZipWriter&& other) noexcept
    : path_(std::move(other.path_)), temporary_(std::move(other.temporary_)), handle_(other.handle_),
      stream_(other.stream_), owned_(other.owned_), failure_(other.failure_), own_files_(std::move(other.own_files_)),
      repairs_(std::move(other.repairs_)) {
    other.handle_ = nullptr;
    other.stream_ = nullptr;
}

ZipWriter::~ZipWriter() {
    if (handle_ == nullptr || !owned_) return;
    zipClose(static_cast<zipFile>(handle_), nullptr);
    platform::RemoveFile(temporary_);
}

std::uint64_t ZipWriter::NextEntryOffset() const {
    if (stream_ == nullptr) return 0;
    const std::int64_t position = platform::TellFile(stream_);
    return position < 0 ? 0 : static_cast<std::uint64_t>(position);
}

void ZipWriter::RepairCheckByte(std::uint64_t offset, const std::string& password) {
    if (owned_ && stream_ != nullptr) repairs_.push_back(Repair{offset, password});
}

PackFailure ZipWriter::Finish() {
    if (handle_ == nullptr || !owned_) return failure_;
    const int closed = zipClose(static_cast<zipFile>(handle_), nullptr);
    handle_ = nullptr;
    stream_ = nullptr;
    if (closed != ZIP_OK) {
        platform::RemoveFile(temporary_);
        return PackFailure::CannotCloseArchive;
    }
    if (!repairs_.empty()) {
        platform::FilePtr file(platform::OpenForUpdate(temporary_));
        bool repaired = file != nullptr;
        for (const Repair& repair : repairs_) repaired = repaired && ReencryptEntry(file.get(), repair.offset, repair.password);
        if (!repaired || !platform::CloseFile(file.release())) {
            platform::RemoveFile(temporary_);
            return PackFailure::CannotCloseArchive;
        }
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
    const int level = static_cast<int>(options.level);
    if (level < Z_DEFAULT_COMPRESSION || level > Z_BEST_COMPRESSION) return ZIP_PARAMERROR;

    // A fixed date, 1 January 1980 (DOS date 0x0021), time 0: the same bytes
    // for the same files everywhere. (Day 0 of January, what an all-zero
    // record makes, is no date, and readers call the header damaged.)
    // Folder entries pass none and get date and time 0.
    zip_fileinfo info {};
    info.tmz_date.tm_mday = 1;
    const zip_fileinfo* info_ptr = options.file_entry ? &info : nullptr;
    uLong flags = name.utf8 ? zip::kFlagUtf8Name : 0;
    if (options.encrypted) flags |= zip::kFlagEncrypted;
    // Raw: minizip writes the bytes it is given. The level still decides
    // the flags' compression option bits (8 and 9 maximum, 2 fast, 1 super
    // fast), as minizip sets them.
    return zipOpenNewFileInZip4_64(static_cast<zipFile>(zip), name.bytes.c_str(), info_ptr, nullptr, 0, nullptr,
                                   0, nullptr, Z_DEFLATED, level, 1, -MAX_WBITS, kMemoryLevel,
                                   Z_DEFAULT_STRATEGY, nullptr, 0,
                                   name.utf8 ? kVersionMadeByUnicode : kVersionMadeBy, flags,
                                   options.zip64 ? 1 : 0);
}

bool WriteEntryData(void* zip, const unsigned char* data, std::size_t size) {
    // minizip takes at most 4 GiB - 1 bytes per call.
    constexpr std::size_t kMostPerCall = 1u << 30;
    for (std::size_t done = 0; done < size;) {
        const std::size_t piece = std::min(kMostPerCall, size - done);
        if (zipWriteInFileInZip(static_cast<zipFile>(zip), data + done, static_cast<unsigned>(piece)) != ZIP_OK)
            return false;
        done += piece;
    }
    return true;
}

bool CloseEntry(void* zip, std::uint64_t size, std::uint32_t crc) {
    return zipCloseFileInZipRaw64(static_cast<zipFile>(zip), size, crc) == ZIP_OK;
}

} // namespace parcelon

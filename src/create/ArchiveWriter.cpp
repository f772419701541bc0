#include "create/ArchiveWriter.h"

#include <algorithm>
#include <cstring>

#include "create/EntryEncryptor.h"
#include "format/ZipFormat.h"

namespace parcelon {

namespace {

using zip::Put16;
using zip::Put32;
using zip::Put64;

constexpr std::uint64_t kLimit32 = zip::kSaturated32;
constexpr std::uint16_t kZip64LocalFieldSize = 4 + 16; // tag, size, both sizes
// An entry's own extra fields may take what the 16-bit length leaves
// beside the largest ZIP64 field (tag, size, three values).
constexpr std::size_t kMostExtra = 0xFFFF - 4 - 24;
// Where the CRC, and then the two sizes, sit in a local header.
constexpr std::uint64_t kLocalCrcAt = 14;

bool Exceeds32(std::uint64_t value) { return value >= kLimit32; }

// Needed to extract, with or without ZIP64 records.
std::uint16_t VersionNeeded(const EntryHeader& header, bool zip64) {
    return zip64 ? std::max(zip::kVersionZip64, header.version_needed) : header.version_needed;
}

// Where an entry's data start, past its local header.
std::uint64_t LocalHeaderSize(const EntryHeader& header) {
    return zip::kLocalHeaderSize + header.name.size() + (header.zip64 ? kZip64LocalFieldSize : 0) +
           header.extra.size();
}

// The local header as an entry opens: CRC and sizes 0 (a ZIP64 entry's
// sizes saturated, with a ZIP64 field of zeros after the name), then the
// entry's own extra fields.
std::string LocalHeader(const EntryHeader& header) {
    std::string out;
    Put32(out, zip::kLocalHeaderSignature);
    Put16(out, VersionNeeded(header, header.zip64));
    Put16(out, header.flags);
    Put16(out, header.method);
    Put32(out, header.dos_date_time);
    Put32(out, 0);
    Put32(out, header.zip64 ? zip::kSaturated32 : 0);
    Put32(out, header.zip64 ? zip::kSaturated32 : 0);
    Put16(out, static_cast<std::uint16_t>(header.name.size()));
    Put16(out, static_cast<std::uint16_t>((header.zip64 ? kZip64LocalFieldSize : 0) + header.extra.size()));
    out += header.name;
    if (header.zip64) {
        Put16(out, zip::kZip64Field);
        Put16(out, 16);
        Put64(out, 0);
        Put64(out, 0);
    }
    out += header.extra;
    return out;
}

// The central record of a closed entry. A value that does not fit 32 bits
// is saturated and goes into a ZIP64 field (size, compressed size, offset,
// those that need it, in that order, before the entry's own extra fields),
// and the record then says version 4.5 (or more) both as made by and as
// needed.
std::string CentralRecord(const EntryHeader& header, std::uint64_t offset, std::uint64_t compressed,
                          std::uint64_t size, std::uint32_t crc) {
    const bool big = Exceeds32(compressed) || Exceeds32(size) || Exceeds32(offset);
    std::string zip64;
    if (Exceeds32(size)) Put64(zip64, size);
    if (Exceeds32(compressed)) Put64(zip64, compressed);
    if (Exceeds32(offset)) Put64(zip64, offset);
    std::string out;
    Put32(out, zip::kCentralHeaderSignature);
    Put16(out, big ? header.version_made_by_zip64 : header.version_made_by);
    Put16(out, VersionNeeded(header, big));
    Put16(out, header.flags);
    Put16(out, header.method);
    Put32(out, header.dos_date_time);
    Put32(out, crc);
    Put32(out, static_cast<std::uint32_t>(std::min(compressed, kLimit32)));
    Put32(out, static_cast<std::uint32_t>(std::min(size, kLimit32)));
    Put16(out, static_cast<std::uint16_t>(header.name.size()));
    Put16(out, static_cast<std::uint16_t>((zip64.empty() ? 0 : 4 + zip64.size()) + header.extra.size()));
    Put16(out, 0); // comment
    Put16(out, 0); // disk
    Put16(out, 0); // internal attributes
    Put32(out, header.external_attributes);
    Put32(out, static_cast<std::uint32_t>(std::min(offset, kLimit32)));
    out += header.name;
    if (!zip64.empty()) {
        Put16(out, zip::kZip64Field);
        Put16(out, static_cast<std::uint16_t>(zip64.size()));
        out += zip64;
    }
    out += header.extra;
    return out;
}

// The end records for a central directory of count records, size bytes,
// at offset: the ZIP64 record and its locator first when the offset does
// not fit 32 bits or there are more than 65,535 entries.
std::string EndRecords(std::uint64_t count, std::uint64_t size, std::uint64_t offset) {
    std::string out;
    if (Exceeds32(offset) || count > 0xFFFF) {
        const std::uint64_t zip64_end = offset + size;
        Put32(out, zip::kZip64EndSignature);
        Put64(out, zip::kZip64EndSize - 12); // what follows this field
        Put16(out, zip::kVersionZip64);
        Put16(out, zip::kVersionZip64);
        Put32(out, 0);
        Put32(out, 0);
        Put64(out, count);
        Put64(out, count);
        Put64(out, size);
        Put64(out, offset);
        Put32(out, zip::kZip64LocatorSignature);
        Put32(out, 0);
        Put64(out, zip64_end);
        Put32(out, 1);
    }
    const auto count16 = static_cast<std::uint16_t>(count >= 0xFFFF ? 0xFFFF : count);
    Put32(out, zip::kEndSignature);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, count16);
    Put16(out, count16);
    Put32(out, static_cast<std::uint32_t>(size));
    Put32(out, static_cast<std::uint32_t>(std::min(offset, kLimit32)));
    Put16(out, 0); // no comment
    return out;
}

void Remember(const std::wstring& path, std::vector<ArchiveFile>& files) {
    ArchiveFile file;
    platform::FileStatus status;
    if (!platform::GetFileIdentity(path, file.identity)) return;
    if (platform::LookUpEntry(path, status)) file.size = status.size;
    files.push_back(file);
}

bool WriteAll(std::FILE* file, const unsigned char* data, std::size_t size) {
    return size == 0 || std::fwrite(data, 1, size, file) == size;
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

ArchiveWriter::ArchiveWriter(const std::wstring& path) : path_(path) {
    failure_ = PackFailure::CannotCreateArchive;
    if (path.empty() || platform::CanReplace(path) == platform::Replacement::Refused) return;
    platform::TemporaryFile temporary = platform::CreateTemporaryBeside(path);
    if (temporary.file == nullptr) return;
    temporary_ = temporary.path;
    file_ = temporary.file;
    // The buffer here is the only one: each flush is one write.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    buffer_.reserve(kBufferSize);
    failure_ = PackFailure::None;
    Remember(temporary_, own_files_);
    Remember(path_, own_files_);
}

ArchiveWriter::~ArchiveWriter() { Discard(); }

void ArchiveWriter::Discard() {
    if (file_ == nullptr) return;
    platform::CloseFile(file_);
    file_ = nullptr;
    platform::RemoveFile(temporary_);
}

bool ArchiveWriter::Fail() {
    failed_ = true;
    return false;
}

bool ArchiveWriter::Flush() {
    if (failed_ || file_ == nullptr) return false;
    if (!WriteAll(file_, buffer_.data(), buffer_.size())) return Fail();
    flushed_ += buffer_.size();
    buffer_.clear();
    return true;
}

bool ArchiveWriter::Append(const unsigned char* data, std::size_t size) {
    if (failed_ || file_ == nullptr) return false;
    if (size < kDirectWrite && buffer_.size() + size <= kBufferSize) {
        buffer_.insert(buffer_.end(), data, data + size);
        return true;
    }
    if (!Flush()) return false;
    if (size < kDirectWrite) {
        buffer_.insert(buffer_.end(), data, data + size);
        return true;
    }
    // A large piece goes straight to the file.
    if (!WriteAll(file_, data, size)) return Fail();
    flushed_ += size;
    return true;
}

bool ArchiveWriter::Append(const std::string& bytes) {
    return Append(zip::Bytes(bytes), bytes.size());
}

bool ArchiveWriter::Patch(std::uint64_t offset, const std::string& bytes) {
    if (failed_ || file_ == nullptr) return false;
    if (offset >= flushed_) {
        std::memcpy(buffer_.data() + (offset - flushed_), bytes.data(), bytes.size());
        return true;
    }
    // A header already in the file (a large entry's). Patches never reach
    // past the flushed bytes: a header is written before its data.
    if (!platform::SeekFile(file_, static_cast<std::int64_t>(offset), SEEK_SET) ||
        !WriteAll(file_, zip::Bytes(bytes), bytes.size()) ||
        !platform::SeekFile(file_, static_cast<std::int64_t>(flushed_), SEEK_SET))
        return Fail();
    return true;
}

bool ArchiveWriter::OpenEntry(const EntryHeader& header) {
    if (entry_open_ || failed_ || file_ == nullptr || header.name.size() > 0xFFFF || header.extra.size() > kMostExtra)
        return false;
    entry_.header = header;
    entry_.offset = Position();
    entry_.data_size = 0;
    if (!Append(LocalHeader(header))) return false;
    entry_open_ = true;
    return true;
}

bool ArchiveWriter::WriteEntryData(const unsigned char* data, std::size_t size) {
    if (!entry_open_ || !Append(data, size)) return false;
    entry_.data_size += size;
    return true;
}

bool ArchiveWriter::CloseEntry(std::uint64_t size, std::uint32_t crc) {
    if (!entry_open_) return false;
    entry_open_ = false;
    const EntryHeader& header = entry_.header;
    const std::uint64_t compressed = entry_.data_size;
    const bool big = Exceeds32(size) || Exceeds32(compressed);
    // Sizes past 32 bits need the room a ZIP64 local header has.
    if (big && !header.zip64) return Fail();

    std::string crc_field;
    Put32(crc_field, crc);
    std::string sizes;
    std::uint64_t sizes_at = entry_.offset + kLocalCrcAt + 4;
    if (header.zip64) {
        // The local header keeps its saturated sizes; its ZIP64 field gets
        // both (size first), however small they came out.
        sizes_at = entry_.offset + zip::kLocalHeaderSize + header.name.size() + 4;
        Put64(sizes, size);
        Put64(sizes, compressed);
    } else {
        Put32(sizes, static_cast<std::uint32_t>(compressed));
        Put32(sizes, static_cast<std::uint32_t>(size));
    }
    if (!Patch(entry_.offset + kLocalCrcAt, crc_field) || !Patch(sizes_at, sizes)) return false;

    central_ += CentralRecord(header, entry_.offset, compressed, size, crc);
    ++entries_;
    last_data_offset_ = entry_.offset + LocalHeaderSize(header);
    last_data_size_ = compressed;
    return true;
}

void ArchiveWriter::ReencryptLast(Reencryption reencryption) {
    reencryptions_.push_back(LaterReencryption{std::move(reencryption), last_data_offset_, last_data_size_});
}

bool ArchiveWriter::WriteEnd() {
    if (entry_open_ || failed_) return false;
    const std::uint64_t offset = Position();
    return Append(central_) && Append(EndRecords(entries_, central_.size(), offset)) && Flush();
}

bool ArchiveWriter::ReencryptAll() {
    if (reencryptions_.empty()) return true;
    platform::FilePtr file(platform::OpenForUpdate(temporary_));
    if (!file) return false;
    std::FILE* stream = file.get();
    const ArchiveAccess read = [stream](std::uint64_t offset, unsigned char* data, std::size_t size) {
        return platform::SeekFile(stream, static_cast<std::int64_t>(offset), SEEK_SET) &&
               std::fread(data, 1, size, stream) == size;
    };
    const ArchiveAccess write = [stream](std::uint64_t offset, unsigned char* data, std::size_t size) {
        return platform::SeekFile(stream, static_cast<std::int64_t>(offset), SEEK_SET) &&
               std::fwrite(data, 1, size, stream) == size;
    };
    for (const LaterReencryption& entry : reencryptions_)
        if (!entry.reencryption(read, write, entry.data_offset, entry.data_size)) return false;
    return platform::CloseFile(file.release());
}

PackFailure ArchiveWriter::Finish() {
    if (file_ == nullptr) return failure_;
    const bool written = WriteEnd();
    std::FILE* file = file_;
    file_ = nullptr;
    const bool closed = platform::CloseFile(file);
    if (!written || !closed || !ReencryptAll()) {
        platform::RemoveFile(temporary_);
        return PackFailure::CannotCloseArchive;
    }
    if (!platform::MoveIntoPlace(temporary_, path_)) {
        platform::RemoveFile(temporary_);
        return PackFailure::CannotReplaceArchive;
    }
    return PackFailure::None;
}

} // namespace parcelon

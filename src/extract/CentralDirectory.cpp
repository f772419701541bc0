#include "extract/CentralDirectory.h"

#include <algorithm>

namespace parcelon {

namespace {

constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kMaxComment = 0xFFFF;
constexpr std::uint16_t kZip64Field = 0x0001;
constexpr std::size_t kWindow = 64 * 1024;

// The ZIP64 end record that the locator before the end record points at.
UnzipFailure ReadZip64End(ArchiveInput& input, std::uint64_t end_position, EndRecord& end,
                          std::uint64_t& record_position) {
    unsigned char locator[kZip64LocatorSize];
    if (end_position < kZip64LocatorSize || !input.ReadAt(end_position - kZip64LocatorSize, locator, sizeof locator) ||
        Le32(locator) != kZip64LocatorSignature)
        return UnzipFailure::CannotReadArchiveInfo;
    // The locator gives the record's offset in the archive proper; a stub
    // before it moves the record by as much as it moves the locator.
    const std::uint64_t recorded = Le64(locator + 8);
    const std::uint64_t locator_position = end_position - kZip64LocatorSize;
    if (locator_position < kZip64EndSize) return UnzipFailure::CannotReadArchiveInfo;
    record_position = locator_position - kZip64EndSize;
    unsigned char record[kZip64EndSize];
    if (!input.ReadAt(record_position, record, sizeof record) || Le32(record) != kZip64EndSignature) {
        record_position = recorded;
        if (!input.ReadAt(record_position, record, sizeof record) || Le32(record) != kZip64EndSignature)
            return UnzipFailure::CannotReadArchiveInfo;
    }
    end.entries = Le64(record + 32);
    end.cd_size = Le64(record + 40);
    end.cd_offset = Le64(record + 48);
    return UnzipFailure::None;
}

// Takes the ZIP64 values of a record's saturated fields from its extra
// field, in the order the format gives them.
bool ApplyZip64(CentralRecord& record, bool size_saturated, bool compressed_saturated, bool offset_saturated) {
    const std::string& extra = record.extra;
    std::size_t at = 0;
    while (at + 4 <= extra.size()) {
        const auto* p = reinterpret_cast<const unsigned char*>(extra.data() + at);
        const std::size_t size = Le16(p + 2);
        if (at + 4 + size > extra.size()) break;
        if (Le16(p) == kZip64Field) {
            std::size_t field = 4;
            auto take = [&](std::uint64_t& value) {
                if (field + 8 > 4 + size) return false;
                value = Le64(p + field);
                field += 8;
                return true;
            };
            return (!size_saturated || take(record.uncompressed_size)) &&
                   (!compressed_saturated || take(record.compressed_size)) &&
                   (!offset_saturated || take(record.local_header_offset));
        }
        at += 4 + size;
    }
    return !size_saturated && !compressed_saturated && !offset_saturated;
}

} // namespace

UnzipFailure ReadEndRecord(ArchiveInput& input, EndRecord& end) {
    const std::uint64_t size = input.size();
    if (size < kEndSize) return UnzipFailure::CannotOpenArchive;
    const std::size_t span = static_cast<std::size_t>(std::min<std::uint64_t>(size, kEndSize + kMaxComment));
    std::vector<unsigned char> tail(span);
    if (!input.ReadAt(size - span, tail.data(), span)) return UnzipFailure::CannotOpenArchive;

    // The last signature whose comment ends the file; failing that, the
    // last signature at all (a file with bytes after its archive).
    std::size_t found = span;
    for (std::size_t i = span - kEndSize + 1; i-- > 0;) {
        if (Le32(&tail[i]) != kEndSignature) continue;
        if (found == span) found = i;
        if (i + kEndSize + Le16(&tail[i + 20]) == span) {
            found = i;
            break;
        }
    }
    if (found == span) return UnzipFailure::CannotOpenArchive;
    const unsigned char* record = &tail[found];
    const std::uint64_t end_position = size - span + found;

    end.entries = Le16(record + 10);
    end.cd_size = Le32(record + 12);
    end.cd_offset = Le32(record + 16);
    std::uint64_t directory_end = end_position;
    // A ZIP64 end record, when its locator stands before the end record,
    // describes the directory whatever the plain record holds, as Python's
    // zipfile and 7-Zip read it: writers that stream (zip reading standard
    // input, bsdtar) write one although every plain field holds its value,
    // and the directory then ends where the ZIP64 record begins. Without it
    // a saturated field cannot be read.
    const bool needs_zip64 = end.cd_size == 0xFFFFFFFF || end.cd_offset == 0xFFFFFFFF;
    EndRecord wide = end;
    std::uint64_t wide_end = directory_end;
    const UnzipFailure zip64 = ReadZip64End(input, end_position, wide, wide_end);
    if (zip64 == UnzipFailure::None) {
        end = wide;
        directory_end = wide_end;
    } else if (needs_zip64) {
        return zip64;
    }
    // The directory ends where the end records begin; what lies before the
    // recorded offset is a stub the archive was appended to.
    if (end.cd_size > directory_end || end.cd_offset > directory_end - end.cd_size)
        return UnzipFailure::CannotReadArchiveInfo;
    end.shift = directory_end - end.cd_size - end.cd_offset;
    return UnzipFailure::None;
}

CentralDirectoryWalk::CentralDirectoryWalk(ArchiveInput& input, const EndRecord& end)
    : input_(input), shift_(end.shift), position_(end.cd_offset + end.shift),
      end_(end.cd_offset + end.shift + end.cd_size) {}

bool CentralDirectoryWalk::Read(std::uint64_t offset, std::size_t size, const unsigned char*& data) {
    if (offset > end_ || size > end_ - offset) return false;
    if (offset < window_start_ || offset + size > window_start_ + window_.size()) {
        const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(end_ - offset, std::max(size, kWindow)));
        window_.resize(length);
        if (!input_.ReadAt(offset, window_.data(), length)) {
            window_.clear();
            return false;
        }
        window_start_ = offset;
    }
    data = window_.data() + (offset - window_start_);
    return true;
}

UnzipFailure CentralDirectoryWalk::Next(CentralRecord& record) {
    const UnzipFailure broken = first_ ? UnzipFailure::CannotFindFirstEntry : UnzipFailure::CannotReadEntryInfo;
    first_ = false;
    if (done()) return UnzipFailure::None;
    const unsigned char* fixed = nullptr;
    if (!Read(position_, kCentralSize, fixed) || Le32(fixed) != kCentralSignature) return broken;
    record.version_made_by = Le16(fixed + 4);
    record.flags = Le16(fixed + 8);
    record.method = Le16(fixed + 10);
    record.dos_date_time = Le32(fixed + 12);
    record.crc = Le32(fixed + 16);
    record.compressed_size = Le32(fixed + 20);
    record.uncompressed_size = Le32(fixed + 24);
    const std::size_t name_size = Le16(fixed + 28);
    const std::size_t extra_size = Le16(fixed + 30);
    const std::size_t comment_size = Le16(fixed + 32);
    record.local_header_offset = Le32(fixed + 42);

    const unsigned char* variable = nullptr;
    const std::size_t variable_size = name_size + extra_size + comment_size;
    if (!Read(position_ + kCentralSize, variable_size, variable)) return broken;
    record.name.assign(reinterpret_cast<const char*>(variable), name_size);
    record.extra.assign(reinterpret_cast<const char*>(variable) + name_size, extra_size);
    if (!ApplyZip64(record, record.uncompressed_size == 0xFFFFFFFF, record.compressed_size == 0xFFFFFFFF,
                    record.local_header_offset == 0xFFFFFFFF))
        return broken;
    record.local_header_offset += shift_;
    position_ += kCentralSize + variable_size;
    return UnzipFailure::None;
}

} // namespace parcelon

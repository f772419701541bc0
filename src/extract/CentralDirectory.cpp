#include "extract/CentralDirectory.h"

#include <algorithm>

namespace parcelon {

namespace {

using zip::Le16;
using zip::Le32;
using zip::Le64;

constexpr std::size_t kWindow = 64 * 1024;

// The ZIP64 end record that the locator before the end record points at.
UnzipFailure ReadZip64End(ArchiveInput& input, std::uint64_t end_position, EndRecord& end,
                          std::uint64_t& record_position) {
    unsigned char locator[zip::kZip64LocatorSize];
    if (end_position < zip::kZip64LocatorSize || !input.ReadAt(end_position - zip::kZip64LocatorSize, locator, sizeof locator) ||
        Le32(locator) != zip::kZip64LocatorSignature)
        return UnzipFailure::CannotReadArchiveInfo;
    // The locator gives the record's offset in the archive proper; a stub
    // before it moves the record by as much as it moves the locator.
    const std::uint64_t recorded = Le64(locator + 8);
    const std::uint64_t locator_position = end_position - zip::kZip64LocatorSize;
    if (locator_position < zip::kZip64EndSize) return UnzipFailure::CannotReadArchiveInfo;
    record_position = locator_position - zip::kZip64EndSize;
    unsigned char record[zip::kZip64EndSize];
    if (!input.ReadAt(record_position, record, sizeof record) || Le32(record) != zip::kZip64EndSignature) {
        record_position = recorded;
        if (!input.ReadAt(record_position, record, sizeof record) || Le32(record) != zip::kZip64EndSignature)
            return UnzipFailure::CannotReadArchiveInfo;
    }
    end.entries = Le64(record + 32);
    end.cd_size = Le64(record + 40);
    end.cd_offset = Le64(record + 48);
    return UnzipFailure::None;
}

} // namespace

UnzipFailure ReadEndRecord(ArchiveInput& input, EndRecord& end) {
    const std::uint64_t size = input.size();
    if (size < zip::kEndSize) return UnzipFailure::CannotOpenArchive;
    const std::size_t span = static_cast<std::size_t>(std::min<std::uint64_t>(size, zip::kEndSize + zip::kMaxComment));
    std::vector<unsigned char> tail(span);
    if (!input.ReadAt(size - span, tail.data(), span)) return UnzipFailure::CannotOpenArchive;

    // The last signature whose comment ends the file; failing that, the
    // last signature at all (a file with bytes after its archive).
    std::size_t found = span;
    for (std::size_t i = span - zip::kEndSize + 1; i-- > 0;) {
        if (Le32(&tail[i]) != zip::kEndSignature) continue;
        if (found == span) found = i;
        if (i + zip::kEndSize + Le16(&tail[i + 20]) == span) {
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
    const bool needs_zip64 = end.cd_size == zip::kSaturated32 || end.cd_offset == zip::kSaturated32;
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
    if (!Read(position_, zip::kCentralHeaderSize, fixed) || Le32(fixed) != zip::kCentralHeaderSignature) return broken;
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
    if (!Read(position_ + zip::kCentralHeaderSize, variable_size, variable)) return broken;
    record.name.assign(reinterpret_cast<const char*>(variable), name_size);
    record.extra.assign(reinterpret_cast<const char*>(variable) + name_size, extra_size);
    const auto saturated = [](std::uint64_t& field) { return field == zip::kSaturated32 ? &field : nullptr; };
    if (!zip::ReadZip64Field(record.extra, saturated(record.uncompressed_size), saturated(record.compressed_size),
                             saturated(record.local_header_offset)))
        return broken;
    record.local_header_offset += shift_;
    position_ += zip::kCentralHeaderSize + variable_size;
    return UnzipFailure::None;
}

} // namespace parcelon

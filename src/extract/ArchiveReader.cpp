#include "extract/ArchiveReader.h"

#include <iterator>

#include "extract/StoredName.h"
#include "text/PathText.h"

namespace parcelon {

EndRecord ArchiveReader::OpenEnd(ArchiveInput& input, UnzipFailure& failure) {
    EndRecord end;
    failure = input.IsOpen() ? ReadEndRecord(input, end) : UnzipFailure::CannotOpenArchive;
    return end;
}

ArchiveReader::ArchiveReader(const std::wstring& path)
    : input_(path), end_(OpenEnd(input_, failure_)), walk_(input_, end_) {
    // An archive without entries (what packing an empty folder writes) is
    // done before it starts.
    done_ = failure_ != UnzipFailure::None || (end_.cd_size == 0 && end_.entries == 0);
}

UnzipFailure ArchiveReader::Next(ArchiveEntry& entry) {
    if (done_) return failure_;
    if (walk_.done()) {
        done_ = true;
        // Fewer records than counted: the record after the last is missing.
        if (records_ == 0) failure_ = UnzipFailure::CannotFindFirstEntry;
        else if (records_ < end_.entries) failure_ = UnzipFailure::CannotReadEntryInfo;
        return failure_;
    }
    const UnzipFailure read = walk_.Next(entry.record);
    if (read != UnzipFailure::None) {
        done_ = true;
        failure_ = read;
        return read;
    }
    entry.index = records_++;
    entry.name = DecodeStoredName(entry.record.name, entry.record.flags, entry.record.extra);
    entry.is_folder = !entry.name.empty() && IsSeparator(entry.name.back());
    return UnzipFailure::None;
}

UnzipFailure ArchiveReader::Locate(const CentralRecord& record, EntrySpan& span) {
    const UnzipFailure located = LocateEntry(input_, record, end_.cd_offset + end_.shift, span);
    if (located != UnzipFailure::None) return located;
    // Two records for one local header, or an entry whose data hold the
    // next entries (the way a small archive unpacks to a huge tree).
    auto next = located_.lower_bound(span.header);
    if (next != located_.end() && (next->first < span.end || next->first == span.header))
        return UnzipFailure::EntryOverlaps;
    if (next != located_.begin() && std::prev(next)->second > span.header) return UnzipFailure::EntryOverlaps;
    located_.emplace(span.header, span.end);
    return UnzipFailure::None;
}

UnzipFailure ArchiveReader::LocateAlone(const CentralRecord& record, EntrySpan& span) const {
    return LocateEntry(input_, record, end_.cd_offset + end_.shift, span);
}

UnzipFailure ArchiveReader::Decode(const CentralRecord& record, const EntrySpan& span, const char* password,
                                   EntrySink& sink, const DecodeOptions& options) {
    return DecodeEntry(input_, record, span, password, sink, options);
}

bool ArchiveReader::ReadLeading(const EntrySpan& span, unsigned char* buffer, std::size_t size) const {
    return size <= span.end - span.data && input_.ReadAt(span.data, buffer, size);
}

} // namespace parcelon

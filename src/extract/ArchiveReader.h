// An archive opened for reading, the one road every reading operation
// takes: its central directory walked record by record, each entry's name
// decoded as extraction decodes it, its data located (and checked against
// every entry located before), and decoded into a sink.
#ifndef PARCELON_ARCHIVE_READER_H
#define PARCELON_ARCHIVE_READER_H

#include <cstdint>
#include <map>
#include <string>

#include "extract/ArchiveInput.h"
#include "extract/CentralDirectory.h"
#include "extract/EntryData.h"
#include "messages/Failures.h"

namespace parcelon {

// One record of the central directory, with what it means.
struct ArchiveEntry {
    std::uint64_t index = 0; // its place in the directory, from 0
    CentralRecord record;
    std::wstring name;       // decoded: UTF-8 when flagged, else a Unicode Path field, else ANSI
    bool is_folder = false;  // the name ends in '/' or '\'
};

class ArchiveReader {
public:
    // Opens the archive at path and reads its end record; failure() says
    // whether that worked (CannotOpenArchive, CannotReadArchiveInfo).
    explicit ArchiveReader(const std::wstring& path);
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    UnzipFailure failure() const { return failure_; }

    // The next entry, in directory order: None with done() false; None with
    // done() true at the end. A record that does not parse fails
    // (CannotFindFirstEntry for the first, CannotReadEntryInfo for a later
    // one), and so does a directory that ends before the number of records
    // its end record counts (more are read, whatever the count).
    UnzipFailure Next(ArchiveEntry& entry);
    bool done() const { return done_; }

    // Where the entry's data lie: LocalHeaderMismatch when its local header
    // disagrees with its record; EntryOverlaps when its bytes run into the
    // directory or into those of an entry located before.
    UnzipFailure Locate(const CentralRecord& record, EntrySpan& span);
    // The same without the check against other entries (nor a trace for
    // later ones): for an entry read ahead of its turn, which Locate checks
    // again when its turn comes. Safe from several threads.
    UnzipFailure LocateAlone(const CentralRecord& record, EntrySpan& span) const;

    // Decodes the located entry into sink; see DecodeEntry. Safe from
    // several threads at once.
    UnzipFailure Decode(const CentralRecord& record, const EntrySpan& span, const char* password, EntrySink& sink,
                        const DecodeOptions& options);

    // The first size bytes of a located entry's stored data (an AES
    // entry's salt); false when there are fewer. Safe from several threads.
    bool ReadLeading(const EntrySpan& span, unsigned char* buffer, std::size_t size) const;

private:
    static EndRecord OpenEnd(ArchiveInput& input, UnzipFailure& failure);

    ArchiveInput input_;
    UnzipFailure failure_ = UnzipFailure::None;
    EndRecord end_;
    CentralDirectoryWalk walk_;
    bool done_ = false;
    std::uint64_t records_ = 0;
    std::map<std::uint64_t, std::uint64_t> located_; // start -> end of every entry located
};

} // namespace parcelon

#endif // PARCELON_ARCHIVE_READER_H

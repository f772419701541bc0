#include "extract/Extraction.h"

#include <algorithm>
#include <limits>

#include "extract/ArchiveReader.h"
#include "extract/EntryFolders.h"
#include "extract/EntryTime.h"
#include "extract/NamePatterns.h"
#include "extract/OutputFile.h"
#include "extract/SafeEntryPath.h"
#include "platform/Platform.h"
#include "text/TextHelpers.h"

namespace parcelon {

namespace {

int Percentage(std::uint64_t done, std::uint64_t total) {
    if (total == 0 || done >= total) return 100;
    if (done <= std::numeric_limits<std::uint64_t>::max() / 100) return static_cast<int>(done * 100 / total);
    return static_cast<int>(done / (total / 100 + 1));
}

// The call's progress over the selected entries' recorded sizes, and its
// stop, told to the observer block by block.
class ProgressCounter final : public BlockObserver {
public:
    ProgressCounter(ReadingObserver* observer, std::uint64_t total) : observer_(observer), total_(total) {}

    bool Stopped() const { return observer_ != nullptr && observer_->StopRequested(); }

    void StartEntry(std::uint64_t size) {
        entry_start_ = done_;
        entry_size_ = size;
    }
    // The entry is decoded again from its start (another password).
    void RestartEntry() { done_ = entry_start_; }
    // Whatever became of the entry, its share is done.
    void EndEntry() { Advance(std::max(done_, entry_start_ + entry_size_)); }
    void End() { Tell(100); }

    UnzipFailure OnBlock(std::size_t size) override {
        Advance(done_ + size);
        return Stopped() ? UnzipFailure::Stopped : UnzipFailure::None;
    }

private:
    void Advance(std::uint64_t done) {
        done_ = done;
        Tell(Percentage(done_, total_));
    }
    void Tell(int percent) {
        if (observer_ == nullptr || percent == last_) return;
        last_ = percent;
        observer_->Progress(percent);
    }

    ReadingObserver* observer_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    std::uint64_t entry_start_ = 0;
    std::uint64_t entry_size_ = 0;
    int last_ = 0;
};

// Takes a tested entry's bytes and keeps none.
class DiscardingSink final : public EntrySink {
public:
    bool Write(const unsigned char*, std::size_t) override { return true; }
    bool Restart() { return true; }
};

// The data into sink, with the password as given and, when that fails and
// the password has white space around it, with the text the packing side
// would have used: archives packed with " s3cret " open with " s3cret ".
template <typename Sink>
UnzipFailure DecodeWithPassword(ArchiveReader& reader, const ArchiveEntry& entry, const EntrySpan& span,
                                const char* password, Sink& sink, ProgressCounter& progress) {
    const UnzipFailure first = reader.Decode(entry.record, span, password, sink, &progress);
    if (first == UnzipFailure::None || first == UnzipFailure::CannotWriteOutput || first == UnzipFailure::Stopped ||
        password == nullptr || (entry.record.flags & zip::kFlagEncrypted) == 0)
        return first;
    const std::string trimmed = TrimSpaces(password);
    if (trimmed == password || !sink.Restart()) return first;
    progress.RestartEntry();
    const UnzipFailure second = reader.Decode(entry.record, span, trimmed.c_str(), sink, &progress);
    return second == UnzipFailure::None || second == UnzipFailure::Stopped ? second : first;
}

// The sum of the selected entries' recorded sizes: one walk of the
// directory before the real one, only when somebody follows the progress.
std::uint64_t SelectedTotal(const std::wstring& zip_path, const std::vector<std::wstring>& patterns) {
    ArchiveReader reader(zip_path);
    ArchiveEntry entry;
    std::uint64_t total = 0;
    while (reader.Next(entry) == UnzipFailure::None && !reader.done())
        if (Selected(entry.name, patterns)) total += entry.record.uncompressed_size;
    return total;
}

// Where the entries go: the destination and a "/", and whether the
// destination exists (it must already be there).
struct Destination {
    std::wstring prefix;
    bool exists = false;
};

Destination DestinationOf(const std::wstring& dest_dir) {
    // An empty text names no folder (joined with "/" it would name the root
    // instead).
    Destination dest;
    dest.exists = !dest_dir.empty() && platform::DirectoryExists(dest_dir);
    dest.prefix = dest_dir + L'/';
    return dest;
}

// What the entries written so far add up to, against the limits.
struct Budget {
    std::uint64_t bytes = 0;
    std::uint64_t entries = 0;
};

bool WithinLimits(const ExtractLimits& limits, const Budget& used, const CentralRecord& record) {
    const std::uint64_t size = record.uncompressed_size;
    if (limits.entries != 0 && used.entries >= limits.entries) return false;
    if (limits.total_bytes != 0 && size > limits.total_bytes - std::min(used.bytes, limits.total_bytes)) return false;
    if (limits.ratio != 0 && size > 0) {
        const std::uint64_t stored = record.compressed_size;
        if (stored == 0 || stored <= std::numeric_limits<std::uint64_t>::max() / limits.ratio)
            if (size > stored * limits.ratio) return false;
    }
    return true;
}

class Extraction {
public:
    Extraction(const std::wstring& zip_path, const std::wstring& dest_dir, const char* password,
               const ExtractOptions& options, ProgressCounter& progress)
        : reader_(zip_path), dest_(DestinationOf(dest_dir)), folders_(dest_.prefix), password_(password),
          options_(options), progress_(progress) {}

    ArchiveReader& reader() { return reader_; }

    // One entry: None when it is on disk, or passed over as asked
    // (ExistingFileKept), else why not.
    UnzipFailure Extract(const ArchiveEntry& entry) {
        const CentralRecord& record = entry.record;
        const EntryPath path = ClassifyEntryName(entry.name);
        if (!path.safe) return UnzipFailure::EntryNameUnsafe;
        if (!dest_.exists) return UnzipFailure::DestinationMissing;
        if (path.folder && record.uncompressed_size > 0) return UnzipFailure::FolderEntryHasData;
        if (!WithinLimits(options_.limits, budget_, record)) return UnzipFailure::LimitExceeded;

        EntrySpan span;
        const UnzipFailure located = reader_.Locate(record, span);
        if (located != UnzipFailure::None) return located;
        if (!folders_.Make(entry.name, path)) return UnzipFailure::CannotCreateFolder;
        ++budget_.entries;
        if (path.folder) return UnzipFailure::None;

        const std::wstring target = dest_.prefix + entry.name;
        if (platform::DirectoryExists(target)) return UnzipFailure::CannotCreateOutput;
        if (options_.overwrite != Overwrite::Replace && platform::PathExists(target))
            return options_.overwrite == Overwrite::Skip ? UnzipFailure::ExistingFileKept : UnzipFailure::ExistingFile;
        OutputFile output(target);
        if (!output.IsOpen()) return UnzipFailure::CannotCreateOutput;
        const UnzipFailure decoded = DecodeWithPassword(reader_, entry, span, password_, output, progress_);
        if (decoded != UnzipFailure::None) return decoded;
        const UnzipFailure committed = output.Commit();
        if (committed != UnzipFailure::None) return committed;
        budget_.bytes += record.uncompressed_size;
        if (options_.restore_times) platform::SetModificationTime(target, ModificationTime(record));
        return UnzipFailure::None;
    }

private:
    ArchiveReader reader_;
    Destination dest_;
    EntryFolders folders_;
    const char* password_;
    const ExtractOptions& options_;
    ProgressCounter& progress_;
    Budget budget_;
};

// A failure that ends the call even when the host asked to keep going:
// nothing after it can succeed.
bool EndsTheCall(UnzipFailure failure) {
    return failure == UnzipFailure::Stopped || failure == UnzipFailure::DestinationMissing;
}

} // namespace

bool ExtractArchive(const std::wstring& zip_path, const std::wstring& dest_dir, const char* password,
                    const ExtractOptions& options, ReadingObserver* observer, Diagnostics& diagnostics) {
    const platform::CodePageScope code_page;
    ProgressCounter progress(observer, observer != nullptr ? SelectedTotal(zip_path, options.patterns) : 0);
    Extraction extraction(zip_path, dest_dir, password, options, progress);
    ArchiveReader& reader = extraction.reader();
    bool all_done = true;
    ArchiveEntry entry;
    for (;;) {
        const UnzipFailure read = reader.Next(entry);
        if (read != UnzipFailure::None) {
            // The archive, or its directory, is damaged: nothing further can
            // be trusted.
            diagnostics.Report(read, {});
            all_done = false;
            break;
        }
        if (reader.done()) break;
        if (!Selected(entry.name, options.patterns)) continue;
        if (progress.Stopped()) {
            diagnostics.Report(UnzipFailure::Stopped, {});
            all_done = false;
            break;
        }
        progress.StartEntry(entry.record.uncompressed_size);
        const UnzipFailure failure = extraction.Extract(entry);
        progress.EndEntry();
        if (failure == UnzipFailure::None) continue;
        if (failure == UnzipFailure::ExistingFileKept) {
            diagnostics.Report(failure, entry.name);
            continue;
        }
        diagnostics.Report(failure, failure == UnzipFailure::Stopped ? std::wstring() : entry.name);
        all_done = false;
        if (!options.keep_going || EndsTheCall(failure)) break;
    }
    progress.End();
    return all_done;
}

bool TestArchive(const std::wstring& zip_path, const char* password, ReadingObserver* observer,
                 Diagnostics& diagnostics) {
    const platform::CodePageScope code_page;
    const std::vector<std::wstring> every;
    ProgressCounter progress(observer, observer != nullptr ? SelectedTotal(zip_path, every) : 0);
    ArchiveReader reader(zip_path);
    bool all_sound = true;
    ArchiveEntry entry;
    for (;;) {
        UnzipFailure failure = reader.Next(entry);
        if (failure != UnzipFailure::None) {
            diagnostics.Report(failure, {});
            all_sound = false;
            break;
        }
        if (reader.done()) break;
        if (progress.Stopped()) {
            diagnostics.Report(UnzipFailure::Stopped, {});
            all_sound = false;
            break;
        }
        progress.StartEntry(entry.record.uncompressed_size);
        EntrySpan span;
        DiscardingSink sink;
        if (entry.is_folder && entry.record.uncompressed_size > 0) failure = UnzipFailure::FolderEntryHasData;
        if (failure == UnzipFailure::None) failure = reader.Locate(entry.record, span);
        // A folder entry's data are not read by extraction either.
        if (failure == UnzipFailure::None && !entry.is_folder)
            failure = DecodeWithPassword(reader, entry, span, password, sink, progress);
        progress.EndEntry();
        if (failure == UnzipFailure::None) continue;
        diagnostics.Report(failure, failure == UnzipFailure::Stopped ? std::wstring() : entry.name);
        all_sound = false;
        if (failure == UnzipFailure::Stopped) break;
    }
    progress.End();
    return all_sound;
}

} // namespace parcelon

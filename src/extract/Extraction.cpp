#include "extract/Extraction.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <optional>

#include "crypto/WinZipAes.h"
#include "extract/ArchiveReader.h"
#include "extract/EntryCipher.h"
#include "extract/DecodeWorkers.h"
#include "extract/EntryFolders.h"
#include "extract/EntryTime.h"
#include "extract/NamePatterns.h"
#include "extract/OutputFile.h"
#include "extract/SafeEntryPath.h"
#include "platform/Platform.h"
#include "text/TextHelpers.h"

namespace parcelon {

namespace {

// How often the calling thread, waiting for an entry, tells the host how
// far the workers got.
constexpr auto kProgressPoll = std::chrono::milliseconds(20);

int Percentage(std::uint64_t done, std::uint64_t total) {
    if (total == 0 || done >= total) return 100;
    if (done <= std::numeric_limits<std::uint64_t>::max() / 100) return static_cast<int>(done * 100 / total);
    return static_cast<int>(done / (total / 100 + 1));
}

// The call's progress over the selected entries' recorded sizes, and its
// stop. Whoever decodes counts the bytes; the host hears of them on the
// calling thread alone, and only of percentages that rose.
class CallProgress {
public:
    CallProgress(ReadingObserver* observer, std::uint64_t total) : observer_(observer), total_(total) {}

    // From any thread.
    bool StopRequested() const {
        return cancelled_.load(std::memory_order_relaxed) || (observer_ != nullptr && observer_->StopRequested());
    }
    void Count(std::uint64_t bytes) { done_.fetch_add(bytes, std::memory_order_relaxed); }
    void Uncount(std::uint64_t bytes) { done_.fetch_sub(bytes, std::memory_order_relaxed); }

    // On the calling thread: the call ends early; entries in hand give up.
    void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    void Publish() { Tell(Percentage(done_.load(std::memory_order_relaxed), total_)); }
    void End() { Tell(100); }

private:
    void Tell(int percent) {
        if (observer_ == nullptr || percent <= last_) return;
        last_ = percent;
        observer_->Progress(percent);
    }

    ReadingObserver* observer_;
    std::uint64_t total_;
    std::atomic<std::uint64_t> done_{0};
    std::atomic<bool> cancelled_{false};
    int last_ = 0;
};

// One entry's share of the progress, block by block, wherever it is decoded.
class EntryProgress final : public BlockObserver {
public:
    EntryProgress(CallProgress& call, bool on_calling_thread) : call_(call), on_calling_thread_(on_calling_thread) {}

    UnzipFailure OnBlock(std::size_t size) override {
        counted_ += size;
        call_.Count(size);
        if (on_calling_thread_) call_.Publish();
        return call_.StopRequested() ? UnzipFailure::Stopped : UnzipFailure::None;
    }
    // The entry is decoded again from its start (another password).
    void Restart() {
        call_.Uncount(counted_);
        counted_ = 0;
    }
    // Whatever became of the entry, its share is done.
    void End(std::uint64_t size) {
        if (size > counted_) call_.Count(size - counted_);
        counted_ = std::max(counted_, size);
    }

private:
    CallProgress& call_;
    bool on_calling_thread_;
    std::uint64_t counted_ = 0;
};

// Takes a tested entry's bytes and keeps none.
class DiscardingSink final : public EntrySink {
public:
    bool Write(const unsigned char*, std::size_t) override { return true; }
    bool Restart() override { return true; }
};

// The data into sink, with the password as given (and the AES keys derived
// ahead from it) and, when that fails and the password has white space
// around it, with the text the packing side would have used: archives
// packed with " s3cret " open with " s3cret ".
UnzipFailure DecodeWithPassword(ArchiveReader& reader, const ArchiveEntry& entry, const EntrySpan& span,
                                const char* password, EntrySink& sink, EntryProgress& progress, bool overlapped,
                                const WinZipAesKeys* aes_keys) {
    DecodeOptions options;
    options.observer = &progress;
    options.overlapped = overlapped;
    options.aes_keys = aes_keys;
    const UnzipFailure first = reader.Decode(entry.record, span, password, sink, options);
    if (first == UnzipFailure::None || first == UnzipFailure::CannotWriteOutput || first == UnzipFailure::Stopped ||
        password == nullptr || (entry.record.flags & zip::kFlagEncrypted) == 0)
        return first;
    const std::string trimmed = TrimSpaces(password);
    if (trimmed == password || !sink.Restart()) return first;
    progress.Restart();
    options.aes_keys = nullptr;
    const UnzipFailure second = reader.Decode(entry.record, span, trimmed.c_str(), sink, options);
    return second == UnzipFailure::None || second == UnzipFailure::Stopped ? second : first;
}

// An entry this large is decoded ahead of its turn, on a worker, while the
// entries before it go their way: an archive whose bulk is one large file
// at its end (a text of 128 MiB after 20,000 small files) then keeps both
// cores busy. At most this many wait decoded for their turn.
constexpr std::uint64_t kEarlyFrom = 8u << 20;
constexpr std::size_t kEarlyWaiting = 2;
constexpr std::size_t kMostEarlyEntries = 4096;

// What a walk of the directory before the real one tells: the selected
// entries' recorded sizes (for the progress) and the large entries to
// decode early (with threads).
struct Survey {
    std::uint64_t total = 0;
    std::deque<ArchiveEntry> early;
};

Survey SurveyArchive(const std::wstring& zip_path, const std::vector<std::wstring>& patterns, bool early) {
    Survey survey;
    ArchiveReader reader(zip_path);
    ArchiveEntry entry;
    while (reader.Next(entry) == UnzipFailure::None && !reader.done()) {
        if (!Selected(entry.name, patterns)) continue;
        survey.total += entry.record.uncompressed_size;
        if (early && !entry.is_folder && entry.record.uncompressed_size >= kEarlyFrom &&
            survey.early.size() < kMostEarlyEntries)
            survey.early.push_back(entry);
    }
    return survey;
}

struct JobGroup;

// A large entry decoded ahead of its turn (see kEarlyFrom): into a
// temporary file in the destination (or nowhere, when testing), moved into
// its place when its turn comes and it is prepared as any entry is. If
// that fails, or the decoding did, the entry is decoded again in its turn:
// the outcome is the one it would have had without being early.
struct EarlyJob {
    EarlyJob(const ArchiveEntry& taken, CallProgress& call) : entry(taken), progress(call, false) {}

    ArchiveEntry entry;
    EntrySpan span;
    UnzipFailure failure = UnzipFailure::None;
    std::unique_ptr<EntrySink> sink;
    EntryProgress progress;
    DecodeWorkers::Task task;
};

// One entry on its way: prepared on the calling thread, in directory order;
// decoded there or on a worker, with the entries of its group; finished on
// the calling thread, in order.
struct EntryJob {
    EntryJob(const ArchiveEntry& taken, CallProgress& call, bool inline_decoding)
        : entry(taken), progress(call, inline_decoding) {}

    ArchiveEntry entry;
    EntryPath path;
    std::size_t folders_made_from = 0; // see EntryFolders::Make
    EntrySpan span;
    std::wstring target;                // the file it becomes (extraction)
    std::wstring canonical_name;        // see CanonicalEntryName (extraction)
    UnzipFailure failure = UnzipFailure::None;
    bool decode = false;                // its data are to be decoded
    std::unique_ptr<EntrySink> sink;
    EntryProgress progress;
    std::optional<WinZipAesKeys> aes_keys;
    std::shared_ptr<JobGroup> group;    // what decodes it
    EarlyJob* early = nullptr;          // or: decoded ahead of its turn
    bool end_of_call = false;           // stands for the directory's end or damage, or a stop
};

// A few consecutive entries decoded by one task: cheaper to hand over than
// one each, and an AES entry's keys are derived with its neighbours'.
struct JobGroup {
    std::vector<EntryJob*> jobs;
    std::uint64_t bytes = 0; // their recorded sizes
    std::uint64_t work = 0;  // what decoding them costs, in bytes inflated
    bool aes = false;        // one of them is a WinZip AES entry (its keys cost far more than its bytes)
    DecodeWorkers::Task task;
};

// A group this light costs less to decode on the calling thread than to
// hand over to a worker and wait for: many tiny files go faster with
// threads than without, never slower. The traditional cipher costs about
// four times what inflating does, per byte.
constexpr std::uint64_t kLightGroupWork = 16 * 1024;
constexpr std::uint64_t kCipherWork = 4;

// How many entries, and how many of their bytes, a group takes at most.
constexpr std::size_t kGroupEntries = 8;
constexpr std::uint64_t kGroupBytes = 1u << 20;

// Derives, in one call, the keys of the group's AES entries under password
// (the salts are read here): a batch costs far less per entry than one.
void DeriveAesKeysAhead(const ArchiveReader& reader, const std::vector<EntryJob*>& jobs, const char* password) {
    if (password == nullptr) return;
    std::vector<EntryJob*> aes_jobs;
    std::vector<std::array<unsigned char, kAesMaxSaltSize>> salts;
    std::vector<AesKeyRequest> requests;
    aes_jobs.reserve(jobs.size());
    salts.reserve(jobs.size());
    for (EntryJob* job : jobs) {
        const std::optional<AesStrength> strength = job->decode ? AesStrengthOfEntry(job->entry.record) : std::nullopt;
        if (!strength) continue;
        salts.emplace_back();
        if (!reader.ReadLeading(job->span, salts.back().data(), AesSaltSize(*strength))) {
            salts.pop_back();
            continue;
        }
        aes_jobs.push_back(job);
        requests.push_back(AesKeyRequest{*strength, salts.back().data()});
    }
    if (requests.empty()) return;
    std::vector<WinZipAesKeys> keys(requests.size());
    DeriveWinZipAesKeys(password, requests.data(), keys.data(), requests.size());
    for (std::size_t i = 0; i < aes_jobs.size(); ++i) aes_jobs[i]->aes_keys = keys[i];
}

// What a reading call does with each entry: prepare it, give it a sink to
// decode into, finish it or give it up.
class EntryHandler {
public:
    virtual ~EntryHandler() = default;
    // Whether preparing candidate would touch what pending, prepared before
    // it and not yet finished, is to become: then candidate waits until
    // the entries before it are done, as they would be with no window.
    virtual bool MustWaitFor(const EntryJob& candidate, const EntryJob& pending) const = 0;
    virtual void Prepare(EntryJob& job) = 0;
    virtual std::unique_ptr<EntrySink> MakeSink(EntryJob& job) = 0;
    virtual UnzipFailure Finish(EntryJob& job) = 0;
    // For an entry decoded ahead of its turn (see EarlyJob).
    virtual std::unique_ptr<EntrySink> MakeEarlySink(EarlyJob& early) = 0;
    // Nothing when the early result cannot be used: the entry is then
    // decoded in its turn.
    virtual std::optional<UnzipFailure> FinishEarly(EntryJob& job, EarlyJob& early) = 0;
    virtual void Abandon(EntryJob& job) = 0;
};

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

// What the entries taken so far add up to, against the limits: counted
// when an entry is prepared, in directory order, so the same entries pass
// whatever the number of threads.
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

class Extracting final : public EntryHandler {
public:
    Extracting(ArchiveReader& reader, const std::wstring& dest_dir, const ExtractOptions& options)
        : reader_(reader), dest_(DestinationOf(dest_dir)), folders_(dest_.prefix), options_(options) {}

    // A later entry's folders made where an earlier entry's file is to be
    // (a, then a/b.txt): with one entry at a time the folder cannot be made.
    bool MustWaitFor(const EntryJob& candidate, const EntryJob& pending) const override {
        const std::wstring& name = candidate.canonical_name;
        const std::wstring& file = pending.canonical_name;
        return pending.decode && name.size() > file.size() && name[file.size()] == L'/' &&
               name.compare(0, file.size(), file) == 0;
    }

    void Prepare(EntryJob& job) override {
        const CentralRecord& record = job.entry.record;
        job.path = ClassifyEntryName(job.entry.name);
        job.folders_made_from = job.path.folder_ends.size();
        job.failure = Check(job);
        if (job.failure != UnzipFailure::None) return;
        ++budget_.entries;
        budget_.bytes += record.uncompressed_size;
        if (job.path.folder) return;
        job.target = dest_.prefix + job.entry.name;
        // A small entry finds out where it is written (HeldOutput); a large
        // one is not decoded for nothing.
        if (!Held(job)) {
            if (platform::DirectoryExists(job.target)) job.failure = UnzipFailure::CannotCreateOutput;
            else job.failure = Existing(job);
        }
        job.decode = job.failure == UnzipFailure::None;
    }

    std::unique_ptr<EntrySink> MakeSink(EntryJob& job) override {
        if (Held(job)) return std::make_unique<HeldOutput>(job.entry.record.uncompressed_size);
        auto output = std::make_unique<OutputFile>(job.target);
        if (!output->IsOpen()) job.failure = UnzipFailure::CannotCreateOutput;
        return output;
    }

    UnzipFailure Finish(EntryJob& job) override {
        if (job.failure != UnzipFailure::None || !job.decode) return job.failure;
        const UnzipFailure placed = Held(job) ? PlaceHeld(job) : PlaceOutput(job);
        if (placed == UnzipFailure::None && options_.restore_times)
            platform::SetModificationTime(job.target, ModificationTime(job.entry.record));
        return placed;
    }

    void Abandon(EntryJob& job) override {
        job.sink.reset();
        folders_.Unmake(job.entry.name, job.path, job.folders_made_from);
    }

    // A temporary file in the destination itself: the entry's folders are
    // made in its turn.
    std::unique_ptr<EntrySink> MakeEarlySink(EarlyJob& early) override {
        auto output = std::make_unique<OutputFile>(dest_.prefix + L".parcelon-early");
        if (!dest_.exists || !output->IsOpen()) early.failure = UnzipFailure::CannotCreateOutput;
        return output;
    }

    std::optional<UnzipFailure> FinishEarly(EntryJob& job, EarlyJob& early) override {
        const UnzipFailure existing = Existing(job);
        if (existing != UnzipFailure::None) {
            early.sink.reset();
            return existing;
        }
        // Another file system below the destination takes no move: the
        // entry is decoded again beside its target.
        if (static_cast<OutputFile&>(*early.sink).CommitAs(job.target) != UnzipFailure::None) return std::nullopt;
        if (options_.restore_times) platform::SetModificationTime(job.target, ModificationTime(job.entry.record));
        return UnzipFailure::None;
    }

private:
    // Everything that is known before a byte of the entry is read.
    UnzipFailure Check(EntryJob& job) {
        const CentralRecord& record = job.entry.record;
        if (!job.path.safe) return UnzipFailure::EntryNameUnsafe;
        if (!dest_.exists) return UnzipFailure::DestinationMissing;
        if (job.path.folder && record.uncompressed_size > 0) return UnzipFailure::FolderEntryHasData;
        if (!WithinLimits(options_.limits, budget_, record)) return UnzipFailure::LimitExceeded;
        const UnzipFailure located = reader_.Locate(record, job.span);
        if (located != UnzipFailure::None) return located;
        if (!folders_.Make(job.entry.name, job.path, &job.folders_made_from)) return UnzipFailure::CannotCreateFolder;
        return UnzipFailure::None;
    }

    static bool Held(const EntryJob& job) { return job.entry.record.uncompressed_size <= HeldOutput::kLimit; }

    // A new file where nothing stands; where something does, what the
    // host asked for (a folder there is no place for a file).
    UnzipFailure PlaceHeld(EntryJob& job) {
        auto& held = static_cast<HeldOutput&>(*job.sink);
        const UnzipFailure written = held.WriteNew(job.target);
        if (written != UnzipFailure::ExistingFileKept) return written;
        if (platform::DirectoryExists(job.target)) return UnzipFailure::CannotCreateOutput;
        const UnzipFailure existing = Existing(job);
        return existing != UnzipFailure::None ? existing : held.Replace(job.target);
    }

    UnzipFailure PlaceOutput(EntryJob& job) {
        // An entry of the same name may have been written since this one
        // was prepared.
        const UnzipFailure existing = Existing(job);
        if (existing != UnzipFailure::None) {
            job.sink.reset();
            return existing;
        }
        return static_cast<OutputFile&>(*job.sink).Commit();
    }

    UnzipFailure Existing(const EntryJob& job) const {
        if (options_.overwrite == Overwrite::Replace || !platform::PathExists(job.target)) return UnzipFailure::None;
        return options_.overwrite == Overwrite::Skip ? UnzipFailure::ExistingFileKept : UnzipFailure::ExistingFile;
    }

    ArchiveReader& reader_;
    Destination dest_;
    EntryFolders folders_;
    const ExtractOptions& options_;
    Budget budget_;
};

class Testing final : public EntryHandler {
public:
    explicit Testing(ArchiveReader& reader) : reader_(reader) {}

    void Prepare(EntryJob& job) override {
        const CentralRecord& record = job.entry.record;
        if (job.entry.is_folder && record.uncompressed_size > 0) job.failure = UnzipFailure::FolderEntryHasData;
        else job.failure = reader_.Locate(record, job.span);
        // A folder entry's data are not read by extraction either.
        job.decode = job.failure == UnzipFailure::None && !job.entry.is_folder;
    }
    bool MustWaitFor(const EntryJob&, const EntryJob&) const override { return false; }
    std::unique_ptr<EntrySink> MakeSink(EntryJob&) override { return std::make_unique<DiscardingSink>(); }
    std::unique_ptr<EntrySink> MakeEarlySink(EarlyJob&) override { return std::make_unique<DiscardingSink>(); }
    std::optional<UnzipFailure> FinishEarly(EntryJob&, EarlyJob&) override { return UnzipFailure::None; }
    UnzipFailure Finish(EntryJob& job) override { return job.failure; }
    void Abandon(EntryJob& job) override { job.sink.reset(); }

private:
    ArchiveReader& reader_;
};

// A failure that ends the call even when the host asked to keep going:
// nothing after it can succeed.
bool EndsTheCall(UnzipFailure failure) {
    return failure == UnzipFailure::Stopped || failure == UnzipFailure::DestinationMissing;
}

// How a call goes through the archive's entries.
struct RunSettings {
    const std::vector<std::wstring>* patterns = nullptr; // null: every entry
    bool keep_going = false;
    unsigned threads = 1;
    std::deque<ArchiveEntry>* early = nullptr; // large entries to decode ahead (with workers)
};

// The one loop of every reading call: entries are prepared in directory
// order, decoded on the calling thread or on workers (a window of them in
// flight), and finished, reported and told in directory order, so that the
// files, the reports and the result are the same at every thread count.
bool RunEntries(ArchiveReader& reader, EntryHandler& handler, const char* password, const RunSettings& settings,
                CallProgress& progress, Diagnostics& diagnostics) {
    // The jobs in flight outlive the workers (declared first, gone last),
    // whatever way the call ends.
    std::deque<std::unique_ptr<EntryJob>> window;
    std::shared_ptr<JobGroup> filling; // the group the entries being prepared join
    std::map<std::uint64_t, std::unique_ptr<EarlyJob>> early; // started, by place in the directory
    DecodeWorkers workers(settings.threads);
    const bool inline_decoding = workers.workers() == 0;
    // One entry into the sink the handler gives it; overlapped: a large
    // entry may take a second thread of its own.
    const auto decode_job = [&reader, &handler, password](EntryJob& job, bool overlapped) {
        job.sink = handler.MakeSink(job);
        if (job.failure != UnzipFailure::None) return;
        job.failure = DecodeWithPassword(reader, job.entry, job.span, password, *job.sink, job.progress, overlapped,
                                         job.aes_keys ? &*job.aes_keys : nullptr);
    };
    const auto decode_group = [&reader, &progress, decode_job, password, inline_decoding](JobGroup& group) {
        DeriveAesKeysAhead(reader, group.jobs, password);
        for (EntryJob* job : group.jobs) {
            if (progress.StopRequested()) job->failure = UnzipFailure::Stopped;
            else decode_job(*job, !inline_decoding);
        }
    };
    // The next large entries start ahead of their turn, one at a time, while
    // a few at most wait decoded.
    std::deque<ArchiveEntry> no_early;
    std::deque<ArchiveEntry>& planned = settings.early != nullptr && !inline_decoding ? *settings.early : no_early;
    std::uint64_t next_index = 0; // the directory place of the next entry to prepare
    const auto start_early = [&]() {
        while (!planned.empty() && planned.front().index < next_index) planned.pop_front();
        if (planned.empty() || early.size() >= kEarlyWaiting) return;
        for (const auto& started : early)
            if (!workers.IsDone(started.second->task)) return;
        auto job = std::make_unique<EarlyJob>(planned.front(), progress);
        planned.pop_front();
        EarlyJob& taken = *job;
        taken.task.run = [&reader, &handler, &taken, password]() {
            taken.failure = reader.LocateAlone(taken.entry.record, taken.span);
            if (taken.failure != UnzipFailure::None) return;
            taken.sink = handler.MakeEarlySink(taken);
            if (taken.failure != UnzipFailure::None) return;
            taken.failure = DecodeWithPassword(reader, taken.entry, taken.span, password, *taken.sink, taken.progress,
                                               true, nullptr);
        };
        workers.Submit(taken.task);
        early.emplace(taken.entry.index, std::move(job));
    };
    // An early entry whose turn has passed (its preparing failed, or the
    // call ends) is given up once its task is done.
    const auto drop_early_before = [&](std::uint64_t index) {
        for (auto it = early.begin(); it != early.end() && it->first < index;) {
            if (!workers.IsDone(it->second->task)) break;
            it = early.erase(it);
        }
    };

    // Groups of a few entries, and a few groups per worker in flight once
    // a group has gone to the workers. Until then the window stays one
    // group deep: entries prepared far ahead of light groups decoded here
    // cost time (100,000 tiny files: 5% slower than one thread) and gain
    // nothing.
    const std::size_t deep_window = kGroupEntries * (inline_decoding ? 1 : 3 * workers.workers());
    std::size_t window_size = kGroupEntries;
    const auto submit = [&]() {
        if (!filling) return;
        JobGroup& group = *filling;
        group.task.run = [decode_group, &group]() { decode_group(group); };
        if (!group.aes && group.work <= kLightGroupWork) {
            workers.RunHere(group.task);
        } else {
            workers.Submit(group.task);
            window_size = deep_window;
        }
        filling.reset();
    };
    bool preparing = true;
    bool all_done = true;
    std::unique_ptr<EntryJob> held; // waits for the window to empty

    const auto must_wait = [&](const EntryJob& candidate) {
        for (const std::unique_ptr<EntryJob>& pending : window)
            if (handler.MustWaitFor(candidate, *pending)) return true;
        return false;
    };
    const auto give_up_the_rest = [&]() {
        progress.Cancel();
        held.reset();
        filling.reset();
        workers.Cancel();
        early.clear();
        // Every temporary file first, then the folders, the last made first:
        // a folder an entry made may hold a later entry's file.
        for (const std::unique_ptr<EntryJob>& job : window) job->sink.reset();
        for (auto job = window.rbegin(); job != window.rend(); ++job) handler.Abandon(**job);
        window.clear();
    };

    ArchiveEntry entry;
    for (;;) {
        while (preparing && window.size() < window_size) {
            // A large entry ahead starts before the entries up to it are
            // prepared, or it would be decoded in its group.
            start_early();
            std::unique_ptr<EntryJob> job;
            UnzipFailure read = UnzipFailure::None;
            if (held) {
                if (!window.empty()) break;
                job = std::move(held);
            } else {
                read = reader.Next(entry);
                if (read == UnzipFailure::None && reader.done()) {
                    preparing = false;
                    break;
                }
                if (read == UnzipFailure::None && !Selected(entry.name, *settings.patterns)) continue;
                job = std::make_unique<EntryJob>(entry, progress, inline_decoding);
                job->canonical_name = CanonicalEntryName(entry.name);
                next_index = entry.index + 1;
                if (read == UnzipFailure::None && must_wait(*job)) {
                    held = std::move(job);
                    break;
                }
            }
            if (read != UnzipFailure::None || progress.StopRequested()) {
                // The archive, or its directory, is damaged (nothing after
                // can be trusted), or the host asked for a stop.
                job->failure = read != UnzipFailure::None ? read : UnzipFailure::Stopped;
                job->end_of_call = true;
                preparing = false;
            } else {
                handler.Prepare(*job);
                // (An entry passed over as the host asked is no failure.)
                if (job->failure != UnzipFailure::None && job->failure != UnzipFailure::ExistingFileKept &&
                    !settings.keep_going)
                    preparing = false;
            }
            const auto started = early.find(job->entry.index);
            if (job->decode && started != early.end()) {
                job->early = started->second.get();
                job->decode = false;
            }
            if (job->decode) {
                if (!filling) filling = std::make_shared<JobGroup>();
                filling->jobs.push_back(job.get());
                filling->bytes += job->entry.record.uncompressed_size;
                const CentralRecord& record = job->entry.record;
                filling->work += record.uncompressed_size +
                                 ((record.flags & zip::kFlagEncrypted) != 0 ? kCipherWork * record.compressed_size : 0);
                filling->aes = filling->aes || job->entry.record.method == zip::kMethodAes;
                job->group = filling;
                if (filling->jobs.size() >= kGroupEntries || filling->bytes >= kGroupBytes) submit();
            }
            window.push_back(std::move(job));
        }
        if (!preparing || held || window.size() >= window_size) submit();
        start_early();
        if (window.empty()) {
            if (held) continue;
            break;
        }

        EntryJob& job = *window.front();
        if (job.decode) {
            if (job.group == filling) submit();
            while (!workers.WaitFor(job.group->task, kProgressPoll)) progress.Publish();
            if (job.group->task.skipped) job.failure = UnzipFailure::Stopped;
        }
        std::optional<UnzipFailure> finished;
        if (job.early != nullptr) {
            EarlyJob& ahead = *job.early;
            while (!workers.WaitFor(ahead.task, kProgressPoll)) progress.Publish();
            if (!ahead.task.skipped && ahead.failure == UnzipFailure::None) finished = handler.FinishEarly(job, ahead);
            if (finished) {
                ahead.progress.End(job.entry.record.uncompressed_size);
            } else {
                // Decoded again, in its turn, on this thread.
                ahead.progress.Restart();
                decode_job(job, false);
                job.decode = true;
            }
            early.erase(job.entry.index);
        }
        drop_early_before(job.entry.index);
        // After a stop, the entries decoded whole before it still take their
        // place, in order; the first one the stop cut ends the call.
        if (job.failure == UnzipFailure::Stopped) job.end_of_call = true;
        UnzipFailure failure = finished ? *finished : job.end_of_call ? job.failure : handler.Finish(job);
        if (!finished) job.progress.End(job.entry.record.uncompressed_size);
        progress.Publish();
        if (failure == UnzipFailure::None) {
            window.pop_front();
            continue;
        }
        // A stop, and the archive as a whole, concern no entry.
        const bool no_entry = job.end_of_call || failure == UnzipFailure::Stopped;
        diagnostics.Report(failure, no_entry ? std::wstring() : job.entry.name);
        if (failure == UnzipFailure::ExistingFileKept) {
            window.pop_front();
            continue;
        }
        all_done = false;
        if (job.end_of_call || !settings.keep_going || EndsTheCall(failure)) {
            // The failed entry keeps what it made (its folders); the ones
            // after it leave nothing, as they would with one thread.
            job.sink.reset();
            window.pop_front();
            give_up_the_rest();
            break;
        }
        window.pop_front();
    }
    progress.End();
    return all_done;
}

} // namespace

unsigned ReadingThreads(unsigned requested) {
    const unsigned wanted = requested == 0 ? platform::ProcessorCount() : requested;
    return std::max(1u, std::min(wanted, kMaxReadingThreads));
}

bool ExtractArchive(const std::wstring& zip_path, const std::wstring& dest_dir, const char* password,
                    const ExtractOptions& options, ReadingObserver* observer, Diagnostics& diagnostics) {
    const platform::CodePageScope code_page;
    const bool threads = options.threads > 1;
    Survey survey;
    if (observer != nullptr || threads) survey = SurveyArchive(zip_path, options.patterns, threads);
    CallProgress progress(observer, survey.total);
    ArchiveReader reader(zip_path);
    Extracting handler(reader, dest_dir, options);
    RunSettings settings;
    settings.patterns = &options.patterns;
    settings.keep_going = options.keep_going;
    settings.threads = options.threads;
    settings.early = &survey.early;
    return RunEntries(reader, handler, password, settings, progress, diagnostics);
}

bool TestArchive(const std::wstring& zip_path, const char* password, unsigned threads, ReadingObserver* observer,
                 Diagnostics& diagnostics) {
    const platform::CodePageScope code_page;
    const std::vector<std::wstring> every;
    Survey survey;
    if (observer != nullptr || threads > 1) survey = SurveyArchive(zip_path, every, threads > 1);
    CallProgress progress(observer, survey.total);
    ArchiveReader reader(zip_path);
    Testing handler(reader);
    RunSettings settings;
    settings.patterns = &every;
    settings.keep_going = true;
    settings.threads = threads;
    settings.early = &survey.early;
    return RunEntries(reader, handler, password, settings, progress, diagnostics);
}

} // namespace parcelon

#include "create/FilePacker.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <memory>
#include <optional>

#include "create/AesKeySupply.h"
#include "create/ChunkCodec.h"
#include "create/ChunkReader.h"
#include "create/EntryEncryptor.h"
#include "create/EntryLayout.h"
#include "create/EntryStream.h"
#include "crypto/RandomBytes.h"
#include "deflate/Checksum.h"
#include "deflate/ChunkCompressor.h"
#include "platform/Platform.h"
#include "text/TextHelpers.h"

namespace parcelon {

namespace {

// How far past a stop an entry whose header needs its CRC may go to find
// an end the header fits (a few hundred bytes, as a rule).
constexpr std::size_t kMostPastStop = 64 * 1024;

// How an item's file stood when the reading side came to it.
enum class Source {
    Unreadable, // the process may not read it: passed over without a word
    Unopened,   // it could not be opened
    Unread,     // the level is refused: nothing is read, the entry cannot open
    Folder,     // a folder item: an entry with no data
    Data,       // its chunks follow
};

// The most AES entries whose keys are derived in one call: what the
// widest vectors take side by side.
constexpr std::size_t kKeyBatch = 16;

// One piece of the read-ahead window: an item's first task says how its
// file stood; every task with data holds one chunk.
struct PackTask {
    std::size_t item = 0;
    Source source = Source::Data;
    bool whole_crc_known = false; // a file of several chunks whose CRC-32 was read ahead
    std::uint32_t whole_crc = 0;
    bool read_failed = false;     // the file could not be read to its end
    std::uint32_t crc_after = 0;  // the CRC-32 of the file up to the end of this chunk
    ChunkJob job;
    std::shared_ptr<ChunkGroup> group; // what the chunk was handed to the pool in
};

// Chunks go to the pool in groups of at most this many bytes or chunks: a
// whole chunk alone, small files by the dozen.
constexpr std::size_t kGroupBytes = 128 * 1024;
constexpr std::size_t kGroupChunks = 32;

// What a failure is about: the folder entry's name when that entry failed,
// the file's path otherwise.
const std::wstring& FailureSubject(PackFailure failure, const PackItem& item) {
    if (failure != PackFailure::CannotAddFolder) return item.path;
    return item.is_folder ? item.name : item.folder;
}

// Folder entries are encrypted where the class has always encrypted them,
// and nowhere else (FilePacker.h says why).
bool EncryptsFolderEntries(const PackSettings& settings) {
    return settings.style == EntryStyle::Classic && settings.encryption == Encryption::Traditional;
}

std::size_t FileItems(const std::vector<PackItem>& items) {
    return static_cast<std::size_t>(
        std::count_if(items.begin(), items.end(), [](const PackItem& item) { return !item.is_folder; }));
}

class Packer {
public:
    Packer(EntrySink& sink, const std::vector<PackItem>& items, const PackSettings& settings, Progress& progress,
           const std::atomic<bool>& stop, Diagnostics& diagnostics)
        : sink_(sink), items_(items), settings_(settings), progress_(progress), stop_(stop),
          diagnostics_(diagnostics), engine_level_(EngineLevel(settings.level)),
          random_(settings.random != nullptr ? settings.random : &own_random_),
          plain_(PlainEntries()), files_left_(FileItems(items)),
          // One thread reads one chunk ahead; more keep each busy with up
          // to two chunks' bytes or two groups of small files.
          most_tasks_(settings.threads <= 1 ? 1 : 2 * settings.threads * kGroupChunks),
          most_bytes_(settings.threads <= 1 ? kChunkSize : 2 * settings.threads * kChunkSize) {
        if (settings.password.empty()) {
            encryptor_ = PlainEntries();
        } else if (settings.encryption == Encryption::Aes256) {
            keys_.emplace(settings.password, *random_);
            encryptor_ = WinZipAesEncryption(*keys_);
        } else {
            encryptor_ = TraditionalEncryption(settings.password, *random_);
        }
        folder_encryptor_ = EncryptsFolderEntries(settings) ? encryptor_.get() : plain_.get();
        if (engine_level_ < 0) return; // nothing will be compressed
        const CodecFactory codecs = DeflateCodecs(engine_level_);
        codec_ = codecs();
        codec_->Compress(nullptr, 0, true, end_);
        chunk_size_ = codec_->joins_chunks() ? kChunkSize : std::numeric_limits<std::size_t>::max();
        if (settings.threads > 1) {
            pool_.emplace(settings.threads, codecs,
                          settings.start_thread ? settings.start_thread : ThreadStarter(platform::StartThread));
            if (pool_->workers() == 0) pool_.reset(); // the system gave none: this thread compresses
        }
        if (pool_ && keys_) keys_->UsePool(*pool_, *codec_);
    }

    bool Run() {
        for (;;) {
            ReadAhead();
            if (window_.empty() || Stopped()) break;
            if (!WriteItem()) break;
        }
        return all_packed_;
    }

private:
    bool Stopped() const { return stop_.load(std::memory_order_relaxed); }
    bool NeedsCrcFirst() const { return encryptor_->needs_crc_first(); }

    void Report(PackFailure failure, const PackItem& item) {
        diagnostics_.Report(failure, FailureSubject(failure, item));
        all_packed_ = false;
    }

    // ------------------------------------------------------------ reading

    // Reads chunks ahead, in list order, until the window is full or every
    // file is read; nothing after a stop.
    void ReadAhead() {
        while (!Stopped() && window_.size() < most_tasks_ && window_bytes_ < most_bytes_) {
            if (reader_) {
                auto task = std::make_unique<PackTask>();
                task->item = reader_item_;
                ReadChunk(*task);
                Submit(std::move(task));
            } else if (next_item_ < items_.size()) {
                StartItem();
            } else {
                return;
            }
        }
    }

    void StartItem() {
        const std::size_t index = next_item_++;
        const PackItem& item = items_[index];
        auto task = std::make_unique<PackTask>();
        task->item = index;
        if (item.is_folder) {
            task->source = Source::Folder;
            window_.push_back(std::move(task));
            return;
        }
        --files_left_;
        if (!codec_) {
            task->source = platform::IsReadable(item.path) ? Source::Unread : Source::Unreadable;
        } else {
            // One open says it all: what cannot be read is looked at only
            // then. A header made from the CRC-32 read before the data:
            // other writers are kept out between the two readings.
            platform::SourceFile file;
            switch (platform::SourceFile::Open(item.path, NeedsCrcFirst(), file)) {
            case platform::SourceFile::Opening::Opened: reader_.emplace(std::move(file), chunk_size_); break;
            case platform::SourceFile::Opening::Absent: task->source = Source::Unreadable; break;
            case platform::SourceFile::Opening::Refused: task->source = Source::Unopened; break;
            }
        }
        // An entry opens for the file, empty when it could not be opened.
        if (task->source == Source::Data || task->source == Source::Unopened) ReserveKeys();
        if (task->source != Source::Data) {
            window_.push_back(std::move(task));
            return;
        }
        reader_item_ = index;
        ReadChunk(*task);
        if (NeedsCrcFirst() && !task->job.last) task->whole_crc_known = reader_->WholeFileCrc(stop_, task->whole_crc);
        Submit(std::move(task));
    }

    // One more AES entry will begin: its salt is drawn with those of the
    // files after it, a batch whose keys are derived in one call.
    void ReserveKeys() {
        if (!keys_) return;
        if (keys_reserved_ >= keys_->drawn()) keys_->Draw(std::min(kKeyBatch, files_left_ + 1));
        ++keys_reserved_;
    }

    void ReadChunk(PackTask& task) {
        reader_->Next(task.job.input, task.job.last);
        task.read_failed = reader_->failed();
        task.crc_after = reader_->crc();
        if (task.job.last) reader_.reset();
    }

    void Submit(std::unique_ptr<PackTask> task) {
        PackTask& added = *task;
        window_bytes_ += added.job.input.size();
        window_.push_back(std::move(task));
        if (!pool_) {
            added.job.Run(*codec_);
            return;
        }
        if (!open_group_) open_group_ = std::make_shared<ChunkGroup>();
        open_group_->Add(added.job);
        added.group = open_group_;
        if (open_group_->bytes >= kGroupBytes || open_group_->chunks.size() >= kGroupChunks) HandOver();
    }

    // The group being gathered goes to the pool.
    void HandOver() {
        if (!open_group_) return;
        pool_->Submit(*open_group_);
        open_group_.reset();
    }

    // Waits for a task's chunk (done already without a pool), compressing
    // its group here when no worker has taken it yet; false when stop (if
    // given) is set first.
    bool Wait(PackTask& task, const std::atomic<bool>* stop) {
        if (!pool_) return true;
        if (task.group == open_group_) HandOver();
        return pool_->Wait(*task.group, stop, codec_.get());
    }

    // The front task, done with: waited for first when a worker may hold it
    // (only a task with data was handed over).
    void DropFront() {
        PackTask& front = *window_.front();
        if (front.source == Source::Data) Wait(front, nullptr);
        window_bytes_ -= front.job.input.size();
        window_.pop_front();
    }

    // Everything left of the item: its tasks, and its file.
    void DropItem(std::size_t index) {
        while (!window_.empty() && window_.front()->item == index) DropFront();
        if (reader_ && reader_item_ == index) reader_.reset();
    }

    // The item failed before its entry: reported, and its rest dropped.
    bool Fail(PackFailure failure, std::size_t index) {
        Report(failure, items_[index]);
        DropItem(index);
        return true;
    }

    // ------------------------------------------------------------ writing

    // Writes the item at the front of the window; false when a stop cut it
    // short.
    bool WriteItem() {
        const PackTask& first = *window_.front();
        const std::size_t index = first.item;
        const PackItem& item = items_[index];
        if (first.source == Source::Unreadable) {
            // No line for the class, which passes over such files; the C
            // interface reports them.
            diagnostics_.Report(platform::PathExists(item.path) ? PackFailure::SourceUnreadable
                                                                 : PackFailure::SourceMissing,
                                item.path);
            DropItem(index);
            return true;
        }
        if (first.source == Source::Folder) {
            if (!AddFolderEntry(item.name, Stamp(item))) return Fail(PackFailure::CannotAddFolder, index);
            DropItem(index);
            return true;
        }
        // A sink that cannot put right a header that no longer fits takes
        // no entry whose header needs the CRC first.
        if (NeedsCrcFirst() && !sink_.CanReencrypt()) return Fail(PackFailure::CannotAddEntry, index);
        if (!item.folder.empty() && !AddFolderEntry(item.folder, nullptr))
            return Fail(PackFailure::CannotAddFolder, index);

        // The CRC-32 the header is made from; with no data (the file could
        // not be opened) the empty entry's, 0.
        std::uint32_t header_crc = 0;
        if (NeedsCrcFirst() && first.source == Source::Data) {
            if (first.job.last) {
                header_crc = first.crc_after;
            } else if (first.whole_crc_known) {
                header_crc = first.whole_crc;
            } else {
                if (Stopped()) return false;
                return Fail(PackFailure::CannotReadSource, index);
            }
        }

        EntryHeader header;
        const bool zip64 = codec_ && NeedsZip64(item.size, codec_->MostOutput(item.size) + encryptor_->overhead());
        if (!codec_ || !MakeEntryHeader(EncodeEntryName(item.name, settings_.style), EntryKind::File, settings_.level,
                                        encryptor_->Coding(codec_->method()), zip64, Stamp(item), header))
            return Fail(PackFailure::CannotAddEntry, index);
        EntryStream entry(sink_, *encryptor_, end_);
        if (!entry.Open(header, header_crc)) return Fail(PackFailure::CannotAddEntry, index);
        if (first.source != Source::Data) {
            // The file could not be opened: its entry stays, empty.
            const bool written = WriteEnd(entry);
            if (!entry.Close(0, 0) || !written) Report(PackFailure::CannotWriteEntry, item);
            return Fail(PackFailure::CannotOpenSource, index);
        }
        return WriteChunks(entry, index, header_crc, zip64);
    }

    // What the entry of an item records of it: its stamp in the portable
    // style, nothing in the classic one.
    const platform::FileStamp* Stamp(const PackItem& item) const {
        return settings_.style == EntryStyle::Portable ? &item.stamp : nullptr;
    }

    // A folder entry named folder: in the classic style the codec's empty
    // data (encrypted with the files, under the traditional cipher), in
    // the portable one stored and empty.
    bool AddFolderEntry(const std::wstring& folder, const platform::FileStamp* portable) {
        if (!codec_) return false;
        EntryHeader header;
        const EntryCoding coding =
            portable != nullptr ? PortableFolderCoding() : folder_encryptor_->Coding(codec_->method());
        if (!MakeEntryHeader(EncodeEntryName(folder, settings_.style), EntryKind::Folder, settings_.level, coding,
                             false, portable, header))
            return false;
        EntryStream entry(sink_, *folder_encryptor_, end_);
        if (!entry.Open(header, 0)) return false;
        const bool written = portable != nullptr || WriteEnd(entry);
        return entry.Close(0, 0) && written;
    }

    // The codec's end of data, as the whole of an entry with none.
    bool WriteEnd(EntryStream& entry) {
        std::vector<unsigned char> end = end_;
        return entry.Write(end.data(), end.size(), 0, 0);
    }

    // Whether a plain entry, holding size bytes in stored bytes so far,
    // could take a chunk of input bytes that compressed to output bytes and
    // still be ended after a later stop: a file grows past what a plain
    // entry holds only when it grew after it was measured.
    bool Fits(const EntryStream& entry, std::uint64_t size, std::size_t input, std::size_t output) const {
        return !NeedsZip64(size + input + kMostPastStop,
                           entry.stored() + output + codec_->MostOutput(kMostPastStop) + encryptor_->overhead());
    }

    bool WriteChunks(EntryStream& entry, std::size_t index, std::uint32_t header_crc, bool zip64) {
        const PackItem& item = items_[index];
        std::uint64_t size = 0; // what the entry holds so far
        std::uint32_t crc = 0;
        for (;;) {
            // Keeps the workers busy. The item's next chunk is at the front
            // then, unless a stop came first (and the window is empty).
            ReadAhead();
            PackTask* task = window_.empty() ? nullptr : window_.front().get();
            if (task == nullptr || Stopped() || !Wait(*task, &stop_)) {
                // Stopped between chunks.
                std::vector<unsigned char> peeked;
                if (task == nullptr && reader_ && NeedsCrcFirst()) reader_->Peek(kMostPastStop, peeked);
                const std::vector<unsigned char>& rest = task != nullptr ? task->job.input : peeked;
                if (!EndCut(entry, rest, 0, size, crc, header_crc)) Report(PackFailure::CannotWriteEntry, item);
                return false;
            }
            const std::vector<unsigned char>& input = task->job.input;
            std::vector<unsigned char>& output = task->job.output;
            if (!zip64 && !Fits(entry, size, input.size(), output.size())) {
                // The file grew past what its plain entry can hold: the entry
                // ends here, whole, and the rest of the file stays out.
                EndCut(entry, input, 0, size, crc, header_crc);
                Report(PackFailure::CannotWriteEntry, item);
                DropItem(index);
                return true;
            }
            // Reported block by block, as a stream of blocks reports it,
            // until a stop is seen between two blocks.
            const auto reported = static_cast<std::size_t>(progress_.AdvanceInBlocks(input.size(), &stop_));
            if (reported < input.size()) {
                // Stopped within the chunk, from the callback or another
                // thread: the entry ends after the block last reported.
                if (!EndCut(entry, input, reported, size, crc, header_crc))
                    Report(PackFailure::CannotWriteEntry, item);
                return false;
            }
            const bool written = entry.Write(output.data(), output.size(), size + input.size(), task->crc_after);
            const bool last = task->job.last;
            const bool read_failed = task->read_failed;
            if (written) {
                size += input.size();
                crc = task->crc_after;
            }
            DropFront();
            if (!written || last) {
                const bool closed = entry.Close(size, crc);
                if (!written || !closed) Report(PackFailure::CannotWriteEntry, item);
                else if (read_failed) Report(PackFailure::CannotReadSource, item);
                if (!last) DropItem(index);
                return true;
            }
        }
    }

    // How many of the first bytes of data must follow data of CRC-32 crc
    // for the entry to open with a header made from header_crc; npos when
    // no prefix of them does.
    std::size_t BytesToFit(std::uint32_t crc, const unsigned char* data, std::size_t size,
                           std::uint32_t header_crc) const {
        for (std::size_t taken = 0;; ++taken) {
            if (encryptor_->Opens(header_crc, crc)) return taken;
            if (taken == size) return std::string::npos;
            crc = Crc32(crc, data + taken, 1);
        }
    }

    // Ends an entry cut short: it holds size bytes, with CRC-32 crc, and
    // then the first kept bytes of rest, the bytes that follow them in the
    // file (kept are already reported). An entry whose header needs the CRC
    // goes on in rest to the first byte after which its header fits (or, if
    // none does within reach, is encrypted again afterwards). False when
    // its end could not be written.
    bool EndCut(EntryStream& entry, const std::vector<unsigned char>& rest, std::size_t kept, std::uint64_t size,
                std::uint32_t crc, std::uint32_t header_crc) {
        crc = Crc32(crc, rest.data(), kept);
        std::size_t taken = kept;
        if (NeedsCrcFirst()) {
            const std::size_t room = std::min(rest.size() - kept, kMostPastStop);
            const std::size_t more = std::min(BytesToFit(crc, rest.data() + kept, room, header_crc), room);
            crc = Crc32(crc, rest.data() + kept, more);
            progress_.AdvanceInBlocks(more);
            taken += more;
        }
        std::vector<unsigned char> tail;
        codec_->Compress(rest.data(), taken, true, tail);
        const bool written = entry.Write(tail.data(), tail.size(), size + taken, crc);
        return entry.Close(size + taken, crc) && written;
    }

    EntrySink& sink_;
    const std::vector<PackItem>& items_;
    const PackSettings& settings_;
    Progress& progress_;
    const std::atomic<bool>& stop_;
    Diagnostics& diagnostics_;
    const int engine_level_;
    RandomBytes own_random_;  // the system's source, unless the settings fix the bytes
    RandomBytes* random_;
    std::unique_ptr<EntryEncryptor> plain_;
    std::size_t files_left_;         // file items not yet started
    std::optional<AesKeySupply> keys_; // with AES
    std::size_t keys_reserved_ = 0;  // AES entries the reading side started
    std::unique_ptr<EntryEncryptor> encryptor_;        // of file entries
    EntryEncryptor* folder_encryptor_ = nullptr;       // of folder entries
    std::unique_ptr<ChunkCodec> codec_;   // this thread's; null for a refused level
    std::vector<unsigned char> end_;      // what ends an entry's data after a whole chunk
    std::size_t chunk_size_ = kChunkSize;
    const std::size_t most_tasks_;
    const std::size_t most_bytes_;
    bool all_packed_ = true;

    std::size_t next_item_ = 0;             // the next item to start reading
    std::optional<ChunkReader> reader_;     // the file being read, if any
    std::size_t reader_item_ = 0;
    std::deque<std::unique_ptr<PackTask>> window_; // read, not yet written
    std::size_t window_bytes_ = 0;
    std::shared_ptr<ChunkGroup> open_group_; // gathered, not yet handed over
    // Last: it ends first, its workers joined before the chunks they may
    // hold go.
    std::optional<CompressionPool> pool_;
};

} // namespace

PackSettings PackSettingsOf(const PackingState& state, unsigned int level, const char* password) {
    PackSettings settings;
    settings.level = level;
    settings.password = TrimSpaces(password);
    settings.threads = PackingThreads(state.threads);
    settings.encryption = state.encryption;
    settings.style = state.style;
    settings.random = state.random;
    return settings;
}

bool PackItems(EntrySink& sink, const std::vector<PackItem>& items, const PackSettings& settings,
               Progress& progress, const std::atomic<bool>& stop, Diagnostics& diagnostics) {
    Packer packer(sink, items, settings, progress, stop, diagnostics);
    return packer.Run();
}

} // namespace parcelon

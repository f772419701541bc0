#include "create/FilePacker.h"

#include <zip.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>

#include "create/ChunkReader.h"
#include "create/CompressionPool.h"
#include "create/EntryStream.h"
#include "crypto/RandomBytes.h"
#include "deflate/Checksum.h"
#include "deflate/ChunkCompressor.h"
#include "deflate/DeflateScan.h"
#include "platform/Platform.h"

namespace parcelon {

namespace {

// How far past a stop an encrypted entry may go to find the end its
// header's check byte fits (a few hundred bytes, as a rule).
constexpr std::size_t kMostPastStop = 64 * 1024;

// How an item's file stood when the reading side came to it.
enum class Source {
    Unreadable, // the process may not read it: passed over without a word
    Unopened,   // it could not be opened
    Unread,     // the level is refused: nothing is read, the entry cannot open
    Data,       // its chunks follow
};

// One piece of the read-ahead window: an item's first task says how its
// file stood; every task with data holds one chunk.
struct PackTask {
    std::size_t item = 0;
    Source source = Source::Data;
    bool whole_crc_known = false; // an encrypted file of several chunks: its CRC-32, read ahead
    std::uint32_t whole_crc = 0;
    bool read_failed = false;     // the file could not be read to its end
    std::uint32_t crc_after = 0;  // the CRC-32 of the file up to the end of this chunk
    ChunkJob job;
};

// How many of the first size bytes of data must follow a stream whose
// CRC-32 so far is crc for the high byte of the CRC to be check; size + 1
// when no prefix does.
std::size_t BytesToCheckByte(std::uint32_t crc, const unsigned char* data, std::size_t size, unsigned char check) {
    for (std::size_t taken = 0;; ++taken) {
        if (static_cast<unsigned char>(crc >> 24) == check) return taken;
        if (taken == size) return size + 1;
        crc = Crc32(crc, data + taken, 1);
    }
}

unsigned char HighByte(std::uint32_t crc) { return static_cast<unsigned char>(crc >> 24); }

// What a failure is about: the folder entry's name when that entry failed,
// the file's path otherwise.
const std::wstring& FailureSubject(PackFailure failure, const PackItem& item) {
    return failure == PackFailure::CannotAddFolder ? item.folder : item.path;
}

class Packer {
public:
    Packer(ZipWriter& archive, const std::vector<PackItem>& items, const PackSettings& settings, Progress& progress,
           const std::atomic<bool>& stop, Diagnostics& diagnostics)
        : archive_(archive), items_(items), settings_(settings), progress_(progress), stop_(stop),
          diagnostics_(diagnostics), engine_level_(EngineLevel(settings.level)),
          encrypted_(!settings.password.empty()), random_(encrypted_ ? RandomBytes() : RandomBytes(0)),
          // One thread reads one chunk ahead; more keep each busy with up
          // to two chunks' bytes (many small files, or a few large ones).
          most_tasks_(settings.threads <= 1 ? 1 : 4 * settings.threads),
          most_bytes_(settings.threads <= 1 ? kChunkSize : 2 * settings.threads * kChunkSize),
          pool_(settings.threads, engine_level_) {}

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
        if (!platform::IsReadable(item.path)) {
            task->source = Source::Unreadable;
        } else if (engine_level_ < 0) {
            task->source = Source::Unread;
        } else {
            // An encrypted entry's header is made from the CRC-32 read
            // before its data: other writers are kept out between the two.
            platform::FilePtr file(encrypted_ ? platform::OpenForReadDenyWrite(item.path)
                                              : platform::OpenForRead(item.path));
            if (!file) task->source = Source::Unopened;
            else reader_.emplace(std::move(file), item.size);
        }
        if (task->source != Source::Data) {
            window_.push_back(std::move(task));
            return;
        }
        reader_item_ = index;
        ReadChunk(*task);
        if (encrypted_ && !task->job.last) task->whole_crc_known = reader_->WholeFileCrc(stop_, task->whole_crc);
        Submit(std::move(task));
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
        pool_.Submit(added.job);
    }

    // The front task, done with: waited for first when a worker may hold it
    // (only a task with data was handed to the pool).
    void DropFront() {
        PackTask& front = *window_.front();
        if (front.source == Source::Data) pool_.Wait(front.job, nullptr);
        window_bytes_ -= front.job.input.size();
        window_.pop_front();
    }

    // Everything left of the item: its tasks, and its file.
    void DropItem(std::size_t index) {
        while (!window_.empty() && window_.front()->item == index) DropFront();
        if (reader_ && reader_item_ == index) reader_.reset();
    }

    // ------------------------------------------------------------ writing

    // Writes the item at the front of the window; false when a stop cut it
    // short.
    bool WriteItem() {
        const PackTask& first = *window_.front();
        const std::size_t index = first.item;
        const PackItem& item = items_[index];
        if (first.source == Source::Unreadable) {
            DropItem(index);
            return true;
        }
        if (!item.folder.empty() && !AddFolderEntry(item.folder)) {
            Report(PackFailure::CannotAddFolder, item);
            DropItem(index);
            return true;
        }

        std::uint32_t header_crc = 0;
        if (encrypted_ && first.source == Source::Data) {
            if (first.job.last) {
                header_crc = first.crc_after;
            } else if (first.whole_crc_known) {
                header_crc = first.whole_crc;
            } else {
                if (Stopped()) return false;
                Report(PackFailure::CannotReadSource, item);
                DropItem(index);
                return true;
            }
        } else if (encrypted_ && first.source == Source::Unopened) {
            // No CRC-32, no header anybody could decrypt with.
            Report(PackFailure::CannotReadSource, item);
            DropItem(index);
            return true;
        }

        EntryOptions options;
        options.level = settings_.level;
        options.zip64 = item.size >= kZip64Threshold;
        const std::uint64_t offset = archive_.NextEntryOffset();
        EntryStream entry;
        if (entry.Open(archive_.handle(), EncodeEntryName(item.name), options, settings_.password, header_crc,
                       random_) != ZIP_OK) {
            Report(PackFailure::CannotAddEntry, item);
            DropItem(index);
            return true;
        }
        if (first.source != Source::Data) {
            // The file could not be opened: its entry stays, empty.
            WriteEnd(entry);
            entry.Close(0, 0);
            Report(PackFailure::CannotOpenSource, item);
            DropItem(index);
            return true;
        }
        return WriteChunks(entry, index, header_crc, offset);
    }

    bool AddFolderEntry(const std::wstring& folder) {
        EntryOptions options;
        options.file_entry = false;
        options.level = settings_.level;
        EntryStream entry;
        if (entry.Open(archive_.handle(), EncodeEntryName(folder), options, settings_.password, 0, random_) != ZIP_OK)
            return false;
        const bool written = WriteEnd(entry);
        return entry.Close(0, 0) && written;
    }

    static bool WriteEnd(EntryStream& entry) {
        unsigned char end[sizeof kEmptyFinalBlock];
        std::copy(kEmptyFinalBlock, kEmptyFinalBlock + sizeof kEmptyFinalBlock, end);
        return entry.Write(end, sizeof end);
    }

    bool WriteChunks(EntryStream& entry, std::size_t index, std::uint32_t header_crc, std::uint64_t offset) {
        const PackItem& item = items_[index];
        std::uint64_t size = 0; // what the entry holds so far
        std::uint32_t crc = 0;
        for (;;) {
            // Keeps the workers busy. The item's next chunk is at the front
            // then, unless a stop came first (and the window is empty).
            ReadAhead();
            PackTask* task = window_.empty() ? nullptr : window_.front().get();
            if (task == nullptr || Stopped() || !pool_.Wait(task->job, &stop_)) {
                // Stopped between chunks.
                const std::vector<unsigned char> peeked =
                    task == nullptr && reader_ ? reader_->Peek(kMostPastStop) : std::vector<unsigned char>();
                const std::vector<unsigned char>& rest = task != nullptr ? task->job.input : peeked;
                EndCut(entry, rest, 0, size, crc, header_crc, offset);
                return false;
            }
            const std::vector<unsigned char>& input = task->job.input;
            // Reported block by block, as a stream of blocks reports it,
            // until a stop is seen between two blocks.
            const auto reported = static_cast<std::size_t>(progress_.AdvanceInBlocks(input.size(), &stop_));
            if (reported < input.size()) {
                // Stopped within the chunk, from the callback or another
                // thread: the entry ends after the block last reported.
                EndCut(entry, input, reported, size, crc, header_crc, offset);
                return false;
            }
            std::vector<unsigned char>& output = task->job.output;
            const bool written = entry.Write(output.data(), output.size());
            const bool last = task->job.last;
            const bool read_failed = task->read_failed;
            if (written) {
                size += input.size();
                crc = task->crc_after;
            }
            DropFront();
            if (!written || last) {
                const bool closed = entry.Close(size, crc);
                // The file changed between the two readings: the header's
                // check byte must be made from what the entry holds.
                if (encrypted_ && HighByte(crc) != HighByte(header_crc))
                    archive_.RepairCheckByte(offset, settings_.password);
                if (!written || !closed) Report(PackFailure::CannotWriteEntry, item);
                else if (read_failed) Report(PackFailure::CannotReadSource, item);
                if (!last) DropItem(index);
                return true;
            }
        }
    }

    // Ends an entry a stop cut short. It holds size bytes, with CRC-32 crc,
    // and then the first kept bytes of rest, the bytes that follow them in
    // the file (kept are already reported). An encrypted entry goes on in
    // rest to the first byte after which its CRC has the high byte its
    // header was made with.
    void EndCut(EntryStream& entry, const std::vector<unsigned char>& rest, std::size_t kept, std::uint64_t size,
                std::uint32_t crc, std::uint32_t header_crc, std::uint64_t offset) {
        crc = Crc32(crc, rest.data(), kept);
        std::size_t taken = kept;
        if (encrypted_) {
            const std::size_t room = std::min(rest.size() - kept, kMostPastStop);
            const std::size_t more =
                std::min(BytesToCheckByte(crc, rest.data() + kept, room, HighByte(header_crc)), room);
            crc = Crc32(crc, rest.data() + kept, more);
            progress_.AdvanceInBlocks(more);
            taken += more;
        }
        std::vector<unsigned char> tail;
        pool_.CompressHere(rest.data(), taken, true, tail);
        entry.Write(tail.data(), tail.size());
        entry.Close(size + taken, crc);
        if (encrypted_ && HighByte(crc) != HighByte(header_crc)) archive_.RepairCheckByte(offset, settings_.password);
    }

    ZipWriter& archive_;
    const std::vector<PackItem>& items_;
    const PackSettings& settings_;
    Progress& progress_;
    const std::atomic<bool>& stop_;
    Diagnostics& diagnostics_;
    const int engine_level_;
    const bool encrypted_;
    RandomBytes random_;
    const std::size_t most_tasks_;
    const std::size_t most_bytes_;
    bool all_packed_ = true;

    std::size_t next_item_ = 0;             // the next item to start reading
    std::optional<ChunkReader> reader_;     // the file being read, if any
    std::size_t reader_item_ = 0;
    std::deque<std::unique_ptr<PackTask>> window_; // read, not yet written
    std::size_t window_bytes_ = 0;
    // Last: it ends first, its workers joined before the chunks they may
    // hold go.
    CompressionPool pool_;
};

} // namespace

bool PackItems(ZipWriter& archive, const std::vector<PackItem>& items, const PackSettings& settings,
               Progress& progress, const std::atomic<bool>& stop, Diagnostics& diagnostics) {
    Packer packer(archive, items, settings, progress, stop, diagnostics);
    return packer.Run();
}

} // namespace parcelon

#include "extract/EntryPipeline.h"

#include <algorithm>
#include <cstring>

#include "platform/Platform.h"

namespace parcelon {

namespace {

// Blocks in flight between two stages.
constexpr std::size_t kQueuedBlocks = 4;

} // namespace

bool BlockQueue::Push(std::vector<unsigned char> block) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return closed_ || blocks_.size() < most_; });
    if (closed_) return false;
    blocks_.push_back(std::move(block));
    changed_.notify_all();
    return true;
}

bool BlockQueue::Pop(std::vector<unsigned char>& block) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return closed_ || !blocks_.empty(); });
    if (blocks_.empty()) return false;
    block = std::move(blocks_.front());
    blocks_.pop_front();
    changed_.notify_all();
    return true;
}

void BlockQueue::Close() {
    const std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

// ---------------------------------------------------------------- reading ahead

ReadAheadInput::ReadAheadInput(StoredInput& source)
    : source_(source), left_(source.left()), queue_(kQueuedBlocks),
      thread_(platform::StartThread([this] { Run(); })) {}

ReadAheadInput::~ReadAheadInput() {
    queue_.Close();
    thread_.join();
}

void ReadAheadInput::Run() {
    for (;;) {
        std::vector<unsigned char> block(static_cast<std::size_t>(std::min<std::uint64_t>(kDecodeBlock, source_.left())));
        std::size_t got = 0;
        if (block.empty()) break;
        // A failed read ends the queue early: the decoder finds it short.
        if (!source_.Next(block.data(), block.size(), got) || got == 0) break;
        block.resize(got);
        if (!queue_.Push(std::move(block))) return;
    }
    queue_.Close();
}

bool ReadAheadInput::Next(unsigned char* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    while (got < size && left_ > 0) {
        if (used_ == current_.size()) {
            used_ = 0;
            // Bytes are still due: an empty queue means the reading failed.
            if (!queue_.Pop(current_)) {
                current_.clear();
                return false;
            }
        }
        const std::size_t take = std::min(size - got, current_.size() - used_);
        std::memcpy(buffer + got, current_.data() + used_, take);
        used_ += take;
        got += take;
        left_ -= take;
    }
    return true;
}

// ---------------------------------------------------------------- writing behind

WriteBehindOutput::WriteBehindOutput(DecodedOutput& target)
    : target_(target), queue_(kQueuedBlocks), thread_(platform::StartThread([this] { Run(); })) {}

WriteBehindOutput::~WriteBehindOutput() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        abandoned_ = true;
    }
    queue_.Close();
    if (thread_.joinable()) thread_.join();
}

UnzipFailure WriteBehindOutput::Failure() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

void WriteBehindOutput::Run() {
    std::vector<unsigned char> block;
    while (queue_.Pop(block)) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (abandoned_) return;
        }
        const UnzipFailure written = target_.Write(block.data(), block.size());
        if (written != UnzipFailure::None) {
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                failure_ = written;
            }
            queue_.Close();
            return;
        }
    }
}

UnzipFailure WriteBehindOutput::Write(const unsigned char* data, std::size_t size) {
    const UnzipFailure earlier = Failure();
    if (earlier != UnzipFailure::None) return earlier;
    if (size == 0) return UnzipFailure::None;
    if (!queue_.Push(std::vector<unsigned char>(data, data + size))) return Failure();
    return UnzipFailure::None;
}

UnzipFailure WriteBehindOutput::Finish() {
    queue_.Close();
    if (thread_.joinable()) thread_.join();
    return Failure();
}

} // namespace parcelon

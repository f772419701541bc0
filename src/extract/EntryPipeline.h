// One large entry on two cores: its stored bytes read (and decrypted)
// ahead on a thread of their own while the decoder works, or the decoded
// bytes checked and written behind it. Each stage hands blocks to the next
// through a short queue, so memory stays at a few blocks whatever the
// entry's size; a failure of either stage ends both.
#ifndef PARCELON_ENTRY_PIPELINE_H
#define PARCELON_ENTRY_PIPELINE_H

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "extract/Decoder.h"

namespace parcelon {

// A bounded queue of blocks between two threads.
class BlockQueue {
public:
    explicit BlockQueue(std::size_t most) : most_(most) {}
    // False once the queue is closed (the other side gave up).
    bool Push(std::vector<unsigned char> block);
    // False at the end (closed and empty).
    bool Pop(std::vector<unsigned char>& block);
    // No more blocks will come; a waiting side wakes.
    void Close();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<unsigned char>> blocks_;
    std::size_t most_;
    bool closed_ = false;
};

// Reads source ahead on a thread of its own (the reads and the
// decryption), handing its blocks to the decoder in order.
class ReadAheadInput final : public StoredInput {
public:
    explicit ReadAheadInput(StoredInput& source);
    ~ReadAheadInput() override;
    ReadAheadInput(const ReadAheadInput&) = delete;
    ReadAheadInput& operator=(const ReadAheadInput&) = delete;

    std::uint64_t left() const override { return left_; }
    bool Next(unsigned char* buffer, std::size_t size, std::size_t& got) override;

private:
    void Run();

    StoredInput& source_;
    std::uint64_t left_;
    BlockQueue queue_;
    std::vector<unsigned char> current_;
    std::size_t used_ = 0;
    std::thread thread_;
};

// Hands the decoded blocks to target (which checks, counts and writes them)
// on a thread of its own.
class WriteBehindOutput final : public DecodedOutput {
public:
    explicit WriteBehindOutput(DecodedOutput& target);
    ~WriteBehindOutput() override;
    WriteBehindOutput(const WriteBehindOutput&) = delete;
    WriteBehindOutput& operator=(const WriteBehindOutput&) = delete;

    UnzipFailure Write(const unsigned char* data, std::size_t size) override;
    // Waits until every block is written: None, or the first failure.
    UnzipFailure Finish();

private:
    void Run();
    UnzipFailure Failure();

    DecodedOutput& target_;
    BlockQueue queue_;
    std::mutex mutex_;
    UnzipFailure failure_ = UnzipFailure::None;
    bool abandoned_ = false; // guarded by mutex_: the decoding failed, nothing more is written
    std::thread thread_;
};

} // namespace parcelon

#endif // PARCELON_ENTRY_PIPELINE_H

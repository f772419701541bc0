// Worker threads that compress chunks (and derive AES keys) while the
// calling thread reads files and writes entries, when a host asked for more
// than one thread. With one thread (what CParcelon always uses) packing
// makes no pool at all: it compresses on the calling thread and takes no
// lock. The workers live as long as the pool, that is one packing
// operation, and never call the host: no progress, no messages, no
// allocation the host provided.
#ifndef PARCELON_COMPRESSION_POOL_H
#define PARCELON_COMPRESSION_POOL_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "create/ChunkCodec.h"

namespace parcelon {

// The most threads a packing operation uses, whatever the host asks: the
// calling thread's share (reading and writing) and the memory each thread's
// chunks take (four chunks of 1 MiB in flight per thread) bound what more
// would give.
constexpr unsigned kMaxPackingThreads = 8;

// The threads a host's setting stands for: 0 the processors there are, at
// most kMaxPackingThreads.
unsigned PackingThreads(unsigned requested);

// Work the pool's threads take in the order it was handed over: chunks to
// compress, or the keys of AES entries to derive. Whoever waits for a job
// that no worker has started yet runs it itself, so a calling thread never
// sits idle while work it needs waits in the queue.
class PoolJob {
public:
    virtual ~PoolJob() = default;
    // Runs on the thread that took the job, with that thread's codec.
    // Throws std::bad_alloc when memory runs out.
    virtual void Run(ChunkCodec& codec) = 0;

private:
    friend class CompressionPool;
    // Guarded by the pool.
    bool done_ = false;
    bool out_of_memory_ = false;
};

// One chunk of a file on its way through the pool.
struct ChunkJob final : PoolJob {
    std::vector<unsigned char> input; // the chunk's bytes
    bool last = false;                // the file's last chunk: the data end with it
    std::vector<unsigned char> output; // its compressed bytes, once done

    void Run(ChunkCodec& codec) override { codec.Compress(input.data(), input.size(), last, output); }
};

// Chunks handed over as one job: many small files cost one hand-over
// rather than one each, which for a file of a few hundred bytes costs more
// than compressing it.
struct ChunkGroup final : PoolJob {
    std::vector<ChunkJob*> chunks; // each stays where it is until the group is done
    std::size_t bytes = 0;         // of input, in all

    void Add(ChunkJob& chunk) {
        chunks.push_back(&chunk);
        bytes += chunk.input.size();
    }
    void Run(ChunkCodec& codec) override {
        for (ChunkJob* chunk : chunks) chunk->Run(codec);
    }
};

// Starts a thread running its argument (platform::StartThread); throws
// std::system_error when the system refuses one.
using ThreadStarter = std::function<std::thread(std::function<void()>)>;

class CompressionPool {
public:
    // Starts up to threads workers, each with a codec of its own from
    // make_codec. Fewer start when the system refuses more (workers() may
    // be 0: the caller then compresses itself). Any other failure (out of
    // memory) ends the workers already started and is thrown on.
    CompressionPool(unsigned threads, CodecFactory make_codec, ThreadStarter start);
    // The workers finish the chunk in hand and end; chunks not started stay
    // undone.
    ~CompressionPool();
    CompressionPool(const CompressionPool&) = delete;
    CompressionPool& operator=(const CompressionPool&) = delete;

    // Workers started.
    std::size_t workers() const { return workers_.size(); }

    // Hands job over. It must stay where it is until Wait says it is done.
    void Submit(PoolJob& job);

    // Waits until job is done: true; false when stop (if given) is set
    // first. A job no worker has taken yet is taken from the queue and run
    // here, with own (the calling thread's codec), when one is given.
    // Throws std::bad_alloc when running it ran out of memory.
    bool Wait(PoolJob& job, const std::atomic<bool>* stop, ChunkCodec* own = nullptr);

private:
    void Work();
    void Shutdown() noexcept;

    CodecFactory make_codec_;
    std::mutex mutex_;
    std::condition_variable work_ready_;
    std::condition_variable job_done_;
    std::deque<PoolJob*> queue_;
    bool closing_ = false;
    std::vector<std::thread> workers_;
};

} // namespace parcelon

#endif // PARCELON_COMPRESSION_POOL_H

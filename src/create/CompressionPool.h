// Worker threads that compress chunks while the calling thread reads files
// and writes entries, when a host asked for more than one thread. With one
// thread (what CParcelon always uses) packing makes no pool at all: it
// compresses on the calling thread and takes no lock. The workers live as
// long as the pool, that is one packing operation, and never call the
// host: no progress, no messages, no allocation the host provided.
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

// One chunk of a file on its way through the pool.
struct ChunkJob {
    std::vector<unsigned char> input; // the chunk's bytes
    bool last = false;                // the file's last chunk: the data end with it
    std::vector<unsigned char> output; // its compressed bytes, once done

    // Guarded by the pool.
    bool done = false;
    bool out_of_memory = false;
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
    void Submit(ChunkJob& job);

    // Waits until job is done: true; false when stop (if given) is set
    // first. Throws std::bad_alloc when compressing it ran out of memory.
    bool Wait(ChunkJob& job, const std::atomic<bool>* stop);

private:
    void Work();
    void Shutdown() noexcept;

    CodecFactory make_codec_;
    std::mutex mutex_;
    std::condition_variable work_ready_;
    std::condition_variable job_done_;
    std::deque<ChunkJob*> queue_;
    bool closing_ = false;
    std::vector<std::thread> workers_;
};

} // namespace parcelon

#endif // PARCELON_COMPRESSION_POOL_H

// Where packing compresses chunks: on the calling thread as they are handed
// over, or, when the host asked for more threads, on worker threads while
// the calling thread reads files and writes entries. The workers live as
// long as the pool, that is one packing operation, and never call the
// host: no progress, no messages, no allocation the host provided.
#ifndef PARCELON_COMPRESSION_POOL_H
#define PARCELON_COMPRESSION_POOL_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "deflate/ChunkCompressor.h"

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
    bool last = false;                // the file's last chunk: the stream ends with it
    std::vector<unsigned char> output; // its Deflate bytes, once done

    // Guarded by the pool.
    bool done = false;
    bool out_of_memory = false;
};

class CompressionPool {
public:
    // threads as from PackingThreads: 1 compresses each chunk at Submit on
    // the calling thread; more start that many workers (as many as the
    // system gives; none given means the calling thread again). With an
    // engine level of -1 (a level the engine refuses) no thread starts,
    // and nothing may be handed over.
    CompressionPool(unsigned threads, int engine_level);
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

    // Compresses on the calling thread, with its own compressor.
    void CompressHere(const unsigned char* input, std::size_t size, bool last, std::vector<unsigned char>& output);

private:
    void Work();
    static void Compress(ChunkCompressor& compressor, ChunkJob& job);

    int level_;
    std::unique_ptr<ChunkCompressor> own_; // the calling thread's
    std::mutex mutex_;
    std::condition_variable work_ready_;
    std::condition_variable job_done_;
    std::deque<ChunkJob*> queue_;
    bool closing_ = false;
    std::vector<std::thread> workers_;
};

} // namespace parcelon

#endif // PARCELON_COMPRESSION_POOL_H

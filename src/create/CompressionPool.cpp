#include "create/CompressionPool.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>

#include "platform/Platform.h"

namespace parcelon {

namespace {

// How often a wait looks at the stop flag, which Stop sets without waking
// anyone.
constexpr auto kStopPoll = std::chrono::milliseconds(10);

} // namespace

unsigned PackingThreads(unsigned requested) {
    const unsigned wanted = requested == 0 ? platform::ProcessorCount() : requested;
    return std::max(1u, std::min(wanted, kMaxPackingThreads));
}

CompressionPool::CompressionPool(unsigned threads, CodecFactory make_codec, ThreadStarter start)
    : make_codec_(std::move(make_codec)) {
    // Room first: adding a started thread must not reallocate (and throw)
    // with the thread in hand.
    workers_.reserve(threads);
    try {
        for (unsigned i = 0; i < threads; ++i) workers_.push_back(start([this] { Work(); }));
    } catch (const std::system_error&) {
        // Fewer threads than asked for (perhaps none), the same bytes either
        // way.
    } catch (...) {
        // The pool is not made: the workers that run must not outlive it.
        Shutdown();
        throw;
    }
}

CompressionPool::~CompressionPool() { Shutdown(); }

void CompressionPool::Shutdown() noexcept {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        queue_.clear();
    }
    work_ready_.notify_all();
    for (std::thread& worker : workers_)
        if (worker.joinable()) worker.join();
    workers_.clear();
}

void CompressionPool::Submit(PoolJob& job) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(&job);
    }
    work_ready_.notify_one();
}

bool CompressionPool::Wait(PoolJob& job, const std::atomic<bool>* stop, ChunkCodec* own) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool stopped = stop != nullptr && stop->load(std::memory_order_relaxed);
    if (!job.done_ && own != nullptr && !stopped) {
        const auto queued = std::find(queue_.begin(), queue_.end(), &job);
        if (queued != queue_.end()) {
            // No worker has it: this thread runs it rather than wait.
            queue_.erase(queued);
            lock.unlock();
            bool failed = false;
            try {
                job.Run(*own);
            } catch (...) {
                failed = true;
            }
            lock.lock();
            job.done_ = true;
            job.out_of_memory_ = failed;
        }
    }
    while (!job.done_) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) return false;
        job_done_.wait_for(lock, kStopPoll);
    }
    if (job.out_of_memory_) throw std::bad_alloc();
    return true;
}

void CompressionPool::Work() {
    // Nothing may leave a worker: running out of memory is handed to
    // whoever waits for the job.
    std::unique_ptr<ChunkCodec> codec;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        work_ready_.wait(lock, [this] { return closing_ || !queue_.empty(); });
        if (closing_) return;
        PoolJob& job = *queue_.front();
        queue_.pop_front();
        lock.unlock();
        bool failed = false;
        try {
            if (!codec) codec = make_codec_();
            job.Run(*codec);
        } catch (...) {
            failed = true;
        }
        lock.lock();
        job.done_ = true;
        job.out_of_memory_ = failed;
        job_done_.notify_all();
    }
}

} // namespace parcelon

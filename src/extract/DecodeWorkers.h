// Worker threads for a reading call that may use more than one: each task
// (an entry's decoding) runs once on one of them, and the calling thread
// waits for the tasks in the order it handed them over, so that files,
// reports and progress reach the host in directory order. Workers never
// call the host; all of them are joined before the pool is gone.
#ifndef PARCELON_DECODE_WORKERS_H
#define PARCELON_DECODE_WORKERS_H

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace parcelon {

class DecodeWorkers {
public:
    struct Task {
        std::function<void()> run;
        // Guarded by the pool.
        bool done = false;
        bool skipped = false;         // cancelled before it started
        std::exception_ptr failure;   // what it threw (running out of memory)
    };

    // Starts up to threads workers (as many as the system gives); with none
    // at all, Submit runs each task at once on the calling thread.
    explicit DecodeWorkers(unsigned threads);
    // Cancels, then joins every worker.
    ~DecodeWorkers();
    DecodeWorkers(const DecodeWorkers&) = delete;
    DecodeWorkers& operator=(const DecodeWorkers&) = delete;

    std::size_t workers() const { return workers_.size(); }

    // Hands task over; it must stay where it is until it is done.
    void Submit(Task& task);
    // Runs task at once on the calling thread (work too small to hand
    // over), as Submit does when there are no workers.
    void RunHere(Task& task);
    // True once task is done, waiting at most timeout for it; rethrows what
    // the task threw.
    bool WaitFor(Task& task, std::chrono::milliseconds timeout);
    // Whether task is done, without waiting.
    bool IsDone(const Task& task);
    // Tasks not started are skipped; returns once the running ones are done.
    void Cancel();

private:
    void Work();

    std::mutex mutex_;
    std::condition_variable work_ready_;
    std::condition_variable task_done_;
    std::deque<Task*> queue_;
    std::size_t running_ = 0;
    bool closing_ = false;
    std::vector<std::thread> workers_;
};

} // namespace parcelon

#endif // PARCELON_DECODE_WORKERS_H

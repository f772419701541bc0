#include "extract/DecodeWorkers.h"

#include <new>
#include <system_error>

#include "platform/Platform.h"

namespace parcelon {

DecodeWorkers::DecodeWorkers(unsigned threads) {
    if (threads <= 1) return;
    try {
        workers_.reserve(threads);
        for (unsigned i = 0; i < threads; ++i) workers_.push_back(platform::StartThread([this] { Work(); }));
    } catch (...) {
        // Fewer workers than asked for (none at all: the calling thread
        // decodes); the same files either way.
    }
}

DecodeWorkers::~DecodeWorkers() {
    Cancel();
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void DecodeWorkers::RunHere(Task& task) {
    std::exception_ptr failure;
    try {
        task.run();
    } catch (...) {
        failure = std::current_exception();
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    task.failure = failure;
    task.done = true;
}

void DecodeWorkers::Submit(Task& task) {
    if (workers_.empty()) {
        RunHere(task);
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(&task);
    }
    work_ready_.notify_one();
}

bool DecodeWorkers::WaitFor(Task& task, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    task_done_.wait_for(lock, timeout, [&task] { return task.done; });
    if (!task.done) return false;
    if (task.failure) std::rethrow_exception(task.failure);
    return true;
}

bool DecodeWorkers::IsDone(const Task& task) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return task.done;
}

void DecodeWorkers::Cancel() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (Task* task : queue_) {
        task->skipped = true;
        task->done = true;
    }
    queue_.clear();
    task_done_.wait(lock, [this] { return running_ == 0; });
}

void DecodeWorkers::Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        work_ready_.wait(lock, [this] { return closing_ || !queue_.empty(); });
        if (queue_.empty()) return; // closing, and nothing left
        Task& task = *queue_.front();
        queue_.pop_front();
        ++running_;
        lock.unlock();
        std::exception_ptr failure;
        try {
            task.run();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        --running_;
        task.failure = failure;
        task.done = true;
        task_done_.notify_all();
    }
}

} // namespace parcelon

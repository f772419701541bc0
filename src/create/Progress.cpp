#include "create/Progress.h"

#include <algorithm>
#include <climits>

namespace parcelon {

int ProgressPercentage(long long done, long long total) {
    if (total <= 0) return 100;
    const double percent = static_cast<double>(done) / static_cast<double>(total) * 100.0;
    if (percent >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(percent);
}

void Progress::Signal(int value) {
    if (state_.callback != nullptr) state_.callback->OnProgress(value);
}

void Progress::Restart() {
    state_.done_size = 0;
    state_.total_size = 0;
}

void Progress::AddToTotal(std::uint64_t bytes) { state_.total_size += static_cast<long long>(bytes); }

void Progress::Advance(std::uint64_t bytes) {
    state_.done_size += static_cast<long long>(bytes);
    const int percent = ProgressPercentage(state_.done_size, state_.total_size);
    // Without a callback the last percentage is not updated either.
    if (percent != state_.last_percent && state_.callback != nullptr) {
        state_.callback->OnProgress(percent);
        state_.last_percent = percent;
    }
}

std::uint64_t Progress::AdvanceInBlocks(std::uint64_t bytes, const std::atomic<bool>* stop) {
    std::uint64_t done = 0;
    while (done < bytes) {
        const std::uint64_t block = std::min(kProgressBlock, bytes - done);
        Advance(block);
        done += block;
        if (done < bytes && stop != nullptr && stop->load(std::memory_order_relaxed)) break;
    }
    return done;
}

} // namespace parcelon

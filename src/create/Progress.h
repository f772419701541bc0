// Percent progress of a packing operation, through the host's callback.
#ifndef PARCELON_PROGRESS_H
#define PARCELON_PROGRESS_H

#include <atomic>
#include <cstdint>

#include "create/PackingState.h"

namespace parcelon {

// The values a packing operation sends besides percentages.
constexpr int kProgressStarted = 999; // a directory operation has created its archive
constexpr int kProgressEnded = 100;   // the operation has ended

// Packing reports its progress in blocks of this many bytes of a file.
constexpr std::uint64_t kProgressBlock = 16384;

// Whole percentage of done against total: the double quotient times 100,
// truncated (29 of 100 gives 28.999999999999996, so 28). Files that grew
// after they were measured give values above 100, reported as computed;
// with a total of 0 nothing is known about the share, so written bytes
// count as all of it (100).
int ProgressPercentage(long long done, long long total);

class Progress {
public:
    explicit Progress(PackingState& state) : state_(state) {}

    // Sends 999 or 100 when a callback is installed.
    void Signal(int value);
    // Both counters back to 0, once the operation's archive exists.
    void Restart();
    void AddToTotal(std::uint64_t bytes);
    // Counts bytes just written into the archive, and reports the new whole
    // percentage when it differs from the last one reported.
    void Advance(std::uint64_t bytes);
    // Counts bytes as a stream of blocks of kProgressBlock bytes (the last
    // one shorter), reporting after each: the same percentages whether a
    // file is written in one piece or many. With a stop flag, a set flag
    // seen between two blocks ends the count there. Returns the bytes
    // counted.
    std::uint64_t AdvanceInBlocks(std::uint64_t bytes, const std::atomic<bool>* stop = nullptr);

private:
    PackingState& state_;
};

} // namespace parcelon

#endif // PARCELON_PROGRESS_H

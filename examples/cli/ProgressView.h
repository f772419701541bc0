// The library's progress as the user sees it: a live bar with the
// percentage, bytes, throughput and time left on a terminal; a plain line
// per tenth in a file or a pipe; nothing with -q. The tool's own lines
// (warnings, failures) go through Say, which keeps them clear of the bar.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include <ParcelonC.h>

namespace cli {

// "1.5 MiB".
std::string HumanBytes(double bytes);

// "1:05" or "1:02:05".
std::string Duration(double seconds);

// The time a run has left, from its pace since its first percentage: before
// that a directory run only walks and measures its files, which says
// nothing about how fast they pack.
class TimeLeft {
public:
    // The estimate at percent, seconds after the start; negative while
    // there is none yet (before a second percentage, or at the end).
    double At(int percent, double seconds);

private:
    int first_percent_ = -1;
    double first_seconds_ = 0;
};

// What the bar counts its bytes in.
struct Amount {
    // Bytes the whole run works through (the files to pack, the entries to
    // extract or test): the bar shows the percentage of them done. 0 when
    // unknown.
    std::uint64_t total = 0;
    // Else, the bytes written so far, measured (what a directory run has
    // written into its new archive); empty for none.
    std::function<std::uint64_t()> written;
};

class ProgressView {
public:
    ProgressView(Amount amount, bool quiet);
    ProgressView(const ProgressView&) = delete;
    ProgressView& operator=(const ProgressView&) = delete;

    // For parcelon_set_progress.
    static void PARCELON_CALL OnProgress(int value, void* view);
    void Show(int value);

    // A line of the tool's own (UTF-8, with its line end), on standard
    // error, with the bar out of its way.
    void Say(const std::string& line);

    // Ends the bar's line.
    void Finish();
    double Elapsed() const;

private:
    using Clock = std::chrono::steady_clock;
    std::string Figures(int percent, double seconds) const;
    void Draw(int percent);

    Amount amount_;
    bool quiet_;
    bool live_;
    Clock::time_point start_;
    TimeLeft time_left_;
    std::string drawn_; // the bar on screen now, to draw again after a Say
    int printed_ = -1;
};

} // namespace cli

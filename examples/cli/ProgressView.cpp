#include "cli/ProgressView.h"

#include <cstdio>
#include <utility>

#include "cli/Console.h"
#include "cli/Interrupt.h"

namespace cli {

std::string HumanBytes(double bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024.0 && unit < 4) {
        bytes /= 1024.0;
        ++unit;
    }
    return Format(unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
}

std::string Duration(double seconds) {
    const long total = static_cast<long>(seconds + 0.5);
    if (total >= 3600) return Format("%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    return Format("%ld:%02ld", total / 60, total % 60);
}

double TimeLeft::At(int percent, double seconds) {
    if (first_percent_ < 0) {
        first_percent_ = percent;
        first_seconds_ = seconds;
    }
    if (percent <= first_percent_ || percent >= 100) return -1;
    const double per_percent = (seconds - first_seconds_) / (percent - first_percent_);
    return per_percent * (100 - percent);
}

ProgressView::ProgressView(Amount amount, bool quiet)
    : amount_(std::move(amount)), quiet_(quiet), live_(IsTerminal(Stream::err)), start_(Clock::now()) {}

void PARCELON_CALL ProgressView::OnProgress(int value, void* view) { static_cast<ProgressView*>(view)->Show(value); }

void ProgressView::Show(int value) {
    if (quiet_) return;
    if (value == 999) {
        drawn_ = live_ ? "collecting files\xE2\x80\xA6" : std::string();
        Write(Stream::err, live_ ? "\r" + drawn_ : std::string("collecting files...\n"));
        return;
    }
    // After Ctrl-C the closing 100 only means "ended", not "complete".
    if (Interrupted() && value == 100) return;
    if (value < 0 || value > 100) return;
    Draw(value);
}

// "12.0 MiB of 30.0 MiB  8.1 MiB/s": the bytes done (a share of the run's
// total, or what was written), and the pace.
std::string ProgressView::Figures(int percent, double seconds) const {
    double done = 0;
    std::string figures;
    if (amount_.total > 0) {
        done = static_cast<double>(amount_.total) * percent / 100.0;
        figures = HumanBytes(done) + " of " + HumanBytes(static_cast<double>(amount_.total));
    } else if (amount_.written) {
        done = static_cast<double>(amount_.written());
        figures = HumanBytes(done) + " written";
    } else {
        return std::string();
    }
    if (seconds >= 0.05) figures += "  " + HumanBytes(done / seconds) + "/s";
    return figures;
}

void ProgressView::Draw(int percent) {
    const double seconds = Elapsed();
    const double left = time_left_.At(percent, seconds);
    const std::string eta = left >= 0 ? Duration(left) + " left" : std::string();
    const std::string figures = Figures(percent, seconds);
    if (live_) {
        const int width = 30;
        std::string bar(static_cast<std::size_t>(percent * width / 100), '#');
        bar.resize(width, '.');
        std::string line = Format("[%s] %3d%%", bar.c_str(), percent);
        if (!figures.empty()) line += " | " + figures;
        if (!eta.empty()) line += " | " + eta;
        if (line == drawn_) return;
        // Spaces wipe what a longer line before left behind.
        const std::size_t shown = line.size();
        if (shown < drawn_.size()) line.append(drawn_.size() - shown, ' ');
        Write(Stream::err, "\r" + line);
        drawn_ = line.substr(0, shown);
    } else if (percent / 10 != printed_ / 10 || (percent == 100 && printed_ != 100)) {
        std::string line = Format("%3d%%", percent);
        if (!figures.empty()) line += "  " + figures;
        if (!eta.empty()) line += "  " + eta;
        Write(Stream::err, line + "\n");
        printed_ = percent;
    }
}

void ProgressView::Say(const std::string& line) {
    if (live_ && !drawn_.empty()) {
        Write(Stream::err, "\r" + std::string(drawn_.size(), ' ') + "\r" + line + "\r" + drawn_);
        return;
    }
    Write(Stream::err, line);
}

void ProgressView::Finish() {
    if (live_ && !drawn_.empty()) Write(Stream::err, "\n");
    drawn_.clear();
}

double ProgressView::Elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

} // namespace cli

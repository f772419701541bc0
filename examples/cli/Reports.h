// What went wrong, in plain words beside the library's own line: each file
// or entry as the report function names it while the call runs, then the
// call's own failure when no report said it already.
#pragma once

#include <string>
#include <vector>

#include <ParcelonC.h>

#include "cli/ProgressView.h"

namespace cli {

// What a failure code means, in plain words.
const char* PlainWords(int code);

// "parcelon: b.log: wrong password [解压错误：...b.log]\n": the file or
// entry (UTF-8, may be empty), what went wrong in plain words, and the
// library's own line when there is one.
std::string FailureLine(const std::string& subject, int code, const std::string& library_line, bool warning);

// One file or entry the report function named.
struct Reported {
    int code;
    std::string path; // UTF-8
};

// Installed with parcelon_set_report for one call: says each report as it
// comes (but an entry passed over as asked, which is no failure) and keeps
// them.
class Reports {
public:
    // skipping_existing: --skip-existing asked to pass existing files over.
    Reports(ProgressView& view, bool skipping_existing) : view_(view), skipping_existing_(skipping_existing) {}
    Reports(const Reports&) = delete;
    Reports& operator=(const Reports&) = delete;

    static void PARCELON_CALL OnReport(int code, const char* path, const char* message, void* reports);

    const std::vector<Reported>& all() const { return all_; }
    std::size_t Count(int code) const;

    // After the call: its failure, named after subject (the archive), unless
    // a report said that line already; a warning when the call succeeded
    // anyway.
    void SayOutcome(parcelon_archiver* archiver, bool ok, const std::string& subject);

private:
    ProgressView& view_;
    bool skipping_existing_;
    std::vector<Reported> all_;
    std::string last_said_;
};

} // namespace cli

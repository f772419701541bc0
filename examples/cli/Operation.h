// What every command shares around one call of the C interface: the
// archiver, its progress and report functions, and the password.
#pragma once

#include <optional>
#include <string>

#include <ParcelonC.h>

#include "cli/Arguments.h"
#include "cli/ProgressView.h"
#include "cli/Reports.h"

namespace cli {

// One archiver of the C interface, released on every way out.
class Archiver {
public:
    Archiver() : a_(parcelon_new()) {}
    ~Archiver() { parcelon_free(a_); }
    Archiver(const Archiver&) = delete;
    Archiver& operator=(const Archiver&) = delete;
    parcelon_archiver* get() const { return a_; }

private:
    parcelon_archiver* a_;
};

// The archiver reports to view and reports, and writes no line of its own
// to standard error: the tool says each failure once, in plain words
// beside the library's UTF-8 line, in the console's own text.
void Connect(parcelon_archiver* archiver, ProgressView& view, Reports& reports);

// The password a command uses: as given, typed (twice when confirm, for a
// new archive), or none.
struct Password {
    std::optional<std::string> text;
    std::optional<int> exit_status; // set when the command must end here
    const char* get() const { return text ? text->c_str() : nullptr; }
};
Password ResolvePassword(const Options& options, bool confirm);

} // namespace cli

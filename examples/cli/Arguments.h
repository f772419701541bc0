// The command line: commands, their options, and the words said on a
// mistake (one line of what went wrong, the command's usage, and where the
// whole text is).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/Text.h"

namespace cli {

enum class Command { pack, packdir, list, test, extract };

// What a file that exists already gets from extract.
enum class Existing { fail, overwrite, skip };

struct Options {
    Command command = Command::list;
    std::vector<Argument> positional;
    unsigned level = 6;
    unsigned threads = 0; // every processor
    std::optional<std::string> password; // as given on the command line
    bool ask_password = false;           // --password without a value, or -P -
    bool aes = false;                    // --aes: AES-256 rather than the traditional cipher
    bool portable = false;               // --portable: the archive style every reader unpacks alike
    bool recursive = true;
    int minutes = 0;
    std::vector<std::wstring> includes;
    std::vector<std::wstring> excludes;
    Existing existing = Existing::fail;
    bool keep_going = false;
    bool allow_missing = false;
    bool quiet = false;
};

// Options to run, or the exit status to end with at once (after --help,
// --version, or a mistake, whose words are already written).
struct Parsed {
    std::optional<Options> options;
    int exit_status = 0;
};

Parsed Parse(const std::vector<Argument>& arguments);

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLeftOut = 3; // an archive was written, but without some of the files asked for
constexpr int kExitStopped = 130;

// Why the library's name filters can never match filter the way it is
// written, or nothing when it is one they understand: an extension ("*.txt"
// or ".txt"), a dotted suffix ("*.tar.gz") or a folder name ("docs").
std::optional<std::string> FilterProblem(const std::wstring& filter);

} // namespace cli

// A password typed at the terminal, not shown and not on the command line
// (where `ps` and the shell's history would keep it).
#pragma once

#include <optional>
#include <string>

namespace cli {

// Shows prompt on the terminal and reads one line with echo off (termios on
// POSIX; the console's input mode on Windows), in the bytes the command
// line would have given (the locale's charset; the ANSI code page on
// Windows). Without a terminal, reads one line from standard input.
// Nothing when Ctrl-C or the end of input came first.
std::optional<std::string> ReadPassword(const char* prompt);

} // namespace cli

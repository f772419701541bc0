// Where the tool's words go: listings and verdicts on standard output, the
// bar, warnings and failures on standard error. Text is UTF-8 throughout;
// on Windows a console gets it as UTF-16 (WriteConsoleW, so Chinese and
// Japanese names show whatever the code page), and a redirected stream in
// the console's output code page, as other console programs write. On
// POSIX the bytes go out as they are.
#pragma once

#include <string>

#if defined(__GNUC__)
#define CLI_PRINTF(format_index, first_arg) __attribute__((format(gnu_printf, format_index, first_arg)))
#else
#define CLI_PRINTF(format_index, first_arg)
#endif

namespace cli {

enum class Stream { out, err };

void Write(Stream stream, const std::string& utf8);

// printf into a string (the arguments UTF-8 where they are text).
std::string Format(const char* format, ...) CLI_PRINTF(1, 2);

// A terminal (or Windows console) that shows a live bar, as opposed to a
// file or a pipe that gets plain lines.
bool IsTerminal(Stream stream);

} // namespace cli

// Text as the tool handles it: paths arrive as wide strings (the C
// interface's wchar_t calls), names and messages come back as UTF-8, and the
// console gets UTF-8 (see Console.h).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace cli {

// A command-line argument: as the C interface takes it, and as this
// process's own file calls take it.
struct Argument {
    std::string narrow;         // as the system's narrow calls take it: POSIX's argv bytes, the
                                // ANSI code page on Windows (how passwords reach the library)
    std::wstring wide;          // Unicode; on POSIX a byte the locale cannot decode is 0xDC00 + byte
    std::filesystem::path path; // the same file for std::filesystem
};

// The arguments after the program's name. Windows reads the wide command
// line, so a name outside the ANSI code page survives; POSIX decodes argv
// with the locale's charset, as the library encodes wide paths back.
std::vector<Argument> ReadArguments(int argc, char** argv);

// The part of an argument after its first '=' (--password=P).
Argument AfterEquals(const Argument& argument);

// UTF-8 of a wide string; a 0xDC80..0xDCFF unit (an undecodable byte) is
// written as that byte, as it came.
std::string Utf8(const std::wstring& wide);

// Wide text of UTF-8 (UTF-16 on Windows, UTF-32 elsewhere); a byte that is
// no UTF-8 becomes U+FFFD.
std::wstring WideOfUtf8(const std::string& utf8);

// The text with each control character (a line break in an entry's name, an
// escape sequence) shown as '?', so that no name steers the terminal.
std::string Printable(std::string text);

// Bytes as the system's narrow calls take them (a password typed or given):
// the ANSI code page on Windows; on POSIX the wide text back in the locale's
// charset.
std::string Narrow(const std::wstring& wide);

} // namespace cli

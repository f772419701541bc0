// Text conversion for the packing operations: wide text to the ANSI code
// page, and the password's white space. They hold no state and never write
// to stderr.
#ifndef PARCELON_TEXT_HELPERS_H
#define PARCELON_TEXT_HELPERS_H

#include <string>
#include <string_view>

namespace parcelon {

// The host's wide text in the system ANSI code page; characters the code
// page lacks come out as its default character. Null gives "".
std::string ToAnsi(const wchar_t* text);
std::string ToAnsi(std::wstring_view text);

// The wide text of ANSI text (a path UnzipFile was given, say); null gives
// "". On POSIX lossless, whatever the bytes.
std::wstring FromAnsi(const char* text);

// True when the ANSI code page holds every character of text exactly, so
// that its ANSI bytes turn back into the same text (no '?', no best fit).
bool FitsCodePage(std::wstring_view text);

// The text without leading and trailing space, tab, LF, VT, FF and CR.
// Bytes of 0x80 and above are never white space. Null gives "".
std::string TrimSpaces(const char* text);

} // namespace parcelon

#endif // PARCELON_TEXT_HELPERS_H

// Text and path helpers shared by the packing operations. They hold no
// state, never write to stderr, and are not exported.
#ifndef PARCELON_TEXT_HELPERS_H
#define PARCELON_TEXT_HELPERS_H

#include <string>

namespace parcelon {

// The host's wide text in the system ANSI code page; characters the code
// page lacks come out as its default character. Null gives "".
std::string ToAnsi(const wchar_t* text);

// Appends one backslash unless s is empty or already ends in one. A trailing
// slash is not recognised: C:\data/ becomes C:\data/\ .
void AppendBackslash(std::wstring& s);

// The parent directory by the Windows path grammar, on the text alone:
// C:\a\b.txt -> C:\a, C:\b.txt -> C:\, \\server\share\b.txt -> \\server\share.
std::wstring GetParentDir(const wchar_t* path);

// True when the ANSI path names something readable (_access mode 4).
bool IsReadable(const char* path);

// The position just after the last '/' or, when there is no '/', after the
// last '\'; nullptr when the text has neither.
const char* FindFileName(const char* path);

// The text without leading and trailing space, tab, LF, VT, FF and CR.
// Bytes of 0x80 and above are never white space. Null gives "".
std::string TrimSpaces(const char* text);

} // namespace parcelon

#endif // PARCELON_TEXT_HELPERS_H

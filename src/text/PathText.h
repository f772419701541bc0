// Paths as text: what separates their components, where their root ends,
// their parent folder and their final component. Both '\' and '/' are
// separators on every platform. This is the one place that decides these
// rules; everything that takes a path apart calls it.
#ifndef PARCELON_PATH_TEXT_H
#define PARCELON_PATH_TEXT_H

#include <cstddef>
#include <string>
#include <string_view>

namespace parcelon {

constexpr bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Length of the root name at the start of path, by the Windows grammar: a
// drive (C:), a device or object prefix (\\?\, \\.\, \??\, either
// separator), a server (\\server); 0 when there is none.
std::size_t RootNameLength(std::wstring_view path);

// Appends one backslash unless s is empty or already ends in one. A trailing
// slash is not recognised: C:\data/ becomes C:\data/\ .
void AppendBackslash(std::wstring& s);

// The parent folder by the Windows path grammar, on the text alone:
// C:\a\b.txt -> C:\a, C:\b.txt -> C:\, \\server\share\b.txt -> \\server\share.
std::wstring GetParentDir(const wchar_t* path);

// The folder part of a name relative to some folder, which has no root of
// its own: everything before its last component, without the separators
// that end it (sub\deep of sub\deep\a.txt; empty for a.txt). A colon is
// part of a name here: c:x.txt is a file in the folder, not on a drive.
std::wstring RelativeParent(std::wstring_view name);

// Where the final component starts: just after the last '/' or, when there
// is no '/', after the last '\'; npos when the text has neither.
std::size_t FileNameStart(std::wstring_view path);

// The same rule on ANSI text: a position inside path, or nullptr. Only
// whole characters of the code page count, never the second byte of a
// double-byte character.
const char* FindFileName(const char* path);

// The length of path without the run of separators it ends in.
std::size_t LengthWithoutTrailingSeparators(std::wstring_view path);

} // namespace parcelon

#endif // PARCELON_PATH_TEXT_H

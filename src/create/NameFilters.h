// Name filters for the directory walk: include and exclude lists of
// extensions (*.txt, .txt), dotted suffixes (*.tar.gz) and folder names.
#ifndef PARCELON_NAME_FILTERS_H
#define PARCELON_NAME_FILTERS_H

#include <string>
#include <vector>

namespace parcelon {

// True when the file at path (the walked directory's text ending in a
// backslash, then the names down to the file) may be packed. With both
// lists empty every file passes.
bool PassesNameFilters(const std::wstring& path, const std::vector<std::wstring>& vecIncludes,
                       const std::vector<std::wstring>& vecExcludes);

// The extension of the path's final component, with its dot, or empty.
std::wstring GetExtension(const std::wstring& path);
// From the first dot to the end; the whole text when it has no dot.
std::wstring GetDottedSuffix(const std::wstring& text);
// A copy with A-Z folded to a-z and every other unit unchanged.
std::wstring ToLowerAscii(const std::wstring& text);
// Replaces every occurrence of find, left to right, never searching
// inserted text again.
void ReplaceAll(std::wstring& text, const std::wstring& find, const std::wstring& replacement);
// Splits text at separator into pieces (emptied first): a leading separator
// gives no piece, two in a row an empty one, a trailing one none.
void SplitString(const std::wstring& text, wchar_t separator, std::vector<std::wstring>& pieces);

} // namespace parcelon

#endif // PARCELON_NAME_FILTERS_H

// Name filters for the directory walk: include and exclude lists of
// extensions (*.txt, .txt), dotted suffixes (*.tar.gz) and folder names,
// matched without regard to ASCII case.
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

} // namespace parcelon

#endif // PARCELON_NAME_FILTERS_H

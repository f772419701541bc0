// Which entries a reading call takes: those whose decoded name matches one
// of the host's patterns, as `unzip x.zip 'docs/*'` chooses them.
#ifndef PARCELON_NAME_PATTERNS_H
#define PARCELON_NAME_PATTERNS_H

#include <string>
#include <string_view>
#include <vector>

namespace parcelon {

// '*' matches any run of characters, separators included (docs/* takes
// the whole tree below docs), '?' any one character; '/' and '\' match
// each other; everything else matches itself exactly, case included.
bool MatchesPattern(std::wstring_view name, std::wstring_view pattern);

// True when there are no patterns, or name matches one of them.
bool Selected(std::wstring_view name, const std::vector<std::wstring>& patterns);

} // namespace parcelon

#endif // PARCELON_NAME_PATTERNS_H

#include "extract/NamePatterns.h"

#include "text/PathText.h"

namespace parcelon {

namespace {

bool SameCharacter(wchar_t pattern, wchar_t name) {
    return pattern == name || (IsSeparator(pattern) && IsSeparator(name));
}

} // namespace

bool MatchesPattern(std::wstring_view name, std::wstring_view pattern) {
    // One pass with a single backtracking point: on a mismatch after a '*',
    // that '*' takes one character more. Time in proportion to the lengths'
    // product at worst, never exponential.
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t star = std::wstring_view::npos;
    std::size_t star_name = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            star_name = n;
        } else if (p < pattern.size() && (pattern[p] == L'?' || SameCharacter(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (star != std::wstring_view::npos) {
            p = star + 1;
            n = ++star_name;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

bool Selected(std::wstring_view name, const std::vector<std::wstring>& patterns) {
    if (patterns.empty()) return true;
    for (const std::wstring& pattern : patterns)
        if (MatchesPattern(name, pattern)) return true;
    return false;
}

} // namespace parcelon

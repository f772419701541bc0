#include "text/PathText.h"

#include "platform/Platform.h"

namespace parcelon {

namespace {

constexpr bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

} // namespace

std::size_t RootNameLength(std::wstring_view path) {
    const std::size_t n = path.size();
    if (n < 2) return 0;
    if (IsAsciiLetter(path[0]) && path[1] == L':') return 2;
    if (!IsSeparator(path[0])) return 0;
    // \\?\ , \\.\ and \??\ with either separator.
    if (n >= 4 && IsSeparator(path[3]) && (n == 4 || !IsSeparator(path[4]))) {
        const bool dos_device = IsSeparator(path[1]) && (path[2] == L'?' || path[2] == L'.');
        const bool nt_object = path[1] == L'?' && path[2] == L'?';
        if (dos_device || nt_object) return 3;
    }
    // \\server
    if (n >= 3 && IsSeparator(path[1]) && !IsSeparator(path[2])) {
        std::size_t i = 3;
        while (i < n && !IsSeparator(path[i])) ++i;
        return i;
    }
    return 0;
}

void AppendBackslash(std::wstring& s) {
    if (!s.empty() && s.back() != L'\\') s.push_back(L'\\');
}

namespace {

// Where the parent of text ends, looking no further back than start.
std::size_t ParentEnd(std::wstring_view text, std::size_t start) {
    std::size_t end = text.size();
    while (end > start && !IsSeparator(text[end - 1])) --end;
    while (end > start && IsSeparator(text[end - 1])) --end;
    return end;
}

} // namespace

std::wstring GetParentDir(const wchar_t* path) {
    const std::wstring_view text = path != nullptr ? path : L"";
    std::size_t relative = RootNameLength(text);
    while (relative < text.size() && IsSeparator(text[relative])) ++relative;
    return std::wstring(text.substr(0, ParentEnd(text, relative)));
}

std::wstring RelativeParent(std::wstring_view name) { return std::wstring(name.substr(0, ParentEnd(name, 0))); }

std::size_t FileNameStart(std::wstring_view path) {
    std::size_t separator = path.rfind(L'/');
    if (separator == std::wstring_view::npos) separator = path.rfind(L'\\');
    return separator == std::wstring_view::npos ? std::wstring_view::npos : separator + 1;
}

const char* FindFileName(const char* path) {
    if (path == nullptr) return nullptr;
    // A separator counts only where a character starts: in GBK the second
    // byte of 誠 (D5 5C) is no backslash.
    const std::string_view text = path;
    const char* slash = nullptr;
    const char* backslash = nullptr;
    for (std::size_t i = 0; i < text.size(); i += platform::AnsiCharLength(text.substr(i))) {
        if (text[i] == '/') slash = path + i;
        else if (text[i] == '\\') backslash = path + i;
    }
    if (slash != nullptr) return slash + 1;
    if (backslash != nullptr) return backslash + 1;
    return nullptr;
}

std::size_t LengthWithoutTrailingSeparators(std::wstring_view path) {
    std::size_t length = path.size();
    while (length > 0 && IsSeparator(path[length - 1])) --length;
    return length;
}

} // namespace parcelon

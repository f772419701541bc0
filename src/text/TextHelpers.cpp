#include "text/TextHelpers.h"

#include <cstring>

#include "platform/Platform.h"

namespace parcelon {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Length of the root name (C:, \\server, \\?\ ...) at the start of path.
std::size_t RootNameLength(const std::wstring& path) {
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

bool IsSpaceByte(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

} // namespace

std::string ToAnsi(const wchar_t* text) { return platform::WideToAnsi(text); }

void AppendBackslash(std::wstring& s) {
    if (!s.empty() && s.back() != L'\\') s.push_back(L'\\');
}

std::wstring GetParentDir(const wchar_t* path) {
    const std::wstring text = path ? path : L"";
    std::size_t relative = RootNameLength(text);
    while (relative < text.size() && IsSeparator(text[relative])) ++relative;
    std::size_t end = text.size();
    while (end > relative && !IsSeparator(text[end - 1])) --end;
    while (end > relative && IsSeparator(text[end - 1])) --end;
    return text.substr(0, end);
}

bool IsReadable(const char* path) { return path != nullptr && platform::AccessReadable(path); }

const char* FindFileName(const char* path) {
    if (path == nullptr) return nullptr;
    if (const char* slash = std::strrchr(path, '/')) return slash + 1;
    if (const char* backslash = std::strrchr(path, '\\')) return backslash + 1;
    return nullptr;
}

std::string TrimSpaces(const char* text) {
    if (text == nullptr || *text == '\0') return std::string();
    const char* begin = text;
    while (*begin != '\0' && IsSpaceByte(static_cast<unsigned char>(*begin))) ++begin;
    const char* end = begin + std::strlen(begin);
    while (end > begin && IsSpaceByte(static_cast<unsigned char>(end[-1]))) --end;
    return std::string(begin, end);
}

} // namespace parcelon

#include "text/TextHelpers.h"

#include <cstring>

#include "platform/Platform.h"

namespace parcelon {

namespace {

bool IsSpaceByte(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

} // namespace

std::string ToAnsi(const wchar_t* text) { return text != nullptr ? platform::WideToAnsi(text) : std::string(); }

std::string ToAnsi(std::wstring_view text) { return platform::WideToAnsi(text); }

std::wstring FromAnsi(const char* text) { return text != nullptr ? platform::AnsiToWide(text) : std::wstring(); }

bool FitsCodePage(std::wstring_view text) { return platform::AnsiToWide(platform::WideToAnsi(text)) == text; }

std::string TrimSpaces(const char* text) {
    if (text == nullptr || *text == '\0') return std::string();
    const char* begin = text;
    while (*begin != '\0' && IsSpaceByte(static_cast<unsigned char>(*begin))) ++begin;
    const char* end = begin + std::strlen(begin);
    while (end > begin && IsSpaceByte(static_cast<unsigned char>(end[-1]))) --end;
    return std::string(begin, end);
}

} // namespace parcelon

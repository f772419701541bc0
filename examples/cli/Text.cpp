#include "cli/Text.h"

#include <cwchar>

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#endif

namespace cli {

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

#if defined(_WIN32)
std::string Encode(const std::wstring& wide, UINT code_page) {
    if (wide.empty()) return std::string();
    const int n = WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr, nullptr);
    return out;
}
#else
std::wstring DecodeWithLocale(const std::string& text) {
    std::wstring wide;
    std::mbstate_t state{};
    std::size_t i = 0;
    while (i < text.size()) {
        wchar_t c = 0;
        const std::size_t n = std::mbrtowc(&c, text.data() + i, text.size() - i, &state);
        if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2) || n == 0) {
            wide += static_cast<wchar_t>(0xDC00 + static_cast<unsigned char>(text[i]));
            state = std::mbstate_t{};
            ++i;
            continue;
        }
        wide += c;
        i += n;
    }
    return wide;
}
#endif

} // namespace

std::string Utf8(const std::wstring& wide) {
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = static_cast<char32_t>(wide[i]);
        if (c >= 0xDC80 && c <= 0xDCFF) {
#if !defined(_WIN32)
            out += static_cast<char>(c - 0xDC00);
            continue;
#endif
        }
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size()) {
            const char32_t low = static_cast<char32_t>(wide[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD; // a lone surrogate
        AppendUtf8(out, c);
    }
    return out;
}

std::wstring WideOfUtf8(const std::string& utf8) {
    std::wstring out;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        int length = lead < 0x80 ? 1 : lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
        char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        for (int k = 1; k < length; ++k) {
            const unsigned char next =
                i + static_cast<std::size_t>(k) < utf8.size() ? static_cast<unsigned char>(utf8[i + k]) : 0;
            if ((next & 0xC0) != 0x80) {
                length = 0;
                break;
            }
            c = (c << 6) | (next & 0x3F);
        }
        if (length == 0 || (length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
            (c >= 0xD800 && c <= 0xDFFF)) {
            out += L'\xFFFD';
            ++i;
            continue;
        }
        if (sizeof(wchar_t) == 2 && c >= 0x10000) {
            out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
        i += static_cast<std::size_t>(length);
    }
    return out;
}

std::string Printable(std::string text) {
    for (char& c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) c = '?';
    }
    return text;
}

std::vector<Argument> ReadArguments(int argc, char** argv) {
    std::vector<Argument> arguments;
#if defined(_WIN32)
    (void)argv;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide != nullptr && i < count; ++i)
        arguments.push_back({Encode(wide[i], CP_ACP), wide[i], std::filesystem::path(wide[i])});
    if (wide != nullptr) LocalFree(wide);
    (void)argc;
#else
    for (int i = 1; i < argc; ++i)
        arguments.push_back({argv[i], DecodeWithLocale(argv[i]), std::filesystem::path(argv[i])});
#endif
    return arguments;
}

Argument AfterEquals(const Argument& argument) {
    Argument after;
    after.narrow = argument.narrow.substr(argument.narrow.find('=') + 1);
    after.wide = argument.wide.substr(argument.wide.find(L'=') + 1);
#if defined(_WIN32)
    after.path = after.wide;
#else
    after.path = after.narrow;
#endif
    return after;
}

std::string Narrow(const std::wstring& wide) {
#if defined(_WIN32)
    return Encode(wide, CP_ACP);
#else
    std::string out;
    std::mbstate_t state{};
    for (const wchar_t c : wide) {
        if (c >= 0xDC80 && c <= 0xDCFF) {
            out += static_cast<char>(c - 0xDC00);
            continue;
        }
        char buffer[16];
        const std::size_t n = std::wcrtomb(buffer, c, &state);
        if (n == static_cast<std::size_t>(-1)) {
            out += '?';
            state = std::mbstate_t{};
        } else {
            out.append(buffer, n);
        }
    }
    return out;
#endif
}

} // namespace cli

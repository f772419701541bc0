#include "cli/Console.h"

#include <cstdarg>
#include <cstdio>

#include "cli/Text.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace cli {

namespace {

FILE* FileOf(Stream stream) { return stream == Stream::out ? stdout : stderr; }

} // namespace

void Write(Stream stream, const std::string& utf8) {
    FILE* file = FileOf(stream);
#if defined(_WIN32)
    HANDLE handle = GetStdHandle(stream == Stream::out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    const std::wstring wide = WideOfUtf8(utf8);
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode)) {
        std::fflush(file);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    // Redirected: the console's output code page, as a console program's
    // output is read; the ANSI one when there is no console at all.
    UINT code_page = GetConsoleOutputCP();
    if (code_page == 0) code_page = GetACP();
    const int n =
        WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), &bytes[0], n, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
#else
    std::fwrite(utf8.data(), 1, utf8.size(), file);
#endif
    std::fflush(file); // a pipe or a log reads each line as it comes
}

std::string Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int n = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(&text[0], text.size() + 1, format, again);
    va_end(again);
    return text;
}

bool IsTerminal(Stream stream) {
#if defined(_WIN32)
    return _isatty(_fileno(FileOf(stream))) != 0;
#else
    return isatty(fileno(FileOf(stream))) != 0;
#endif
}

} // namespace cli

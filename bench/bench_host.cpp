// The benchmark's host: one library operation per run, so that the time,
// CPU and peak memory of the process are those of that operation.
//
//   parcelon_bench_host pack SOURCE_DIR ARCHIVE [PASSWORD]
//       ZipDirectory(SOURCE_DIR, ARCHIVE, recursive, level 6, PASSWORD, 0)
//   parcelon_bench_host unpack ARCHIVE DEST_DIR [PASSWORD]
//       UnzipFile(ARCHIVE, DEST_DIR, PASSWORD)
//
// Exits 0 when the operation returned true. Links the shared library only,
// as a host does.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Parcelon.h"

namespace {

std::wstring Widen(const char* text) {
    const std::size_t length = std::mbstowcs(nullptr, text, 0);
    if (length == static_cast<std::size_t>(-1)) return std::wstring(text, text + std::strlen(text));
    std::wstring wide(length, L'\0');
    std::mbstowcs(&wide[0], text, length);
    return wide;
}

int Usage(const char* self) {
    std::fprintf(stderr,
                 "usage: %s pack SOURCE_DIR ARCHIVE [PASSWORD]\n"
                 "       %s unpack ARCHIVE DEST_DIR [PASSWORD]\n",
                 self, self);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) return Usage(argv[0]);
    std::setlocale(LC_CTYPE, "");
    const std::string command = argv[1];
    const char* password = argc == 5 ? argv[4] : nullptr;
    CParcelon parcelon;
    bool ok = false;
    if (command == "pack") {
        const std::wstring source = Widen(argv[2]);
        const std::wstring archive = Widen(argv[3]);
        ok = parcelon.ZipDirectory(source.c_str(), archive.c_str(), true, 6, password, 0);
    } else if (command == "unpack") {
        ok = parcelon.UnzipFile(argv[2], argv[3], password);
    } else {
        return Usage(argv[0]);
    }
    return ok ? 0 : 1;
}

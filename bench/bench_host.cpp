// The benchmark's host: one library operation per run, so that the time,
// CPU and peak memory of the process are those of that operation.
//
//   parcelon_bench_host pack SOURCE_DIR ARCHIVE [PASSWORD]
//       CParcelon::ZipDirectory(SOURCE_DIR, ARCHIVE, recursive, level 6,
//       PASSWORD, 0): one thread, as every host of the class
//   parcelon_bench_host pack-c THREADS SOURCE_DIR ARCHIVE [PASSWORD]
//       the same through the C interface, after
//       parcelon_set_threads(THREADS) (0: every processor)
//   parcelon_bench_host unpack ARCHIVE DEST_DIR [PASSWORD]
//       CParcelon::UnzipFile(ARCHIVE, DEST_DIR, PASSWORD)
//   parcelon_bench_host stop THREADS LEVEL AFTER_MS FILE ARCHIVE
//       packs FILE through the C interface; another thread calls
//       parcelon_stop AFTER_MS milliseconds in; prints how many
//       milliseconds passed from that call to the packing call's return
//
// Exits 0 when the operation returned true. Links the shared library only,
// as a host does.
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "Parcelon.h"
#include "ParcelonC.h"

namespace {

using Clock = std::chrono::steady_clock;

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
                 "       %s pack-c THREADS SOURCE_DIR ARCHIVE [PASSWORD]\n"
                 "       %s unpack ARCHIVE DEST_DIR [PASSWORD]\n"
                 "       %s stop THREADS LEVEL AFTER_MS FILE ARCHIVE\n",
                 self, self, self, self);
    return 2;
}

int PackThroughC(unsigned threads, const char* source, const char* archive, const char* password) {
    parcelon_archiver* a = parcelon_new();
    if (a == nullptr) return 1;
    parcelon_set_threads(a, threads);
    const std::wstring src = Widen(source);
    const std::wstring zip = Widen(archive);
    const int ok = parcelon_zip_directory(a, src.c_str(), zip.c_str(), 1, 6, password, 0, nullptr, 0, nullptr, 0);
    parcelon_free(a);
    return ok == 1 ? 0 : 1;
}

int StopLatency(unsigned threads, unsigned level, int after_ms, const char* file, const char* archive) {
    parcelon_archiver* a = parcelon_new();
    if (a == nullptr) return 1;
    parcelon_set_threads(a, threads);
    const std::wstring path = Widen(file);
    const std::wstring zip = Widen(archive);
    const wchar_t* files[] = {path.c_str()};
    Clock::time_point stopped_at;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(after_ms));
        stopped_at = Clock::now();
        parcelon_stop(a);
    });
    const int ok = parcelon_zip_files(a, files, 1, zip.c_str(), level, nullptr);
    const Clock::time_point returned = Clock::now();
    stopper.join();
    parcelon_free(a);
    const double ms = std::chrono::duration<double, std::milli>(returned - stopped_at).count();
    std::printf("%.1f\n", ms);
    return ok == 1 && ms >= 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage(argv[0]);
    std::setlocale(LC_CTYPE, "");
    const std::string command = argv[1];
    if (command == "pack-c" && (argc == 5 || argc == 6))
        return PackThroughC(static_cast<unsigned>(std::atoi(argv[2])), argv[3], argv[4], argc == 6 ? argv[5] : nullptr);
    if (command == "stop" && argc == 7)
        return StopLatency(static_cast<unsigned>(std::atoi(argv[2])), static_cast<unsigned>(std::atoi(argv[3])),
                           std::atoi(argv[4]), argv[5], argv[6]);
    if (argc < 4 || argc > 5) return Usage(argv[0]);
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

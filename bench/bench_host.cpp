// The benchmark's host: one library operation per run, so that the time,
// CPU and peak memory of the process are those of that operation.
//
//   parcelon_bench_host pack SOURCE_DIR ARCHIVE [PASSWORD]
//       CParcelon::ZipDirectory(SOURCE_DIR, ARCHIVE, recursive, level 6,
//       PASSWORD, 0): one thread, as every host of the class
//   parcelon_bench_host pack-c THREADS SOURCE_DIR ARCHIVE [PASSWORD [aes|aes-portable]]
//       the same through the C interface, after
//       parcelon_set_threads(THREADS) (0: every processor); with aes, the
//       password encrypts with AES-256 (PARCELON_OPT_ENCRYPTION), and
//       aes-portable writes the portable style too (names with '/', which
//       7-Zip on Linux unpacks into folders)
//   parcelon_bench_host unpack ARCHIVE DEST_DIR [PASSWORD]
//       CParcelon::UnzipFile(ARCHIVE, DEST_DIR, PASSWORD)
//   parcelon_bench_host extract-c THREADS ARCHIVE DEST_DIR [PASSWORD]
//       parcelon_extract of every entry, after parcelon_set_threads(THREADS)
//   parcelon_bench_host test-c THREADS ARCHIVE [PASSWORD]
//       parcelon_test, after parcelon_set_threads(THREADS)
//   parcelon_bench_host list-c ARCHIVE
//       parcelon_list, printing each entry's size and name on a line, as a
//       listing tool does
//   parcelon_bench_host stop THREADS LEVEL AFTER_MS FILE ARCHIVE
//       packs FILE through the C interface; another thread calls
//       parcelon_stop AFTER_MS milliseconds in; prints how many
//       milliseconds passed from that call to the packing call's return
//   parcelon_bench_host stop-extract THREADS AFTER_MS ARCHIVE DEST_DIR [PASSWORD]
//       the same for parcelon_extract; succeeds only when the call
//       reported the stop (PARCELON_E_STOPPED), not when it finished first
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
                 "       %s pack-c THREADS SOURCE_DIR ARCHIVE [PASSWORD [aes|aes-portable]]\n"
                 "       %s unpack ARCHIVE DEST_DIR [PASSWORD]\n"
                 "       %s extract-c THREADS ARCHIVE DEST_DIR [PASSWORD]\n"
                 "       %s test-c THREADS ARCHIVE [PASSWORD]\n"
                 "       %s list-c ARCHIVE\n"
                 "       %s stop THREADS LEVEL AFTER_MS FILE ARCHIVE\n"
                 "       %s stop-extract THREADS AFTER_MS ARCHIVE DEST_DIR [PASSWORD]\n",
                 self, self, self, self, self, self, self, self);
    return 2;
}

// Owns one archiver for the length of a command.
class Archiver {
public:
    explicit Archiver(unsigned threads) : a_(parcelon_new()) {
        if (a_ != nullptr) parcelon_set_threads(a_, threads);
    }
    ~Archiver() { parcelon_free(a_); }
    Archiver(const Archiver&) = delete;
    Archiver& operator=(const Archiver&) = delete;
    parcelon_archiver* get() const { return a_; }

private:
    parcelon_archiver* a_;
};

int PackThroughC(unsigned threads, const char* source, const char* archive, const char* password,
                 const std::string& options) {
    Archiver a(threads);
    if (a.get() == nullptr) return 1;
    if (options.rfind("aes", 0) == 0 &&
        parcelon_set_option(a.get(), PARCELON_OPT_ENCRYPTION, PARCELON_ENCRYPTION_AES256) != 1)
        return 1;
    if (options == "aes-portable" && parcelon_set_option(a.get(), PARCELON_OPT_STYLE, PARCELON_STYLE_PORTABLE) != 1)
        return 1;
    const std::wstring src = Widen(source);
    const std::wstring zip = Widen(archive);
    return parcelon_zip_directory(a.get(), src.c_str(), zip.c_str(), 1, 6, password, 0, nullptr, 0, nullptr, 0) == 1
               ? 0
               : 1;
}

int ExtractThroughC(unsigned threads, const char* archive, const char* dest, const char* password) {
    Archiver a(threads);
    if (a.get() == nullptr) return 1;
    const std::wstring zip = Widen(archive);
    const std::wstring out = Widen(dest);
    return parcelon_extract(a.get(), zip.c_str(), out.c_str(), password, nullptr, 0) == 1 ? 0 : 1;
}

int TestThroughC(unsigned threads, const char* archive, const char* password) {
    Archiver a(threads);
    if (a.get() == nullptr) return 1;
    const std::wstring zip = Widen(archive);
    return parcelon_test(a.get(), zip.c_str(), password) == 1 ? 0 : 1;
}

int PARCELON_CALL PrintEntry(const parcelon_entry* entry, void* count) {
    std::printf("%12llu %s\n", static_cast<unsigned long long>(entry->size), entry->name);
    ++*static_cast<unsigned long long*>(count);
    return 0;
}

int ListThroughC(const char* archive) {
    Archiver a(1);
    if (a.get() == nullptr) return 1;
    const std::wstring zip = Widen(archive);
    unsigned long long count = 0;
    const int ok = parcelon_list(a.get(), zip.c_str(), PrintEntry, &count);
    std::printf("%llu entries\n", count);
    return ok == 1 ? 0 : 1;
}

// Runs operation on this thread while another calls parcelon_stop after_ms
// in; prints the milliseconds from that call to the operation's return.
// Gives false when the operation ended before the stop came.
template <typename Operation>
bool TimeStop(parcelon_archiver* a, int after_ms, Operation operation) {
    Clock::time_point stopped_at;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(after_ms));
        stopped_at = Clock::now();
        parcelon_stop(a);
    });
    operation();
    const Clock::time_point returned = Clock::now();
    stopper.join();
    const double ms = std::chrono::duration<double, std::milli>(returned - stopped_at).count();
    std::printf("%.1f\n", ms);
    return ms >= 0;
}

int StopExtractLatency(unsigned threads, int after_ms, const char* archive, const char* dest, const char* password) {
    Archiver a(threads);
    if (a.get() == nullptr) return 1;
    const std::wstring zip = Widen(archive);
    const std::wstring out = Widen(dest);
    int ok = -1;
    const bool in_time = TimeStop(a.get(), after_ms, [&] {
        ok = parcelon_extract(a.get(), zip.c_str(), out.c_str(), password, nullptr, 0);
    });
    return in_time && ok == 0 && parcelon_last_error(a.get()) == PARCELON_E_STOPPED ? 0 : 1;
}

int StopLatency(unsigned threads, unsigned level, int after_ms, const char* file, const char* archive) {
    Archiver a(threads);
    if (a.get() == nullptr) return 1;
    const std::wstring path = Widen(file);
    const std::wstring zip = Widen(archive);
    const wchar_t* files[] = {path.c_str()};
    int ok = -1;
    const bool in_time = TimeStop(a.get(), after_ms, [&] {
        ok = parcelon_zip_files(a.get(), files, 1, zip.c_str(), level, nullptr);
    });
    return in_time && ok == 1 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage(argv[0]);
    std::setlocale(LC_CTYPE, "");
    const std::string command = argv[1];
    if (command == "pack-c" &&
        (argc == 5 || argc == 6 || (argc == 7 && (std::string(argv[6]) == "aes" || std::string(argv[6]) == "aes-portable"))))
        return PackThroughC(static_cast<unsigned>(std::atoi(argv[2])), argv[3], argv[4], argc >= 6 ? argv[5] : nullptr,
                            argc == 7 ? argv[6] : "");
    if (command == "extract-c" && (argc == 5 || argc == 6))
        return ExtractThroughC(static_cast<unsigned>(std::atoi(argv[2])), argv[3], argv[4], argc == 6 ? argv[5] : nullptr);
    if (command == "test-c" && (argc == 4 || argc == 5))
        return TestThroughC(static_cast<unsigned>(std::atoi(argv[2])), argv[3], argc == 5 ? argv[4] : nullptr);
    if (command == "list-c" && argc == 3) return ListThroughC(argv[2]);
    if (command == "stop-extract" && (argc == 6 || argc == 7))
        return StopExtractLatency(static_cast<unsigned>(std::atoi(argv[2])), std::atoi(argv[3]), argv[4], argv[5],
                                  argc == 7 ? argv[6] : nullptr);
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

// parcelon: a small command-line host for the Parcelon library.
//
//   parcelon pack  ARCHIVE FILE...             pack a list of files
//   parcelon packdir ARCHIVE DIR [options]     pack a directory tree
//   parcelon extract ARCHIVE DIR [options]     extract into an existing folder
//
// It shows the library's progress as a live bar on a terminal (plain lines
// otherwise), stops cleanly on Ctrl-C (the handler only calls Stop), and
// shows the library's own diagnostic lines, which are GBK bytes, as UTF-8.
#include <Parcelon.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <iconv.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// The object Ctrl-C stops. Stop() only stores to an atomic flag, which is
// safe inside a signal handler.
std::atomic<CParcelon*> g_running{nullptr};
volatile std::sig_atomic_t g_interrupted = 0;

#if defined(_WIN32)
BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    g_interrupted = 1;
    if (CParcelon* zipper = g_running.load()) zipper->Stop();
    return TRUE;
}
void InstallInterruptHandler() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }
#else
void OnInterrupt(int) {
    g_interrupted = 1;
    if (CParcelon* zipper = g_running.load()) zipper->Stop();
}
void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
#endif

const char* const kUsage =
    "usage:\n"
    "  parcelon pack ARCHIVE FILE... [--level N] [--password P]\n"
    "  parcelon packdir ARCHIVE DIR [--flat] [--level N] [--password P] [--minutes N]\n"
    "                               [--include PATTERN]... [--exclude PATTERN]...\n"
    "  parcelon extract ARCHIVE DIR [--password P]\n"
    "\n"
    "options:\n"
    "  --level N          Deflate level 0 (store) to 9 (smallest); default 6\n"
    "  --password P       traditional ZIP encryption (spaces around P are trimmed)\n"
    "  --flat             packdir: only the directory's own files, no subfolders\n"
    "  --minutes N        packdir: only files written within the last N minutes\n"
    "  --include PATTERN  packdir: only files matching *.ext, *.tar.gz or a folder name\n"
    "  --exclude PATTERN  packdir: leave out such files (ignored when --include is given)\n"
    "  -h, --help         this text\n"
    "\n"
    "examples:\n"
    "  parcelon pack notes.zip a.txt b.txt\n"
    "  parcelon packdir site.zip ./site --exclude .git --exclude '*.tmp'\n"
    "  parcelon packdir today.zip ./logs --include '*.log' --minutes 1440 --password s3cret\n"
    "  parcelon extract site.zip ./restore\n"
    "\n"
    "Ctrl-C stops packing: the archive is closed with the files packed so far.\n"
    "Exit status: 0 on success, 1 on failure, 2 on a usage error, 130 when stopped.\n";

std::wstring Wide(const std::string& text) {
#if defined(_WIN32)
    const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], n);
    return wide;
#else
    // The library converts wide paths back with the locale's charset; decode
    // with the same one. A byte that does not decode travels as 0xDC00 plus
    // the byte, which the library turns back into that byte, so a file name
    // of any bytes (Latin-1 under a UTF-8 locale, say) reaches the file.
    std::wstring wide;
    std::mbstate_t state {};
    std::size_t i = 0;
    while (i < text.size()) {
        wchar_t c = 0;
        const std::size_t n = std::mbrtowc(&c, text.data() + i, text.size() - i, &state);
        if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2) || n == 0) {
            wide += static_cast<wchar_t>(0xDC00 + static_cast<unsigned char>(text[i]));
            state = std::mbstate_t {};
            ++i;
            continue;
        }
        wide += c;
        i += n;
    }
    return wide;
#endif
}

std::string HumanBytes(double bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024.0 && unit < 4) {
        bytes /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

std::uintmax_t SizeOr0(const fs::path& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

// Draws the library's progress: a live bar on a terminal, a line per tenth
// otherwise.
class ProgressView : public TZipProgressCallback {
public:
    ProgressView(FILE* out, fs::path archive, std::uintmax_t input_total)
        : out_(out), archive_(std::move(archive)), input_total_(input_total),
          live_(isatty(fileno(out)) != 0), start_(Clock::now()) {}

    void OnProgress(int nValue) override {
        if (nValue == 999) {
            std::fprintf(out_, live_ ? "collecting files\xE2\x80\xA6\r" : "collecting files...\n");
            std::fflush(out_);
            return;
        }
        // After Ctrl-C the closing 100 only means "ended", not "complete".
        if (g_interrupted && nValue == 100) return;
        last_ = nValue;
        const double seconds = Elapsed();
        const double written = static_cast<double>(SizeOr0(archive_));
        if (live_) {
            const int width = 30;
            const int filled = nValue >= 100 ? width : nValue * width / 100;
            std::string bar(static_cast<std::size_t>(filled), '#');
            bar.resize(width, '.');
            std::string input;
            if (input_total_ > 0) input = " of " + HumanBytes(static_cast<double>(input_total_));
            std::fprintf(out_, "\r[%s] %3d%%%s | %s written | %s/s   ", bar.c_str(), nValue, input.c_str(),
                         HumanBytes(written).c_str(), HumanBytes(seconds > 0 ? written / seconds : 0).c_str());
            std::fflush(out_);
        } else if (nValue / 10 != printed_ / 10 || nValue == 100) {
            if (nValue != printed_) std::fprintf(out_, "%3d%%  %s written\n", nValue, HumanBytes(written).c_str());
            printed_ = nValue;
        }
    }

    void Finish() {
        if (live_ && last_ >= 0) std::fprintf(out_, "\n");
        std::fflush(out_);
    }
    double Elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

private:
    using Clock = std::chrono::steady_clock;
    FILE* out_;
    fs::path archive_;
    std::uintmax_t input_total_;
    bool live_;
    Clock::time_point start_;
    int last_ = -1;
    int printed_ = -1;
};

#if !defined(_WIN32)
// Carries the library's stderr lines (GBK) to the terminal as UTF-8. The
// host keeps the original stderr for its own output.
class MessageTranslator {
public:
    MessageTranslator() {
        std::fflush(stderr);
        original_ = dup(2);
        int fds[2];
        if (original_ < 0 || pipe(fds) != 0) return;
        dup2(fds[1], 2);
        close(fds[1]);
        read_end_ = fds[0];
        out_ = fdopen(dup(original_), "w");
        reader_ = std::thread([this] { Pump(); });
    }
    ~MessageTranslator() {
        Finish();
        if (out_ != nullptr) std::fclose(out_);
        if (original_ >= 0) close(original_);
    }
    // Gives stderr back and waits until every library line is shown.
    void Finish() {
        std::fflush(stderr);
        if (original_ >= 0) dup2(original_, 2); // closes the pipe's write end
        if (reader_.joinable()) reader_.join();
        if (read_end_ >= 0) close(read_end_);
        read_end_ = -1;
    }
    MessageTranslator(const MessageTranslator&) = delete;
    MessageTranslator& operator=(const MessageTranslator&) = delete;
    // The terminal (or whatever stderr was) for the host's own output.
    FILE* out() const { return out_ != nullptr ? out_ : stdout; }

private:
    void Pump() {
        std::string line;
        char buffer[512];
        ssize_t n;
        while ((n = read(read_end_, buffer, sizeof buffer)) > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] != '\n') {
                    line += buffer[i];
                    continue;
                }
                Emit(line);
                line.clear();
            }
        }
        if (!line.empty()) Emit(line);
    }
    void Emit(const std::string& gbk) {
        std::string utf8 = gbk;
        iconv_t cd = iconv_open("UTF-8", "GBK");
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            std::string converted(gbk.size() * 2 + 8, '\0');
            char* in = const_cast<char*>(gbk.data());
            std::size_t in_left = gbk.size();
            char* out = &converted[0];
            std::size_t out_left = converted.size();
            if (iconv(cd, &in, &in_left, &out, &out_left) != static_cast<std::size_t>(-1)) {
                converted.resize(converted.size() - out_left);
                utf8 = converted;
            }
            iconv_close(cd);
        }
        std::fprintf(out_, "parcelon: %s\n", utf8.c_str());
        std::fflush(out_);
    }

    int original_ = -1;
    int read_end_ = -1;
    FILE* out_ = nullptr;
    std::thread reader_;
};
#else
// The Chinese console shows the library's GBK lines as they are.
class MessageTranslator {
public:
    FILE* out() const { return stderr; }
    void Finish() { std::fflush(stderr); }
};
#endif

struct Options {
    std::string command;
    std::vector<std::string> positional;
    unsigned level = 6;
    std::string password;
    bool has_password = false;
    bool recursive = true;
    int minutes = 0;
    std::vector<std::wstring> includes;
    std::vector<std::wstring> excludes;
};

int UsageError(const char* what, const std::string& detail = std::string()) {
    std::fprintf(stderr, "parcelon: %s%s\n\n%s", what, detail.c_str(), kUsage);
    return 2;
}

bool ParseNumber(const std::string& text, long low, long high, long& value) {
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && end != nullptr && *end == '\0' && value >= low && value <= high;
}

int Parse(int argc, char** argv, Options& options) {
    if (argc < 2) return UsageError("no command given");
    options.command = argv[1];
    if (options.command == "-h" || options.command == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        long number = 0;
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--level") {
            if (!value(v) || !ParseNumber(v, 0, 9, number)) return UsageError("--level takes 0 to 9");
            options.level = static_cast<unsigned>(number);
        } else if (arg == "--password") {
            if (!value(options.password)) return UsageError("--password needs a value");
            options.has_password = true;
        } else if (arg == "--flat") {
            options.recursive = false;
        } else if (arg == "--minutes") {
            if (!value(v) || !ParseNumber(v, 0, 100000000, number)) return UsageError("--minutes takes a number");
            options.minutes = static_cast<int>(number);
        } else if (arg == "--include" || arg == "--exclude") {
            if (!value(v)) return UsageError(arg.c_str(), " needs a pattern");
            (arg == "--include" ? options.includes : options.excludes).push_back(Wide(v));
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return UsageError("unknown option ", arg);
        } else {
            options.positional.push_back(arg);
        }
    }
    return -1;
}

int ReportStop(FILE* out, const fs::path& archive) {
    std::fprintf(out, "stopped: %s is closed and holds the files packed before Ctrl-C\n", archive.string().c_str());
    return 130;
}

int Pack(const Options& options) {
    if (options.positional.size() < 2) return UsageError("pack needs an archive and at least one file");
    const fs::path archive = options.positional[0];
    std::vector<std::wstring> files;
    std::uintmax_t total = 0;
    for (std::size_t i = 1; i < options.positional.size(); ++i) {
        const fs::path file = fs::absolute(options.positional[i]);
        files.push_back(Wide(file.string()));
        total += SizeOr0(file);
    }
    MessageTranslator messages;
    ProgressView view(messages.out(), archive, total);
    CParcelon zipper;
    zipper.SetCallbacker(&view);
    g_running = &zipper;
    const bool ok = zipper.ZipFiles(files, Wide(archive.string()).c_str(), options.level,
                                    options.has_password ? options.password.c_str() : nullptr);
    g_running = nullptr;
    view.Finish();
    messages.Finish();
    if (g_interrupted) return ReportStop(messages.out(), archive);
    if (!ok) {
        std::fprintf(messages.out(), "failed: could not write %s\n", archive.string().c_str());
        return 1;
    }
    std::fprintf(messages.out(), "packed %zu path(s), %s, into %s (%s) in %.2f s\n", files.size(),
                 HumanBytes(static_cast<double>(total)).c_str(), archive.string().c_str(),
                 HumanBytes(static_cast<double>(SizeOr0(archive))).c_str(), view.Elapsed());
    return 0;
}

int PackDirectory(const Options& options) {
    if (options.positional.size() != 2) return UsageError("packdir needs an archive and a directory");
    const fs::path archive = options.positional[0];
    const std::string source = options.positional[1];
    std::error_code ec;
    if (!fs::is_directory(source, ec)) {
        std::fprintf(stderr, "parcelon: %s is not a directory\n", source.c_str());
        return 1;
    }
    MessageTranslator messages;
    ProgressView view(messages.out(), archive, 0);
    CParcelon zipper;
    zipper.SetCallbacker(&view);
    g_running = &zipper;
    const char* password = options.has_password ? options.password.c_str() : nullptr;
    const bool ok = zipper.ZipDirectory(Wide(source).c_str(), Wide(archive.string()).c_str(), options.includes,
                                        options.excludes, options.recursive, options.level, password,
                                        options.minutes);
    g_running = nullptr;
    view.Finish();
    messages.Finish();
    if (g_interrupted) return ReportStop(messages.out(), archive);
    if (!ok) {
        std::fprintf(messages.out(), "failed: could not replace or write %s\n", archive.string().c_str());
        return 1;
    }
    std::fprintf(messages.out(), "packed %s into %s (%s) in %.2f s\n", source.c_str(), archive.string().c_str(),
                 HumanBytes(static_cast<double>(SizeOr0(archive))).c_str(), view.Elapsed());
    return 0;
}

int Extract(const Options& options) {
    if (options.positional.size() != 2) return UsageError("extract needs an archive and a directory");
    const std::string archive = options.positional[0];
    const std::string destination = options.positional[1];
    std::error_code ec;
    std::size_t before = 0;
    for (auto it = fs::recursive_directory_iterator(destination, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        ++before;
    MessageTranslator messages;
    const auto start = std::chrono::steady_clock::now();
    CParcelon unzipper;
    const bool ok = unzipper.UnzipFile(archive.c_str(), destination.c_str(),
                                       options.has_password ? options.password.c_str() : nullptr);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    messages.Finish();
    if (!ok) {
        std::fprintf(messages.out(), "failed: %s was not extracted completely into %s\n", archive.c_str(),
                     destination.c_str());
        return 1;
    }
    std::uintmax_t bytes = 0;
    std::size_t after = 0;
    for (auto it = fs::recursive_directory_iterator(destination, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        ++after;
        if (it->is_regular_file(ec)) bytes += SizeOr0(it->path());
    }
    std::fprintf(messages.out(), "extracted %s into %s: %zu new item(s), %s in the folder, %.2f s\n", archive.c_str(),
                 destination.c_str(), after - before, HumanBytes(static_cast<double>(bytes)).c_str(), seconds);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, ""); // decode command-line paths with the user's charset
    Options options;
    const int parsed = Parse(argc, argv, options);
    if (parsed >= 0) return parsed;
    InstallInterruptHandler();
    if (options.command == "pack") return Pack(options);
    if (options.command == "packdir") return PackDirectory(options);
    if (options.command == "extract") return Extract(options);
    return UsageError("unknown command ", options.command);
}

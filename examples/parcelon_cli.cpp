// parcelon: a small command-line host for the Parcelon library.
//
//   parcelon pack  ARCHIVE FILE...             pack a list of files
//   parcelon packdir ARCHIVE DIR [options]     pack a directory tree
//   parcelon extract ARCHIVE DIR [options]     extract into DIR, made if missing
//
// It drives the library through its C interface (ParcelonC.h), shows the
// progress as a live bar with the time left on a terminal (plain lines
// otherwise), stops cleanly on Ctrl-C (the handler only calls
// parcelon_stop), and shows the library's own diagnostic lines, which are
// GBK bytes, as UTF-8, the last one with what went wrong in plain words,
// from its failure code.
#include <ParcelonC.h>

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
#include <utility>
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

// The archiver Ctrl-C stops. parcelon_stop only stores to an atomic flag,
// which is safe inside a signal handler.
std::atomic<parcelon_archiver*> g_running{nullptr};
volatile std::sig_atomic_t g_interrupted = 0;

#if defined(_WIN32)
BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    g_interrupted = 1;
    if (parcelon_archiver* archiver = g_running.load()) parcelon_stop(archiver);
    return TRUE;
}
void InstallInterruptHandler() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }
#else
void OnInterrupt(int) {
    g_interrupted = 1;
    if (parcelon_archiver* archiver = g_running.load()) parcelon_stop(archiver);
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
    "  parcelon pack ARCHIVE FILE... [--level N] [--password P] [--threads N]\n"
    "  parcelon packdir ARCHIVE DIR [--flat] [--level N] [--password P] [--minutes N] [--threads N]\n"
    "                               [--include PATTERN]... [--exclude PATTERN]...\n"
    "  parcelon extract ARCHIVE DIR [--password P]     (DIR and its parents are made if missing)\n"
    "\n"
    "options:\n"
    "  --level N          Deflate level 0 (store) to 9 (smallest); default 6\n"
    "  --password P       traditional ZIP encryption (spaces around P are trimmed)\n"
    "  --threads N        threads packing may use: 0 every processor (the default), 1 one;\n"
    "                     the archive is the same whatever N\n"
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

// "1:05" or "1:02:05".
std::string Duration(double seconds) {
    const long total = static_cast<long>(seconds + 0.5);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

// The time a packing run has left, from its pace since its first
// percentage: before that a directory run only walks and measures its
// files, which says nothing about how fast they pack.
class TimeLeft {
public:
    // The estimate at percent, seconds after the start; negative while
    // there is none yet (before a second percentage, or at the end).
    double At(int percent, double seconds) {
        if (first_percent_ < 0) {
            first_percent_ = percent;
            first_seconds_ = seconds;
        }
        if (percent <= first_percent_ || percent >= 100) return -1;
        const double per_percent = (seconds - first_seconds_) / (percent - first_percent_);
        return per_percent * (100 - percent);
    }

private:
    int first_percent_ = -1;
    double first_seconds_ = 0;
};

// Draws the library's progress: a live bar on a terminal, a line per tenth
// otherwise. Installed with parcelon_set_progress.
class ProgressView {
public:
    ProgressView(FILE* out, fs::path archive, std::uintmax_t input_total)
        : out_(out), archive_(std::move(archive)), input_total_(input_total),
          live_(isatty(fileno(out)) != 0), start_(Clock::now()) {}

    static void PARCELON_CALL OnProgress(int value, void* view) { static_cast<ProgressView*>(view)->Show(value); }

    void Show(int nValue) {
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
        const double left = time_left_.At(nValue, seconds);
        const std::string eta = left >= 0 ? Duration(left) + " left" : std::string();
        // The library writes a temporary file and gives it the archive's
        // name at the end: until then there is nothing to measure.
        std::string output;
        if (written > 0)
            output = HumanBytes(written) + " written | " + HumanBytes(seconds > 0 ? written / seconds : 0) + "/s | ";
        if (live_) {
            const int width = 30;
            const int filled = nValue >= 100 ? width : nValue * width / 100;
            std::string bar(static_cast<std::size_t>(filled), '#');
            bar.resize(width, '.');
            std::string input;
            if (input_total_ > 0) input = " of " + HumanBytes(static_cast<double>(input_total_));
            std::fprintf(out_, "\r[%s] %3d%%%s | %s%-14s", bar.c_str(), nValue, input.c_str(), output.c_str(),
                         eta.c_str());
            std::fflush(out_);
        } else if (nValue / 10 != printed_ / 10 || nValue == 100) {
            if (nValue != printed_)
                std::fprintf(out_, "%3d%%%s%s\n", nValue, eta.empty() ? "" : "  ", eta.c_str());
            std::fflush(out_); // a pipe or log reads each line as it comes
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
    TimeLeft time_left_;
    int last_ = -1;
    int printed_ = -1;
};

// One archiver of the C interface, released on every way out.
class Archiver {
public:
    Archiver() : a_(parcelon_new()) {}
    ~Archiver() { parcelon_free(a_); }
    Archiver(const Archiver&) = delete;
    Archiver& operator=(const Archiver&) = delete;
    parcelon_archiver* get() const { return a_; }

private:
    parcelon_archiver* a_;
};

// Makes the archiver the one Ctrl-C stops, for as long as it runs.
class RunningScope {
public:
    explicit RunningScope(parcelon_archiver* archiver) { g_running = archiver; }
    ~RunningScope() { g_running = nullptr; }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;
};

// What a failure code means, in plain words.
const char* PlainWords(int code) {
    switch (code) {
    case PARCELON_E_INVALID_ARGUMENT: return "an invalid argument reached the library";
    case PARCELON_E_OUT_OF_MEMORY: return "out of memory";
    case PARCELON_E_CANNOT_REMOVE_OLD_ARCHIVE:
        return "the file already at the archive path cannot be removed (is it a folder, or read-only?)";
    case PARCELON_E_CANNOT_CREATE_ARCHIVE: return "cannot create the archive (is its folder missing or read-only?)";
    case PARCELON_E_CANNOT_CLOSE_ARCHIVE: return "cannot complete the archive (is the disk full?)";
    case PARCELON_E_CANNOT_REPLACE_ARCHIVE: return "the finished archive cannot replace the file at its path";
    case PARCELON_E_CANNOT_ADD_FOLDER: return "a folder entry could not be written";
    case PARCELON_E_CANNOT_ADD_ENTRY: return "a file could not be added to the archive";
    case PARCELON_E_CANNOT_OPEN_SOURCE: return "a file could not be opened and was left out (is it a folder?)";
    case PARCELON_E_CANNOT_WRITE_ENTRY: return "a file's data could not be written into the archive";
    case PARCELON_E_CANNOT_READ_SOURCE: return "reading a file failed; its entry is cut short";
    case PARCELON_E_CANNOT_OPEN_ARCHIVE: return "the archive is missing, unreadable, or not a ZIP archive";
    case PARCELON_E_CANNOT_READ_ARCHIVE_INFO: return "the archive's end record is damaged";
    case PARCELON_E_CANNOT_FIND_FIRST_ENTRY: return "the archive's directory is damaged";
    case PARCELON_E_CANNOT_READ_ENTRY_INFO: return "an entry's record in the archive is damaged";
    case PARCELON_E_ENTRY_NAME_UNSAFE: return "an entry's name points outside the destination folder; refused";
    case PARCELON_E_FOLDER_ENTRY_HAS_DATA: return "a folder entry carries data";
    case PARCELON_E_DESTINATION_MISSING: return "the destination folder does not exist";
    case PARCELON_E_CANNOT_CREATE_FOLDER: return "cannot create a folder in the destination";
    case PARCELON_E_CANNOT_CREATE_OUTPUT: return "cannot create an output file (is the destination writable?)";
    case PARCELON_E_CANNOT_OPEN_ENTRY: return "an entry's encryption header cannot be read";
    case PARCELON_E_LOCAL_HEADER_MISMATCH: return "an entry's local header disagrees with the archive's directory";
    case PARCELON_E_ENTRY_OVERLAPS: return "an entry's data overlap another entry's";
    case PARCELON_E_UNSUPPORTED_METHOD: return "an entry is compressed with a method the library does not read";
    case PARCELON_E_UNSUPPORTED_ENCRYPTION: return "an entry uses strong encryption, which is not supported";
    case PARCELON_E_PASSWORD_REQUIRED: return "the archive is encrypted: give its password with --password";
    case PARCELON_E_WRONG_PASSWORD: return "wrong password";
    case PARCELON_E_DATA_CORRUPT: return "an entry's data are damaged (they fail their CRC check)";
    case PARCELON_E_CANNOT_WRITE_OUTPUT: return "cannot write an output file (is the disk full?)";
    default: return "failed";
    }
}

#if !defined(_WIN32)
// Carries the library's stderr lines (GBK) to the terminal as UTF-8. The
// host keeps the original stderr for its own output. The newest line is
// held back: when the operation ends, the host shows it with the plain words
// for its failure code instead.
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
        if (!held_.empty()) Show(held_);
        if (out_ != nullptr) std::fclose(out_);
        if (original_ >= 0) close(original_);
    }
    // Gives stderr back and waits until every library line is read; returns
    // the newest one (UTF-8), which is no longer shown by this object.
    std::string Finish() {
        std::fflush(stderr);
        if (original_ >= 0) dup2(original_, 2); // closes the pipe's write end
        if (reader_.joinable()) reader_.join();
        if (read_end_ >= 0) close(read_end_);
        read_end_ = -1;
        return std::exchange(held_, std::string());
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
                Hold(line);
                line.clear();
            }
        }
        if (!line.empty()) Hold(line);
    }
    void Hold(const std::string& gbk) {
        if (!held_.empty()) Show(held_);
        held_ = Utf8Of(gbk);
    }
    void Show(const std::string& utf8) {
        std::fprintf(out(), "parcelon: %s\n", utf8.c_str());
        std::fflush(out());
    }
    static std::string Utf8Of(const std::string& gbk) {
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
        return utf8;
    }

    int original_ = -1;
    int read_end_ = -1;
    FILE* out_ = nullptr;
    std::string held_;
    std::thread reader_;
};
#else
// The Chinese console shows the library's GBK lines as they are, and so
// holds none back.
class MessageTranslator {
public:
    FILE* out() const { return stderr; }
    std::string Finish() {
        std::fflush(stderr);
        return std::string();
    }
};
#endif

// After an operation: the library's newest line with the plain words for its
// failure code beside it. The UTF-8 line the C interface kept is shown
// rather than the one read from stderr, whose path bytes are the locale's,
// not GBK. Prefixed with "warning: " when the operation succeeded anyway.
void ReportOutcome(parcelon_archiver* archiver, MessageTranslator& messages, bool ok) {
    const std::string held = messages.Finish();
    FILE* out = messages.out();
    const int code = parcelon_last_error(archiver);
    const std::string line = parcelon_last_message(archiver);
    if (code == PARCELON_OK) {
        if (!held.empty()) std::fprintf(out, "parcelon: %s\n", held.c_str());
        return;
    }
#if defined(_WIN32)
    const std::string shown; // the console shows the library's own line just above
#else
    const std::string& shown = line;
#endif
    std::fprintf(out, "parcelon: %s%s%s%s\n", ok ? "warning: " : "", PlainWords(code), shown.empty() ? "" : ": ",
                 shown.c_str());
    std::fflush(out);
}

struct Options {
    std::string command;
    std::vector<std::string> positional;
    unsigned level = 6;
    unsigned threads = 0;
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
        } else if (arg == "--threads") {
            if (!value(v) || !ParseNumber(v, 0, 1024, number)) return UsageError("--threads takes a number");
            options.threads = static_cast<unsigned>(number);
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

// The C interface's view of a list of wide strings.
std::vector<const wchar_t*> Pointers(const std::vector<std::wstring>& texts) {
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& text : texts) pointers.push_back(text.c_str());
    return pointers;
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
    const std::vector<const wchar_t*> list = Pointers(files);
    Archiver archiver;
    if (archiver.get() == nullptr) return 1;
    MessageTranslator messages;
    ProgressView view(messages.out(), archive, total);
    parcelon_set_progress(archiver.get(), ProgressView::OnProgress, &view);
    parcelon_set_threads(archiver.get(), options.threads);
    int ok = 0;
    {
        const RunningScope running(archiver.get());
        ok = parcelon_zip_files(archiver.get(), list.data(), list.size(), Wide(archive.string()).c_str(),
                                options.level, options.has_password ? options.password.c_str() : nullptr);
    }
    view.Finish();
    ReportOutcome(archiver.get(), messages, ok != 0);
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
    const std::vector<const wchar_t*> includes = Pointers(options.includes);
    const std::vector<const wchar_t*> excludes = Pointers(options.excludes);
    Archiver archiver;
    if (archiver.get() == nullptr) return 1;
    MessageTranslator messages;
    ProgressView view(messages.out(), archive, 0);
    parcelon_set_progress(archiver.get(), ProgressView::OnProgress, &view);
    parcelon_set_threads(archiver.get(), options.threads);
    const char* password = options.has_password ? options.password.c_str() : nullptr;
    int ok = 0;
    {
        const RunningScope running(archiver.get());
        ok = parcelon_zip_directory(archiver.get(), Wide(source).c_str(), Wide(archive.string()).c_str(),
                                    options.recursive ? 1 : 0, options.level, password, options.minutes,
                                    includes.data(), includes.size(), excludes.data(), excludes.size());
    }
    view.Finish();
    ReportOutcome(archiver.get(), messages, ok != 0);
    if (g_interrupted) return ReportStop(messages.out(), archive);
    if (!ok) {
        std::fprintf(messages.out(), "failed: could not replace or write %s\n", archive.string().c_str());
        return 1;
    }
    std::fprintf(messages.out(), "packed %s into %s (%s) in %.2f s\n", source.c_str(), archive.string().c_str(),
                 HumanBytes(static_cast<double>(SizeOr0(archive))).c_str(), view.Elapsed());
    return 0;
}

// The folders of path that do not exist yet, outermost first.
std::vector<fs::path> MissingFolders(fs::path path) {
    if (!path.has_filename()) path = path.parent_path(); // "out/" is "out"
    std::vector<fs::path> missing;
    std::error_code ec;
    for (; !path.empty() && !fs::exists(path, ec) && !ec; path = path.parent_path()) {
        missing.insert(missing.begin(), path);
        if (path == path.parent_path()) break;
    }
    return missing;
}

// Makes the destination and its missing parents, as unzip -d does, and
// takes them away again when nothing was extracted into them.
class DestinationFolders {
public:
    explicit DestinationFolders(const std::string& destination) : created_(MissingFolders(destination)) {}
    DestinationFolders(const DestinationFolders&) = delete;
    DestinationFolders& operator=(const DestinationFolders&) = delete;

    // False, with error set, when a folder cannot be made.
    bool Make(std::error_code& error) {
        for (std::size_t i = 0; i < created_.size(); ++i) {
            if (!fs::create_directory(created_[i], error) && error) {
                created_.resize(i);
                Remove();
                return false;
            }
        }
        return true;
    }
    // Removes the folders made, innermost first, as long as they are empty.
    void Remove() {
        std::error_code ignored;
        for (auto it = created_.rbegin(); it != created_.rend() && fs::remove(*it, ignored); ++it) {
        }
        created_.clear();
    }

private:
    std::vector<fs::path> created_;
};

int Extract(const Options& options) {
    if (options.positional.size() != 2) return UsageError("extract needs an archive and a directory");
    const std::string archive = options.positional[0];
    const std::string destination = options.positional[1];
    DestinationFolders folders(destination);
    std::error_code ec;
    if (!folders.Make(ec)) {
        std::fprintf(stderr, "parcelon: cannot create the destination folder %s: %s\n", destination.c_str(),
                     ec.message().c_str());
        return 1;
    }
    std::size_t before = 0;
    for (auto it = fs::recursive_directory_iterator(destination, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        ++before;
    Archiver archiver;
    if (archiver.get() == nullptr) return 1;
    MessageTranslator messages;
    const auto start = std::chrono::steady_clock::now();
    const int ok = parcelon_unzip_file(archiver.get(), archive.c_str(), destination.c_str(),
                                       options.has_password ? options.password.c_str() : nullptr);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ReportOutcome(archiver.get(), messages, ok != 0);
    if (!ok) {
        folders.Remove();
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

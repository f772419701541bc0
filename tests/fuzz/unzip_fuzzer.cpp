// libFuzzer target: UnzipFile over arbitrary archive bytes.
//
// The first byte picks the password (none, the empty text, or "secret",
// the one the seed archives use); the rest is the archive. Each run
// extracts into a fresh folder, run/, at the bottom of a chain of sentinel
// folders, each holding a marker file:
//
//   <work>/input/archive.zip
//   <work>/s1/marker, <work>/s1/s2/marker, ... <work>/s1/.../s6/run/
//
// On POSIX an entry name is always joined below run/, so the only way out
// is up through ".." components, and every folder such a climb reaches
// below <work> is one of the sentinels. After each run the whole of <work>
// except run/'s contents must look exactly as before (names, kinds, sizes
// and modification times), the input must be unchanged, and run/ may hold
// nothing but plain files and folders; anything else aborts. A climb of
// more than seven levels would leave <work> altogether; the same names
// climbing less far are caught here first, and the fuzzer finds those.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "Parcelon.h"

// The sanitizers' own report writer, present in every fuzzing build.
extern "C" void __sanitizer_report_error_summary(const char* summary) __attribute__((weak));

namespace {

constexpr int kSentinelDepth = 6;
constexpr char kPlanted[] = "a file that was there before";

struct Stamp {
    mode_t kind = 0;
    off_t size = 0;
    long long mtime_ns = 0;
    bool operator==(const Stamp& o) const { return kind == o.kind && size == o.size && mtime_ns == o.mtime_ns; }
    bool operator!=(const Stamp& o) const { return !(*this == o); }
};

[[noreturn]] void Violation(const std::string& what) {
    const std::string text = "unzip_fuzzer: " + what;
    // With -close_fd_mask=2 only the sanitizer's report stream still
    // reaches the terminal.
    if (__sanitizer_report_error_summary != nullptr) __sanitizer_report_error_summary(text.c_str());
    std::fprintf(stderr, "%s\n", text.c_str());
    std::abort();
}

// Every path below root (lstat, links not followed), except what lies
// inside skip.
void Scan(const std::string& root, const std::string& skip, std::map<std::string, Stamp>& out) {
    DIR* dir = opendir(root.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = root + "/" + name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) continue;
        Stamp stamp;
        stamp.kind = st.st_mode & S_IFMT;
        stamp.size = S_ISDIR(st.st_mode) ? 0 : st.st_size;
        // A folder's own time changes with what is added to it, which shows
        // as a new path anyway (and run/ is made anew in s6/ every time).
        stamp.mtime_ns = S_ISDIR(st.st_mode)
                             ? 0
                             : static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
        out[path] = stamp;
        if (S_ISDIR(st.st_mode) && path != skip) Scan(path, skip, out);
    }
    closedir(dir);
}

// Removes a tree without following links.
void RemoveTree(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        chmod(path.c_str(), 0700);
        if (DIR* dir = opendir(path.c_str())) {
            while (const dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") RemoveTree(path + "/" + name);
            }
            closedir(dir);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) Violation("cannot write " + path);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Workspace {
public:
    Workspace() {
        // In memory where there is a tmpfs: thousands of runs a minute each
        // make and remove a folder tree.
        for (const char* base : {"/dev/shm", "/tmp"}) {
            std::string pattern = std::string(base) + "/parcelon-unzip-fuzz-XXXXXX";
            if (mkdtemp(&pattern[0]) != nullptr) {
                root_ = pattern;
                break;
            }
        }
        if (root_.empty()) Violation("cannot create the work folder");
        mkdir((root_ + "/input").c_str(), 0700);
        archive_ = root_ + "/input/archive.zip";
        std::string level = root_;
        for (int i = 1; i <= kSentinelDepth; ++i) {
            level += "/s" + std::to_string(i);
            mkdir(level.c_str(), 0700);
            const std::uint8_t marker[] = {'s', 'e', 'n', 't', 'i', 'n', 'e', 'l'};
            WriteBytes(level + "/marker", marker, sizeof marker);
        }
        run_ = level + "/run";
        mkdir(run_.c_str(), 0700);
        Scan(root_, run_, before_);
    }
    ~Workspace() { RemoveTree(root_); }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    void RunOne(const std::uint8_t* data, std::size_t size) {
        static const char* const passwords[] = {nullptr, "", "secret"};
        const char* password = size > 0 ? passwords[data[0] % 3] : nullptr;
        const std::uint8_t* archive = size > 0 ? data + 1 : data;
        const std::size_t archive_size = size > 0 ? size - 1 : 0;

        RemoveTree(run_);
        if (mkdir(run_.c_str(), 0700) != 0) Violation("cannot recreate run/");
        WriteBytes(run_ + "/planted.txt", reinterpret_cast<const std::uint8_t*>(kPlanted), sizeof kPlanted - 1);
        WriteBytes(archive_, archive, archive_size);
        // The input file's own stamp changes with every run.
        std::map<std::string, Stamp> expected = before_;
        struct stat st {};
        if (lstat(archive_.c_str(), &st) != 0) Violation("the input file is missing");
        Stamp& input = expected[archive_];
        input.kind = st.st_mode & S_IFMT;
        input.size = st.st_size;
        input.mtime_ns = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;

        CParcelon unzipper;
        unzipper.UnzipFile(archive_.c_str(), run_.c_str(), password);

        std::map<std::string, Stamp> after;
        Scan(root_, run_, after);
        for (const auto& [path, stamp] : after) {
            const auto found = expected.find(path);
            if (found == expected.end()) Violation("written outside the destination: " + path);
            if (found->second != stamp) Violation("changed outside the destination: " + path);
        }
        for (const auto& [path, stamp] : expected) {
            if (after.find(path) == after.end()) Violation("removed outside the destination: " + path);
        }
        if (ReadBytes(archive_) != std::string(reinterpret_cast<const char*>(archive), archive_size))
            Violation("the archive itself was changed");
        std::map<std::string, Stamp> inside;
        Scan(run_, std::string(), inside);
        for (const auto& [path, stamp] : inside) {
            if (stamp.kind != S_IFREG && stamp.kind != S_IFDIR) Violation("neither a file nor a folder: " + path);
            // An entry's data go to a temporary file that takes its name
            // only once checked: a failed entry leaves nothing behind.
            if (path.find("/.parcelon.") != std::string::npos) Violation("left behind: " + path);
        }
        // A file that stood in the destination stays as it was unless an
        // entry of its name was extracted whole (which needs its name in
        // the archive's bytes).
        const std::string planted = run_ + "/planted.txt";
        const std::string bytes(reinterpret_cast<const char*>(archive), archive_size);
        if (bytes.find("planted.txt") == std::string::npos && ReadBytes(planted) != kPlanted)
            Violation("a file the archive does not name was changed: " + planted);
    }

private:
    std::string root_;
    std::string archive_;
    std::string run_;
    std::map<std::string, Stamp> before_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Workspace workspace;
    workspace.RunOne(data, size);
    return 0;
}

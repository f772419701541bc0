#include "support/TestSupport.h"

#include "messages/Messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace testing_support {

namespace {

std::atomic<unsigned> g_counter{0};

std::uint16_t Le16(const std::string& b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}

std::uint32_t Le32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(Le16(b, at)) | static_cast<std::uint32_t>(Le16(b, at + 2)) << 16;
}

} // namespace

TempDir::TempDir() : TempDir(fs::temp_directory_path()) {}

TempDir::TempDir(const fs::path& base) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = base /
            ("parcelon-test-" + std::to_string(getpid()) + "-" + std::to_string(g_counter++) + "-" +
             std::to_string(random() % 100000));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Make everything writable again so read-only test files go too.
    for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code ignored;
        if (!it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::wstring TempDir::W(const std::string& relative) const {
    return Wide(relative.empty() ? path_ : path_ / fs::u8path(relative));
}

std::string TempDir::A(const std::string& relative) const {
    return Narrow(relative.empty() ? path_ : path_ / fs::u8path(relative));
}

std::wstring Wide(const fs::path& path) {
    const std::string text = path.u8string();
    return std::wstring(text.begin(), text.end()); // ASCII test paths
}

std::string Narrow(const fs::path& path) { return path.u8string(); }

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.u8string());
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string PatternBytes(std::size_t size, unsigned seed) {
    static const char* const words[] = {"parcel ", "archive ", "deflate ", "entry ", "folder ",
                                        "zip ",    "stream ",  "block ",   "\n",     "2026 "};
    std::mt19937 random(seed);
    std::string out;
    out.reserve(size + 16);
    while (out.size() < size) {
        out += words[random() % 10];
        if (random() % 7 == 0) out += static_cast<char>('A' + random() % 26);
    }
    out.resize(size);
    return out;
}

StderrCapture::StderrCapture() {
    std::fflush(stderr);
    file_ = fs::temp_directory_path() /
            ("parcelon-stderr-" + std::to_string(getpid()) + "-" + std::to_string(g_counter++));
    saved_fd_ = dup(2);
    std::FILE* sink = std::fopen(file_.string().c_str(), "wb");
    if (sink == nullptr) throw std::runtime_error("cannot capture stderr");
    dup2(fileno(sink), 2);
    std::fclose(sink);
}

StderrCapture::~StderrCapture() { Text(); }

std::string StderrCapture::Text() {
    if (!done_) {
        std::fflush(stderr);
        dup2(saved_fd_, 2);
        close(saved_fd_);
        text_ = ReadFile(file_);
        std::error_code ec;
        fs::remove(file_, ec);
        done_ = true;
    }
    return text_;
}

std::vector<ZipEntryInfo> ReadCentralDirectory(const fs::path& archive) {
    const std::string b = ReadFile(archive);
    std::vector<ZipEntryInfo> entries;
    if (b.size() < 22) {
        ADD_FAILURE() << "not a ZIP archive (too short): " << archive;
        return entries;
    }
    std::size_t eocd = std::string::npos;
    for (std::size_t at = b.size() - 22 + 1; at-- > 0;) {
        if (Le32(b, at) == 0x06054b50u) {
            eocd = at;
            break;
        }
    }
    if (eocd == std::string::npos) {
        ADD_FAILURE() << "no end of central directory record: " << archive;
        return entries;
    }
    const std::size_t count = Le16(b, eocd + 10);
    std::size_t at = Le32(b, eocd + 16);
    for (std::size_t i = 0; i < count; ++i) {
        if (at + 46 > b.size() || Le32(b, at) != 0x02014b50u) {
            ADD_FAILURE() << "bad central directory record " << i << " in " << archive;
            return {};
        }
        ZipEntryInfo e;
        e.version_made_by = Le16(b, at + 4);
        e.version_needed = Le16(b, at + 6);
        e.flags = Le16(b, at + 8);
        e.method = Le16(b, at + 10);
        e.dos_time = Le16(b, at + 12);
        e.dos_date = Le16(b, at + 14);
        e.crc = Le32(b, at + 16);
        e.compressed_size = Le32(b, at + 20);
        e.uncompressed_size = Le32(b, at + 24);
        const std::size_t name_length = Le16(b, at + 28);
        e.extra_length = Le16(b, at + 30);
        e.comment_length = Le16(b, at + 32);
        e.internal_attributes = Le16(b, at + 36);
        e.external_attributes = Le32(b, at + 38);
        e.local_header_offset = Le32(b, at + 42);
        e.name = b.substr(at + 46, name_length);
        e.extra = b.substr(at + 46 + name_length, e.extra_length);
        entries.push_back(e);
        at += 46 + name_length + e.extra_length + e.comment_length;
    }
    return entries;
}

std::vector<std::string> EntryNames(const fs::path& archive) {
    std::vector<std::string> names;
    for (const ZipEntryInfo& e : ReadCentralDirectory(archive)) names.push_back(e.name);
    return names;
}

std::string MessageLine(parcelon::PackFailure failure, const std::string& subject) {
    return std::string(parcelon::messages::Text(failure)) + subject + "\n";
}

std::string MessageLine(parcelon::UnzipFailure failure) {
    return std::string(parcelon::messages::Text(failure)) + "\n";
}

int RunCommand(const std::string& command, std::string* output) {
    std::fflush(nullptr);
#if defined(_WIN32)
    std::FILE* pipe = _popen((command + " 2>&1").c_str(), "r");
#else
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
#endif
    if (pipe == nullptr) return -1;
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
#if defined(_WIN32)
    const int status = _pclose(pipe);
#else
    const int raw = pclose(pipe);
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    if (output != nullptr) *output = text;
    return status;
}

bool HaveTool(const std::string& name) {
#if defined(_WIN32)
    (void)name;
    return false;
#else
    return RunCommand("command -v " + name + " >/dev/null") == 0;
#endif
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

int RunPeer(const std::string& script, const std::vector<std::string>& args, std::string* output) {
    std::string command = "python3 " + ShellQuote(std::string(PARCELON_SOURCE_DIR) + "/tests/peers/" + script);
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    return RunCommand(command, output);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        had_value_ = true;
        old_value_ = old;
    }
#if defined(_WIN32)
    _putenv_s(name, value ? value : "");
#else
    if (value) setenv(name, value, 1);
    else unsetenv(name);
#endif
}

ScopedEnv::~ScopedEnv() {
#if defined(_WIN32)
    _putenv_s(name_.c_str(), had_value_ ? old_value_.c_str() : "");
#else
    if (had_value_) setenv(name_.c_str(), old_value_.c_str(), 1);
    else unsetenv(name_.c_str());
#endif
}

} // namespace testing_support

// Shared helpers for the test suite: scratch folders, files, captured
// stderr, a recording progress callback, a small reader of ZIP central
// directories (so archives can be checked without any peer, also under
// Wine) and a way to run the independent peers (python3, unzip, 7z).
#ifndef PARCELON_TEST_SUPPORT_H
#define PARCELON_TEST_SUPPORT_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "Parcelon.h"
#include "messages/Messages.h"

namespace testing_support {

namespace fs = std::filesystem;

// A fresh folder under the system temp folder, removed with its contents.
class TempDir {
public:
    TempDir();
    // Under base instead of the system temp folder.
    explicit TempDir(const fs::path& base);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& relative) const { return path_ / fs::u8path(relative); }
    // The wide and narrow texts of a path inside the folder, as a host
    // would pass them (ASCII names).
    std::wstring W(const std::string& relative = std::string()) const;
    std::string A(const std::string& relative = std::string()) const;

private:
    fs::path path_;
};

std::wstring Wide(const fs::path& path);
std::string Narrow(const fs::path& path);

void WriteFile(const fs::path& path, const std::string& bytes);
std::string ReadFile(const fs::path& path);
// Deterministic bytes that compress somewhat, like text.
std::string PatternBytes(std::size_t size, unsigned seed = 1);

// Captures everything written to the process's stderr (fd 2) while alive.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    // Stops capturing (once) and returns what was written.
    std::string Text();

private:
    int saved_fd_;
    fs::path file_;
    bool done_ = false;
    std::string text_;
};

// Records every OnProgress value.
struct RecordingCallback : TZipProgressCallback {
    std::vector<int> values;
    void OnProgress(int nValue) override { values.push_back(nValue); }
};

// One central-directory record.
struct ZipEntryInfo {
    std::string name;
    std::uint16_t version_made_by = 0;
    std::uint16_t version_needed = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t dos_time = 0;
    std::uint16_t dos_date = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressed_size = 0;
    std::uint64_t uncompressed_size = 0;
    std::uint16_t extra_length = 0;
    std::uint16_t comment_length = 0;
    std::uint16_t internal_attributes = 0;
    std::uint32_t external_attributes = 0;
    std::uint32_t local_header_offset = 0;
    std::string extra; // the central record's extra fields
};

// Reads the central directory of a (non-ZIP64) archive; fails the current
// test and returns an empty list when the file is not a well-formed one.
std::vector<ZipEntryInfo> ReadCentralDirectory(const fs::path& archive);
std::vector<std::string> EntryNames(const fs::path& archive);

// Diagnostics that also keep the kind of every failure reported, in order
// (and still write the lines).
struct RecordingDiagnostics : parcelon::Diagnostics {
    std::vector<parcelon::PackFailure> packing;
    std::vector<std::wstring> subjects; // of the packing failures
    std::vector<parcelon::UnzipFailure> unzipping;
    std::vector<std::wstring> entries; // the subjects of the extraction failures
    void Report(parcelon::PackFailure failure, std::wstring_view subject) override {
        packing.push_back(failure);
        subjects.emplace_back(subject);
        Diagnostics::Report(failure, subject);
    }
    void Report(parcelon::UnzipFailure failure, std::wstring_view subject) override {
        unzipping.push_back(failure);
        entries.emplace_back(subject);
        Diagnostics::Report(failure, subject);
    }
};

// The line the library writes for a failure: its GBK text, the subject (an
// ANSI path or name) and "\n".
std::string MessageLine(parcelon::PackFailure failure, const std::string& subject);
std::string MessageLine(parcelon::UnzipFailure failure);

// Runs a shell command; returns its exit status and, in output, its stdout
// and stderr.
int RunCommand(const std::string& command, std::string* output = nullptr);
// True when the named program is on the PATH (never under Wine).
bool HaveTool(const std::string& name);
// Runs one of the Python programs of tests/peers (by file name) with
// arguments; returns its exit status.
int RunPeer(const std::string& script, const std::vector<std::string>& args, std::string* output = nullptr);
// Quotes one argument for the POSIX shell.
std::string ShellQuote(const std::string& text);

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool had_value_ = false;
    std::string old_value_;
};

} // namespace testing_support

#endif // PARCELON_TEST_SUPPORT_H

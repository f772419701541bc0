// Bad luck while packing and extracting: the disk filling up, sources that
// vanish, shrink, grow or cannot be read, and output folders that refuse
// writes. Each costs a false or a skipped file and a message, never a
// crash, a damaged archive where one was reported as written, or a leaked
// descriptor.
//
// A full disk is simulated without mounting anything: a forked child lowers
// its own RLIMIT_FSIZE and ignores SIGXFSZ, so that writes past the limit
// fail with EFBIG. The suite runs as root here, which reads and writes
// through permission bits; the permission cases therefore run in a child
// that has become the user "nobody", and a read-only folder is also made
// immutable (chattr +i), which binds root as well.
#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/fs.h>
#endif

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <sstream>

#include "Parcelon.h"
#include "messages/Messages.h"
#include "create/DirectoryWalk.h"
#include "deflate/ChunkCompressor.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line + "\n");
    return lines;
}

// In a child: writes that would make any file larger than `bytes` fail
// with EFBIG instead of killing the process with SIGXFSZ.
std::string LimitFileSize(rlim_t bytes) {
    if (signal(SIGXFSZ, SIG_IGN) == SIG_ERR) return "cannot ignore SIGXFSZ";
    struct rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0) return "getrlimit failed";
    limit.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return "setrlimit failed";
    return "";
}

std::string Names(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += "[" + name + "]";
    return text;
}

// Files in the archive's folder that a failed operation left beside it
// (the new archive is written to a temporary file there).
std::string LeftBeside(const fs::path& archive) {
    std::string found;
    const std::string prefix = ".parcelon.";
    for (const auto& entry : fs::directory_iterator(archive.parent_path())) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) found += entry.path().filename().string() + " ";
    }
    return found;
}

// Python's zipfile reads every entry and checks its CRC-32.
std::string PeerTestzip(const fs::path& archive, const char* password = nullptr) {
    std::vector<std::string> args = {Narrow(archive)};
    if (password != nullptr) args.push_back(password);
    std::string output;
    if (RunPeer("zipfile_testzip.py", args, &output) != 0) return "zipfile rejects " + Narrow(archive) + ": " + output;
    return "";
}

// Records progress and runs an action once, at the first percentage.
struct TamperCallback : TZipProgressCallback {
    std::function<void()> action;
    std::vector<int> values;
    void OnProgress(int nValue) override {
        values.push_back(nValue);
        if (nValue != 999 && action) {
            auto run = std::move(action);
            action = nullptr;
            run();
        }
    }
};

class FaultTest : public ::testing::Test {
protected:
    TempDir dir;

    std::wstring Make(const std::string& name, const std::string& bytes) {
        fs::create_directories((dir / name).parent_path());
        WriteFile(dir / name, bytes);
        return dir.W(name);
    }

    // Extracts with the library into a fresh folder; "" when it worked.
    std::string ExtractTo(const fs::path& archive, const std::string& folder, const char* password) {
        fs::remove_all(dir / folder);
        fs::create_directories(dir / folder);
        CParcelon unzipper;
        StderrCapture err;
        const bool ok = unzipper.UnzipFile(Narrow(archive).c_str(), dir.A(folder).c_str(), password);
        const std::string text = err.Text();
        return ok && text.empty() ? std::string() : "UnzipFile failed: " + text;
    }
};

// ---------------------------------------------------------------- disk full

class DiskFullTest : public FaultTest {};

TEST_F(DiskFullTest, PackingAListReportsTheEntryAndTheArchiveItCouldNotComplete) {
    // 96 KiB of random bytes each: the first fits under the limit, the
    // second's data cross it, the central directory never gets written.
    const std::vector<std::wstring> files = {Make("a.bin", RandomBytes(96 << 10, 1)),
                                             Make("b.bin", RandomBytes(96 << 10, 2)),
                                             Make("c.bin", RandomBytes(96 << 10, 3))};
    const fs::path archive = dir / "out.zip";
    const ChildResult child = RunInChild([&]() -> std::string {
        const std::string limited = LimitFileSize(128 << 10);
        if (!limited.empty()) return limited;
        const std::size_t fds_before = OpenDescriptorCount();
        StderrCapture err;
        CParcelon zipper;
        const bool ok = zipper.ZipFiles(files, Wide(archive).c_str(), 6, nullptr);
        const std::vector<std::string> lines = Lines(err.Text());
        std::string problems;
        if (ok) problems += "ZipFiles returned true;";
        if (OpenDescriptorCount() != fds_before) problems += " descriptors leaked;";
        if (lines.empty() || lines.front() != MessageLine(parcelon::PackFailure::CannotWriteEntry, dir.A("b.bin")))
            problems += " first line is not the write message for b.bin;";
        if (lines.empty() || lines.back() != MessageLine(parcelon::PackFailure::CannotCloseArchive, Narrow(archive)))
            problems += " last line is not the close message;";
        for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
            if (lines[i] != MessageLine(parcelon::PackFailure::CannotWriteEntry, dir.A("c.bin")) &&
                lines[i] != MessageLine(parcelon::PackFailure::CannotAddEntry, dir.A("c.bin")))
                problems += " unexpected line " + lines[i];
        }
        // Nothing incomplete takes the archive's path, and nothing is left
        // beside it.
        if (fs::exists(archive)) problems += " an incomplete archive took the path;";
        if (!LeftBeside(archive).empty()) problems += " left behind: " + LeftBeside(archive);
        return problems;
    });
    EXPECT_TRUE(child.ok()) << child.Describe();
}

TEST_F(DiskFullTest, ACentralDirectoryThatDoesNotFitFailsTheCloseAlone) {
    // Every entry fits; only the central directory, written last, does not.
    Make("src/one.txt", PatternBytes(3000, 1));
    Make("src/sub/two.txt", PatternBytes(5000, 2));
    const std::vector<std::wstring> files = {dir.W("src/one.txt"), dir.W("src/sub/two.txt")};
    const fs::path archive = dir / "out.zip";

    struct Case {
        const char* what;
        std::function<bool(CParcelon&)> pack;
    };
    const Case cases[] = {
        {"ZipFiles", [&](CParcelon& z) { return z.ZipFiles(files, Wide(archive).c_str(), 6, "pw"); }},
        {"ZipDirectory",
         [&](CParcelon& z) { return z.ZipDirectory(dir.W("src").c_str(), Wide(archive).c_str(), true, 6, nullptr, 0); }},
    };
    for (const Case& c : cases) {
        // The same call without a limit gives the archive's full size.
        {
            CParcelon zipper;
            ASSERT_TRUE(c.pack(zipper)) << c.what;
        }
        const auto full_size = fs::file_size(archive);
        // An old archive at the path stays as it is when the new one fails.
        WriteFile(archive, "the old archive");
        const ChildResult child = RunInChild([&]() -> std::string {
            const std::string limited = LimitFileSize(full_size - 1);
            if (!limited.empty()) return limited;
            const std::size_t fds_before = OpenDescriptorCount();
            StderrCapture err;
            RecordingCallback progress;
            CParcelon zipper;
            zipper.SetCallbacker(&progress);
            const bool ok = c.pack(zipper);
            const std::string text = err.Text();
            std::string problems;
            if (ok) problems += "returned true;";
            if (text != MessageLine(parcelon::PackFailure::CannotCloseArchive, Narrow(archive))) problems += " stderr: " + text;
            if (progress.values.empty() || progress.values.back() != 100) problems += " no final 100;";
            if (OpenDescriptorCount() != fds_before) problems += " descriptors leaked;";
            if (ReadFile(archive) != "the old archive") problems += " the old archive was lost;";
            if (!LeftBeside(archive).empty()) problems += " left behind: " + LeftBeside(archive);
            return problems;
        });
        EXPECT_TRUE(child.ok()) << c.what << ": " << child.Describe();
    }
}

TEST_F(DiskFullTest, ExtractionStopsWithTheWriteMessage) {
    const std::wstring small = Make("in/first.txt", "first");
    const std::string big_data = RandomBytes(300 << 10, 4);
    const std::wstring big = Make("in/big.bin", big_data);
    for (const char* password : {static_cast<const char*>(nullptr), "pw"}) {
        const fs::path archive = dir / "in.zip";
        {
            CParcelon zipper;
            ASSERT_TRUE(zipper.ZipFiles({small, big}, Wide(archive).c_str(), 6, password));
        }
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        const ChildResult child = RunInChild([&]() -> std::string {
            const std::string limited = LimitFileSize(64 << 10);
            if (!limited.empty()) return limited;
            const std::size_t fds_before = OpenDescriptorCount();
            StderrCapture err;
            CParcelon unzipper;
            const bool ok = unzipper.UnzipFile(Narrow(archive).c_str(), dir.A("out").c_str(), password);
            const std::string text = err.Text();
            std::string problems;
            if (ok) problems += "UnzipFile returned true;";
            if (text != MessageLine(parcelon::UnzipFailure::CannotWriteOutput)) problems += " stderr: " + text;
            if (OpenDescriptorCount() != fds_before) problems += " descriptors leaked;";
            return problems;
        });
        EXPECT_TRUE(child.ok()) << (password ? "encrypted: " : "plain: ") << child.Describe();
        EXPECT_EQ(ReadFile(dir / "out/first.txt"), "first");
        // The entry that did not fit leaves nothing behind.
        EXPECT_FALSE(fs::exists(dir / "out/big.bin"));
        EXPECT_EQ(LeftBeside(dir / "out/big.bin"), "");
    }
}

// ---------------------------------------------------------------- sources that change

class ChangingSourceTest : public FaultTest {
protected:
    std::vector<std::wstring> MakeThree() {
        return {Make("src/a.bin", PatternBytes(64 << 10, 1)), Make("src/b.bin", PatternBytes(64 << 10, 2)),
                Make("src/c.bin", PatternBytes(64 << 10, 3))};
    }

    // The file ZipDirectory on src/ will add last (the walk follows the
    // file system's own order).
    std::wstring LastWalked() {
        std::vector<parcelon::PackItem> list;
        long long total = 0;
        parcelon::CollectFiles(list, total, dir.W("src"), true, 0);
        return list.empty() ? std::wstring() : list.back().path;
    }

    // The walk's paths carry the backslash it appends to folders.
    static fs::path PathOf(const std::wstring& wide) {
        std::string text(wide.begin(), wide.end());
        std::replace(text.begin(), text.end(), '\\', '/');
        return fs::path(text);
    }

    // Packs src/ (as a list or as a directory) while `change` alters the
    // last file once the first percentage is reported. Returns the archive.
    fs::path PackWhileChanging(bool as_directory, const char* password,
                               const std::function<void(const fs::path&)>& change, std::string* err_text,
                               std::vector<int>* progress) {
        const std::vector<std::wstring> files = MakeThree();
        const std::wstring victim = as_directory ? LastWalked() : files.back();
        const fs::path archive = dir / "out.zip";
        TamperCallback callback;
        callback.action = [&]() { change(PathOf(victim)); };
        CParcelon zipper;
        zipper.SetCallbacker(&callback);
        const std::size_t fds_before = OpenDescriptorCount();
        StderrCapture err;
        const bool ok = as_directory
                            ? zipper.ZipDirectory(dir.W("src").c_str(), Wide(archive).c_str(), true, 6, password, 0)
                            : zipper.ZipFiles(files, Wide(archive).c_str(), 6, password);
        *err_text = err.Text();
        EXPECT_TRUE(ok);
        EXPECT_EQ(OpenDescriptorCount(), fds_before);
        *progress = callback.values;
        return archive;
    }
};

TEST_F(ChangingSourceTest, AFileThatVanishesAfterTheWalkIsLeftOutSilently) {
    for (bool as_directory : {false, true}) {
        std::string err;
        std::vector<int> progress;
        const fs::path archive = PackWhileChanging(as_directory, nullptr, [](const fs::path& victim) {
            fs::remove(victim);
        }, &err, &progress);
        EXPECT_EQ(err, "");
        const auto names = EntryNames(archive);
        EXPECT_EQ(names.size(), 2u) << Names(names);
        EXPECT_EQ(PeerTestzip(archive), "");
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.back(), 100);
        for (int value : progress) EXPECT_TRUE(value == 999 || (value >= 0 && value <= 100)) << value;
        fs::remove_all(dir / "src");
    }
}

TEST_F(ChangingSourceTest, AFileThatShrinksIsPackedAsItIsNowWithAMatchingCrc) {
    for (const char* password : {static_cast<const char*>(nullptr), "pw"}) {
        for (bool as_directory : {false, true}) {
            const std::string now = PatternBytes(1000, 9);
            std::string err;
            std::vector<int> progress;
            std::string victim_name;
            const fs::path archive = PackWhileChanging(as_directory, password, [&](const fs::path& victim) {
                victim_name = victim.filename().string();
                WriteFile(victim, now);
            }, &err, &progress);
            const std::string what = std::string(as_directory ? "directory" : "list") + (password ? ", encrypted" : "");
            EXPECT_EQ(err, "") << what;
            EXPECT_EQ(PeerTestzip(archive, password), "") << what;
            ASSERT_EQ(ExtractTo(archive, "out", password), "") << what;
            EXPECT_TRUE(ReadFile(dir / "out" / victim_name) == now) << what;
            EXPECT_EQ(progress.back(), 100) << what;
            fs::remove_all(dir / "src");
        }
    }
}

TEST_F(ChangingSourceTest, AFileThatGrowsIsPackedWholeAndProgressMayPass100) {
    for (bool as_directory : {false, true}) {
        const std::string now = PatternBytes(600 << 10, 11);
        std::string err;
        std::vector<int> progress;
        std::string victim_name;
        const fs::path archive = PackWhileChanging(as_directory, nullptr, [&](const fs::path& victim) {
            victim_name = victim.filename().string();
            WriteFile(victim, now);
        }, &err, &progress);
        EXPECT_EQ(err, "");
        EXPECT_EQ(PeerTestzip(archive), "");
        ASSERT_EQ(ExtractTo(archive, "out", nullptr), "");
        EXPECT_TRUE(ReadFile(dir / "out" / victim_name) == now);
        // 64 + 64 + 600 KiB packed against a total of 192 KiB.
        int highest = 0;
        for (int value : progress)
            if (value != 999) highest = std::max(highest, value);
        EXPECT_GT(highest, 100);
        EXPECT_EQ(progress.back(), 100);
        fs::remove_all(dir / "src");
    }
}

// Traditional encryption makes an entry's header from the CRC-32 of the
// whole file before the first byte is written; whatever happens to the
// file after that, the entry must still decrypt and pass its CRC in every
// reader.
class EncryptedSourceTest : public ChangingSourceTest {
protected:
    // The archive opens with "pw" in the library, Python's zipfile, unzip
    // and 7-Zip, and its one entry holds prefix bytes of the file's content.
    void ExpectEveryReaderOpens(const fs::path& archive, const std::string& content) {
        const auto entries = ReadCentralDirectory(archive);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].flags & 1, 1);
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        CParcelon unzipper;
        StderrCapture err;
        EXPECT_TRUE(unzipper.UnzipFile(Narrow(archive).c_str(), dir.A("out").c_str(), "pw")) << err.Text();
        const std::string back = ReadFile(dir / "out/a.bin");
        EXPECT_EQ(back.size(), entries[0].uncompressed_size);
        EXPECT_TRUE(back == content.substr(0, back.size())) << "not what the file held";
        EXPECT_EQ(PeerTestzip(archive, "pw"), "");
        if (HaveTool("unzip")) {
            std::string output;
            EXPECT_EQ(RunCommand("unzip -t -P pw " + ShellQuote(Narrow(archive)), &output), 0) << output;
        }
        if (HaveTool("7z")) {
            std::string output;
            EXPECT_EQ(RunCommand("7z t -ppw " + ShellQuote(Narrow(archive)), &output), 0) << output;
            EXPECT_EQ(output.find("Warning"), std::string::npos) << output;
        }
    }
};

TEST_F(EncryptedSourceTest, AStopInTheMiddleLeavesAShorterEntryEveryReaderOpens) {
    // The entry ends at the first byte after the stop where the CRC of what
    // it holds has the header's check byte: a few hundred bytes later, as a
    // rule, so the stop stays prompt.
    const std::string content = PatternBytes(1 << 20, 5);
    const std::wstring file = Make("src/a.bin", content);
    struct StopAtFirst : TZipProgressCallback {
        CParcelon* target = nullptr;
        void OnProgress(int nValue) override {
            if (nValue != 999 && nValue != 100) target->Stop();
        }
    } stopper;
    CParcelon zipper;
    stopper.target = &zipper;
    zipper.SetCallbacker(&stopper);
    ASSERT_TRUE(zipper.ZipFiles({file}, dir.W("out.zip").c_str(), 6, "pw"));
    const auto entries = ReadCentralDirectory(dir / "out.zip");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_LT(entries[0].uncompressed_size, 64u << 10) << "the stop took effect within the next blocks";
    ExpectEveryReaderOpens(dir / "out.zip", content);
}

TEST_F(EncryptedSourceTest, AFileThatShrinksOrGrowsWhileItIsPackedStillOpens) {
    // A file of several chunks changes after its CRC was read and its first
    // chunk packed: the entry holds what the reading found, and is
    // encrypted again, once the archive is complete, with a header made
    // from the CRC of what it holds. (On Windows other writers are kept out
    // while it is read.)
    const std::size_t chunk = parcelon::kChunkSize;
    const std::string content = PatternBytes(3 * chunk, 6);
    const std::string grown = content + PatternBytes(50000, 7);
    const std::size_t shrunk = 2 * chunk + 100000;
    for (const std::string* after : {&grown, static_cast<const std::string*>(nullptr)}) {
        Make("src/a.bin", content);
        TamperCallback callback;
        callback.action = [&]() {
            if (after != nullptr) WriteFile(dir / "src/a.bin", *after);
            else fs::resize_file(dir / "src/a.bin", shrunk);
        };
        CParcelon zipper;
        zipper.SetCallbacker(&callback);
        ASSERT_TRUE(zipper.ZipFiles({dir.W("src/a.bin")}, dir.W("out.zip").c_str(), 6, "pw"));
        const auto entries = ReadCentralDirectory(dir / "out.zip");
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].uncompressed_size, after != nullptr ? grown.size() : shrunk);
        ExpectEveryReaderOpens(dir / "out.zip", after != nullptr ? grown : content);
    }
}

TEST_F(EncryptedSourceTest, AFileOfOneChunkIsReadOnceAndPackedAsItWasRead) {
    // Its CRC and its data come from one reading: a change after it cannot
    // reach the entry.
    const std::string content = PatternBytes(256 << 10, 6);
    Make("src/a.bin", content);
    TamperCallback callback;
    callback.action = [&]() { WriteFile(dir / "src/a.bin", PatternBytes(300000, 7)); };
    CParcelon zipper;
    zipper.SetCallbacker(&callback);
    ASSERT_TRUE(zipper.ZipFiles({dir.W("src/a.bin")}, dir.W("out.zip").c_str(), 6, "pw"));
    const auto entries = ReadCentralDirectory(dir / "out.zip");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].uncompressed_size, content.size());
    ExpectEveryReaderOpens(dir / "out.zip", content);
}

// ---------------------------------------------------------------- unreadable sources

class UnreadableSourceTest : public FaultTest {};

TEST_F(UnreadableSourceTest, AFileWithoutReadPermissionIsLeftOutSilently) {
    // Permission bits bind only an unprivileged process: the child becomes
    // "nobody" when the suite runs as root.
    Make("src/a.txt", "alpha");
    Make("src/b.txt", "bravo");
    Make("src/c.txt", "charlie");
    fs::permissions(dir / "src/b.txt", fs::perms::none);
    fs::create_directories(dir / "out");
    fs::permissions(dir / "out", fs::perms::all);
    const std::vector<std::wstring> files = {dir.W("src/a.txt"), dir.W("src/b.txt"), dir.W("src/c.txt")};
    const ChildResult child = RunInChild([&]() -> std::string {
        if (!DropRootPrivileges()) return "cannot become an unprivileged user";
        std::string problems;
        const std::size_t fds_before = OpenDescriptorCount();
        {
            StderrCapture err;
            CParcelon zipper;
            if (!zipper.ZipFiles(files, dir.W("out/list.zip").c_str(), 6, nullptr)) problems += "ZipFiles false;";
            if (!zipper.ZipDirectory(dir.W("src").c_str(), dir.W("out/dir.zip").c_str(), true, 6, "pw", 0))
                problems += " ZipDirectory false;";
            const std::string text = err.Text();
            if (!text.empty()) problems += " stderr: " + text;
        }
        for (const char* zip : {"out/list.zip", "out/dir.zip"}) {
            std::vector<std::string> names = EntryNames(dir / zip);
            std::sort(names.begin(), names.end());
            if (names != std::vector<std::string>{"a.txt", "c.txt"}) problems += std::string(" ") + zip + ": " + Names(names);
        }
        if (OpenDescriptorCount() != fds_before) problems += " descriptors leaked;";
        return problems;
    });
    EXPECT_TRUE(child.ok()) << child.Describe();
}

TEST_F(UnreadableSourceTest, AReadErrorAfterTheOpenKeepsThePartAndSaysSo) {
    // A file that opens but cannot be read: /proc/self/clear_refs is a
    // regular, write-only file; root may open it for reading (permission
    // bits do not bind root), and every read then fails with EINVAL. An
    // unprivileged process cannot open it at all, which the test above
    // covers already.
    if (geteuid() != 0) GTEST_SKIP() << "needs root to open a write-only file for reading";
    const char* unreadable = "/proc/self/clear_refs";
    struct stat st {};
    if (stat(unreadable, &st) != 0 || !S_ISREG(st.st_mode)) GTEST_SKIP() << "no " << unreadable;
    const std::wstring before = Make("a.txt", "alpha");
    const std::wstring after = Make("c.txt", "charlie");
    const std::wstring wide_unreadable(unreadable, unreadable + std::strlen(unreadable));
    for (const char* password : {static_cast<const char*>(nullptr), "pw"}) {
        const std::size_t fds_before = OpenDescriptorCount();
        StderrCapture err;
        CParcelon zipper;
        EXPECT_TRUE(zipper.ZipFiles({before, wide_unreadable, after}, dir.W("out.zip").c_str(), 6, password));
        EXPECT_EQ(err.Text(), MessageLine(parcelon::PackFailure::CannotReadSource, unreadable));
        EXPECT_EQ(OpenDescriptorCount(), fds_before);
        EXPECT_EQ(EntryNames(dir / "out.zip"), (std::vector<std::string>{"a.txt", "clear_refs", "c.txt"}));
        EXPECT_EQ(PeerTestzip(dir / "out.zip", password), "");
    }
}

// ---------------------------------------------------------------- read-only output

class ReadOnlyOutputTest : public FaultTest {
protected:
    fs::path archive;
    std::vector<std::wstring> files;

    void SetUp() override {
        files = {Make("src/a.txt", "alpha"), Make("src/sub/b.txt", "bravo")};
        archive = dir / "in.zip";
        CParcelon zipper;
        ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), Wide(archive).c_str(), true, 6, nullptr, 0));
        fs::create_directories(dir / "locked");
    }

    // Every operation aimed at the locked folder fails with its message and
    // leaves the folder empty; "" when so.
    std::string TryAll() {
        std::string problems;
        const std::size_t fds_before = OpenDescriptorCount();
        const std::string target = dir.A("locked/out.zip");
        const std::wstring wide_target = dir.W("locked/out.zip");
        CParcelon zipper;
        {
            StderrCapture err;
            if (zipper.UnzipFile(Narrow(archive).c_str(), dir.A("locked").c_str(), nullptr)) problems += "UnzipFile true;";
            const std::string text = err.Text();
            if (text != MessageLine(parcelon::UnzipFailure::CannotCreateOutput)) problems += " UnzipFile said: " + text;
        }
        {
            StderrCapture err;
            if (zipper.ZipFiles(files, wide_target.c_str(), 6, nullptr)) problems += " ZipFiles true;";
            const std::string text = err.Text();
            if (text != MessageLine(parcelon::PackFailure::CannotCreateArchive, target)) problems += " ZipFiles said: " + text;
        }
        {
            StderrCapture err;
            if (zipper.ZipDirectory(dir.W("src").c_str(), wide_target.c_str(), true, 6, "pw", 0))
                problems += " ZipDirectory true;";
            const std::string text = err.Text();
            if (text != MessageLine(parcelon::PackFailure::CannotCreateArchive, target)) problems += " ZipDirectory said: " + text;
        }
        std::error_code ec;
        if (!fs::is_empty(dir / "locked", ec)) problems += " something was written into the folder;";
        if (OpenDescriptorCount() != fds_before) problems += " descriptors leaked;";
        return problems;
    }
};

#if defined(__linux__) && defined(FS_IOC_SETFLAGS)
// The file system's immutable flag (chattr +i) on a folder: nothing can be
// created in it, by root either. Cleared again on destruction.
class ImmutableFlag {
public:
    explicit ImmutableFlag(const fs::path& folder) : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        int flags = 0;
        if (fd_ < 0 || ioctl(fd_, FS_IOC_GETFLAGS, &flags) != 0) return;
        flags |= FS_IMMUTABLE_FL;
        set_ = ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ~ImmutableFlag() {
        if (set_) {
            int flags = 0;
            if (ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
                flags &= ~FS_IMMUTABLE_FL;
                ioctl(fd_, FS_IOC_SETFLAGS, &flags);
            }
        }
        if (fd_ >= 0) close(fd_);
    }
    ImmutableFlag(const ImmutableFlag&) = delete;
    ImmutableFlag& operator=(const ImmutableFlag&) = delete;
    bool set() const { return set_; }

private:
    int fd_;
    bool set_ = false;
};

TEST_F(ReadOnlyOutputTest, AnImmutableFolderRefusesEveryOperationWithItsMessage) {
    ImmutableFlag lock(dir / "locked");
    if (!lock.set()) GTEST_SKIP() << "the file system or the process cannot set the immutable flag";
    EXPECT_EQ(TryAll(), "");
}
#endif

TEST_F(ReadOnlyOutputTest, AFolderWithoutWritePermissionRefusesAnUnprivilegedHost) {
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const ChildResult child = RunInChild([&]() -> std::string {
        if (!DropRootPrivileges()) return "cannot become an unprivileged user";
        return TryAll();
    });
    EXPECT_TRUE(child.ok()) << child.Describe();
}

// ---------------------------------------------------------------- descriptors

TEST_F(FaultTest, NoFailurePathLeavesADescriptorOpen) {
    const std::wstring file = Make("a.txt", PatternBytes(50000));
    const fs::path good = dir / "good.zip";
    {
        CParcelon zipper;
        ASSERT_TRUE(zipper.ZipFiles({file}, Wide(good).c_str(), 6, "pw"));
    }
    std::string damaged = ReadFile(good);
    damaged[damaged.size() / 3] = static_cast<char>(damaged[damaged.size() / 3] ^ 0x55);
    WriteFile(dir / "damaged.zip", damaged);
    WriteFile(dir / "not-a.zip", "PK\x03\x04 but nothing else");
    fs::create_directories(dir / "out");
    fs::create_directories(dir / "src/folder");

    // Each case: what it does, its result, and whether it writes a message.
    struct Case {
        const char* what;
        bool result;
        bool message;
        std::function<bool(CParcelon&)> run;
    };
    const std::wstring dest = dir.W("x.zip");
    const Case cases[] = {
        {"archive folder missing", false, true,
         [&](CParcelon& z) { return z.ZipFiles({file}, dir.W("no/such.zip").c_str(), 6, nullptr); }},
        {"level zlib refuses", true, true, [&](CParcelon& z) { return z.ZipFiles({file}, dest.c_str(), 12, "pw"); }},
        {"a folder in the list", true, true,
         [&](CParcelon& z) { return z.ZipFiles({dir.W("src/folder")}, dest.c_str(), 6, nullptr); }},
        // The old archive's delete fails first, which is reported by the
        // result alone.
        {"directory archive folder missing", false, false,
         [&](CParcelon& z) { return z.ZipDirectory(dir.W("src").c_str(), dir.W("no/such.zip").c_str(), true, 6, nullptr, 0); }},
        {"source directory missing", true, false,
         [&](CParcelon& z) { return z.ZipDirectory(dir.W("nowhere").c_str(), dest.c_str(), true, 6, nullptr, 0); }},
        {"archive missing", false, true,
         [&](CParcelon& z) { return z.UnzipFile(dir.A("none.zip").c_str(), dir.A("out").c_str(), nullptr); }},
        {"not an archive", false, true,
         [&](CParcelon& z) { return z.UnzipFile(dir.A("not-a.zip").c_str(), dir.A("out").c_str(), nullptr); }},
        {"no password", false, true,
         [&](CParcelon& z) { return z.UnzipFile(Narrow(good).c_str(), dir.A("out").c_str(), nullptr); }},
        {"wrong password", false, true,
         [&](CParcelon& z) { return z.UnzipFile(Narrow(good).c_str(), dir.A("out").c_str(), "nope"); }},
        {"damaged data", false, true,
         [&](CParcelon& z) { return z.UnzipFile(dir.A("damaged.zip").c_str(), dir.A("out").c_str(), "pw"); }},
        {"destination missing", false, true,
         [&](CParcelon& z) { return z.UnzipFile(Narrow(good).c_str(), dir.A("gone").c_str(), "pw"); }},
    };
    for (const Case& c : cases) {
        const std::size_t fds_before = OpenDescriptorCount();
        StderrCapture err;
        CParcelon object;
        EXPECT_EQ(c.run(object), c.result) << c.what;
        EXPECT_EQ(err.Text().empty(), !c.message) << c.what;
        EXPECT_EQ(OpenDescriptorCount(), fds_before) << c.what;
    }
}

} // namespace

#endif // !_WIN32

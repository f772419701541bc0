// Packing on worker threads through the C interface: the same archive, the
// same progress values and the same messages whatever the number of
// threads; the class never starts a thread; no worker outlives its call;
// and a stop at any moment leaves a whole archive. These run in every
// suite and, with the concurrency tests, under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include "Parcelon.h"
#include "ParcelonC.h"
#include "deflate/ChunkCompressor.h"
#include "support/Archiver.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

struct Seen {
    std::vector<int> values;
};
void PARCELON_CALL Record(int value, void* user_data) { static_cast<Seen*>(user_data)->values.push_back(value); }

#if defined(__linux__)
// The threads of this process; 0 when that cannot be told.
std::size_t ThreadCount() {
    std::error_code error;
    std::size_t count = 0;
    for (fs::directory_iterator it("/proc/self/task", error), end; !error && it != end; it.increment(error)) ++count;
    return error ? 0 : count;
}

// Remembers the most threads the process had at any progress value.
struct ThreadWatch : TZipProgressCallback {
    std::size_t most = 0;
    void OnProgress(int) override { most = std::max(most, ThreadCount()); }
};
void PARCELON_CALL WatchThreads(int value, void* user_data) { static_cast<ThreadWatch*>(user_data)->OnProgress(value); }
#endif

// Three chunks and a bit, a file of one chunk exactly (whose end is only
// found by reading one byte more), small and empty files, a name beyond
// ASCII, and folders.
class ThreadsTest : public ::testing::Test {
protected:
    TempDir dir;
    std::vector<std::wstring> list;

    void SetUp() override {
        const std::size_t chunk = parcelon::kChunkSize;
        fs::create_directories(dir / "src/sub/deep");
        fs::create_directories(dir / u8"src/名前");
        WriteFile(dir / "src/a.txt", "alpha");
        WriteFile(dir / "src/sub/big.bin", PatternBytes(3 * chunk + 12345, 2));
        WriteFile(dir / "src/sub/exact.bin", PatternBytes(chunk, 3));
        WriteFile(dir / "src/sub/deep/empty.txt", "");
        WriteFile(dir / u8"src/名前/ü.txt", PatternBytes(70000, 4));
        for (int i = 0; i < 30; ++i)
            WriteFile(dir / ("src/sub/deep/f" + std::to_string(i) + ".txt"), PatternBytes(1000 + 997 * i, 10 + i));
        list = {dir.W("src/sub/big.bin"), dir.W("src/a.txt"), dir.W("src/sub/exact.bin"),
                dir.W("src/sub/deep/empty.txt"), dir.W("src/sub/deep/f7.txt")};
    }

    // Packs the tree (or the list) through the C interface with threads;
    // returns the archive's bytes, and the progress values and messages.
    std::string Pack(unsigned threads, bool tree, const char* password, std::vector<int>* values,
                     std::string* messages, const std::vector<std::wstring>& files) {
        Archiver a;
        Seen seen;
        parcelon_set_progress(a, Record, &seen);
        EXPECT_EQ(parcelon_set_threads(a, threads), 1);
        const std::wstring archive = dir.W("t" + std::to_string(threads) + ".zip");
        StderrCapture err;
        std::vector<const wchar_t*> paths;
        for (const std::wstring& f : files) paths.push_back(f.c_str());
        const int ok = tree ? parcelon_zip_directory(a, dir.W("src").c_str(), archive.c_str(), 1, 6, password, 0,
                                                     nullptr, 0, nullptr, 0)
                            : parcelon_zip_files(a, paths.data(), paths.size(), archive.c_str(), 6, password);
        EXPECT_EQ(ok, 1) << threads;
        if (values != nullptr) *values = seen.values;
        if (messages != nullptr) *messages = err.Text();
        return ReadFile(fs::path(archive));
    }
};

// Python's zipfile reads every entry and checks its CRC-32: "" when it
// does, what it says otherwise (and "" when there is no python3).
std::string Testzip(const fs::path& archive, const char* password) {
    if (!HaveTool("python3")) return "";
    std::vector<std::string> args = {Narrow(archive)};
    if (password != nullptr) args.push_back(password);
    std::string output;
    return RunPeer("zipfile_testzip.py", args, &output) == 0 ? std::string() : "zipfile: " + output;
}

} // namespace

TEST_F(ThreadsTest, ArchivesProgressAndMessagesAreTheSameAtEveryThreadCount) {
    for (const bool tree : {true, false}) {
        std::vector<std::wstring> files = list;
#if !defined(_WIN32)
        // Files that cannot be opened give their messages in list order.
        if (!tree) {
            ASSERT_EQ(mkfifo((dir / "fifo1").c_str(), 0600), 0);
            ASSERT_EQ(mkfifo((dir / "fifo2").c_str(), 0600), 0);
            files.insert(files.begin() + 1, dir.W("fifo1"));
            files.insert(files.begin() + 4, dir.W("fifo2"));
        }
#endif
        std::vector<int> one_values;
        std::string one_messages;
        const std::string one = Pack(1, tree, nullptr, &one_values, &one_messages, files);
        ASSERT_FALSE(one.empty());
        ASSERT_GT(one_values.size(), 20u);
        for (const unsigned threads : {2u, 8u, 0u}) {
            std::vector<int> values;
            std::string messages;
            const std::string archive = Pack(threads, tree, nullptr, &values, &messages, files);
            EXPECT_TRUE(archive == one) << threads << " threads, " << (tree ? "tree" : "list");
            EXPECT_EQ(values, one_values) << threads;
            EXPECT_EQ(messages, one_messages) << threads;
        }
        // And the class writes that archive too.
        RecordingCallback progress;
        CParcelon zipper;
        zipper.SetCallbacker(&progress);
        StderrCapture err;
        ASSERT_TRUE(tree ? zipper.ZipDirectory(dir.W("src").c_str(), dir.W("class.zip").c_str(), true, 6, nullptr, 0)
                         : zipper.ZipFiles(files, dir.W("class.zip").c_str(), 6, nullptr));
        err.Text();
        EXPECT_TRUE(ReadFile(dir / "class.zip") == one) << (tree ? "tree" : "list");
#if !defined(_WIN32)
        if (!tree) {
            EXPECT_NE(one_messages.find(Narrow(dir / "fifo1")), std::string::npos);
            EXPECT_LT(one_messages.find(Narrow(dir / "fifo1")), one_messages.find(Narrow(dir / "fifo2")));
            fs::remove(dir / "fifo1");
            fs::remove(dir / "fifo2");
        }
#endif

    }
    EXPECT_EQ(Testzip(dir / "t8.zip", nullptr), "");
}

TEST_F(ThreadsTest, EncryptedEntriesOpenAtEveryThreadCount) {
    for (const unsigned threads : {1u, 2u, 8u}) {
        const std::string archive = Pack(threads, true, "pw", nullptr, nullptr, list);
        ASSERT_FALSE(archive.empty());
        const fs::path path = dir / ("t" + std::to_string(threads) + ".zip");
        EXPECT_EQ(Testzip(path, "pw"), "") << threads;
        const fs::path out = dir / ("out" + std::to_string(threads));
        fs::create_directories(out);
        CParcelon unzipper;
        EXPECT_TRUE(unzipper.UnzipFile(Narrow(path).c_str(), Narrow(out).c_str(), "pw")) << threads;
        EXPECT_TRUE(ReadFile(out / "sub/big.bin") == ReadFile(dir / "src/sub/big.bin")) << threads;
    }
}

#if defined(__linux__)
TEST_F(ThreadsTest, TheClassNeverStartsAThreadAndWorkersEndWithTheirCall) {
    const std::size_t before = ThreadCount();
    ASSERT_GT(before, 0u);
    ThreadWatch watch;
    CParcelon zipper;
    zipper.SetCallbacker(&watch);
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("class.zip").c_str(), true, 6, "pw", 0));
    EXPECT_EQ(watch.most, before) << "the class started a thread";

    // The C interface with one thread (its default) neither; with four the
    // workers are there while it packs and gone when it returns.
    for (const unsigned threads : {1u, 4u}) {
        Archiver a;
        ThreadWatch c_watch;
        parcelon_set_progress(a, WatchThreads, &c_watch);
        parcelon_set_threads(a, threads);
        ASSERT_EQ(parcelon_zip_directory(a, dir.W("src").c_str(), dir.W("c.zip").c_str(), 1, 6, nullptr, 0, nullptr,
                                         0, nullptr, 0),
                  1);
        EXPECT_EQ(c_watch.most, threads == 1 ? before : before + threads);
        EXPECT_EQ(ThreadCount(), before) << threads << " threads: a worker outlived its call";
    }
}
#endif

TEST_F(ThreadsTest, AStopAtAnyMomentLeavesAWholeArchive) {
    // Stops from another thread after a random wait: the archive holds the
    // list's first entries in order, each of them a prefix of its file (the
    // last one cut short, perhaps), and every one of them reads back.
    std::mt19937 random(20261208);
    for (const unsigned threads : {1u, 2u, 8u}) {
        for (int round = 0; round < 4; ++round) {
            const char* password = round % 2 ? "pw" : nullptr;
            Archiver a;
            parcelon_set_threads(a, threads);
            const int wait_us = static_cast<int>(random() % 40000);
            std::thread stopper([&] {
                std::this_thread::sleep_for(std::chrono::microseconds(wait_us));
                parcelon_stop(a);
            });
            std::vector<const wchar_t*> paths;
            for (const std::wstring& f : list) paths.push_back(f.c_str());
            const fs::path archive = dir / "stopped.zip";
            const int ok = parcelon_zip_files(a, paths.data(), paths.size(), Wide(archive).c_str(), 6, password);
            stopper.join();
            ASSERT_EQ(ok, 1) << threads << " threads, round " << round;

            const std::vector<ZipEntryInfo> entries = ReadCentralDirectory(archive);
            ASSERT_LE(entries.size(), list.size());
            const fs::path out = dir / "out";
            fs::remove_all(out);
            fs::create_directories(out);
            CParcelon unzipper;
            StderrCapture err;
            EXPECT_TRUE(unzipper.UnzipFile(Narrow(archive).c_str(), Narrow(out).c_str(), password))
                << threads << " threads, round " << round << ": " << err.Text();
            for (std::size_t i = 0; i < entries.size(); ++i) {
                const fs::path source(list[i]);
                EXPECT_EQ(entries[i].name, Narrow(source.filename()));
                const std::string packed = ReadFile(out / source.filename());
                const std::string whole = ReadFile(source);
                EXPECT_TRUE(whole.compare(0, packed.size(), packed) == 0) << entries[i].name;
                if (i + 1 < entries.size()) {
                    EXPECT_EQ(packed.size(), whole.size()) << entries[i].name;
                }
            }
        }
    }
}

// Threads: Stop from a second thread while ZipFiles or ZipDirectory runs,
// and independent objects working side by side. These run in every suite,
// and on their own under ThreadSanitizer (scripts/test.sh), which reports
// any access to shared state that is not synchronised.
//
// The stopping thread and the packing thread hand over through relaxed
// atomics only, which give ThreadSanitizer no ordering between them: a stop
// flag that were not itself safe to share would be reported.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "Parcelon.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

using Clock = std::chrono::steady_clock;

// Waits (yielding) until flag is set or five seconds have passed.
bool AwaitRelaxed(const std::atomic<bool>& flag) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!flag.load(std::memory_order_relaxed)) {
        if (Clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

// On the packing thread: at the first percentage of at least stop_at, lets
// the stopping thread go and waits until it has called Stop.
struct HandOverCallback : TZipProgressCallback {
    int stop_at = 1;
    std::atomic<bool> started{false};
    std::atomic<bool> stopped{false};
    std::atomic<bool> handed_over{true};
    std::vector<int> values;
    void OnProgress(int nValue) override {
        values.push_back(nValue);
        if (nValue == 999 || nValue < stop_at || started.load(std::memory_order_relaxed)) return;
        started.store(true, std::memory_order_relaxed);
        handed_over.store(AwaitRelaxed(stopped), std::memory_order_relaxed);
    }
};

std::uint64_t PackedBytes(const fs::path& archive) {
    std::uint64_t total = 0;
    for (const ZipEntryInfo& e : ReadCentralDirectory(archive)) total += e.uncompressed_size;
    return total;
}

class ConcurrencyTest : public ::testing::Test {
protected:
    TempDir dir;
    std::vector<std::wstring> files;
    std::uint64_t total = 0;

    void SetUp() override {
        fs::create_directories(dir / "src/sub");
        for (int i = 0; i < 8; ++i) {
            const std::string name = (i % 2 ? "src/sub/f" : "src/f") + std::to_string(i) + ".txt";
            const std::string data = PatternBytes(256 << 10, static_cast<unsigned>(i + 1));
            WriteFile(dir / name, data);
            files.push_back(dir.W(name));
            total += data.size();
        }
    }

    // Runs pack on this thread while another thread calls Stop on the same
    // object once stop_at per cent are done; checks the archive is complete
    // in form and shorter.
    void StopWhilePacking(const char* what, const std::function<bool(CParcelon&)>& pack, const char* password,
                          int stop_at) {
        HandOverCallback callback;
        callback.stop_at = stop_at;
        CParcelon zipper;
        zipper.SetCallbacker(&callback);
        std::thread stopper([&]() {
            if (!AwaitRelaxed(callback.started)) return;
            zipper.Stop();
            callback.stopped.store(true, std::memory_order_relaxed);
        });
        const bool ok = pack(zipper);
        stopper.join();
        ASSERT_TRUE(ok) << what;
        ASSERT_TRUE(callback.started.load()) << what << ": no percentage was reported";
        EXPECT_TRUE(callback.handed_over.load()) << what << ": the stopping thread never ran";
        ASSERT_FALSE(callback.values.empty());
        EXPECT_EQ(callback.values.back(), 100) << what;

        const fs::path archive = dir / "out.zip";
        const std::uint64_t packed = PackedBytes(archive);
        EXPECT_LT(packed, total) << what;
        EXPECT_LT(ReadCentralDirectory(archive).size(), files.size()) << what;
        // Well-formed: the library reads every entry back with its CRC.
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        CParcelon unzipper;
        StderrCapture err;
        EXPECT_TRUE(unzipper.UnzipFile(Narrow(archive).c_str(), dir.A("out").c_str(), password)) << what;
        EXPECT_EQ(err.Text(), "") << what;
        // Every later packing call on the object, or a copy, adds nothing.
        CParcelon copy(zipper);
        EXPECT_TRUE(copy.ZipFiles(files, dir.W("later.zip").c_str(), 6, password)) << what;
        EXPECT_TRUE(ReadCentralDirectory(dir / "later.zip").empty()) << what;
    }
};

} // namespace

// Without a password the stop comes after the first reported percentage,
// in the middle of the first file: its entry is cut short, with the CRC-32
// of what it holds. With a password it comes at 12 per cent, as the first
// of eight equal files has just been read whole, and is seen before the
// next file. (An encrypted entry cut in the middle runs on to the byte
// where its CRC fits the header's check byte: faults_test.cpp.)
TEST_F(ConcurrencyTest, StopFromAnotherThreadEndsZipFilesWithAShorterWellFormedArchive) {
    for (const char* password : {static_cast<const char*>(nullptr), "pw"}) {
        StopWhilePacking(password ? "ZipFiles, encrypted" : "ZipFiles",
                         [&](CParcelon& z) { return z.ZipFiles(files, dir.W("out.zip").c_str(), 1, password); },
                         password, password ? 12 : 1);
    }
}

TEST_F(ConcurrencyTest, StopFromAnotherThreadEndsZipDirectoryWithAShorterWellFormedArchive) {
    for (const char* password : {static_cast<const char*>(nullptr), "pw"}) {
        StopWhilePacking(password ? "ZipDirectory, encrypted" : "ZipDirectory", [&](CParcelon& z) {
            return z.ZipDirectory(dir.W("src").c_str(), dir.W("out.zip").c_str(), true, 1, password, 0);
        }, password, password ? 12 : 1);
    }
}

TEST_F(ConcurrencyTest, ObjectsOnSeparateThreadsShareNothing) {
    // Four threads, each with its own object, callback, copies and files,
    // pack, repack and extract at once; every result must be what one
    // thread alone gets.
    constexpr int kThreads = 4;
    struct Outcome {
        bool ok = false;
        std::vector<std::string> names;
        std::vector<int> last_values;
        std::string extracted;
    };
    std::vector<Outcome> outcomes(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t]() {
            const std::string tag = "t" + std::to_string(t);
            const std::string password = t % 2 ? "pw" + tag : std::string();
            RecordingCallback first;
            RecordingCallback second;
            CParcelon zipper;
            zipper.SetCallbacker(&first);
            bool ok = zipper.ZipDirectory(dir.W("src").c_str(), dir.W(tag + "-dir.zip").c_str(), true, 1,
                                          password.c_str(), 0);
            // Copies and moves carry the base directory and the callback.
            CParcelon copy(zipper);
            copy.SetCallbacker(&second);
            CParcelon moved(std::move(copy));
            ok = moved.ZipFiles({files[0], files[1]}, dir.W(tag + "-list.zip").c_str(), 6, password.c_str()) && ok;
            CParcelon assigned;
            assigned = moved;
            assigned.SetCallbacker(nullptr);
            fs::create_directories(dir / (tag + "-out"));
            ok = assigned.UnzipFile(dir.A(tag + "-list.zip").c_str(), dir.A(tag + "-out").c_str(),
                                    password.empty() ? nullptr : password.c_str()) && ok;
            outcomes[t].ok = ok;
            outcomes[t].names = EntryNames(dir / (tag + "-list.zip"));
            outcomes[t].last_values = {first.values.empty() ? -1 : first.values.back(),
                                       second.values.empty() ? -1 : second.values.back()};
            outcomes[t].extracted = ReadFile(dir / (tag + "-out") / "sub" / "f1.txt");
        });
    }
    for (std::thread& thread : threads) thread.join();
    const std::string f1 = ReadFile(dir / "src/sub/f1.txt");
    // Named as ZipDirectory names it, whatever separator the host's path has.
    const std::string f1_name = "sub\\f1.txt";
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_TRUE(outcomes[t].ok) << t;
        EXPECT_EQ(outcomes[t].names, (std::vector<std::string>{"f0.txt", "sub\\", f1_name})) << t;
        EXPECT_EQ(outcomes[t].last_values, (std::vector<int>{100, 100})) << t;
        EXPECT_TRUE(outcomes[t].extracted == f1) << t;
        EXPECT_EQ(ReadCentralDirectory(dir / ("t" + std::to_string(t) + "-dir.zip")).size(), 12u) << t;
    }
}

TEST(ConcurrencyNamesTest, EightObjectsPackTreesWithNamesBeyondAsciiAtOnce) {
    // Every operation reads the code page once (its CodePageScope, which on
    // POSIX asks the C library for the environment's locale) and converts
    // every name through it: eight at once share nothing.
    constexpr int kObjects = 8;
    TempDir dir;
    for (int t = 0; t < kObjects; ++t) {
        const std::string root = "src" + std::to_string(t);
        fs::create_directories(dir / (root + u8"/数据/ü"));
        for (int i = 0; i < 5; ++i)
            WriteFile(dir / (root + u8"/数据/ü/名前" + std::to_string(i) + ".txt"), PatternBytes(3000 + i, i));
    }
    std::vector<std::vector<std::string>> names(kObjects);
    std::vector<int> ok(kObjects, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kObjects; ++t) {
        threads.emplace_back([&, t]() {
            CParcelon zipper;
            const std::string tag = std::to_string(t);
            ok[t] = zipper.ZipDirectory(dir.W("src" + tag).c_str(), dir.W("out" + tag + ".zip").c_str(), true, 6,
                                        t % 2 ? "pw" : nullptr, 0);
            names[t] = EntryNames(dir / ("out" + tag + ".zip"));
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 1; t < kObjects; ++t) {
        EXPECT_TRUE(ok[t]) << t;
        EXPECT_EQ(names[t], names[0]) << t;
    }
    EXPECT_EQ(names[0].size(), 10u);
}

// Reading calls with threads: the same files, results, reports and progress
// at 1, 2, 8 and every processor, whatever happens to the entries; a stop
// leaves nothing half-written. Also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ParcelonC.h"
#include "support/Archiver.h"
#include "support/TestSupport.h"
#include "support/UnzipSupport.h"
#include "support/ZipBuilder.h"
#include "text/Utf8.h"

using namespace testing_support;

namespace {

struct Outcome {
    int result = -1;
    int last_error = -1;
    std::vector<std::pair<int, std::string>> reports;
    std::vector<int> progress;
    std::map<std::string, std::string> files; // what the destination holds afterwards
};

// Progress that says only that the extraction has begun.
void PARCELON_CALL MarkStarted(int, void* flag) { static_cast<std::atomic<bool>*>(flag)->store(true); }
void PARCELON_CALL KeepProgress(int value, void* user_data) { static_cast<Outcome*>(user_data)->progress.push_back(value); }
void PARCELON_CALL KeepReport(int code, const char* path, const char*, void* user_data) {
    static_cast<Outcome*>(user_data)->reports.emplace_back(code, path);
}

std::map<std::string, std::string> Contents(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const std::string& path : unzip_support::Listing(root))
        files[path] = path.back() == '/' ? std::string() : ReadFile(root / fs::u8path(path));
    return files;
}

// An archive of many small entries and a few large ones, with damaged
// entries, duplicate names, folders and names that cannot be extracted.
std::string MixedArchive() {
    ZipBuilder zip;
    std::vector<BuiltEntry> entries;
    for (int i = 0; i < 60; ++i) {
        const std::string name = "d" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".txt";
        entries.push_back(zip.Add(name, PatternBytes(static_cast<std::size_t>(100 + i * 37), i), i % 3 == 0 ? 0 : 8));
    }
    entries.push_back(zip.Add("big/one.bin", PatternBytes(5u << 20, 77), 8));
    entries.push_back(zip.Add("big/two.bin", std::string(6u << 20, 'z'), 8));
    // Large enough to be decoded ahead of their turn with threads: one
    // sound, one damaged (decoded again in its turn, and refused then).
    entries.push_back(zip.Add("huge/sound.bin", PatternBytes(9u << 20, 78), 8, 1));
    entries.push_back(zip.Add("huge/damaged.bin", std::string(9u << 20, 'q'), 8, 1));
    entries.push_back(zip.Add("d1/f8.txt", "a later entry of the same name"));
    entries.push_back(zip.Add("../escape.txt", "never"));
    // A file, then a name that needs a folder where that file is: the
    // folder cannot be made, whatever entries are prepared ahead.
    entries.push_back(zip.Add("clash", "a file"));
    entries.push_back(zip.Add("clash/inner.txt", "cannot be"));
    entries.push_back(zip.Add("empty/", ""));
    entries[10].crc ^= 1;                   // damaged (recorded CRC)
    entries[41].uncompressed_size += 1;     // damaged (recorded size)
    entries[61].crc ^= 0x100;               // a large one damaged (big/two.bin)
    entries[63].crc ^= 0x10000;             // and a huge one
    return zip.Archive(entries);
}

class ReadingThreadsTest : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override { WriteFile(dir / "mixed.zip", MixedArchive()); }

    Outcome Extract(unsigned threads, int keep_going, int overwrite, bool pre_existing) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out/d1");
        if (pre_existing) WriteFile(dir / "out/d1/f15.txt", "there before");
        Archiver a;
        Outcome outcome;
        parcelon_set_progress(a, KeepProgress, &outcome);
        parcelon_set_report(a, KeepReport, &outcome);
        EXPECT_EQ(parcelon_set_option(a, PARCELON_OPT_STDERR, 0), 1);
        EXPECT_EQ(parcelon_set_threads(a, threads), 1);
        EXPECT_EQ(parcelon_set_option(a, PARCELON_OPT_KEEP_GOING, keep_going), 1);
        EXPECT_EQ(parcelon_set_option(a, PARCELON_OPT_OVERWRITE, overwrite), 1);
        const std::string zip = parcelon::WideToUtf8(dir.W("mixed.zip"));
        const std::string out = parcelon::WideToUtf8(dir.W("out"));
        outcome.result = parcelon_extract_utf8(a, zip.c_str(), out.c_str(), nullptr, nullptr, 0);
        outcome.last_error = parcelon_last_error(a);
        outcome.files = Contents(dir / "out");
        return outcome;
    }
};

} // namespace

TEST_F(ReadingThreadsTest, EveryThreadCountGivesTheSameFilesResultsReportsAndProgress) {
    const struct {
        int keep_going;
        int overwrite;
        bool pre_existing;
    } settings[] = {{1, PARCELON_OVERWRITE_REPLACE, false},
                    {0, PARCELON_OVERWRITE_REPLACE, false},
                    {1, PARCELON_OVERWRITE_SKIP, true},
                    {1, PARCELON_OVERWRITE_FAIL, true}};
    for (const auto& s : settings) {
        const Outcome one = Extract(1, s.keep_going, s.overwrite, s.pre_existing);
        ASSERT_FALSE(one.reports.empty());
        for (const unsigned threads : {2u, 8u, 0u}) {
            const Outcome many = Extract(threads, s.keep_going, s.overwrite, s.pre_existing);
            const std::string shown = std::to_string(threads) + " threads, keep going " +
                                      std::to_string(s.keep_going) + ", overwrite " + std::to_string(s.overwrite);
            EXPECT_EQ(many.result, one.result) << shown;
            EXPECT_EQ(many.last_error, one.last_error) << shown;
            EXPECT_EQ(many.reports, one.reports) << shown;
            EXPECT_TRUE(many.files == one.files) << shown;
            for (const auto& [path, bytes] : many.files)
                if (one.files.count(path) == 0) ADD_FAILURE() << shown << ": more " << path;
            for (const auto& [path, bytes] : one.files)
                if (many.files.count(path) == 0) ADD_FAILURE() << shown << ": less " << path;
            EXPECT_TRUE(std::is_sorted(many.progress.begin(), many.progress.end())) << shown;
            EXPECT_EQ(std::adjacent_find(many.progress.begin(), many.progress.end()), many.progress.end()) << shown;
            ASSERT_FALSE(many.progress.empty());
            EXPECT_EQ(many.progress.back(), 100) << shown;
        }
    }
    // The duplicate name: the later entry's bytes, at every count.
    const Outcome last = Extract(8, 1, PARCELON_OVERWRITE_REPLACE, false);
    EXPECT_EQ(last.files.at("d1/f8.txt"), "a later entry of the same name");
    EXPECT_EQ(last.files.count("big/two.bin"), 0u);
    EXPECT_TRUE(last.files.at("big/one.bin") == PatternBytes(5u << 20, 77));
    EXPECT_EQ(last.files.at("clash"), "a file");
    EXPECT_TRUE(last.files.at("huge/sound.bin") == PatternBytes(9u << 20, 78));
    EXPECT_EQ(last.files.count("huge/damaged.bin"), 0u);
    EXPECT_EQ(last.files.count("clash/inner.txt"), 0u);
}

TEST_F(ReadingThreadsTest, TestReportsTheSameEntriesAtEveryThreadCount) {
    std::vector<std::pair<int, std::string>> first;
    for (const unsigned threads : {1u, 2u, 8u, 0u}) {
        Archiver a;
        Outcome outcome;
        parcelon_set_report(a, KeepReport, &outcome);
        parcelon_set_option(a, PARCELON_OPT_STDERR, 0);
        parcelon_set_threads(a, threads);
        const std::string zip = parcelon::WideToUtf8(dir.W("mixed.zip"));
        EXPECT_EQ(parcelon_test_utf8(a, zip.c_str(), nullptr), 0);
        if (threads == 1) first = outcome.reports;
        EXPECT_EQ(outcome.reports, first) << threads;
    }
    EXPECT_EQ(first.size(), 4u) << "the four damaged entries, in directory order";
}

TEST_F(ReadingThreadsTest, AStopFromAnotherThreadLeavesNoHalfWrittenFile) {
    // Sound entries only, large enough that the stop lands among them.
    ZipBuilder zip;
    std::vector<BuiltEntry> entries;
    for (int i = 0; i < 16; ++i) entries.push_back(zip.Add("s/" + std::to_string(i), PatternBytes(2u << 20, i), 8));
    WriteFile(dir / "sound.zip", zip.Archive(entries));
    for (const unsigned threads : {2u, 0u}) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        Archiver a;
        parcelon_set_option(a, PARCELON_OPT_STDERR, 0);
        parcelon_set_threads(a, threads);
        std::atomic<bool> started{false};
        parcelon_set_progress(a, MarkStarted, &started);
        std::thread stopper([&]() {
            while (!started.load()) std::this_thread::yield();
            parcelon_stop(a);
        });
        const std::string zip_path = parcelon::WideToUtf8(dir.W("sound.zip"));
        const std::string out = parcelon::WideToUtf8(dir.W("out"));
        const int result = parcelon_extract_utf8(a, zip_path.c_str(), out.c_str(), nullptr, nullptr, 0);
        stopper.join();
        // (A machine fast enough to finish before the stop lands extracts
        // everything.)
        EXPECT_EQ(parcelon_last_error(a), result == 0 ? PARCELON_E_STOPPED : PARCELON_OK) << threads;
        std::size_t files = 0;
        for (const auto& [path, bytes] : Contents(dir / "out")) {
            EXPECT_EQ(path.find(".parcelon."), std::string::npos) << path;
            if (path.back() == '/') continue;
            ++files;
            EXPECT_TRUE(bytes == PatternBytes(2u << 20, std::stoi(path.substr(2)))) << path << " is whole";
        }
        if (result == 1) {
            EXPECT_EQ(files, 16u);
        }
    }
}

// Packing directory trees: layout, progress protocol, stop, the archive's
// own file, link loops and files that are no files.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>

#include "Parcelon.h"
#include "create/DirectoryWalk.h"
#include "support/TestSupport.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

using namespace testing_support;

namespace {

class ZipDirectoryTest : public ::testing::Test {
protected:
    TempDir dir;

    void Make(const std::string& name, const std::string& bytes = "x") {
        fs::create_directories((dir / name).parent_path());
        WriteFile(dir / name, bytes);
    }

    // A tree three levels deep.
    void MakeTree() {
        Make("src/top.txt", "top");
        Make("src/.hidden", "dot file");
        Make("src/a/one.txt", PatternBytes(20000, 1));
        Make("src/a/b/two.txt", PatternBytes(30000, 2));
        Make("src/a/b/c/three.txt", PatternBytes(40000, 3));
        Make("src/a/b/c/four.txt", "four");
        fs::create_directories(dir / "src/empty/deeper");
    }

    std::vector<std::string> Names(const std::string& archive) { return EntryNames(dir / archive); }
};

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

} // namespace

TEST_F(ZipDirectoryTest, NamesFilesRelativeToTheSourceWithAFolderEntryBeforeEach) {
    MakeTree();
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("out.zip").c_str(), true, 6, nullptr, 0));
    const auto names = Names("out.zip");
    EXPECT_EQ(Sorted(names), Sorted({".hidden", "top.txt", "a\\", "a\\one.txt", "a\\b\\", "a\\b\\two.txt",
                                     "a\\b\\c\\", "a\\b\\c\\three.txt", "a\\b\\c\\", "a\\b\\c\\four.txt"}));
    // Each file below the source comes directly after its own folder entry.
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::size_t slash = names[i].rfind('\\');
        if (slash == std::string::npos || names[i].back() == '\\') continue;
        ASSERT_GT(i, 0u);
        EXPECT_EQ(names[i - 1], names[i].substr(0, slash + 1));
    }
    // Depth first: once the walk has left a folder, no file of that folder
    // or below it follows. (A folder's own files may stand on both sides of
    // a subfolder: the walk enters each subfolder where the enumeration
    // meets it, which on Windows is in the middle of the sorted names.)
    std::vector<std::string> left;
    std::string current;
    for (const auto& n : names) {
        if (n.back() == '\\') continue;
        const std::string folder = n.substr(0, n.rfind('\\') + 1);
        for (const auto& done : left) EXPECT_NE(folder.compare(0, done.size(), done), 0) << n << " after leaving " << done;
        if (!current.empty() && folder.compare(0, current.size(), current) != 0) left.push_back(current);
        current = folder;
    }
}

TEST_F(ZipDirectoryTest, WithoutRecursionOnlyTheDirectorysOwnFiles) {
    MakeTree();
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("out.zip").c_str(), false, 6, nullptr, 0));
    EXPECT_EQ(Sorted(Names("out.zip")), Sorted({".hidden", "top.txt"}));
}

TEST_F(ZipDirectoryTest, TrailingSeparatorsMakeNoDifference) {
    MakeTree();
    const std::wstring base = dir.W("src");
    std::vector<std::string> first;
    for (const std::wstring& source : {base, base + L"\\", base + L"/"}) {
        CParcelon zipper;
        ASSERT_TRUE(zipper.ZipDirectory(source.c_str(), dir.W("out.zip").c_str(), true, 6, nullptr, 0));
        const auto names = Sorted(Names("out.zip"));
        if (first.empty()) first = names;
        EXPECT_EQ(names, first) << Narrow(source);
    }
    EXPECT_EQ(first.size(), 10u);
}

TEST_F(ZipDirectoryTest, AMissingSourceGivesAnEmptyArchive) {
    RecordingCallback progress;
    CParcelon zipper;
    zipper.SetCallbacker(&progress);
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("nothing").c_str(), dir.W("out.zip").c_str(), true, 6, nullptr, 0));
    EXPECT_TRUE(Names("out.zip").empty());
    EXPECT_EQ(progress.values, std::vector<int>({999, 100}));
}

TEST_F(ZipDirectoryTest, AnOldArchiveThatCannotBeDeletedFailsSilently) {
    MakeTree();
    Make("readonly.zip", "old");
    fs::permissions(dir / "readonly.zip", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    fs::create_directories(dir / "folder.zip");

    for (const char* target : {"readonly.zip", "folder.zip", "missing/out.zip"}) {
        RecordingCallback progress;
        CParcelon zipper;
        zipper.SetCallbacker(&progress);
        StderrCapture err;
        EXPECT_FALSE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W(target).c_str(), true, 6, nullptr, 0)) << target;
        EXPECT_EQ(err.Text(), "") << target;
        EXPECT_TRUE(progress.values.empty()) << target;
        // The base directory is already the new source.
        ASSERT_TRUE(zipper.ZipFiles({dir.W("src") + L"\\a\\one.txt"}, dir.W("check.zip").c_str(), 6, nullptr));
        EXPECT_EQ(Names("check.zip"), std::vector<std::string>({"a\\", "a\\one.txt"})) << target;
    }
    EXPECT_EQ(ReadFile(dir / "readonly.zip"), "old");
}

TEST_F(ZipDirectoryTest, ProgressRunsFrom999ThroughRisingPercentagesTo100) {
    MakeTree();
    RecordingCallback progress;
    CParcelon zipper;
    zipper.SetCallbacker(&progress);
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("out.zip").c_str(), true, 6, nullptr, 0));
    ASSERT_GE(progress.values.size(), 4u);
    EXPECT_EQ(progress.values.front(), 999);
    EXPECT_EQ(progress.values.back(), 100);
    const std::vector<int> middle(progress.values.begin() + 1, progress.values.end() - 1);
    EXPECT_TRUE(std::is_sorted(middle.begin(), middle.end()));
    EXPECT_EQ(std::adjacent_find(middle.begin(), middle.end()), middle.end());
    EXPECT_EQ(middle.back(), 100) << "the last block completes the total";
}

TEST_F(ZipDirectoryTest, StopBeforeAndDuringTheRun) {
    MakeTree();
    {
        RecordingCallback progress;
        CParcelon zipper;
        zipper.SetCallbacker(&progress);
        zipper.Stop();
        ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("out.zip").c_str(), true, 6, nullptr, 0));
        EXPECT_TRUE(Names("out.zip").empty());
        EXPECT_EQ(progress.values, std::vector<int>({999, 100}));
    }
    {
        struct StopOnFirstPercent : TZipProgressCallback {
            CParcelon* target = nullptr;
            std::vector<int> values;
            void OnProgress(int v) override {
                values.push_back(v);
                if (v != 999) target->Stop();
            }
        } progress;
        CParcelon zipper;
        progress.target = &zipper;
        zipper.SetCallbacker(&progress);
        ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("out.zip").c_str(), true, 6, nullptr, 0));
        const auto names = Names("out.zip");
        // The first reported percentage comes from a file with data; the
        // files after it are missing.
        EXPECT_GE(names.size(), 1u);
        EXPECT_LT(names.size(), 10u);
        EXPECT_EQ(progress.values.back(), 100);
    }
}

TEST_F(ZipDirectoryTest, TheArchiveInsideTheTreeIsNeverPackedIntoItself) {
    MakeTree();
    for (const char* target : {"src/out.zip", "src/a/b/c/out.zip"}) {
        fs::remove(dir / "src/out.zip"); // the first round's archive is an ordinary file now
        WriteFile(dir / target, PatternBytes(5000)); // an old one, replaced
        CParcelon zipper;
        ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W(target).c_str(), true, 6, nullptr, 0));
        const auto names = Names(target);
        EXPECT_EQ(names.size(), 10u) << target;
        for (const auto& n : names) EXPECT_EQ(n.find("out.zip"), std::string::npos) << target;
    }
}

TEST_F(ZipDirectoryTest, EmptyListsPackExactlyWhatTheUnfilteredOverloadPacks) {
    MakeTree();
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("plain.zip").c_str(), true, 6, nullptr, 0));
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("lists.zip").c_str(), {}, {}, true, 6, nullptr, 0));
    EXPECT_EQ(ReadFile(dir / "plain.zip"), ReadFile(dir / "lists.zip"));
}

TEST_F(ZipDirectoryTest, IncludeAndExcludeListsChooseTheFiles) {
    MakeTree();
    Make("src/a/notes.md", "md");
    // Not "temp": folder names count all the way up the path, and the
    // system's temporary folder is called Temp on Windows.
    Make("src/scratch/x.txt", "scratch");
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("inc.zip").c_str(), {L"*.TXT"}, {}, true, 6, nullptr, 0));
    EXPECT_EQ(Sorted(Names("inc.zip")),
              Sorted({"top.txt", "a\\", "a\\one.txt", "a\\b\\", "a\\b\\two.txt", "a\\b\\c\\", "a\\b\\c\\three.txt",
                      "a\\b\\c\\", "a\\b\\c\\four.txt", "scratch\\", "scratch\\x.txt"}));

    ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("exc.zip").c_str(), {}, {L"scratch", L"b"}, true, 6,
                                    nullptr, 0));
    EXPECT_EQ(Sorted(Names("exc.zip")), Sorted({".hidden", "top.txt", "a\\", "a\\one.txt", "a\\", "a\\notes.md"}));

    // Without recursion the lists never reach below the source.
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("flat.zip").c_str(), {L"*.txt"}, {}, false, 6,
                                    nullptr, 0));
    EXPECT_EQ(Names("flat.zip"), std::vector<std::string>({"top.txt"}));
}

TEST_F(ZipDirectoryTest, TheTotalCountsOnlyTheCollectedFiles) {
    MakeTree();
    std::vector<parcelon::PackItem> list;
    long long total = 0;
    parcelon::CollectFilteredFiles(list, total, dir.W("src"), true, {L"*.txt"}, {}, 0);
    EXPECT_EQ(list.size(), 5u);
    EXPECT_EQ(total, 3 + 20000 + 30000 + 40000 + 4);
    // The walk appends; it never clears what the caller holds.
    parcelon::CollectFiles(list, total, dir.W("src"), false, 0);
    EXPECT_EQ(list.size(), 7u);
    EXPECT_EQ(total, 3 + 20000 + 30000 + 40000 + 4 + 3 + 8);
    for (const parcelon::PackItem& item : list) {
        EXPECT_EQ(item.path.rfind(dir.W("src") + L"\\", 0), 0u);
        // Named as the walk descended: the path below the source.
        EXPECT_EQ(dir.W("src") + L"\\" + item.name, item.path);
        EXPECT_EQ(item.name.rfind(item.folder, 0), 0u);
    }
}

TEST_F(ZipDirectoryTest, AStopEndsTheWalkWhereItStands) {
    // ZipDirectory hands the walk its stop flag: a Stop from the 999
    // callback, or from another thread, need not wait for a walk of a
    // hundred thousand files.
    MakeTree();
    std::atomic<bool> stop{false};
    parcelon::WalkGuards guards;
    guards.stop = &stop;
    std::vector<parcelon::PackItem> list;
    long long total = 0;
    parcelon::CollectFiles(list, total, dir.W("src"), true, 0, guards);
    EXPECT_EQ(list.size(), 6u);
    stop = true;
    list.clear();
    total = 0;
    parcelon::CollectFiles(list, total, dir.W("src"), true, 0, guards);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(total, 0);
}

TEST_F(ZipDirectoryTest, OnlyRecentFilesWhenMinutesAreGiven) {
    MakeTree();
    const auto now = fs::file_time_type::clock::now();
    fs::last_write_time(dir / "src/top.txt", now - std::chrono::minutes(30));
    fs::last_write_time(dir / "src/a/one.txt", now - std::chrono::minutes(3));
    for (auto* old : {"src/.hidden", "src/a/b/two.txt", "src/a/b/c/three.txt", "src/a/b/c/four.txt"})
        fs::last_write_time(dir / old, now - std::chrono::hours(5));
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("recent.zip").c_str(), true, 6, nullptr, 10));
    EXPECT_EQ(Names("recent.zip"), std::vector<std::string>({"a\\", "a\\one.txt"}));
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("all.zip").c_str(), true, 6, nullptr, -5));
    EXPECT_EQ(Names("all.zip").size(), 10u);
}

#if !defined(_WIN32)
TEST_F(ZipDirectoryTest, ALinkBackToAnAncestorIsNotEnteredAgain) {
    MakeTree();
    fs::create_directory_symlink(dir / "src", dir / "src/a/b/loop");
    fs::create_directory_symlink(dir / "src/a/b/c", dir / "src/shortcut");
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("out.zip").c_str(), true, 6, nullptr, 0));
    const auto names = Names("out.zip");
    // A link to a directory elsewhere is walked like a directory.
    EXPECT_EQ(std::count(names.begin(), names.end(), "shortcut\\three.txt"), 1);
    for (const auto& n : names) EXPECT_EQ(n.find("loop"), std::string::npos) << n;
    EXPECT_EQ(names.size(), 14u);
}

TEST_F(ZipDirectoryTest, FifosAndBrokenLinksArePassedOver) {
    MakeTree();
    ASSERT_EQ(mkfifo((dir / "src/pipe").c_str(), 0600), 0);
    fs::create_symlink(dir / "src/gone", dir / "src/dangling");
    CParcelon zipper;
    StderrCapture err;
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("out.zip").c_str(), true, 6, nullptr, 0));
    EXPECT_EQ(err.Text(), "");
    EXPECT_EQ(Names("out.zip").size(), 10u);
}
#endif

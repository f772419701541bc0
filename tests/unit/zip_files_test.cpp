// Packing a list of files: naming, options, progress, stop and messages.
// Archives are checked with the suite's own central-directory reader, so
// these also run under Wine; tests/unit/interop_*.cpp adds the peers.
#include <gtest/gtest.h>

#include <algorithm>

#include "Parcelon.h"
#include "messages/Messages.h"
#include "create/Progress.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

class ZipFilesTest : public ::testing::Test {
protected:
    TempDir dir;

    std::wstring Make(const std::string& name, const std::string& bytes) {
        fs::create_directories((dir / name).parent_path());
        WriteFile(dir / name, bytes);
        return dir.W(name);
    }
};

struct StopAtCallback : TZipProgressCallback {
    CParcelon* target = nullptr;
    int stop_at = 0;
    std::vector<int> values;
    void OnProgress(int nValue) override {
        values.push_back(nValue);
        if (nValue >= stop_at && target != nullptr) target->Stop();
    }
};

} // namespace

TEST_F(ZipFilesTest, WritesPlainDeflateEntriesNamedByFileName) {
    const std::vector<std::wstring> files = {Make("a.txt", "alpha"), Make("sub/b.bin", PatternBytes(40000))};
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipFiles(files, dir.W("out.zip").c_str(), 6, nullptr));

    const auto entries = ReadCentralDirectory(dir / "out.zip");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "a.txt");
    EXPECT_EQ(entries[1].name, "b.bin");
    for (const ZipEntryInfo& e : entries) {
        EXPECT_EQ(e.method, 8);
        EXPECT_EQ(e.dos_date, 0x0021) << "1 January 1980";
        EXPECT_EQ(e.dos_time, 0);
        EXPECT_EQ(e.version_made_by, 0);
        EXPECT_EQ(e.extra_length, 0);
        EXPECT_EQ(e.comment_length, 0);
        EXPECT_EQ(e.external_attributes, 0u);
        EXPECT_EQ(e.flags & 0x0801, 0) << "neither encrypted nor flagged UTF-8";
    }
    EXPECT_EQ(entries[0].uncompressed_size, 5u);
    EXPECT_EQ(entries[1].uncompressed_size, 40000u);
}

TEST_F(ZipFilesTest, LevelsSetTheDeflateFlagBitsAndAlwaysUseDeflate) {
    const std::wstring file = Make("a.txt", PatternBytes(5000));
    const struct {
        unsigned level;
        int bits;
    } cases[] = {{0, 0}, {1, 6}, {2, 4}, {6, 0}, {8, 2}, {9, 2}, {static_cast<unsigned>(-1), 0}};
    for (const auto& c : cases) {
        CParcelon zipper;
        ASSERT_TRUE(zipper.ZipFiles({file}, dir.W("out.zip").c_str(), c.level, nullptr));
        const auto entries = ReadCentralDirectory(dir / "out.zip");
        ASSERT_EQ(entries.size(), 1u) << "level " << static_cast<int>(c.level);
        EXPECT_EQ(entries[0].method, 8);
        EXPECT_EQ(entries[0].flags & 6, c.bits) << "level " << static_cast<int>(c.level);
    }
}

TEST_F(ZipFilesTest, AnInvalidLevelLeavesTheFileOutWithAMessage) {
    const std::wstring bad = Make("a.txt", "alpha");
    CParcelon zipper;
    StderrCapture err;
    ASSERT_TRUE(zipper.ZipFiles({bad}, dir.W("out.zip").c_str(), 10, nullptr));
    EXPECT_EQ(err.Text(), MessageLine(parcelon::PackFailure::CannotAddEntry, dir.A("a.txt")));
    EXPECT_TRUE(EntryNames(dir / "out.zip").empty());
}

TEST_F(ZipFilesTest, PasswordsAreTrimmedAndBlankOnesMeanNoEncryption) {
    const std::wstring file = Make("a.txt", "secret");
    const struct {
        const char* password;
        bool encrypted;
    } cases[] = {{nullptr, false}, {"", false}, {" \t \n", false}, {"pw", true}, {"  pw  ", true}};
    for (const auto& c : cases) {
        CParcelon zipper;
        ASSERT_TRUE(zipper.ZipFiles({file}, dir.W("out.zip").c_str(), 6, c.password));
        const auto entries = ReadCentralDirectory(dir / "out.zip");
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ((entries[0].flags & 1) != 0, c.encrypted) << (c.password ? c.password : "(null)");
        // The 12-byte encryption header is the only size difference.
        const auto plain_size = entries[0].compressed_size;
        if (c.encrypted) {
            EXPECT_GE(plain_size, 12u);
        }
    }
}

TEST_F(ZipFilesTest, ListOrderDuplicatesAndMissingFiles) {
    const std::wstring a = Make("one/same.txt", "first");
    const std::wstring b = Make("two/same.txt", "second");
    const std::wstring missing = dir.W("nope.txt");
    CParcelon zipper;
    StderrCapture err;
    ASSERT_TRUE(zipper.ZipFiles({b, missing, a, b}, dir.W("out.zip").c_str(), 6, nullptr));
    EXPECT_EQ(err.Text(), "");
    const auto entries = ReadCentralDirectory(dir / "out.zip");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].uncompressed_size, 6u);
    EXPECT_EQ(entries[1].uncompressed_size, 5u);
    EXPECT_EQ(entries[2].uncompressed_size, 6u);
    for (const auto& e : entries) EXPECT_EQ(e.name, "same.txt");
}

TEST_F(ZipFilesTest, ADirectoryInTheListLeavesAnEmptyEntryAndAMessage) {
    fs::create_directories(dir / "docs");
    const std::wstring after = Make("after.txt", "after");
    CParcelon zipper;
    StderrCapture err;
    ASSERT_TRUE(zipper.ZipFiles({dir.W("docs"), after}, dir.W("out.zip").c_str(), 6, nullptr));
    EXPECT_EQ(err.Text(), MessageLine(parcelon::PackFailure::CannotOpenSource, dir.A("docs")));
    const auto entries = ReadCentralDirectory(dir / "out.zip");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "docs");
    EXPECT_EQ(entries[0].uncompressed_size, 0u);
    EXPECT_EQ(entries[1].name, "after.txt");
}

TEST_F(ZipFilesTest, AnArchiveThatCannotBeCreatedGivesFalseAMessageAndOnly100) {
    const std::wstring file = Make("a.txt", "alpha");
    RecordingCallback progress;
    CParcelon zipper;
    zipper.SetCallbacker(&progress);
    StderrCapture err;
    EXPECT_FALSE(zipper.ZipFiles({file}, dir.W("missing/out.zip").c_str(), 6, nullptr));
    EXPECT_EQ(err.Text(), MessageLine(parcelon::PackFailure::CannotCreateArchive, dir.A("missing/out.zip")));
    EXPECT_EQ(progress.values, std::vector<int>({100}));

    StderrCapture err_null;
    EXPECT_FALSE(zipper.ZipFiles({file}, nullptr, 6, nullptr));
    EXPECT_EQ(err_null.Text(), MessageLine(parcelon::PackFailure::CannotCreateArchive, ""));
}

TEST_F(ZipFilesTest, AnExistingArchiveIsReplacedNotAppendedTo) {
    WriteFile(dir / "out.zip", PatternBytes(100000));
    const std::wstring file = Make("a.txt", "alpha");
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipFiles({file}, dir.W("out.zip").c_str(), 6, nullptr));
    EXPECT_EQ(EntryNames(dir / "out.zip"), std::vector<std::string>({"a.txt"}));
    EXPECT_LT(fs::file_size(dir / "out.zip"), 1000u);
}

TEST_F(ZipFilesTest, AnEmptyListWritesAnArchiveWithoutEntries) {
    RecordingCallback progress;
    CParcelon zipper;
    zipper.SetCallbacker(&progress);
    ASSERT_TRUE(zipper.ZipFiles({}, dir.W("out.zip").c_str(), 6, nullptr));
    EXPECT_EQ(fs::file_size(dir / "out.zip"), 22u); // the end record alone
    EXPECT_EQ(progress.values, std::vector<int>({100}));
}

// ---------------------------------------------------------------- progress

TEST_F(ZipFilesTest, ProgressOfOneHundredBlocksSkipsTheValuesRoundingHides) {
    const std::wstring file = Make("big.bin", PatternBytes(1638400));
    RecordingCallback progress;
    CParcelon zipper;
    zipper.SetCallbacker(&progress);
    ASSERT_TRUE(zipper.ZipFiles({file}, dir.W("out.zip").c_str(), 1, nullptr));

    std::vector<int> expected;
    for (int p = 1; p <= 100; ++p)
        if (p != 29 && p != 58) expected.push_back(p);
    expected.push_back(100);
    EXPECT_EQ(progress.values, expected);
}

TEST_F(ZipFilesTest, ProgressIsMeasuredAgainstTheWholeListAndCarriesOverBetweenRuns) {
    const std::wstring a = Make("a.bin", PatternBytes(100 * 1024));
    const std::wstring b = Make("b.bin", PatternBytes(50 * 1024, 2));
    RecordingCallback progress;
    CParcelon zipper;
    zipper.SetCallbacker(&progress);
    ASSERT_TRUE(zipper.ZipFiles({a, b}, dir.W("out.zip").c_str(), 6, nullptr));
    ASSERT_GE(progress.values.size(), 3u);
    EXPECT_TRUE(std::is_sorted(progress.values.begin(), progress.values.end() - 1));
    EXPECT_EQ(std::adjacent_find(progress.values.begin(), progress.values.end() - 2), progress.values.end() - 2)
        << "no percentage is reported twice within a run";
    EXPECT_EQ(progress.values[progress.values.size() - 2], 100);
    EXPECT_EQ(progress.values.back(), 100);

    // The last percentage reported (100) is remembered: a next run whose
    // only block completes its total reports nothing but its end signal.
    progress.values.clear();
    const std::wstring small = Make("small.txt", "fits in one block");
    ASSERT_TRUE(zipper.ZipFiles({small}, dir.W("out2.zip").c_str(), 6, nullptr));
    EXPECT_EQ(progress.values, std::vector<int>({100}));
}

TEST_F(ZipFilesTest, AZeroByteFileReportsNoPercentage) {
    const std::wstring empty = Make("empty.txt", "");
    RecordingCallback progress;
    CParcelon zipper;
    zipper.SetCallbacker(&progress);
    ASSERT_TRUE(zipper.ZipFiles({empty}, dir.W("out.zip").c_str(), 6, nullptr));
    EXPECT_EQ(progress.values, std::vector<int>({100}));
    const auto entries = ReadCentralDirectory(dir / "out.zip");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].uncompressed_size, 0u);
}

TEST(ProgressPercentageTest, TruncatesTheQuotientAndNeverFailsOnOddTotals) {
    EXPECT_EQ(parcelon::ProgressPercentage(29, 100), 28);
    EXPECT_EQ(parcelon::ProgressPercentage(30, 100), 30);
    EXPECT_EQ(parcelon::ProgressPercentage(100, 100), 100);
    EXPECT_EQ(parcelon::ProgressPercentage(250, 100), 250);
    EXPECT_EQ(parcelon::ProgressPercentage(5, 0), 100);
    EXPECT_EQ(parcelon::ProgressPercentage(1LL << 62, 1), 2147483647);
}

namespace {
// Grows a second file while the first one is being packed.
struct GrowOnFirstValue : TZipProgressCallback {
    fs::path grow;
    std::vector<int> values;
    void OnProgress(int nValue) override {
        if (values.empty()) WriteFile(grow, PatternBytes(300000, 9));
        values.push_back(nValue);
    }
};
} // namespace

TEST_F(ZipFilesTest, FilesThatGrewAfterBeingMeasuredReportPastOneHundred) {
    const std::wstring a = Make("a.bin", PatternBytes(100000));
    const std::wstring b = Make("b.bin", "");
    GrowOnFirstValue progress;
    progress.grow = dir / "b.bin";
    CParcelon zipper;
    zipper.SetCallbacker(&progress);
    ASSERT_TRUE(zipper.ZipFiles({a, b}, dir.W("out.zip").c_str(), 6, nullptr));
    EXPECT_GT(*std::max_element(progress.values.begin(), progress.values.end()), 300);
    const auto entries = ReadCentralDirectory(dir / "out.zip");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].uncompressed_size, 300000u);
}

// ---------------------------------------------------------------- stop

TEST_F(ZipFilesTest, StopBeforeAnyOperationGivesEmptyArchivesAlsoForCopies) {
    const std::wstring file = Make("a.txt", "alpha");
    RecordingCallback progress;
    CParcelon zipper;
    zipper.SetCallbacker(&progress);
    zipper.Stop();
    ASSERT_TRUE(zipper.ZipFiles({file}, dir.W("out.zip").c_str(), 6, nullptr));
    EXPECT_TRUE(EntryNames(dir / "out.zip").empty());
    EXPECT_EQ(progress.values, std::vector<int>({100}));

    CParcelon copy(zipper);
    ASSERT_TRUE(copy.ZipFiles({file}, dir.W("copy.zip").c_str(), 6, nullptr));
    EXPECT_TRUE(EntryNames(dir / "copy.zip").empty());
}

TEST_F(ZipFilesTest, StopFromTheCallbackShortensTheCurrentFileAndDropsTheRest) {
    const std::wstring a = Make("a.bin", PatternBytes(200000, 1));
    const std::wstring b = Make("b.bin", PatternBytes(200000, 2));
    const std::wstring c = Make("c.bin", PatternBytes(200000, 3));
    CParcelon zipper;
    StopAtCallback progress;
    progress.target = &zipper;
    progress.stop_at = 50; // reached inside b.bin
    zipper.SetCallbacker(&progress);
    ASSERT_TRUE(zipper.ZipFiles({a, b, c}, dir.W("out.zip").c_str(), 6, "pw"));

    const auto entries = ReadCentralDirectory(dir / "out.zip");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "a.bin");
    EXPECT_EQ(entries[0].uncompressed_size, 200000u);
    EXPECT_EQ(entries[1].name, "b.bin");
    EXPECT_GT(entries[1].uncompressed_size, 0u);
    EXPECT_LT(entries[1].uncompressed_size, 200000u);
    EXPECT_EQ(progress.values.back(), 100);
}

// ---------------------------------------------------------------- object

TEST(ParcelonObjectTest, CopiesAndMovesKeepEverythingButMovedBaseDirectories) {
    TempDir dir;
    fs::create_directories(dir / "data/sub");
    WriteFile(dir / "data/sub/b.txt", "b");
    CParcelon source;
    ASSERT_TRUE(source.ZipDirectory(dir.W("data").c_str(), dir.W("d.zip").c_str(), true, 6, nullptr, 0));

    // ZipFiles names relative to the base directory the last ZipDirectory left.
    const std::vector<std::wstring> list = {dir.W("data") + L"\\sub\\b.txt"};
    ASSERT_TRUE(source.ZipFiles(list, dir.W("f.zip").c_str(), 6, nullptr));
    EXPECT_EQ(EntryNames(dir / "f.zip"), std::vector<std::string>({"sub\\", "sub\\b.txt"}));

    CParcelon copy(source);
    ASSERT_TRUE(copy.ZipFiles(list, dir.W("copy.zip").c_str(), 6, nullptr));
    EXPECT_EQ(EntryNames(dir / "copy.zip"), std::vector<std::string>({"sub\\", "sub\\b.txt"}));

    CParcelon moved(std::move(source));
    ASSERT_TRUE(moved.ZipFiles(list, dir.W("moved.zip").c_str(), 6, nullptr));
    EXPECT_EQ(EntryNames(dir / "moved.zip"), std::vector<std::string>({"sub\\", "sub\\b.txt"}));
    // A moved-from object names by file name again: after the last '/' of
    // the path, or its last '\\' when it has no '/'.
    const std::string path = Narrow(list[0]);
    const std::string by_file_name =
        path.substr((path.find('/') != std::string::npos ? path.rfind('/') : path.rfind('\\')) + 1);
    ASSERT_TRUE(source.ZipFiles(list, dir.W("source.zip").c_str(), 6, nullptr)); // NOLINT: used after move on purpose
    EXPECT_EQ(EntryNames(dir / "source.zip"), std::vector<std::string>({by_file_name}));

    CParcelon& self = copy;
    copy = self;
    copy = std::move(self);
    ASSERT_TRUE(copy.ZipFiles(list, dir.W("self.zip").c_str(), 6, nullptr));
    EXPECT_EQ(EntryNames(dir / "self.zip"), std::vector<std::string>({"sub\\", "sub\\b.txt"}));

    CParcelon assigned;
    assigned = std::move(moved);
    ASSERT_TRUE(assigned.ZipFiles(list, dir.W("assigned.zip").c_str(), 6, nullptr));
    EXPECT_EQ(EntryNames(dir / "assigned.zip"), std::vector<std::string>({"sub\\", "sub\\b.txt"}));
    ASSERT_TRUE(moved.ZipFiles(list, dir.W("moved2.zip").c_str(), 6, nullptr)); // NOLINT
    EXPECT_EQ(EntryNames(dir / "moved2.zip"), std::vector<std::string>({by_file_name}));
}

TEST(ParcelonObjectTest, RemovingTheCallbackStopsAllCalls) {
    TempDir dir;
    WriteFile(dir / "a.bin", PatternBytes(100000));
    RecordingCallback progress;
    CParcelon zipper;
    zipper.SetCallbacker(&progress);
    zipper.SetCallbacker(nullptr);
    ASSERT_TRUE(zipper.ZipFiles({dir.W("a.bin")}, dir.W("out.zip").c_str(), 6, nullptr));
    EXPECT_TRUE(progress.values.empty());
    // Nothing was reported, so the last percentage was not updated to 100:
    // a new run with the callback sees its own 100 and the end signal.
    zipper.SetCallbacker(&progress);
    ASSERT_TRUE(zipper.ZipFiles({dir.W("a.bin")}, dir.W("out.zip").c_str(), 6, nullptr));
    EXPECT_EQ(std::count(progress.values.begin(), progress.values.end(), 100), 2);
}

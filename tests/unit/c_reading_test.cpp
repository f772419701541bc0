// The C interface's reading calls: list, test and extract, with patterns,
// progress, stop, the choices for existing files, keep going, limits,
// times and the report function, on archives the library writes and on
// archives peers write.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ParcelonC.h"
#include "extract/NamePatterns.h"
#include "messages/Messages.h"
#include "support/Archiver.h"
#include "support/TestSupport.h"
#include "support/UnzipSupport.h"
#include "support/ZipBuilder.h"
#include "text/Utf8.h"

using namespace testing_support;
using unzip_support::Listing;

namespace {

struct Report {
    int code;
    std::string path;
    std::string message;
};

struct Seen {
    std::vector<int> progress;
    std::vector<Report> reports;
    parcelon_archiver* stop_at = nullptr; // stop when progress passes stop_percent
    int stop_percent = 0;
};

void PARCELON_CALL RecordProgress(int value, void* user_data) {
    Seen& seen = *static_cast<Seen*>(user_data);
    seen.progress.push_back(value);
    if (seen.stop_at != nullptr && value >= seen.stop_percent && value < 100) parcelon_stop(seen.stop_at);
}

void PARCELON_CALL RecordReport(int code, const char* path, const char* message, void* user_data) {
    static_cast<Seen*>(user_data)->reports.push_back(Report{code, path, message});
}

struct Listed {
    std::string name;
    parcelon_u64 size;
    parcelon_u64 compressed_size;
    unsigned long crc;
    int method;
    int encrypted;
    int is_folder;
    parcelon_i64 mtime;
};

int PARCELON_CALL RecordEntry(const parcelon_entry* entry, void* user_data) {
    auto& list = *static_cast<std::vector<Listed>*>(user_data);
    list.push_back(Listed{entry->name, entry->size, entry->compressed_size, entry->crc32, entry->method,
                          entry->encrypted, entry->is_folder, entry->mtime});
    return 0;
}

int PARCELON_CALL FirstOnly(const parcelon_entry*, void* user_data) {
    ++*static_cast<int*>(user_data);
    return 1;
}

class CReadingTest : public ::testing::Test {
protected:
    TempDir dir;
    Archiver a;
    Seen seen;

    void SetUp() override {
        ASSERT_NE(a.a, nullptr);
        fs::create_directories(dir / "out");
        parcelon_set_progress(a, RecordProgress, &seen);
        parcelon_set_report(a, RecordReport, &seen);
        ASSERT_EQ(parcelon_set_option(a, PARCELON_OPT_STDERR, 0), 1);
    }

    std::string U(const std::string& relative) const { return parcelon::WideToUtf8(dir.W(relative)); }

    // A tree packed by the library: docs/a.txt, docs/deep/b.md, c.txt (1 MiB).
    void PackTree(const char* password = nullptr) {
        fs::create_directories(dir / "tree/docs/deep");
        WriteFile(dir / "tree/docs/a.txt", "alpha");
        WriteFile(dir / "tree/docs/deep/b.md", PatternBytes(3000, 2));
        WriteFile(dir / "tree/c.txt", PatternBytes(1u << 20, 3));
        const std::string tree = U("tree");
        const std::string zip = U("tree.zip");
        ASSERT_EQ(parcelon_zip_directory_utf8(a, tree.c_str(), zip.c_str(), 1, 6, password, 0, nullptr, 0, nullptr, 0),
                  1);
    }

    int Extract(const std::string& archive, const char* password, std::vector<std::string> patterns = {}) {
        std::vector<const char*> list;
        for (const std::string& p : patterns) list.push_back(p.c_str());
        seen.progress.clear();
        seen.reports.clear();
        return parcelon_extract_utf8(a, U(archive).c_str(), U("out").c_str(), password, list.data(), list.size());
    }

    std::set<std::string> Out() const { return Listing(dir / "out"); }
};

} // namespace

// ---------------------------------------------------------------- patterns

TEST(NamePatternsTest, StarCrossesFoldersQuestionMarkIsOneCharacterSeparatorsAlike) {
    const struct {
        const wchar_t* name;
        const wchar_t* pattern;
        bool matches;
    } cases[] = {
        {L"docs/a.txt", L"docs/*", true},      {L"docs/deep/b.md", L"docs/*", true},
        {L"docs\\deep\\b.md", L"docs/*", true}, {L"docs/a.txt", L"docs\\a.txt", true},
        {L"c.txt", L"docs/*", false},          {L"a.txt", L"*.txt", true},
        {L"docs/a.txt", L"*.txt", true},       {L"a.TXT", L"*.txt", false},
        {L"a.txt", L"?.txt", true},            {L"ab.txt", L"?.txt", false},
        {L"", L"*", true},                     {L"x", L"", false},
        {L"aaa", L"a*a*a", true},              {L"aa", L"a*a*a", false},
        {L"abc", L"*b*", true},                {L"abc", L"abc*", true},
        {L"report.final.txt", L"*.final.*", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parcelon::MatchesPattern(c.name, c.pattern), c.matches)
            << parcelon::WideToUtf8(c.name) << " against " << parcelon::WideToUtf8(c.pattern);
    // A pattern that would take exponential time with naive backtracking.
    EXPECT_FALSE(parcelon::MatchesPattern(std::wstring(5000, L'a'), std::wstring(50, L'*') + L"b"));
}

// ---------------------------------------------------------------- list

TEST_F(CReadingTest, ListGivesEveryRecordInOrderWithItsFields) {
    PackTree("pw");
    std::vector<Listed> listed;
    ASSERT_EQ(parcelon_list_utf8(a, U("tree.zip").c_str(), RecordEntry, &listed), 1) << parcelon_last_message(a);
    std::vector<std::string> names;
    for (const Listed& e : listed) names.push_back(e.name);
    // Folder entries before their files, backslashes as the class stores them.
    EXPECT_EQ(std::count(names.begin(), names.end(), "docs\\a.txt"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "c.txt"), 1);
    for (const Listed& e : listed) {
        EXPECT_EQ(e.encrypted, 1) << e.name;
        EXPECT_EQ(e.method, 8) << e.name;
        EXPECT_EQ(e.is_folder, e.name.back() == '\\' ? 1 : 0) << e.name;
        if (e.name == "c.txt") {
            EXPECT_EQ(e.size, 1u << 20);
            EXPECT_LT(e.compressed_size, e.size);
        }
    }
    int calls = 0;
    EXPECT_EQ(parcelon_list_utf8(a, U("tree.zip").c_str(), FirstOnly, &calls), 1);
    EXPECT_EQ(calls, 1) << "a non-zero result ends the listing";
}

TEST_F(CReadingTest, ListReadsPeersTimesAndFailsOnADamagedDirectory) {
    if (!HaveTool("python3")) GTEST_SKIP() << "python3 is not installed";
    // zipfile dates every entry 2024-01-02 03:04:06, local time.
    ASSERT_TRUE(unzip_support::ZipfileArchive(dir / "py.zip", "deflate",
                                              {{"\xC3\xBC/x.txt", "umlaut"}, {"plain.txt", PatternBytes(999, 1)}}));
    std::vector<Listed> listed;
    ASSERT_EQ(parcelon_list_utf8(a, U("py.zip").c_str(), RecordEntry, &listed), 1) << parcelon_last_message(a);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].name, "\xC3\xBC/x.txt");
    EXPECT_EQ(listed[0].size, 6u);
    std::tm local {};
    local.tm_year = 124;
    local.tm_mon = 0;
    local.tm_mday = 2;
    local.tm_hour = 3;
    local.tm_min = 4;
    local.tm_sec = 6;
    local.tm_isdst = -1;
    EXPECT_EQ(listed[1].mtime, static_cast<parcelon_i64>(std::mktime(&local)));

    // The extended timestamp field wins over the DOS time.
    if (HaveTool("zip")) {
        fs::create_directories(dir / "t");
        WriteFile(dir / "t/f.txt", "timed");
        fs::last_write_time(dir / "t/f.txt", fs::file_time_type::clock::now() - std::chrono::hours(1000));
        ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.A("t")) + " && TZ=UTC0 zip -q ../ut.zip f.txt"), 0);
        struct stat st {};
        ASSERT_EQ(stat(dir.A("t/f.txt").c_str(), &st), 0);
        listed.clear();
        ASSERT_EQ(parcelon_list_utf8(a, U("ut.zip").c_str(), RecordEntry, &listed), 1);
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].mtime, static_cast<parcelon_i64>(st.st_mtime));
    }

    // A damaged second record ends the listing as it ends extraction.
    std::string bytes = ReadFile(dir / "py.zip");
    const std::size_t second = bytes.find("PK\x01\x02", bytes.find("PK\x01\x02") + 4);
    bytes[second + 1] = 'X';
    WriteFile(dir / "bad.zip", bytes);
    listed.clear();
    EXPECT_EQ(parcelon_list_utf8(a, U("bad.zip").c_str(), RecordEntry, &listed), 0);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_CANNOT_READ_ENTRY_INFO);
    EXPECT_EQ(listed.size(), 1u);
    EXPECT_EQ(parcelon_list_utf8(a, U("none.zip").c_str(), RecordEntry, &listed), 0);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_CANNOT_OPEN_ARCHIVE);
    EXPECT_EQ(parcelon_list_utf8(a, U("py.zip").c_str(), nullptr, nullptr), 0);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_INVALID_ARGUMENT);
}

// ---------------------------------------------------------------- test

TEST_F(CReadingTest, TestAgreesWithUnzipOnSoundAndDamagedArchives) {
    ZipBuilder zip;
    const std::string data = PatternBytes(20000, 9);
    std::vector<BuiltEntry> entries = {zip.Add("a.txt", data, 8), zip.Add("b.txt", data, 8),
                                       zip.Add("c.txt", data, 0)};
    const std::string sound = zip.Archive(entries);
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> bad; // the entries reported
    };
    std::vector<Case> cases;
    cases.push_back({"sound", sound, {}});
    {
        std::string flipped = sound;
        flipped[entries[1].offset + 30 + 5 + 100] ^= 0x55; // inside b.txt's stream
        cases.push_back({"a flipped byte", flipped, {"b.txt"}});
    }
    {
        // Recorded so in both headers, as a writer that got them wrong would.
        ZipBuilder bad = zip;
        std::vector<BuiltEntry> wrong = entries;
        for (const std::size_t i : {0, 2}) {
            wrong[i].crc ^= 1;
            bad.body[wrong[i].offset + 14] ^= 1;
        }
        cases.push_back({"two wrong CRCs", bad.Archive(wrong), {"a.txt", "c.txt"}});
    }
    for (const Case& c : cases) {
        WriteFile(dir / "t.zip", c.bytes);
        seen.reports.clear();
        const int result = parcelon_test_utf8(a, U("t.zip").c_str(), nullptr);
        EXPECT_EQ(result, c.bad.empty() ? 1 : 0) << c.name;
        std::vector<std::string> reported;
        for (const Report& r : seen.reports) reported.push_back(r.path);
        EXPECT_EQ(reported, c.bad) << c.name;
        for (const Report& r : seen.reports) EXPECT_EQ(r.code, PARCELON_E_DATA_CORRUPT) << c.name;
        EXPECT_TRUE(Out().empty()) << c.name << ": testing writes nothing";
        if (HaveTool("unzip")) {
            EXPECT_EQ(RunCommand("unzip -tqq " + ShellQuote(dir.A("t.zip")) + " >/dev/null 2>&1") == 0, result == 1)
                << c.name;
        }
    }
}

TEST_F(CReadingTest, TestDecryptsWithThePasswordAndNamesTheWrongOne) {
    PackTree("pw");
    seen.progress.clear();
    EXPECT_EQ(parcelon_test_utf8(a, U("tree.zip").c_str(), "pw"), 1) << parcelon_last_message(a);
    EXPECT_EQ(seen.progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.progress.begin(), seen.progress.end()));
    seen.reports.clear();
    EXPECT_EQ(parcelon_test_utf8(a, U("tree.zip").c_str(), "nope"), 0);
    ASSERT_EQ(seen.reports.size(), 3u) << "every file is tested, the failure of one ends nothing";
    for (const Report& r : seen.reports) {
        EXPECT_TRUE(r.code == PARCELON_E_WRONG_PASSWORD || r.code == PARCELON_E_DATA_CORRUPT) << r.path;
        const char* text = parcelon::messages::TextUtf8(r.code == PARCELON_E_WRONG_PASSWORD
                                                             ? parcelon::UnzipFailure::WrongPassword
                                                             : parcelon::UnzipFailure::DataCorrupt);
        EXPECT_EQ(r.message, std::string(text) + u8"：" + r.path) << "the line names the entry";
    }
}

// ---------------------------------------------------------------- extract

TEST_F(CReadingTest, ExtractTakesTheEntriesThePatternsSelect) {
    PackTree();
    const struct {
        std::vector<std::string> patterns;
        std::set<std::string> files;
    } cases[] = {
        {{}, {"docs/a.txt", "docs/deep/b.md", "c.txt"}},
        {{"docs/*"}, {"docs/a.txt", "docs/deep/b.md"}},
        {{"*.md", "c.???"}, {"docs/deep/b.md", "c.txt"}},
        {{"docs\\a.txt"}, {"docs/a.txt"}},
        {{"nothing"}, {}},
    };
    for (const auto& c : cases) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        ASSERT_EQ(Extract("tree.zip", nullptr, c.patterns), 1) << parcelon_last_message(a);
        std::set<std::string> files;
        for (const std::string& path : Out())
            if (path.back() != '/') files.insert(path);
        EXPECT_EQ(files, c.files) << (c.patterns.empty() ? "all" : c.patterns[0]);
        if (files.count("docs/a.txt") != 0) {
            EXPECT_EQ(ReadFile(dir / "out/docs/a.txt"), "alpha");
        }
        EXPECT_EQ(seen.progress.back(), 100);
        EXPECT_TRUE(std::is_sorted(seen.progress.begin(), seen.progress.end()));
        EXPECT_EQ(std::adjacent_find(seen.progress.begin(), seen.progress.end()), seen.progress.end())
            << "each value once";
    }
}

TEST_F(CReadingTest, AStopLeavesTheEntriesBeforeAndNothingOfTheOneInHand) {
    PackTree("pw");
    seen.stop_at = a;
    seen.stop_percent = 10;
    EXPECT_EQ(Extract("tree.zip", "pw"), 0);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_STOPPED);
    EXPECT_EQ(seen.progress.back(), 100) << "the end is told, stopped or not";
    // c.txt (1 MiB of the 1 MiB and 3 KiB) was in hand: nothing of it, no
    // temporary file; the small files before it, if any, stay whole.
    for (const std::string& path : Out()) {
        EXPECT_EQ(path.find(".parcelon."), std::string::npos) << path;
        EXPECT_NE(path, "c.txt");
    }
    if (fs::exists(dir / "out/docs/a.txt")) {
        EXPECT_EQ(ReadFile(dir / "out/docs/a.txt"), "alpha");
    }
    // A stopped archiver stays stopped: nothing more is written.
    fs::remove_all(dir / "out");
    fs::create_directories(dir / "out");
    EXPECT_EQ(Extract("tree.zip", "pw"), 0);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_STOPPED);
    EXPECT_TRUE(Out().empty());
}

TEST_F(CReadingTest, ExistingFilesAreReplacedKeptOrFailAsAsked) {
    ZipBuilder zip;
    const std::string archive = zip.Archive({zip.Add("a.txt", "new a"), zip.Add("b.txt", "new b")});
    WriteFile(dir / "z.zip", archive);
    const struct {
        int overwrite;
        int result;
        std::string a_after;
        int reported;
    } cases[] = {{PARCELON_OVERWRITE_REPLACE, 1, "new a", 0},
                 {PARCELON_OVERWRITE_SKIP, 1, "old a", 1},
                 {PARCELON_OVERWRITE_FAIL, 0, "old a", 1}};
    for (const auto& c : cases) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        WriteFile(dir / "out/a.txt", "old a");
        ASSERT_EQ(parcelon_set_option(a, PARCELON_OPT_OVERWRITE, c.overwrite), 1);
        // A kept file is no failure: the entries after it come out without
        // keep-going; a refused one is, and needs it.
        ASSERT_EQ(parcelon_set_option(a, PARCELON_OPT_KEEP_GOING, c.overwrite == PARCELON_OVERWRITE_FAIL ? 1 : 0), 1);
        EXPECT_EQ(Extract("z.zip", nullptr), c.result) << c.overwrite;
        EXPECT_EQ(ReadFile(dir / "out/a.txt"), c.a_after) << c.overwrite;
        EXPECT_EQ(ReadFile(dir / "out/b.txt"), "new b") << c.overwrite;
        ASSERT_EQ(seen.reports.size(), static_cast<std::size_t>(c.reported)) << c.overwrite;
        if (c.reported > 0) {
            EXPECT_EQ(seen.reports[0].code, PARCELON_E_EXISTS);
            EXPECT_EQ(seen.reports[0].path, "a.txt");
        }
        EXPECT_EQ(parcelon_last_error(a), c.result == 1 ? PARCELON_OK : PARCELON_E_EXISTS) << c.overwrite;
    }
}

TEST_F(CReadingTest, KeepGoingExtractsTheSoundEntriesAroundADamagedOne) {
    ZipBuilder zip;
    std::vector<BuiltEntry> entries = {zip.Add("a.txt", "alpha"), zip.Add("b.txt", "bravo"),
                                       zip.Add("c.txt", "charlie")};
    entries[1].crc ^= 1;
    WriteFile(dir / "k.zip", zip.Archive(entries));
    EXPECT_EQ(Extract("k.zip", nullptr), 0);
    EXPECT_EQ(Out(), std::set<std::string>{"a.txt"}) << "by default the first failure ends it";
    ASSERT_EQ(parcelon_set_option(a, PARCELON_OPT_KEEP_GOING, 1), 1);
    EXPECT_EQ(Extract("k.zip", nullptr), 0);
    EXPECT_EQ(Out(), (std::set<std::string>{"a.txt", "c.txt"}));
    ASSERT_EQ(seen.reports.size(), 1u);
    EXPECT_EQ(seen.reports[0].path, "b.txt");
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_DATA_CORRUPT);
}

TEST_F(CReadingTest, EachLimitStopsABombBeforeMoreThanTheLimitIsWritten) {
    // Zeros deflate a thousandfold: ten entries of 4 MiB in a few kilobytes.
    ZipBuilder zip;
    std::vector<BuiltEntry> entries;
    for (int i = 0; i < 10; ++i) entries.push_back(zip.Add("z" + std::to_string(i), std::string(4u << 20, '\0'), 8));
    WriteFile(dir / "bomb.zip", zip.Archive(entries));
    const struct {
        int option;
        parcelon_i64 value;
        std::size_t files; // entries written before the limit
    } cases[] = {{PARCELON_OPT_MAX_TOTAL_BYTES, 10 << 20, 2},
                 {PARCELON_OPT_MAX_ENTRIES, 3, 3},
                 {PARCELON_OPT_MAX_RATIO, 100, 0}};
    for (const auto& c : cases) {
        Archiver fresh;
        parcelon_set_option(fresh, PARCELON_OPT_STDERR, 0);
        parcelon_set_report(fresh, RecordReport, &seen);
        ASSERT_EQ(parcelon_set_option(fresh, c.option, c.value), 1);
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        seen.reports.clear();
        EXPECT_EQ(parcelon_extract_utf8(fresh, U("bomb.zip").c_str(), U("out").c_str(), nullptr, nullptr, 0), 0);
        EXPECT_EQ(parcelon_last_error(fresh), PARCELON_E_LIMIT) << c.option;
        EXPECT_EQ(Out().size(), c.files) << c.option;
        ASSERT_EQ(seen.reports.size(), 1u);
        EXPECT_EQ(seen.reports[0].code, PARCELON_E_LIMIT);
    }
}

TEST_F(CReadingTest, RestoredTimesAreTheEntriesAndOtherwiseTheTimeOfWriting) {
    if (!HaveTool("python3")) GTEST_SKIP() << "python3 is not installed";
    ASSERT_TRUE(unzip_support::ZipfileArchive(dir / "py.zip", "store", {{"f.txt", "timed"}}));
    std::vector<Listed> listed;
    ASSERT_EQ(parcelon_list_utf8(a, U("py.zip").c_str(), RecordEntry, &listed), 1);
    for (const int restore : {1, 0}) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        ASSERT_EQ(parcelon_set_option(a, PARCELON_OPT_RESTORE_TIMES, restore), 1);
        ASSERT_EQ(Extract("py.zip", nullptr), 1);
        struct stat st {};
        ASSERT_EQ(stat(dir.A("out/f.txt").c_str(), &st), 0);
        if (restore == 1) EXPECT_EQ(static_cast<parcelon_i64>(st.st_mtime), listed[0].mtime);
        else EXPECT_GT(static_cast<parcelon_i64>(st.st_mtime), listed[0].mtime + 86400);
    }
}

TEST_F(CReadingTest, LinesGoToStandardErrorUnlessTurnedOffAndTheMessageStays) {
    WriteFile(dir / "junk.zip", "not an archive");
    for (const int lines : {1, 0}) {
        ASSERT_EQ(parcelon_set_option(a, PARCELON_OPT_STDERR, lines), 1);
        StderrCapture err;
        EXPECT_EQ(Extract("junk.zip", nullptr), 0);
        const std::string text = err.Text();
        EXPECT_EQ(text.empty(), lines == 0) << text;
        EXPECT_EQ(parcelon_last_error(a), PARCELON_E_CANNOT_OPEN_ARCHIVE);
        EXPECT_STREQ(parcelon_last_message(a), parcelon::messages::TextUtf8(parcelon::UnzipFailure::CannotOpenArchive));
    }
}

TEST_F(CReadingTest, OptionsRefuseWhatTheyDoNotTake) {
    const struct {
        int option;
        parcelon_i64 value;
    } refused[] = {{0, 0}, {99, 1}, {PARCELON_OPT_OVERWRITE, 3}, {PARCELON_OPT_KEEP_GOING, 2},
                   {PARCELON_OPT_MAX_ENTRIES, -1}, {PARCELON_OPT_STDERR, -1}, {PARCELON_OPT_THREADS, -2}};
    for (const auto& r : refused) {
        EXPECT_EQ(parcelon_set_option(a, r.option, r.value), 0) << r.option << " = " << r.value;
        EXPECT_EQ(parcelon_last_error(a), PARCELON_E_INVALID_ARGUMENT);
    }
    EXPECT_EQ(parcelon_set_option(nullptr, PARCELON_OPT_KEEP_GOING, 1), 0);
    EXPECT_EQ(parcelon_extract_utf8(a, "x.zip", "out", nullptr, nullptr, 2), 0);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_INVALID_ARGUMENT);
}

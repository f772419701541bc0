// The C interface: the class's behaviour behind plain functions, with each
// failure's code and line kept for hosts that have no console.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Parcelon.h"
#include "ParcelonC.h"
#include "platform/Platform.h"
#include "support/Archiver.h"
#include "support/TestSupport.h"
#include "text/Utf8.h"

using namespace testing_support;

namespace {

class CInterfaceTest : public ::testing::Test {
protected:
    TempDir dir;
    Archiver a;
    void SetUp() override {
        ASSERT_NE(a.a, nullptr);
        fs::create_directories(dir / "in/sub");
        fs::create_directories(dir / "out");
        WriteFile(dir / "in/a.txt", "alpha");
        WriteFile(dir / "in/sub/b.txt", PatternBytes(50000));
    }
    std::string Utf8(const std::string& relative) const { return parcelon::WideToUtf8(dir.W(relative)); }
};

// Progress functions have the interface's calling convention (__stdcall on
// 32-bit Windows), which lambdas cannot be given.
void PARCELON_CALL IgnoreProgress(int, void*) {}

struct Seen {
    std::vector<int> values;
};
void PARCELON_CALL Record(int value, void* user_data) { static_cast<Seen*>(user_data)->values.push_back(value); }

void PARCELON_CALL MarkStarted(int value, void* user_data) {
    if (value != 999) static_cast<std::atomic<bool>*>(user_data)->store(true);
}

} // namespace

TEST_F(CInterfaceTest, PacksAndUnpacksAsTheClassDoes) {
    const std::wstring a_txt = dir.W("in/a.txt");
    const std::wstring b_txt = dir.W("in/sub/b.txt");
    const wchar_t* files[] = {a_txt.c_str(), b_txt.c_str()};
    EXPECT_EQ(parcelon_zip_files(a, files, 2, dir.W("list.zip").c_str(), 6, "pw"), 1);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_OK);
    EXPECT_STREQ(parcelon_last_message(a), "");
    EXPECT_EQ(EntryNames(dir / "list.zip"), std::vector<std::string>({"a.txt", "b.txt"}));

    const wchar_t* excludes[] = {L"*.txt"};
    EXPECT_EQ(parcelon_zip_directory(a, dir.W("in").c_str(), dir.W("tree.zip").c_str(), 1, 6, nullptr, 0, nullptr, 0,
                                     nullptr, 0),
              1);
    EXPECT_EQ(EntryNames(dir / "tree.zip").size(), 3u) << "folder entry, two files";
    EXPECT_EQ(parcelon_zip_directory(a, dir.W("in").c_str(), dir.W("none.zip").c_str(), 1, 6, nullptr, 0, nullptr, 0,
                                     excludes, 1),
              1);
    EXPECT_TRUE(EntryNames(dir / "none.zip").empty());

    EXPECT_EQ(parcelon_unzip_file(a, dir.A("list.zip").c_str(), dir.A("out").c_str(), "pw"), 1);
    EXPECT_EQ(ReadFile(dir / "out/b.txt"), PatternBytes(50000));
    EXPECT_STREQ(parcelon_version(), "1.2.0");
}

// The path the file system knows a UTF-8 path by. On POSIX each character
// the locale's character set has is spelled in its bytes (GBK spells 数据
// otherwise than UTF-8), and one it lacks in UTF-8, as a UTF-8 system
// spells it: under the POSIX locale (no LANG, as in most containers) ü is
// C3 BC on disk, never the '?' that narrow text would make of it.
fs::path OnDisk(const std::string& utf8) {
#if defined(_WIN32)
    return fs::u8path(utf8);
#else
    std::string native;
    for (const wchar_t c : parcelon::Utf8ToWide(utf8)) {
        const std::wstring one(1, c);
        const std::string ansi = parcelon::platform::WideToAnsi(one);
        native += parcelon::platform::AnsiToWide(ansi) == one ? ansi : parcelon::WideToUtf8(one);
    }
    return fs::path(native);
#endif
}

TEST_F(CInterfaceTest, Utf8PathsReachAnyName) {
    // 数据 (data) and ü, in every code page the tests run in.
    const std::string folder = Utf8("in") + "/\xE6\x95\xB0\xE6\x8D\xAE";
    fs::create_directories(OnDisk(folder));
    WriteFile(OnDisk(folder + "/\xC3\xBC.txt"), "umlaut");
    const std::string file = folder + "/\xC3\xBC.txt";
    const char* files[] = {file.c_str()};
    const std::string zip = Utf8("") + "/\xE6\x95\xB0.zip";
    EXPECT_EQ(parcelon_zip_files_utf8(a, files, 1, zip.c_str(), 6, nullptr), 1) << parcelon_last_message(a);
    const std::string dest = Utf8("out") + "/\xC3\xBC";
    fs::create_directories(OnDisk(dest));
    EXPECT_EQ(parcelon_unzip_file_utf8(a, zip.c_str(), dest.c_str(), nullptr), 1) << parcelon_last_message(a);
    EXPECT_EQ(ReadFile(OnDisk(dest + "/\xC3\xBC.txt")), "umlaut");
    const char* includes[] = {"*.TXT"};
    EXPECT_EQ(parcelon_zip_directory_utf8(a, folder.c_str(), zip.c_str(), 0, 6, nullptr, 0, includes, 1, nullptr, 0), 1);
}

TEST_F(CInterfaceTest, EachFailureGivesItsCodeAndItsLineInUtf8) {
    // Packing: the archive's folder is missing.
    const std::wstring a_txt = dir.W("in/a.txt");
    const wchar_t* files[] = {a_txt.c_str()};
    StderrCapture err;
    EXPECT_EQ(parcelon_zip_files(a, files, 1, dir.W("no/such.zip").c_str(), 6, nullptr), 0);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_CANNOT_CREATE_ARCHIVE);
    EXPECT_EQ(std::string(parcelon_last_message(a)), u8"压缩错误：创建zip文件： " + Utf8("no/such.zip"));
    // A file left out: the call succeeds, and says which file failed last.
    EXPECT_EQ(parcelon_zip_files(a, files, 1, dir.W("bad.zip").c_str(), 10, nullptr), 1);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_CANNOT_ADD_ENTRY);
    EXPECT_EQ(std::string(parcelon_last_message(a)), u8"压缩错误：正在添加：" + Utf8("in/a.txt"));
    // Extraction: missing archive, wrong password, missing destination.
    EXPECT_EQ(parcelon_unzip_file(a, dir.A("none.zip").c_str(), dir.A("out").c_str(), nullptr), 0);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_CANNOT_OPEN_ARCHIVE);
    EXPECT_EQ(std::string(parcelon_last_message(a)), u8"解压错误：打开zip文件失败");
    ASSERT_EQ(parcelon_zip_files(a, files, 1, dir.W("pw.zip").c_str(), 6, "right"), 1);
    EXPECT_EQ(parcelon_unzip_file(a, dir.A("pw.zip").c_str(), dir.A("out").c_str(), "wrong!"), 0);
    EXPECT_TRUE(parcelon_last_error(a) == PARCELON_E_WRONG_PASSWORD ||
                parcelon_last_error(a) == PARCELON_E_DATA_CORRUPT);
    EXPECT_EQ(parcelon_unzip_file(a, dir.A("pw.zip").c_str(), dir.A("out").c_str(), nullptr), 0);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_PASSWORD_REQUIRED);
    EXPECT_EQ(std::string(parcelon_last_message(a)), u8"解压错误：无法在ZIP中打开当前文件");
    EXPECT_EQ(parcelon_unzip_file(a, dir.A("pw.zip").c_str(), dir.A("missing").c_str(), "right"), 0);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_DESTINATION_MISSING);
    // An old archive that stays: a code, and no line (none is written).
    EXPECT_EQ(parcelon_zip_directory(a, dir.W("in").c_str(), dir.W("in/sub").c_str(), 1, 6, nullptr, 0, nullptr, 0,
                                     nullptr, 0),
              0);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_CANNOT_REMOVE_OLD_ARCHIVE);
    EXPECT_STREQ(parcelon_last_message(a), "");
    // The class's lines went to stderr all along.
    EXPECT_NE(err.Text().find(MessageLine(parcelon::UnzipFailure::CannotOpenArchive)), std::string::npos);
    // A call that succeeds clears the outcome.
    EXPECT_EQ(parcelon_unzip_file(a, dir.A("pw.zip").c_str(), dir.A("out").c_str(), "right"), 1);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_OK);
    EXPECT_STREQ(parcelon_last_message(a), "");
}

TEST_F(CInterfaceTest, InvalidArgumentsFailWithoutACrash) {
    const wchar_t* files[] = {nullptr};
    EXPECT_EQ(parcelon_zip_files(nullptr, nullptr, 0, L"x.zip", 6, nullptr), 0);
    EXPECT_EQ(parcelon_last_error(nullptr), PARCELON_E_INVALID_ARGUMENT);
    EXPECT_STREQ(parcelon_last_message(nullptr), "");
    EXPECT_EQ(parcelon_zip_files(a, nullptr, 2, dir.W("x.zip").c_str(), 6, nullptr), 0);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_INVALID_ARGUMENT);
    EXPECT_EQ(parcelon_zip_files(a, files, 1, dir.W("x.zip").c_str(), 6, nullptr), 0);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_INVALID_ARGUMENT);
    EXPECT_EQ(parcelon_zip_directory(a, dir.W("in").c_str(), dir.W("x.zip").c_str(), 1, 6, nullptr, 0, nullptr, 3,
                                     nullptr, 0),
              0);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_INVALID_ARGUMENT);
    EXPECT_EQ(parcelon_zip_files_utf8(a, nullptr, 1, "x.zip", 6, nullptr), 0);
    EXPECT_EQ(parcelon_unzip_file(nullptr, "x.zip", "out", nullptr), 0);
    EXPECT_EQ(parcelon_unzip_file_utf8(nullptr, "x.zip", "out", nullptr), 0);
    EXPECT_EQ(parcelon_set_threads(nullptr, 2), 0);
    parcelon_set_progress(nullptr, IgnoreProgress, nullptr);
    parcelon_stop(nullptr);
    parcelon_free(nullptr);
    // An empty list is a list: an archive without entries.
    EXPECT_EQ(parcelon_zip_files(a, nullptr, 0, dir.W("empty.zip").c_str(), 6, nullptr), 1);
    EXPECT_TRUE(EntryNames(dir / "empty.zip").empty());
}

TEST_F(CInterfaceTest, ProgressReachesTheFunctionWithItsUserData) {
    Seen seen;
    parcelon_set_progress(a, Record, &seen);
    EXPECT_EQ(parcelon_zip_directory(a, dir.W("in").c_str(), dir.W("p.zip").c_str(), 1, 6, nullptr, 0, nullptr, 0,
                                     nullptr, 0),
              1);
    ASSERT_GE(seen.values.size(), 3u);
    EXPECT_EQ(seen.values.front(), 999);
    EXPECT_EQ(seen.values.back(), 100);
    parcelon_set_progress(a, nullptr, nullptr);
    seen.values.clear();
    EXPECT_EQ(parcelon_zip_directory(a, dir.W("in").c_str(), dir.W("q.zip").c_str(), 1, 6, nullptr, 0, nullptr, 0,
                                     nullptr, 0),
              1);
    EXPECT_TRUE(seen.values.empty());
}

TEST_F(CInterfaceTest, StopFromAnotherThreadEndsThePackingEarly) {
    for (int i = 0; i < 20; ++i) WriteFile(dir / ("in/big" + std::to_string(i) + ".bin"), PatternBytes(1 << 20, i));
    std::atomic<bool> started{false};
    parcelon_set_progress(a, MarkStarted, &started);
    std::thread stopper([&]() {
        while (!started.load()) std::this_thread::yield();
        parcelon_stop(a);
    });
    EXPECT_EQ(parcelon_zip_directory(a, dir.W("in").c_str(), dir.W("s.zip").c_str(), 1, 9, nullptr, 0, nullptr, 0,
                                     nullptr, 0),
              1);
    stopper.join();
    // A stop is no failure, but the archive holds fewer files than asked:
    // the host can tell.
    EXPECT_EQ(parcelon_last_error(a), PARCELON_STOPPED);
    EXPECT_LT(EntryNames(dir / "s.zip").size(), 23u);
}

TEST(CInterfaceErrorTextTest, EveryCodeHasItsOwnTextAndOtherNumbersNone) {
    const int codes[] = {PARCELON_OK,
                         PARCELON_E_INVALID_ARGUMENT,
                         PARCELON_E_OUT_OF_MEMORY,
                         PARCELON_E_STOPPED,
                         PARCELON_E_CANNOT_REMOVE_OLD_ARCHIVE,
                         PARCELON_E_CANNOT_CREATE_ARCHIVE,
                         PARCELON_E_CANNOT_CLOSE_ARCHIVE,
                         PARCELON_E_CANNOT_REPLACE_ARCHIVE,
                         PARCELON_E_CANNOT_ADD_FOLDER,
                         PARCELON_E_CANNOT_ADD_ENTRY,
                         PARCELON_E_CANNOT_OPEN_SOURCE,
                         PARCELON_E_CANNOT_WRITE_ENTRY,
                         PARCELON_E_CANNOT_READ_SOURCE,
                         PARCELON_E_SOURCE_MISSING,
                         PARCELON_E_SOURCE_IS_ARCHIVE,
                         PARCELON_E_CANNOT_OPEN_ARCHIVE,
                         PARCELON_E_CANNOT_READ_ARCHIVE_INFO,
                         PARCELON_E_CANNOT_FIND_FIRST_ENTRY,
                         PARCELON_E_CANNOT_READ_ENTRY_INFO,
                         PARCELON_E_ENTRY_NAME_UNSAFE,
                         PARCELON_E_FOLDER_ENTRY_HAS_DATA,
                         PARCELON_E_DESTINATION_MISSING,
                         PARCELON_E_CANNOT_CREATE_FOLDER,
                         PARCELON_E_CANNOT_CREATE_OUTPUT,
                         PARCELON_E_CANNOT_OPEN_ENTRY,
                         PARCELON_E_LOCAL_HEADER_MISMATCH,
                         PARCELON_E_ENTRY_OVERLAPS,
                         PARCELON_E_UNSUPPORTED_METHOD,
                         PARCELON_E_UNSUPPORTED_ENCRYPTION,
                         PARCELON_E_PASSWORD_REQUIRED,
                         PARCELON_E_WRONG_PASSWORD,
                         PARCELON_E_DATA_CORRUPT,
                         PARCELON_E_CANNOT_WRITE_OUTPUT,
                         PARCELON_E_LIMIT,
                         PARCELON_E_EXISTS};
    const std::string unknown = parcelon_error_text(-1);
    std::vector<std::string> seen;
    for (const int code : codes) {
        const std::string text = parcelon_error_text(code);
        EXPECT_NE(text, unknown) << code;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), text), 0) << code << ": " << text;
        seen.push_back(text);
    }
    EXPECT_EQ(std::string(parcelon_error_text(9999)), unknown);
    EXPECT_EQ(PARCELON_STOPPED, PARCELON_E_STOPPED);
}

namespace {

struct LeftOut {
    std::vector<int> codes;
    std::vector<std::string> paths;
    std::vector<std::string> messages;
};
void PARCELON_CALL RecordLeftOut(int code, const char* path, const char* message, void* user_data) {
    auto& seen = *static_cast<LeftOut*>(user_data);
    seen.codes.push_back(code);
    seen.paths.push_back(path);
    seen.messages.push_back(message);
}

} // namespace

TEST_F(CInterfaceTest, PackingReportsEveryFileItLeavesOut) {
    LeftOut seen;
    parcelon_set_report(a, RecordLeftOut, &seen);
    ASSERT_EQ(parcelon_set_option(a, PARCELON_OPT_STDERR, 0), 1);
    // A missing file, a folder (cannot be opened), and the archive itself
    // listed by name: each reported, the rest packed.
    const std::string missing = Utf8("in/missing.txt");
    const std::string folder = Utf8("in/sub");
    const std::string self = Utf8("self.zip");
    const std::string present = Utf8("in/a.txt");
    WriteFile(dir / "self.zip", "an older archive");
    const char* files[] = {present.c_str(), missing.c_str(), folder.c_str(), self.c_str()};
    EXPECT_EQ(parcelon_zip_files_utf8(a, files, 4, self.c_str(), 6, nullptr), 1);
    EXPECT_EQ(seen.codes, std::vector<int>({PARCELON_E_SOURCE_IS_ARCHIVE, PARCELON_E_SOURCE_MISSING,
                                            PARCELON_E_CANNOT_OPEN_SOURCE}));
    EXPECT_EQ(seen.paths, std::vector<std::string>({self, missing, folder}));
    for (std::size_t i = 0; i < seen.messages.size(); ++i)
        EXPECT_NE(seen.messages[i].find(seen.paths[i]), std::string::npos) << seen.messages[i];
    // The last file that failed decides the outcome; the archive itself,
    // left out by design, does not.
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_CANNOT_OPEN_SOURCE);
    EXPECT_EQ(EntryNames(dir / "self.zip"), std::vector<std::string>({"a.txt", "sub"}));

    // A walk that meets the archive in its tree says so too.
    seen = LeftOut();
    const std::string in = Utf8("in");
    const std::string inside = Utf8("in/tree.zip");
    EXPECT_EQ(parcelon_zip_directory_utf8(a, in.c_str(), inside.c_str(), 1, 6, nullptr, 0, nullptr, 0, nullptr, 0), 1);
    EXPECT_EQ(seen.codes, std::vector<int>({PARCELON_E_SOURCE_IS_ARCHIVE}));
    EXPECT_EQ(parcelon_last_error(a), PARCELON_OK);
}

TEST_F(CInterfaceTest, PackingOptionsTakeTheirValuesAndTheDefaultsWriteTheClassBytes) {
    struct Case {
        int option;
        parcelon_i64 value;
        int accepted;
    };
    const Case cases[] = {
        {PARCELON_OPT_ENCRYPTION, PARCELON_ENCRYPTION_TRADITIONAL, 1}, {PARCELON_OPT_ENCRYPTION, PARCELON_ENCRYPTION_AES256, 1},
        {PARCELON_OPT_ENCRYPTION, 2, 0},                                {PARCELON_OPT_ENCRYPTION, -1, 0},
        {PARCELON_OPT_STYLE, PARCELON_STYLE_CLASSIC, 1},               {PARCELON_OPT_STYLE, PARCELON_STYLE_PORTABLE, 1},
        {PARCELON_OPT_STYLE, 2, 0},                                    {PARCELON_OPT_STYLE, 1LL << 32, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parcelon_set_option(a, c.option, c.value), c.accepted) << c.option << " " << c.value;
        EXPECT_EQ(parcelon_last_error(a), c.accepted ? PARCELON_OK : PARCELON_E_INVALID_ARGUMENT);
    }
    // Chosen, then set back: the class's archive again, byte for byte.
    ASSERT_EQ(parcelon_set_option(a, PARCELON_OPT_STYLE, PARCELON_STYLE_PORTABLE), 1);
    ASSERT_EQ(parcelon_set_option(a, PARCELON_OPT_ENCRYPTION, PARCELON_ENCRYPTION_AES256), 1);
    ASSERT_EQ(parcelon_zip_directory(a, dir.W("in").c_str(), dir.W("chosen.zip").c_str(), 1, 6, nullptr, 0, nullptr, 0,
                                     nullptr, 0),
              1);
    ASSERT_EQ(parcelon_set_option(a, PARCELON_OPT_STYLE, PARCELON_STYLE_CLASSIC), 1);
    ASSERT_EQ(parcelon_set_option(a, PARCELON_OPT_ENCRYPTION, PARCELON_ENCRYPTION_TRADITIONAL), 1);
    ASSERT_EQ(parcelon_zip_directory(a, dir.W("in").c_str(), dir.W("c.zip").c_str(), 1, 6, nullptr, 0, nullptr, 0,
                                     nullptr, 0),
              1);
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("in").c_str(), dir.W("class.zip").c_str(), true, 6, nullptr, 0));
    EXPECT_TRUE(ReadFile(dir / "c.zip") == ReadFile(dir / "class.zip"));
    EXPECT_FALSE(ReadFile(dir / "chosen.zip") == ReadFile(dir / "class.zip"));
}

// Packing never writes what nobody can read back: its own archive into
// itself, or an encrypted entry whose header disagrees with its data.
#include <gtest/gtest.h>

#include <algorithm>

#include "Parcelon.h"
#include "support/TestSupport.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#endif

using namespace testing_support;

namespace {

class PackIntegrityTest : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override {
        WriteFile(dir / "a.txt", "alpha");
        WriteFile(dir / "b.txt", PatternBytes(40000));
    }
};

} // namespace

TEST_F(PackIntegrityTest, ZipFilesNeverPacksItsOwnArchive) {
    // Listed by its own name, and by another spelling of it, with and
    // without an old archive there: the archive would grow as it is read.
    for (bool old_archive : {false, true}) {
        if (old_archive) WriteFile(dir / "out.zip", PatternBytes(70000, 9));
        CParcelon zipper;
        StderrCapture err;
        ASSERT_TRUE(zipper.ZipFiles({dir.W("a.txt"), dir.W("out.zip"), dir.W() + L"/./out.zip", dir.W("b.txt")},
                                    dir.W("out.zip").c_str(), 6, nullptr));
        EXPECT_EQ(err.Text(), "");
        EXPECT_EQ(EntryNames(dir / "out.zip"), std::vector<std::string>({"a.txt", "b.txt"})) << old_archive;
        EXPECT_LT(fs::file_size(dir / "out.zip"), 20000u);
    }
}

// A listed path that cannot be opened (a FIFO here; on Windows, a file
// another program holds open for writing, which the reading that keeps
// writers out cannot open) gets what it gets without a password: the open
// line and an empty entry. An empty entry's CRC-32 is 0, which its header
// holds, so it decrypts in every reader.
#if !defined(_WIN32)
TEST_F(PackIntegrityTest, APathThatCannotBeOpenedGetsAnEmptyEntryWithAPasswordToo) {
    ASSERT_EQ(mkfifo(dir.A("pipe").c_str(), 0600), 0);
    const std::vector<std::wstring> files = {dir.W("a.txt"), dir.W("pipe"), dir.W("b.txt")};
    const std::string unopened = dir.A("pipe");
    const std::string unopened_name = "pipe";
    const std::vector<const char*> passwords = {nullptr, "pw"};
#else
TEST_F(PackIntegrityTest, APathThatCannotBeOpenedGetsAnEmptyEntryWithAPasswordToo) {
    const HANDLE writer = CreateFileW(dir.W("b.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    struct Closer {
        HANDLE handle;
        ~Closer() { CloseHandle(handle); }
    } closer{writer};
    const std::vector<std::wstring> files = {dir.W("a.txt"), dir.W("b.txt")};
    const std::string unopened = dir.A("b.txt");
    const std::string unopened_name = "b.txt";
    // Without a password the file is read sharing its writer, and packed.
    const std::vector<const char*> passwords = {"pw"};
#endif
    for (const char* password : passwords) {
        CParcelon zipper;
        StderrCapture err;
        ASSERT_TRUE(zipper.ZipFiles(files, dir.W("out.zip").c_str(), 6, password));
        EXPECT_EQ(err.Text(), MessageLine(parcelon::PackFailure::CannotOpenSource, unopened)) << (password != nullptr);
        const std::vector<ZipEntryInfo> entries = ReadCentralDirectory(dir / "out.zip");
        std::vector<std::string> names;
        for (const ZipEntryInfo& e : entries) {
            names.push_back(e.name);
            if (e.name == unopened_name) {
                EXPECT_EQ(e.uncompressed_size, 0u);
                EXPECT_EQ(e.crc, 0u);
                EXPECT_EQ(e.flags & 1, password != nullptr ? 1 : 0);
            }
        }
        std::vector<std::string> expected;
        for (const std::wstring& f : files) expected.push_back(Narrow(fs::path(f).filename()));
        EXPECT_EQ(names, expected) << (password != nullptr);
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        EXPECT_TRUE(zipper.UnzipFile(dir.A("out.zip").c_str(), dir.A("out").c_str(), password));
        EXPECT_EQ(ReadFile(dir / "out" / unopened_name), "");
#if !defined(_WIN32)
        if (password != nullptr && HaveTool("python3")) {
            std::string output;
            EXPECT_EQ(RunPeer("zipfile_testzip.py", {dir.A("out.zip"), "pw"}, &output), 0) << output;
        }
#endif
    }
}

TEST_F(PackIntegrityTest, EveryEntryIsDatedTheFirstOfJanuary1980) {
    fs::create_directories(dir / "tree/sub");
    WriteFile(dir / "tree/sub/c.txt", "charlie");
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("tree").c_str(), dir.W("t.zip").c_str(), true, 6, "pw", 0));
    for (const ZipEntryInfo& e : ReadCentralDirectory(dir / "t.zip")) {
        const bool folder = e.name.back() == '\\';
        EXPECT_EQ(e.dos_date, folder ? 0x0000 : 0x0021) << e.name;
        EXPECT_EQ(e.dos_time, 0) << e.name;
    }
}

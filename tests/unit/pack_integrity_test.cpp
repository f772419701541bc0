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

#if !defined(_WIN32)
// The check-value pass reads the file before its entry is opened; when it
// cannot (a FIFO here; on Windows, a file another program holds open for
// writing), the file is left out with the read line, rather than packed
// behind a header nobody can decrypt.
TEST_F(PackIntegrityTest, AFileWhoseCheckValueCannotBeReadIsLeftOutWithAMessage) {
    ASSERT_EQ(mkfifo(dir.A("pipe").c_str(), 0600), 0);
    CParcelon zipper;
    StderrCapture err;
    ASSERT_TRUE(zipper.ZipFiles({dir.W("a.txt"), dir.W("pipe"), dir.W("b.txt")}, dir.W("out.zip").c_str(), 6, "pw"));
    EXPECT_EQ(err.Text(), MessageLine(parcelon::PackFailure::CannotReadSource, dir.A("pipe")));
    EXPECT_EQ(EntryNames(dir / "out.zip"), std::vector<std::string>({"a.txt", "b.txt"}));
    fs::create_directories(dir / "out");
    EXPECT_TRUE(zipper.UnzipFile(dir.A("out.zip").c_str(), dir.A("out").c_str(), "pw"));
}
#else
TEST_F(PackIntegrityTest, AFileWhoseCheckValueCannotBeReadIsLeftOutWithAMessage) {
    // Another program holds b.txt open for writing: the read that keeps
    // writers out cannot open it.
    const HANDLE writer = CreateFileW(dir.W("b.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    CParcelon zipper;
    StderrCapture err;
    const bool ok = zipper.ZipFiles({dir.W("a.txt"), dir.W("b.txt")}, dir.W("out.zip").c_str(), 6, "pw");
    CloseHandle(writer);
    ASSERT_TRUE(ok);
    EXPECT_EQ(err.Text(), MessageLine(parcelon::PackFailure::CannotReadSource, dir.A("b.txt")));
    EXPECT_EQ(EntryNames(dir / "out.zip"), std::vector<std::string>({"a.txt"}));
}
#endif

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

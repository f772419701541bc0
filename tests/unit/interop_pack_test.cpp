// Archives the library writes, read by independent peers: Python's
// zipfile (which also decrypts ZipCrypto), Info-ZIP unzip and 7-Zip. An
// encrypted archive they reject would mean a broken minizip build (an
// encryption header made from a misread CRC table, for instance).
#include <gtest/gtest.h>

#include <algorithm>

#include "Parcelon.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {


class PackInteropTest : public ::testing::Test {
protected:
    TempDir dir;
    std::vector<std::wstring> files;

    void SetUp() override {
        fs::create_directories(dir / "in");
        const struct {
            const char* name;
            std::size_t size;
        } samples[] = {{"empty.txt", 0}, {"small.txt", 37}, {"text.txt", 300000}, {"exact.bin", 16384}};
        unsigned seed = 1;
        for (const auto& s : samples) {
            WriteFile(dir / "in" / s.name, PatternBytes(s.size, seed++));
            files.push_back(dir.W(std::string("in/") + s.name));
        }
        std::string random_bytes;
        for (int i = 0; i < 70000; ++i) random_bytes += static_cast<char>((i * 2654435761u) >> 13);
        WriteFile(dir / "in" / "noise.bin", random_bytes);
        files.push_back(dir.W("in/noise.bin"));
    }
};

} // namespace

TEST_F(PackInteropTest, PythonZipfileReadsPlainAndEncryptedArchives) {
    if (!HaveTool("python3")) GTEST_SKIP() << "python3 not installed";
    for (const char* password : {static_cast<const char*>(nullptr), "s3cret"}) {
        for (unsigned level : {0u, 1u, 6u, 9u}) {
            CParcelon zipper;
            ASSERT_TRUE(zipper.ZipFiles(files, dir.W("out.zip").c_str(), level, password));
            std::string output;
            EXPECT_EQ(RunPeer("verify_archive.py", {dir.A("out.zip"), dir.A("in"), password ? password : "-"}, &output), 0)
                << "level " << level << ": " << output;
        }
    }
}

TEST_F(PackInteropTest, PythonDecryptsWithTheTrimmedPassword) {
    if (!HaveTool("python3")) GTEST_SKIP() << "python3 not installed";
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipFiles(files, dir.W("out.zip").c_str(), 6, " \tpass word \n"));
    std::string output;
    EXPECT_EQ(RunPeer("verify_archive.py", {dir.A("out.zip"), dir.A("in"), "pass word"}, &output), 0) << output;
}

TEST_F(PackInteropTest, InfoZipUnzipTestsTheArchives) {
    if (!HaveTool("unzip")) GTEST_SKIP() << "unzip not installed";
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipFiles(files, dir.W("plain.zip").c_str(), 6, nullptr));
    ASSERT_TRUE(zipper.ZipFiles(files, dir.W("crypt.zip").c_str(), 9, "s3cret"));
    std::string output;
    EXPECT_EQ(RunCommand("unzip -t " + ShellQuote(dir.A("plain.zip")), &output), 0) << output;
    EXPECT_EQ(RunCommand("unzip -t -P s3cret " + ShellQuote(dir.A("crypt.zip")), &output), 0) << output;
    EXPECT_NE(RunCommand("unzip -t -P wrong " + ShellQuote(dir.A("crypt.zip")), &output), 0)
        << "a wrong password must be refused: " << output;
}

TEST_F(PackInteropTest, SevenZipTestsTheArchivesWithoutAWarning) {
    if (!HaveTool("7z")) GTEST_SKIP() << "7z not installed";
    // Lists and trees, folder entries and all, plain and encrypted. (A DOS
    // date of day 0, as an all-zero date record makes, was a "Headers
    // Error" in every archive.)
    fs::create_directories(dir / "tree/sub");
    WriteFile(dir / "tree/a.txt", "alpha");
    WriteFile(dir / "tree/sub/b.txt", PatternBytes(3000));
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipFiles(files, dir.W("plain.zip").c_str(), 6, nullptr));
    ASSERT_TRUE(zipper.ZipFiles(files, dir.W("crypt.zip").c_str(), 6, "s3cret"));
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("tree").c_str(), dir.W("tree.zip").c_str(), true, 6, nullptr, 0));
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("tree").c_str(), dir.W("tree-crypt.zip").c_str(), true, 6, "s3cret", 0));
    for (const char* archive : {"plain.zip", "crypt.zip", "tree.zip", "tree-crypt.zip"}) {
        std::string output;
        EXPECT_EQ(RunCommand("7z t -ps3cret " + ShellQuote(dir.A(archive)), &output), 0) << output;
        EXPECT_NE(output.find("Everything is Ok"), std::string::npos) << archive << ": " << output;
        EXPECT_EQ(output.find("Warning"), std::string::npos) << archive << ": " << output;
        EXPECT_EQ(output.find("Error"), std::string::npos) << archive << ": " << output;
    }
}

TEST_F(PackInteropTest, DirectoryArchivesKeepBackslashNamesAndFolderEntries) {
    if (!HaveTool("python3")) GTEST_SKIP() << "python3 not installed";
    fs::create_directories(dir / "tree/sub/deep");
    WriteFile(dir / "tree/top.txt", "top");
    WriteFile(dir / "tree/sub/deep/a.txt", PatternBytes(5000));
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("tree").c_str(), dir.W("out.zip").c_str(), true, 6, "pw", 0));
    std::string output;
    EXPECT_EQ(RunPeer("verify_archive.py", {dir.A("out.zip"), dir.A("tree"), "pw"}, &output), 0) << output;
    auto names = EntryNames(dir / "out.zip");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, std::vector<std::string>({"sub\\deep\\", "sub\\deep\\a.txt", "top.txt"}));
}

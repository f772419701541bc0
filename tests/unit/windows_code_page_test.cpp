// Windows only: the ANSI code page decides how wide paths become file
// access paths and entry names. The suite runs once under 1252 and once
// under 936 (Chinese, GBK); each case below says which one it needs.
#if defined(_WIN32)

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "Parcelon.h"
#include "support/TestSupport.h"
#include "text/TextHelpers.h"

using namespace testing_support;

namespace {

// 数据 ("data"): GBK CA FD BE DD; code page 1252 has neither character.
const wchar_t kChineseName[] = L"\u6570\u636e.txt";
const char kChineseNameGbk[] = "\xCA\xFD\xBE\xDD.txt";

void WriteWide(const fs::path& path, const std::string& bytes) {
    std::FILE* file = _wfopen(path.wstring().c_str(), L"wb");
    ASSERT_NE(file, nullptr) << "cannot create " << path.u8string();
    EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
}

bool ReadWide(const fs::path& path, std::string& bytes) {
    std::FILE* file = _wfopen(path.wstring().c_str(), L"rb");
    if (file == nullptr) return false;
    bytes.clear();
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    std::fclose(file);
    return true;
}

} // namespace

// The test script names the code page each run must have; without this
// check a run whose locale did not take effect would only skip the cases
// below and pass.
TEST(WindowsCodePageTest, RunsUnderTheCodePageTheScriptAskedFor) {
    const char* expected = std::getenv("PARCELON_EXPECT_ACP");
    if (expected == nullptr || *expected == '\0') GTEST_SKIP() << "PARCELON_EXPECT_ACP not set";
    EXPECT_EQ(GetACP(), static_cast<UINT>(std::strtoul(expected, nullptr, 10)));
}

TEST(WindowsCodePageTest, ToAnsiGivesTheCodePagesBytes) {
    const UINT acp = GetACP();
    if (acp == 936) {
        EXPECT_EQ(parcelon::ToAnsi(L"C:\\\u6570\u636e\\a.txt"), "C:\\\xCA\xFD\xBE\xDD\\a.txt");
    } else if (acp == 1252) {
        // One '?' for each character the code page lacks; the ones it has
        // are its own single bytes.
        EXPECT_EQ(parcelon::ToAnsi(L"C:\\\u6570\u636e\\a.txt"), "C:\\??\\a.txt");
        EXPECT_EQ(parcelon::ToAnsi(L"caf\u00e9 \u20ac"), "caf\xE9 \x80");
    } else {
        GTEST_SKIP() << "code page " << acp;
    }
}

TEST(WindowsCodePageTest, ChineseFileIsPackedUnderItsGbkNameWith936) {
    if (GetACP() != 936) GTEST_SKIP() << "needs code page 936, this is " << GetACP();
    TempDir dir;
    const fs::path chinese = dir.path() / kChineseName;
    const std::string bytes = PatternBytes(50000, 3);
    WriteWide(chinese, bytes);
    WriteFile(dir / "plain.txt", "plain");

    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipFiles({chinese.wstring(), dir.W("plain.txt")}, dir.W("out.zip").c_str(), 6, nullptr));
    const auto entries = ReadCentralDirectory(dir / "out.zip");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, kChineseNameGbk);
    EXPECT_EQ(entries[0].uncompressed_size, bytes.size());
    EXPECT_EQ(entries[0].flags & 0x0800, 0) << "GBK names are not flagged UTF-8";
    EXPECT_EQ(entries[1].name, "plain.txt");

    // Extraction takes the stored bytes as ANSI text of the same code page,
    // so the file comes back under its Chinese name.
    fs::create_directory(dir / "out");
    ASSERT_TRUE(zipper.UnzipFile(dir.A("out.zip").c_str(), dir.A("out").c_str(), nullptr));
    std::string back;
    ASSERT_TRUE(ReadWide(dir.path() / L"out" / kChineseName, back));
    EXPECT_EQ(back, bytes);
}

// 1252 has no Chinese characters: the file is read by its wide name and
// stored under its UTF-8 name, flagged; extraction gives it its name back.
TEST(WindowsCodePageTest, ChineseFileIsPackedUnderItsUtf8NameWith1252) {
    if (GetACP() != 1252) GTEST_SKIP() << "needs code page 1252, this is " << GetACP();
    TempDir dir;
    const fs::path chinese = dir.path() / kChineseName;
    const std::string bytes = PatternBytes(50000, 5);
    WriteWide(chinese, bytes);
    WriteFile(dir / "plain.txt", "plain");

    CParcelon zipper;
    RecordingCallback progress;
    zipper.SetCallbacker(&progress);
    ASSERT_TRUE(zipper.ZipFiles({chinese.wstring(), dir.W("plain.txt")}, dir.W("out.zip").c_str(), 6, nullptr));
    const auto entries = ReadCentralDirectory(dir / "out.zip");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "\xE6\x95\xB0\xE6\x8D\xAE.txt");
    EXPECT_EQ(entries[0].flags & 0x0800, 0x0800) << "a UTF-8 name is flagged";
    EXPECT_EQ(entries[0].uncompressed_size, bytes.size());
    EXPECT_EQ(entries[1].name, "plain.txt");
    EXPECT_EQ(entries[1].flags & 0x0800, 0) << "a name the code page holds keeps its ANSI bytes";
    ASSERT_FALSE(progress.values.empty());
    EXPECT_EQ(progress.values.back(), 100);

    fs::create_directory(dir / "out");
    ASSERT_TRUE(zipper.UnzipFile(dir.A("out.zip").c_str(), dir.A("out").c_str(), nullptr));
    std::string back;
    ASSERT_TRUE(ReadWide(dir.path() / L"out" / kChineseName, back));
    EXPECT_EQ(back, bytes);
}

#endif // _WIN32

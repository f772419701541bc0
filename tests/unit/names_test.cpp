// Every name, in every code page: double-byte characters whose second byte
// is 0x5C (the backslash), names the code page cannot hold, names other
// tools write, and trees deeper than Windows' 260 characters. The suite
// runs under several code pages (scripts/test.sh, scripts/test-windows.sh);
// each test finds what it needs in the active one, or says why it skips.
#include <gtest/gtest.h>

#include <zlib.h>

#include <map>
#include <string>
#include <vector>

#include "Parcelon.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "support/UnzipSupport.h"
#include "text/PathText.h"
#include "text/TextHelpers.h"
#include "text/Utf8.h"

using namespace testing_support;
using unzip_support::NamedData;

namespace {

// The file system's name for a wide name the code page holds: its ANSI
// bytes on POSIX, as the library itself names such files.
fs::path Native(const std::wstring& wide) {
#if defined(_WIN32)
    return fs::path(wide);
#else
    return fs::path(parcelon::platform::WideToAnsi(wide));
#endif
}

// Creates a file (and its folders) under a wide path, long ones included,
// through the platform layer.
void MakeFile(const std::wstring& path, const std::string& bytes) {
    const std::wstring parent = parcelon::GetParentDir(path.c_str());
    std::wstring folder;
    for (std::size_t i = 0; i <= parent.size(); ++i) {
        if (i < parent.size() && !parcelon::IsSeparator(parent[i])) continue;
        folder = parent.substr(0, i);
        if (!folder.empty() && !parcelon::platform::DirectoryExists(folder)) parcelon::platform::MakeDirectory(folder);
    }
    parcelon::platform::FilePtr file(parcelon::platform::OpenForWrite(path));
    ASSERT_TRUE(file) << Narrow(path);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file.get()), bytes.size());
}

std::string ReadWide(const std::wstring& path) {
    parcelon::platform::FilePtr file(parcelon::platform::OpenForRead(path));
    if (!file) return "(missing " + Narrow(path) + ")";
    std::string bytes;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, n);
    return bytes;
}

// The characters of the active code page whose second byte is 0x5C, out of
// the usual ones: GBK 誠 衆 謀 淺, Shift-JIS 表 ソ 能, Big5 許.
std::vector<std::wstring> BackslashTrailCharacters() {
    std::vector<std::wstring> found;
    for (const wchar_t* c : {L"\u8AA0", L"\u8846", L"\u8B00", L"\u6DFA", L"\u8868", L"\u30BD", L"\u80FD", L"\u8A31"}) {
        const std::string ansi = parcelon::ToAnsi(std::wstring_view(c));
        if (ansi.size() == 2 && ansi[1] == '\\' && parcelon::FitsCodePage(c)) found.emplace_back(c);
    }
    return found;
}

std::string CodePageName() { return parcelon::ToAnsi(std::wstring_view(L"\u8AA0")) == "\xD5\x5C" ? "GBK" : "other"; }

class NamesTest : public ::testing::Test {
protected:
    TempDir dir;
    std::wstring Path(const std::wstring& relative) const { return dir.W() + L"/" + relative; }

    // Whether the file system here can hold a file of that name at all: Wine
    // under a GBK locale, for one, keeps names as GBK and cannot store what
    // GBK lacks (Windows itself can).
    bool FileSystemHolds(const std::wstring& name) const {
        const std::wstring probe = Path(name);
        parcelon::platform::FilePtr file(parcelon::platform::OpenForWrite(probe));
        if (!file) return false;
        file.reset();
        parcelon::platform::RemoveFile(probe);
        return true;
    }
};

} // namespace

// ---------------------------------------------------------------- 0x5C trail bytes

class BackslashTrailTest : public NamesTest {
protected:
    std::wstring c1, c2;
    void SetUp() override {
        const std::vector<std::wstring> found = BackslashTrailCharacters();
        if (found.size() < 2)
            GTEST_SKIP() << "the ANSI code page has no double-byte characters ending in 0x5C (" << CodePageName() << ")";
        c1 = found[0];
        c2 = found[1];
    }
    std::string A(const std::wstring& wide) const { return parcelon::ToAnsi(std::wstring_view(wide)); }
};

TEST_F(BackslashTrailTest, TreesRoundTripUnderTheirOwnNames) {
    // The character ends a file name, a folder name and a whole name; the
    // archive and the destination hold one too.
    const std::map<std::wstring, std::string> files = {
        {L"ab" + c1, "ends a name"},
        {c1 + L".txt", "starts a name"},
        {c1, "a whole name"},
        {c2 + L"/x.txt", "in a folder ending in it"},
        {c2 + L"/d" + c1 + L"/y.txt", "two folders deep"},
    };
    for (const auto& [name, bytes] : files) MakeFile(Path(L"src/" + name), bytes);
    const std::wstring archive = Path(L"out" + c1 + L".zip");

    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipDirectory(Path(L"src").c_str(), archive.c_str(), true, 6, nullptr, 0));
    std::vector<std::string> names = EntryNames(Native(archive));
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = {A(L"ab" + c1), A(c1 + L".txt"), A(c1), A(c2 + L"\\"), A(c2 + L"\\x.txt"),
                                         A(c2 + L"\\d" + c1 + L"\\"), A(c2 + L"\\d" + c1 + L"\\y.txt")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    for (const ZipEntryInfo& e : ReadCentralDirectory(Native(archive))) EXPECT_EQ(e.flags & 0x0800, 0) << e.name;

    const std::wstring dest = Path(L"dest" + c1);
    ASSERT_TRUE(parcelon::platform::MakeDirectory(dest));
    StderrCapture err;
    EXPECT_TRUE(zipper.UnzipFile(A(archive).c_str(), A(dest).c_str(), nullptr)) << err.Text();
    for (const auto& [name, bytes] : files) EXPECT_EQ(ReadWide(dest + L"/" + name), bytes) << A(name);
}

TEST_F(BackslashTrailTest, ZipFilesNamesEachFileByItsWholeName) {
    MakeFile(Path(L"d/" + c1 + L".txt"), "one");
    MakeFile(Path(L"d/ab" + c1), "two");
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipFiles({Path(L"d/" + c1 + L".txt"), Path(L"d/ab" + c1)}, Path(L"l.zip").c_str(), 6, nullptr));
    EXPECT_EQ(EntryNames(Native(Path(L"l.zip"))), std::vector<std::string>({A(c1 + L".txt"), A(L"ab" + c1)}));
    // The narrow helper agrees: the name starts after the real separator.
    const std::string ansi = A(L"C:\\d\\ab" + c1);
    EXPECT_STREQ(parcelon::FindFileName(ansi.c_str()), A(L"ab" + c1).c_str());
}

TEST_F(BackslashTrailTest, AnEntryEndingInTheCharacterIsAFileWithItsData) {
    // Crafted in the code page's own bytes, as a writer on such a system
    // stores them: unflagged.
    unzip_support::StoredArchive(Native(Path(L"c.zip")),
                                 {{A(L"ab" + c1), "data, not a folder"}, {A(c2 + L"\\" + c1 + L".txt"), "below"}});
    fs::create_directories(dir / "out");
    StderrCapture err;
    CParcelon unzipper;
    EXPECT_TRUE(unzipper.UnzipFile(A(Path(L"c.zip")).c_str(), dir.A("out").c_str(), nullptr)) << err.Text();
    EXPECT_EQ(ReadWide(Path(L"out/ab" + c1)), "data, not a folder");
    EXPECT_EQ(ReadWide(Path(L"out/" + c2 + L"/" + c1 + L".txt")), "below");
}

// Shift-JIS bytes written out, as a Japanese Windows program stores them.
TEST_F(NamesTest, AShiftJisArchiveExtractsUnderCodePage932) {
    if (parcelon::ToAnsi(std::wstring_view(L"\u8868")) != "\x95\x5C") GTEST_SKIP() << "needs code page 932";
    // 表\ソ.txt and 能力.txt: 95 5C, 5C, 83 5C, then 94 5C 97 CD.
    unzip_support::StoredArchive(dir / "sjis.zip", {{"\x95\x5C\\\x83\x5C.txt", "hyou/so"}, {"\x94\x5C\x97\xCD.txt", "nouryoku"}});
    fs::create_directories(dir / "out");
    StderrCapture err;
    CParcelon unzipper;
    EXPECT_TRUE(unzipper.UnzipFile(dir.A("sjis.zip").c_str(), dir.A("out").c_str(), nullptr)) << err.Text();
    EXPECT_EQ(ReadWide(Path(L"out/\u8868/\u30BD.txt")), "hyou/so");
    EXPECT_EQ(ReadWide(Path(L"out/\u80FD\u529B.txt")), "nouryoku");
}

// ---------------------------------------------------------------- names the code page cannot hold

// 数据 and 한글: no single code page has both.
const wchar_t kChinese[] = L"\u6570\u636E";
const wchar_t kKorean[] = L"\uD55C\uAE00";

TEST_F(NamesTest, ANameTheCodePageCannotHoldIsStoredAsFlaggedUtf8) {
    // No ANSI code page holds both names; a UTF-8 locale (POSIX) holds
    // every name.
    if (parcelon::FitsCodePage(kChinese) && parcelon::FitsCodePage(kKorean))
        GTEST_SKIP() << "the code page holds every name (UTF-8)";
    const std::wstring foreign = parcelon::FitsCodePage(kChinese) ? kKorean : kChinese;
    if (!FileSystemHolds(foreign)) GTEST_SKIP() << "the file system here cannot hold " << parcelon::WideToUtf8(foreign);
    MakeFile(Path(L"src/" + foreign + L"/" + foreign + L".txt"), "foreign");
    MakeFile(Path(L"src/plain.txt"), "plain");

    // The archive too may have such a name: it is created by its wide path.
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipDirectory(Path(L"src").c_str(), Path(foreign + L".zip").c_str(), true, 6, nullptr, 0));
    // (UnzipFile takes ANSI paths, which cannot name it: read it under a
    // plain name.)
    WriteFile(dir / "copy.zip", ReadWide(Path(foreign + L".zip")));
    const std::string folder = parcelon::WideToUtf8(foreign + L"\\");
    const std::string file = parcelon::WideToUtf8(foreign + L"\\" + foreign + L".txt");
    std::map<std::string, std::uint16_t> flags;
    for (const ZipEntryInfo& e : ReadCentralDirectory(dir / "copy.zip")) flags[e.name] = e.flags & 0x0800;
#if defined(_WIN32)
    EXPECT_EQ(flags, (std::map<std::string, std::uint16_t>{{folder, 0x0800}, {file, 0x0800}, {"plain.txt", 0}}));
#else
    // On POSIX the walk meets names as bytes (here the UTF-8 ones the file
    // was created under): stored as they are, unflagged.
    EXPECT_EQ(flags, (std::map<std::string, std::uint16_t>{{folder, 0}, {file, 0}, {"plain.txt", 0}}));
#endif
    // A name the host gives in wide text is stored as UTF-8, flagged, on
    // every platform; here named relative to the folder packed above.
    ASSERT_TRUE(zipper.ZipFiles({Path(L"src/" + foreign + L"/" + foreign + L".txt")}, Path(L"list.zip").c_str(), 6,
                                nullptr));
    flags.clear();
    for (const ZipEntryInfo& e : ReadCentralDirectory(dir / "list.zip")) flags[e.name] = e.flags & 0x0800;
    EXPECT_EQ(flags, (std::map<std::string, std::uint16_t>{{folder, 0x0800}, {file, 0x0800}}));

    fs::create_directories(dir / "out");
    StderrCapture err;
    EXPECT_TRUE(zipper.UnzipFile(dir.A("copy.zip").c_str(), dir.A("out").c_str(), nullptr)) << err.Text();
    EXPECT_EQ(ReadWide(Path(L"out/" + foreign + L"/" + foreign + L".txt")), "foreign");
    EXPECT_EQ(ReadWide(Path(L"out/plain.txt")), "plain");
}

#if !defined(_WIN32)
// POSIX names are bytes: one that is no text of the locale travels as the
// escape code units and is stored as its own bytes, unflagged.
TEST_F(NamesTest, UndecodableBytesArePackedAndExtractedAsThemselves) {
    ScopedEnv utf8("LC_ALL", "C.UTF-8");
    const fs::path src = dir.path() / "src";
    fs::create_directories(src / "d\xFF");
    WriteFile(src / "caf\xE9.txt", "latin-1");
    WriteFile(src / "d\xFF" / "x", "below");

    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("d.zip").c_str(), true, 6, nullptr, 0));
    std::vector<std::string> names = EntryNames(dir / "d.zip");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"caf\xE9.txt", "d\xFF\\", "d\xFF\\x"}));
    for (const ZipEntryInfo& e : ReadCentralDirectory(dir / "d.zip")) EXPECT_EQ(e.flags & 0x0800, 0) << e.name;

    // The host names the file the same way: 0xDC00 + byte.
    CParcelon lister;
    ASSERT_TRUE(lister.ZipFiles({dir.W("src") + L"/caf\xDCE9.txt"}, dir.W("l.zip").c_str(), 6, nullptr));
    EXPECT_EQ(EntryNames(dir / "l.zip"), std::vector<std::string>({"caf\xE9.txt"}));

    fs::create_directories(dir / "out");
    EXPECT_TRUE(zipper.UnzipFile(dir.A("d.zip").c_str(), dir.A("out").c_str(), nullptr));
    EXPECT_EQ(ReadFile(dir.path() / "out" / "caf\xE9.txt"), "latin-1");
    EXPECT_EQ(ReadFile(dir.path() / "out" / "d\xFF" / "x"), "below");
}

// In the C locale every non-ASCII character is foreign: the file the host
// names is found by its UTF-8 bytes, stored flagged, and peers read it
// under its Unicode name.
TEST_F(NamesTest, PeersReadFlaggedNamesUnderTheirUnicodeNames) {
    ScopedEnv ascii("LC_ALL", "C");
    const std::string utf8 = parcelon::WideToUtf8(std::wstring(kChinese) + L".txt");
    WriteFile(dir.path() / utf8, "chinese");
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipFiles({dir.W() + L"/" + kChinese + L".txt"}, dir.W("c.zip").c_str(), 6, nullptr));
    const std::vector<ZipEntryInfo> entries = ReadCentralDirectory(dir / "c.zip");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, utf8);
    EXPECT_EQ(entries[0].flags & 0x0800, 0x0800);
    if (HaveTool("python3")) {
        std::string output;
        EXPECT_EQ(RunPeer("zipfile_names.py", {dir.A("c.zip")}, &output), 0) << output;
        EXPECT_EQ(output, "\\u6570\\u636e.txt\n");
    }
    if (HaveTool("unzip")) {
        std::string output;
        EXPECT_EQ(RunCommand("unzip -t " + ShellQuote(dir.A("c.zip")), &output), 0) << output;
        EXPECT_EQ(RunCommand("LC_ALL=C.UTF-8 unzip -Z1 " + ShellQuote(dir.A("c.zip")), &output), 0) << output;
        EXPECT_EQ(output, utf8 + "\n");
    }
    fs::create_directories(dir / "out");
    EXPECT_TRUE(zipper.UnzipFile(dir.A("c.zip").c_str(), dir.A("out").c_str(), nullptr));
    EXPECT_EQ(ReadFile(dir.path() / "out" / utf8), "chinese") << "where the locale lacks a character, UTF-8 bytes";
}
#endif

// ---------------------------------------------------------------- names from other tools

namespace {

std::string UnicodePathField(const std::string& stored, const std::string& utf8) {
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(stored.data()), static_cast<uInt>(stored.size()));
    const std::size_t size = 5 + utf8.size();
    std::string field = {'\x75', '\x70', static_cast<char>(size & 0xFF), static_cast<char>(size >> 8), '\x01'};
    for (int i = 0; i < 4; ++i) field += static_cast<char>((crc >> (8 * i)) & 0xFF);
    return field + utf8;
}

} // namespace

TEST_F(NamesTest, FlaggedUtf8NamesComeOutUnderTheirUnicodeNames) {
    const std::wstring folder = kChinese;
    const std::wstring file = std::wstring(kKorean) + L".txt";
    for (const std::wstring& name : {folder, file, std::wstring(L"\u00E9t\u00E9.txt")})
        if (!FileSystemHolds(name)) GTEST_SKIP() << "the file system here cannot hold " << parcelon::WideToUtf8(name);
    NamedData flagged{parcelon::WideToUtf8(folder + L"/" + file), "flagged", 0x0800, ""};
    // Unflagged, but with a Unicode Path field that matches the stored name.
    NamedData extra{"legacy-name.txt", "from the extra field", 0, UnicodePathField("legacy-name.txt", parcelon::WideToUtf8(L"\u00E9t\u00E9.txt"))};
    // A field whose CRC is another name's: the entry was renamed since, and
    // the stored name counts.
    NamedData stale{"renamed.txt", "stored name", 0, UnicodePathField("original.txt", parcelon::WideToUtf8(L"stale.txt"))};
    unzip_support::StoredArchive(dir / "u.zip", {flagged, extra, stale});
    fs::create_directories(dir / "out");
    StderrCapture err;
    CParcelon unzipper;
    EXPECT_TRUE(unzipper.UnzipFile(dir.A("u.zip").c_str(), dir.A("out").c_str(), nullptr)) << err.Text();
    // (ReadWide finds a wide name where the library puts it: on POSIX in the
    // locale's bytes, or UTF-8 for what the locale lacks.)
    EXPECT_EQ(ReadWide(Path(L"out/" + folder + L"/" + file)), "flagged");
    EXPECT_EQ(ReadWide(Path(L"out/\u00E9t\u00E9.txt")), "from the extra field");
    EXPECT_EQ(ReadWide(Path(L"out/renamed.txt")), "stored name");
    EXPECT_FALSE(parcelon::platform::PathExists(Path(L"out/stale.txt")));
}

TEST_F(NamesTest, PythonAndSevenZipArchivesWithUtf8Names) {
    const std::wstring first = std::wstring(kChinese) + L"/" + kKorean + L".txt";
    const std::wstring second = L"caf\u00E9.txt";
    int peers = 0;
    if (HaveTool("python3")) {
        ++peers;
        ASSERT_TRUE(unzip_support::ZipfileArchive(
            dir / "py.zip", "deflate", {{parcelon::WideToUtf8(first), "one"}, {parcelon::WideToUtf8(second), "two"}}));
        for (const ZipEntryInfo& e : ReadCentralDirectory(dir / "py.zip")) EXPECT_EQ(e.flags & 0x0800, 0x0800);
        fs::create_directories(dir / "py");
        CParcelon unzipper;
        EXPECT_TRUE(unzipper.UnzipFile(dir.A("py.zip").c_str(), dir.A("py").c_str(), nullptr));
        EXPECT_EQ(ReadWide(Path(L"py/" + first)), "one");
        EXPECT_EQ(ReadWide(Path(L"py/" + second)), "two");
    }
    if (HaveTool("7z")) {
        ++peers;
        // 7-Zip takes its names from the file system; -mcu=on stores them
        // as UTF-8 with the flag.
        ScopedEnv utf8("LC_ALL", "C.UTF-8");
        fs::create_directories(dir.path() / "tree" / parcelon::WideToUtf8(kChinese));
        WriteFile(dir.path() / "tree" / parcelon::WideToUtf8(kChinese) /
                      parcelon::WideToUtf8(std::wstring(kKorean) + L".txt"),
                  "seven");
        std::string output;
        ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.A("tree")) + " && 7z a -tzip -mcu=on ../7.zip . >/dev/null", &output), 0)
            << output;
        fs::create_directories(dir / "seven");
        CParcelon unzipper;
        EXPECT_TRUE(unzipper.UnzipFile(dir.A("7.zip").c_str(), dir.A("seven").c_str(), nullptr));
        EXPECT_EQ(ReadFile(dir.path() / "seven" / parcelon::WideToUtf8(kChinese) /
                           parcelon::WideToUtf8(std::wstring(kKorean) + L".txt")),
                  "seven");
    }
    if (peers == 0) GTEST_SKIP() << "neither python3 nor 7z is installed";
}

// ---------------------------------------------------------------- long paths

TEST_F(NamesTest, TreesDeeperThan260CharactersRoundTrip) {
    std::wstring deep;
    for (int level = 0; level < 12; ++level) deep += L"level-" + std::to_wstring(level) + L"-of-a-deep-tree/";
    ASSERT_GT((Path(L"src/") + deep).size(), 300u);
    MakeFile(Path(L"src/" + deep + L"leaf.txt"), "deep leaf");
    MakeFile(Path(L"src/top.txt"), "top");

    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipDirectory(Path(L"src").c_str(), Path(L"deep.zip").c_str(), true, 6, nullptr, 0));
    std::wstring stored = deep;
    for (wchar_t& c : stored)
        if (c == L'/') c = L'\\';
    const std::vector<std::string> names = EntryNames(dir / "deep.zip");
    EXPECT_NE(std::find(names.begin(), names.end(), parcelon::WideToUtf8(stored + L"leaf.txt")), names.end());

    fs::create_directories(dir / "out");
    StderrCapture err;
    EXPECT_TRUE(zipper.UnzipFile(dir.A("deep.zip").c_str(), dir.A("out").c_str(), nullptr)) << err.Text();
    EXPECT_EQ(ReadWide(Path(L"out/" + deep + L"leaf.txt")), "deep leaf");
    EXPECT_EQ(ReadWide(Path(L"out/top.txt")), "top");
}

// The text and path helpers decide entry names and walk paths; their
// corner cases are pinned here.
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "text/PathText.h"
#include "text/TextHelpers.h"
#include "text/Utf8.h"
#include "platform/Platform.h"

using parcelon::AppendBackslash;
using parcelon::FindFileName;
using parcelon::GetParentDir;
using parcelon::ToAnsi;
using parcelon::TrimSpaces;

TEST(GetParentDirTest, FollowsTheWindowsPathGrammar) {
    const struct {
        const wchar_t* path;
        const wchar_t* parent;
    } cases[] = {
        {L"C:\\a\\b.txt", L"C:\\a"},
        {L"C:\\b.txt", L"C:\\"},
        {L"C:b.txt", L"C:"},
        {L"b.txt", L""},
        {L"C:\\a\\b\\", L"C:\\a\\b"},
        {L"C:\\a\\\\b.txt", L"C:\\a"},
        {L"\\\\server\\share\\b.txt", L"\\\\server\\share"},
        {L"\\\\server\\b.txt", L"\\\\server\\"},
        {L"C:\\", L"C:\\"},
        {L"\\\\?\\C:\\a.txt", L"\\\\?\\C:"},
        {L"/data/sub/a.txt", L"/data/sub"},
        {L"/data\\sub\\a.txt", L"/data\\sub"},
        {L"/a.txt", L"/"},
        {L"", L""},
        {L"C", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(GetParentDir(c.path), c.parent) << "path: " << testing_support::Narrow(c.path);
}

TEST(AppendBackslashTest, AddsOneUnlessEmptyOrPresent) {
    const struct {
        const wchar_t* in;
        const wchar_t* out;
    } cases[] = {
        {L"", L""},           {L"D:\\data", L"D:\\data\\"}, {L"D:\\data\\", L"D:\\data\\"},
        {L"data", L"data\\"}, {L"D:", L"D:\\"},             {L"D:/data", L"D:/data\\"},
        {L"C:\\data/", L"C:\\data/\\"}, {L"/data", L"/data\\"},
    };
    for (const auto& c : cases) {
        std::wstring s = c.in;
        AppendBackslash(s);
        EXPECT_EQ(s, c.out);
    }
}

TEST(FindFileNameTest, PrefersTheLastSlashOverLaterBackslashes) {
    const char* plain = "C:\\a\\b.txt";
    ASSERT_NE(FindFileName(plain), nullptr);
    EXPECT_STREQ(FindFileName(plain), "b.txt");
    EXPECT_STREQ(FindFileName("C:\\a/b\\c.txt"), "b\\c.txt");
    const char* folder = "C:\\a\\";
    EXPECT_EQ(FindFileName(folder), folder + 5); // the terminator
    EXPECT_EQ(FindFileName("b.txt"), nullptr);
}

TEST(TrimSpacesTest, TrimsTheSixAsciiSpacesOnly) {
    EXPECT_EQ(TrimSpaces(nullptr), "");
    EXPECT_EQ(TrimSpaces(""), "");
    EXPECT_EQ(TrimSpaces("   "), "");
    EXPECT_EQ(TrimSpaces("\tab c\n"), "ab c");
    EXPECT_EQ(TrimSpaces("\v\f\r x \r\f\v"), "x");
    // GBK 数 is D0 CA; A1 A1 is the ideographic space: neither is trimmed.
    EXPECT_EQ(TrimSpaces(" \xA1\xA1pw\xD0\xCA "), "\xA1\xA1pw\xD0\xCA");
}

TEST(ToAnsiTest, NullEmptyAndAscii) {
    EXPECT_EQ(ToAnsi(nullptr), "");
    EXPECT_EQ(ToAnsi(L""), "");
    EXPECT_EQ(ToAnsi(L"C:\\data\\a b.txt"), "C:\\data\\a b.txt");
}

#if !defined(_WIN32)
// On POSIX the "ANSI code page" is the charset of the environment's locale.
TEST(ToAnsiTest, UsesTheEnvironmentsCharsetAndMarksWhatItLacks) {
    {
        testing_support::ScopedEnv lc_all("LC_ALL", "C.UTF-8");
        EXPECT_EQ(ToAnsi(L"C:\\\u6570\u636E\\a.txt"), "C:\\\xE6\x95\xB0\xE6\x8D\xAE\\a.txt");
    }
    {
        testing_support::ScopedEnv lc_all("LC_ALL", "C");
        EXPECT_EQ(ToAnsi(L"\u6570\u636E-\u00E9.txt"), "?" "?-?.txt");
    }
}
#endif

// UTF-8 names: what flagged entries and the Unicode Path field carry.
TEST(Utf8Test, EncodesAndDecodesEveryPlane) {
    const std::wstring text = L"a\u00E9\u6570\U0001F600";
    EXPECT_EQ(parcelon::WideToUtf8(text), "a\xC3\xA9\xE6\x95\xB0\xF0\x9F\x98\x80");
    EXPECT_EQ(parcelon::Utf8ToWide("a\xC3\xA9\xE6\x95\xB0\xF0\x9F\x98\x80"), text);
}

TEST(Utf8Test, BytesThatAreNoUtf8SurviveTheRoundTrip) {
    // A stray continuation, a truncated sequence, an overlong one, an
    // encoded surrogate and Latin-1: each byte becomes U+DC80 + its low
    // seven bits and comes back as itself.
    const std::string bytes("\x80 \xC3 \xE6\x95 \xC0\xAF \xED\xB2\x80 caf\xE9", 17);
    const std::wstring wide = parcelon::Utf8ToWide(bytes);
    EXPECT_EQ(wide.substr(0, 2), std::wstring(L"\xDC80 "));
    EXPECT_EQ(parcelon::WideToUtf8(wide), bytes);
    // An unpaired surrogate that stands for no byte comes out as U+FFFD.
    EXPECT_EQ(parcelon::WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
}

TEST(FitsCodePageTest, NamesTheCodePageHoldsExactlyAndNoOthers) {
    EXPECT_TRUE(parcelon::FitsCodePage(L"plain-ASCII name.txt"));
#if !defined(_WIN32)
    {
        testing_support::ScopedEnv ascii("LC_ALL", "C");
        EXPECT_FALSE(parcelon::FitsCodePage(L"\u6570.txt"));
        EXPECT_TRUE(parcelon::FitsCodePage(L"caf\xDCE9.txt")) << "an undecodable byte is held as itself";
    }
    {
        testing_support::ScopedEnv utf8("LC_ALL", "C.UTF-8");
        EXPECT_TRUE(parcelon::FitsCodePage(L"\u6570\uD55C.txt"));
    }
#endif
}

#if !defined(_WIN32)
// On POSIX a name is bytes: whatever they are, wide text holds them.
TEST(AnsiToWideTest, AnyBytesRoundTripThroughWideText) {
    for (const char* locale : {"C", "C.UTF-8"}) {
        testing_support::ScopedEnv env("LC_ALL", locale);
        const std::string bytes("caf\xE9 \xFF\xFE \xE6\x95\xB0 \x80\\", 14);
        EXPECT_EQ(parcelon::platform::WideToAnsi(parcelon::platform::AnsiToWide(bytes)), bytes) << locale;
    }
}
#endif

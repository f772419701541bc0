// How files are named inside the archive, for any base directory.
#include <gtest/gtest.h>

#include "create/EntryNames.h"

namespace {

struct Case {
    const wchar_t* base;
    const wchar_t* path;
    const char* folder;
    const char* file;
};

std::string Ansi(const wchar_t* text) { return std::string(text, text + std::wcslen(text)); }

} // namespace

TEST(EntryNamesTest, FileNameAloneWithoutABaseDirectory) {
    const Case cases[] = {
        {L"", L"D:\\data\\sub\\deep\\a.txt", "", "a.txt"},
        {L"", L"/data/sub/a.txt", "", "a.txt"},
        // A slash anywhere wins over later backslashes.
        {L"", L"C:\\a/b\\c.txt", "", "b\\c.txt"},
        // No separator at all: the whole path.
        {L"", L"a.txt", "", "a.txt"},
        // A path ending in a separator names an entry with an empty name.
        {L"", L"D:\\data\\docs\\", "", ""},
    };
    for (const Case& c : cases) {
        const parcelon::EntryNames names = parcelon::MakeEntryNames(c.base, c.path, Ansi(c.path));
        EXPECT_EQ(names.folder, c.folder) << Ansi(c.path);
        EXPECT_EQ(names.file, c.file) << Ansi(c.path);
    }
}

TEST(EntryNamesTest, RelativeToTheBaseDirectoryWithTheFilesOwnFolder) {
    const Case cases[] = {
        {L"D:\\data\\", L"D:\\data\\sub\\deep\\a.txt", "sub\\deep\\", "sub\\deep\\a.txt"},
        {L"D:\\data\\", L"D:\\data\\a.txt", "", "a.txt"},
        {L"D:\\data\\sub\\deep\\", L"D:\\data\\sub\\deep\\a.txt", "", "a.txt"},
        // POSIX paths as the walk builds them keep the same names.
        {L"/data\\", L"/data\\sub\\deep\\a.txt", "sub\\deep\\", "sub\\deep\\a.txt"},
        {L"/data/\\", L"/data/\\sub\\a.txt", "sub\\", "sub\\a.txt"},
        // A base given with a trailing slash still names its own files alone.
        {L"/data/\\", L"/data/\\a.txt", "", "a.txt"},
        {L"D:\\data/\\", L"D:\\data/\\a.txt", "", "a.txt"},
        // The leading units are cut, not compared: another tree of the same
        // length names its files the same way.
        {L"D:\\data\\", L"E:\\misc\\sub\\b.txt", "sub\\", "sub\\b.txt"},
    };
    for (const Case& c : cases) {
        const parcelon::EntryNames names = parcelon::MakeEntryNames(c.base, c.path, Ansi(c.path));
        EXPECT_EQ(names.folder, c.folder) << Ansi(c.path);
        EXPECT_EQ(names.file, c.file) << Ansi(c.path);
    }
}

TEST(EntryNamesTest, PathsShorterThanTheBaseAreNamedByFileName) {
    const Case cases[] = {
        {L"D:\\a\\very\\long\\base\\directory\\", L"C:\\b.txt", "", "b.txt"},
        {L"D:\\a\\very\\long\\base\\directory\\", L"x.txt", "", "x.txt"},
    };
    for (const Case& c : cases) {
        const parcelon::EntryNames names = parcelon::MakeEntryNames(c.base, c.path, Ansi(c.path));
        EXPECT_EQ(names.folder, c.folder) << Ansi(c.path);
        EXPECT_EQ(names.file, c.file) << Ansi(c.path);
    }
}

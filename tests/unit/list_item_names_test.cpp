// How ZipFiles names a listed file, for any base folder an earlier
// ZipDirectory left on the object.
#include <gtest/gtest.h>

#include "create/ZipFiles.h"
#include "support/TestSupport.h"

namespace {

struct NameCase {
    const wchar_t* base;
    const wchar_t* path;
    const wchar_t* folder; // the folder entry written before the file, or ""
    const wchar_t* name;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << testing_support::Narrow(c.base) << " | " << testing_support::Narrow(c.path);
}

class ListItemNameTest : public ::testing::TestWithParam<NameCase> {};

} // namespace

TEST_P(ListItemNameTest, NamesTheEntryAndItsFolder) {
    const NameCase& c = GetParam();
    const parcelon::PackItem item = parcelon::MakeListItem(c.base, c.path);
    EXPECT_EQ(item.path, c.path);
    EXPECT_EQ(item.folder, c.folder) << testing_support::Narrow(c.path);
    EXPECT_EQ(item.name, c.name) << testing_support::Narrow(c.path);
}

INSTANTIATE_TEST_SUITE_P(FileNameAloneWithoutABase, ListItemNameTest, ::testing::Values(
    NameCase{L"", L"D:\\data\\sub\\deep\\a.txt", L"", L"a.txt"},
    NameCase{L"", L"/data/sub/a.txt", L"", L"a.txt"},
    // A slash anywhere wins over later backslashes.
    NameCase{L"", L"C:\\a/b\\c.txt", L"", L"b\\c.txt"},
    // No separator at all: the whole path.
    NameCase{L"", L"a.txt", L"", L"a.txt"},
    // A path ending in a separator names an entry with an empty name.
    NameCase{L"", L"D:\\data\\docs\\", L"", L""}));

INSTANTIATE_TEST_SUITE_P(RelativeToTheBase, ListItemNameTest, ::testing::Values(
    NameCase{L"D:\\data\\", L"D:\\data\\sub\\deep\\a.txt", L"sub\\deep\\", L"sub\\deep\\a.txt"},
    NameCase{L"D:\\data\\", L"D:\\data\\a.txt", L"", L"a.txt"},
    NameCase{L"D:\\data\\sub\\deep\\", L"D:\\data\\sub\\deep\\a.txt", L"", L"a.txt"},
    // POSIX paths as the walk builds them keep the same names.
    NameCase{L"/data\\", L"/data\\sub\\deep\\a.txt", L"sub\\deep\\", L"sub\\deep\\a.txt"},
    NameCase{L"/data/\\", L"/data/\\sub\\a.txt", L"sub\\", L"sub\\a.txt"},
    // A base given with a trailing slash still names its own files alone.
    NameCase{L"/data/\\", L"/data/\\a.txt", L"", L"a.txt"},
    NameCase{L"D:\\data/\\", L"D:\\data/\\a.txt", L"", L"a.txt"},
    // As ZipDirectory names them: backslashes whatever the path has.
    NameCase{L"/data\\", L"/data/sub/deep/a.txt", L"sub\\deep\\", L"sub\\deep\\a.txt"},
    NameCase{L"D:/data/\\", L"D:/data/sub/b.txt", L"sub\\", L"sub\\b.txt"},
    NameCase{L"D:/data/\\", L"D:/data/a.txt", L"", L"a.txt"},
    // Compared without regard to ASCII case, either separator alike.
    NameCase{L"D:\\Data\\", L"d:/DATA/sub/b.txt", L"sub\\", L"sub\\b.txt"},
    // A colon below the base is part of a POSIX file name, not a drive: no
    // folder entry "c:\" for it (the text fuzzer found this one).
    NameCase{L"/data\\", L"/data/c:x.txt", L"", L"c:x.txt"},
    NameCase{L"/data\\", L"/data/sub/c:x.txt", L"sub\\", L"sub\\c:x.txt"},
    NameCase{L"\\", L"\\\\n:x/y.txt", L"n:x\\", L"n:x\\y.txt"}));

// A path that does not lie below the base, at a separator, is named by its
// file name alone: the base's units are compared, not cut.
INSTANTIATE_TEST_SUITE_P(OutsideTheBase, ListItemNameTest, ::testing::Values(
    NameCase{L"D:\\data\\", L"E:\\misc\\sub\\b.txt", L"", L"b.txt"},
    NameCase{L"/data/d\\", L"/data/dd/x/y.txt", L"", L"y.txt"},
    NameCase{L"/data/d\\", L"/data/datafile/x.txt", L"", L"x.txt"},
    NameCase{L"/data/d\\", L"/data/d", L"", L"d"},
    NameCase{L"C:\\", L"C:x.txt", L"", L"C:x.txt"}));

INSTANTIATE_TEST_SUITE_P(PathsShorterThanTheBase, ListItemNameTest, ::testing::Values(
    NameCase{L"D:\\a\\very\\long\\base\\directory\\", L"C:\\b.txt", L"", L"b.txt"},
    NameCase{L"D:\\a\\very\\long\\base\\directory\\", L"x.txt", L"", L"x.txt"}));

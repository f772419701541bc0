// The include and exclude lists decide which files of a walked tree go into
// the archive. Hosts depend on the exact answers, odd ones included: keys
// come from the whole path, folder names include the drive and the folders
// above the walked directory, "*." is rewritten to ".", and only ASCII
// letters fold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "create/NameFilters.h"
#include "support/TestSupport.h"

using parcelon::PassesNameFilters;

namespace {

using List = std::vector<std::wstring>;

std::string Show(const std::wstring& text) {
    std::string shown;
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            shown.push_back(static_cast<char>(c));
        } else {
            shown += "\\u{" + std::to_string(static_cast<unsigned long>(c)) + "}";
        }
    }
    return shown;
}

struct FilterCase {
    const wchar_t* path;
    bool passes;
};

void ExpectFilter(const List& includes, const List& excludes, const std::vector<FilterCase>& cases) {
    for (const FilterCase& c : cases) {
        EXPECT_EQ(PassesNameFilters(c.path, includes, excludes), c.passes) << "path: " << Show(c.path);
    }
}

} // namespace

// ------------------------------------------------------------------ keys
// What the filters see of a path: its extension, its dotted suffix and its
// folder names. Each row excludes one entry and says whether the file is
// dropped; the comment names the key that decides.

struct KeyCase {
    const wchar_t* path;
    const wchar_t* exclude;
    bool dropped;
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << Show(c.path) << " without " << Show(c.exclude); }

class NameFilterKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(NameFilterKeyTest, ExcludingTheEntryDropsTheFileExactlyWhenAKeyEqualsIt) {
    const KeyCase& c = GetParam();
    EXPECT_EQ(PassesNameFilters(c.path, {}, {c.exclude}), !c.dropped)
        << "path: " << Show(c.path) << " exclude: " << Show(c.exclude);
}

// The extension: from the last dot of the final component.
INSTANTIATE_TEST_SUITE_P(Extension, NameFilterKeyTest, ::testing::Values(
    KeyCase{L"Report.Final.TXT", L"*.txt", true},
    KeyCase{L"C:\\Work\\Docs\\Report.Final.TXT", L"*.txt", true},
    KeyCase{L"archive.tar.gz", L"*.gz", true},
    KeyCase{L"archive.tar.gz", L"*.tar", false},
    // A dot in first position starts a hidden name, not an extension.
    KeyCase{L".profile", L"", true},
    KeyCase{L"C:\\home\\.profile", L"", true},
    KeyCase{L"Makefile", L"", true},
    // A name ending in a dot has that dot for its extension.
    KeyCase{L"name.", L".", true},
    KeyCase{L"x..", L".", true},
    KeyCase{L"...", L".", true},
    KeyCase{L"..", L"", true},
    KeyCase{L"C:\\dir\\..", L"", true},
    KeyCase{L".", L"", true},
    KeyCase{L"a", L"", true},
    KeyCase{L"", L"", true},
    KeyCase{L".a", L"", true},
    KeyCase{L"a.b", L"*.b", true},
    // A dot in a folder name is not the file's.
    KeyCase{L"C:\\dir.d\\file", L"", true},
    KeyCase{L"C:\\dir.d\\file", L"*.d", false},
    KeyCase{L"/data/sub.x/file", L"", true},
    KeyCase{L"/data/sub.x/file", L"*.x", false},
    KeyCase{L"d.x/a", L"", true},
    KeyCase{L"d.x/a", L"*.x", false},
    // Both separators end a component.
    KeyCase{L"C:\\dir/a.md", L"*.md", true},
    KeyCase{L"/data\\a.md", L"*.md", true},
    // A drive never belongs to the name.
    KeyCase{L"C:x.txt", L"*.txt", true},
    KeyCase{L"C:", L"", true},
    KeyCase{L"C:.txt", L"", true},
    // A stream name is cut off, dots and all.
    KeyCase{L"a.txt:s", L"*.txt", true},
    KeyCase{L"a.txt:s.bin", L"*.txt", true},
    KeyCase{L"a.txt:s.bin", L"*.bin", false},
    KeyCase{L"C:\\d\\noext:s.bin", L"", true},
    // A network root is not a file name.
    KeyCase{L"\\\\server.example", L"", true},
    KeyCase{L"//server.example", L"", true},
    KeyCase{L"\\\\server.x\\share\\a.txt", L"*.txt", true},
    KeyCase{L"\\\\server.x\\share.y", L"*.y", true}));

// The dotted suffix: from the first dot of the whole path, or the whole path.
INSTANTIATE_TEST_SUITE_P(DottedSuffix, NameFilterKeyTest, ::testing::Values(
    KeyCase{L"C:\\Work\\Docs\\Report.Final.TXT", L"*.final.txt", true},
    KeyCase{L"C:\\Build.1\\x.tar.gz", L".1\\x.tar.gz", true},
    KeyCase{L"C:\\Work\\notes", L"c:\\work\\notes", true},
    KeyCase{L"a.", L".", true},
    KeyCase{L"", L"", true}));

// Only A-Z fold: their neighbours, and letters outside ASCII, stay put.
INSTANTIATE_TEST_SUITE_P(AsciiCase, NameFilterKeyTest, ::testing::Values(
    KeyCase{L"C:\\@AZ[`az{\\f", L"@az[`az{", true},
    KeyCase{L"C:\\@AZ[\\f", L"`az{", false},
    KeyCase{L"C:\\\u00C4\u0130\uFF21X\\f", L"\u00C4\u0130\uFF21x", true},
    KeyCase{L"C:\\\u00C4\u0130\uFF21X\\f", L"\u00E4i\uFF41x", false}));

// "*." becomes ".", left to right, and the search goes on behind each
// replacement: "**." keeps the "*." that the removal brought together.
INSTANTIATE_TEST_SUITE_P(StarDot, NameFilterKeyTest, ::testing::Values(
    KeyCase{L"C:\\w\\a..txt", L"*.*.txt", true},
    KeyCase{L"C:\\w\\a.TXT", L"*.TXT", true},
    KeyCase{L"C:\\*.\\f", L"**.", true},
    KeyCase{L"C:\\*.\\f", L"*.", false},
    KeyCase{L"C:\\docs\\f", L"docs", true},
    KeyCase{L"C:\\w\\x..", L"*.*.", true},
    KeyCase{L"C:\\w\\f", L"*.", false}));

// Folder names: the parent folder split at backslashes; a leading one gives
// no piece, two in a row an empty one, a trailing one none.
INSTANTIATE_TEST_SUITE_P(FolderNames, NameFilterKeyTest, ::testing::Values(
    KeyCase{L"C:\\work\\docs\\f.txt", L"c:", true},
    KeyCase{L"C:\\work\\docs\\f.txt", L"work", true},
    KeyCase{L"C:\\work\\docs\\f.txt", L"docs", true},
    KeyCase{L"\\\\srv\\share\\f.txt", L"", true},
    KeyCase{L"\\\\srv\\share\\f.txt", L"srv", true},
    KeyCase{L"a\\\\b\\f.txt", L"", true},
    KeyCase{L"a\\\\b\\f.txt", L"b", true},
    KeyCase{L"C:\\f.txt", L"", false},
    KeyCase{L"\\a\\f.txt", L"", false},
    KeyCase{L"\\a\\f.txt", L"a", true},
    KeyCase{L"\\f.txt", L"", false},
    KeyCase{L"a\\f.txt", L"a", true},
    KeyCase{L"f.txt", L"", false},
    KeyCase{L"/data/sub/f.txt", L"sub", false},
    KeyCase{L"/data/sub/f.txt", L"/data/sub", true}));

// ------------------------------------------------------------------ include list

TEST(NameFilterIncludeTest, ExtensionEntriesMatchInAnyAsciiCase) {
    const std::vector<FilterCase> cases = {
        {L"C:\\w\\a.txt", true},      {L"C:\\w\\B.TXT", true},  {L"C:\\w\\c.Txt", true},
        {L"C:\\w\\a.txt.bak", false}, {L"C:\\w\\notes", false}, {L"C:\\w\\a.txtx", false},
    };
    ExpectFilter({L"*.txt"}, {}, cases);
    // A dot without the star, in capitals, names the same files.
    ExpectFilter({L".TXT"}, {}, cases);
    ExpectFilter({L"*.TxT"}, {}, cases);
}

TEST(NameFilterIncludeTest, EntryWithoutDotNamesFolders) {
    ExpectFilter({L"txt"}, {},
                 {{L"C:\\w\\a.txt", false}, {L"C:\\w\\txt\\a.md", true}, {L"C:\\w\\TXT\\sub\\b", true}});
    ExpectFilter({L"docs"}, {},
                 {
                     {L"C:\\w\\docs\\a.md", true},
                     {L"C:\\w\\Docs\\a.md", true},
                     {L"C:\\w\\x\\DOCS\\y\\z\\b.bin", true},
                     {L"C:\\w\\docsx\\a.md", false},
                     {L"C:\\w\\my docs\\a.md", false},
                     {L"C:\\w\\a.md", false},
                     {L"C:\\w\\docs", false}, // a file called docs
                 });
}

TEST(NameFilterIncludeTest, FolderNamesIncludeTheDriveAndFoldersAboveTheWalk) {
    // The walked directory is C:\Projects\src\, yet its own folders count.
    ExpectFilter({L"projects"}, {}, {{L"C:\\Projects\\src\\a.c", true}, {L"D:\\Other\\src\\a.c", false}});
    ExpectFilter({L"C:"}, {}, {{L"C:\\Projects\\src\\a.c", true}, {L"D:\\Projects\\a.c", false}});
    // A network root has an empty first piece, then the server.
    ExpectFilter({L"srv"}, {}, {{L"\\\\srv\\share\\a.c", true}, {L"\\\\other\\share\\a.c", false}});
}

TEST(NameFilterIncludeTest, FolderEntryNarrowsOnceAStarExtensionIsListed) {
    // docs admits everything below docs until the list holds a "*." entry;
    // then only the listed extensions get through there.
    ExpectFilter({L"docs", L"*.txt"}, {},
                 {
                     {L"C:\\w\\docs\\a.txt", true},
                     {L"C:\\w\\other\\b.txt", true},
                     {L"C:\\w\\docs\\a.md", false},
                     {L"C:\\w\\docs\\Makefile", false},
                 });
    // The order of the entries does not matter.
    ExpectFilter({L"*.txt", L"docs"}, {}, {{L"C:\\w\\docs\\a.txt", true}, {L"C:\\w\\docs\\a.md", false}});
    // A dot without a star does not narrow the folder entry.
    ExpectFilter({L"docs", L".txt"}, {},
                 {{L"C:\\w\\docs\\a.md", true}, {L"C:\\w\\other\\b.txt", true}, {L"C:\\w\\other\\b.md", false}});
    // A lone "*" lists the empty extension: files without one stay in docs.
    ExpectFilter({L"docs", L"*.txt", L"*"}, {},
                 {{L"C:\\w\\docs\\Makefile", true}, {L"C:\\w\\docs\\a.md", false}, {L"C:\\w\\Makefile", false}});
}

TEST(NameFilterIncludeTest, StarDotStarMatchesNothing) {
    // *.* becomes .*, which is no extension, and its "*." closes the docs
    // folder entry as well.
    ExpectFilter({L"*.*"}, {}, {{L"C:\\w\\a.txt", false}, {L"C:\\w\\Makefile", false}});
    ExpectFilter({L"docs", L"*.*"}, {},
                 {{L"C:\\w\\docs\\a.txt", false}, {L"C:\\w\\docs\\a.md", false}, {L"C:\\w\\docs\\x", false}});
}

TEST(NameFilterIncludeTest, DottedSuffixStartsAtTheFirstDotOfTheWholePath) {
    ExpectFilter({L"*.tar.gz"}, {},
                 {
                     {L"C:\\w\\x.tar.gz", true},
                     {L"C:\\w\\X.TAR.GZ", true},
                     {L"C:\\w\\x.y.tar.gz", false},
                     {L"C:\\w\\x.gz", false},
                     // Behind a dotted folder the suffix starts in the folder.
                     {L"C:\\Build.1\\x.tar.gz", false},
                 });
    // An extension entry still works there.
    ExpectFilter({L"*.gz"}, {}, {{L"C:\\Build.1\\x.tar.gz", true}, {L"C:\\Build.1\\x.tar", false}});
    // A suffix entry works without its star too.
    ExpectFilter({L".final.txt"}, {}, {{L"C:\\Work\\Docs\\Report.Final.TXT", true}});
}

TEST(NameFilterIncludeTest, DotlessPathIsItsOwnDottedSuffix) {
    ExpectFilter({L"C:\\WORK\\Notes"}, {},
                 {{L"C:\\work\\notes", true}, {L"C:\\work\\notes2", false}, {L"C:\\work\\notes.txt", false}});
}

TEST(NameFilterIncludeTest, EmptyEntryAdmitsFilesWithoutExtension) {
    ExpectFilter({L""}, {},
                 {
                     {L"C:\\w\\Makefile", true},
                     {L"C:\\w.d\\README", true},
                     {L"C:\\w\\a.txt", false},
                     {L"C:\\w\\.profile", true}, // a leading dot is no extension
                     // The empty first piece of a network path is a folder name.
                     {L"\\\\srv\\share\\a.txt", true},
                 });
}

TEST(NameFilterIncludeTest, NonAsciiLettersCompareExactly) {
    const wchar_t* entry = L"\u00C4rger"; // capital A umlaut
    ExpectFilter({entry}, {},
                 {
                     {L"C:\\w\\\u00C4rger\\a.txt", true},
                     {L"C:\\w\\\u00C4RGER\\a.txt", true}, // the ASCII letters fold
                     {L"C:\\w\\\u00E4rger\\a.txt", false}, // small a umlaut
                 });
    ExpectFilter({L"*.\u00C4"}, {}, {{L"C:\\w\\a.\u00C4", true}, {L"C:\\w\\a.\u00E4", false}});
}

TEST(NameFilterIncludeTest, IncludeListIgnoresTheExcludeList) {
    ExpectFilter({L"*.txt"}, {L"*.txt"}, {{L"C:\\w\\a.txt", true}, {L"C:\\w\\b.md", false}});
    ExpectFilter({L"*.txt"}, {L"w"}, {{L"C:\\w\\a.txt", true}});
}

// ------------------------------------------------------------------ exclude list

TEST(NameFilterExcludeTest, DropsFilesBelowANamedFolderAtAnyDepth) {
    ExpectFilter({}, {L"temp"},
                 {
                     {L"C:\\w\\Temp\\a.txt", false},
                     {L"C:\\w\\x\\y\\TEMP\\z\\a.txt", false},
                     {L"C:\\temp\\a.txt", false},
                     {L"C:\\w\\temporary\\a.txt", true},
                     {L"C:\\w\\temp.txt", true},
                     {L"C:\\w\\a.txt", true},
                 });
}

TEST(NameFilterExcludeTest, DriveOrFolderAboveTheWalkDropsEverything) {
    ExpectFilter({}, {L"c:"}, {{L"C:\\w\\a.txt", false}, {L"C:\\a", false}, {L"D:\\w\\a.txt", true}});
    ExpectFilter({}, {L"Projects"}, {{L"C:\\Projects\\src\\a.c", false}, {L"C:\\Projects\\b", false}});
}

TEST(NameFilterExcludeTest, ExtensionAndSuffixEntries) {
    ExpectFilter({}, {L"*.log"},
                 {{L"C:\\w\\a.log", false}, {L"C:\\w\\B.LOG", false}, {L"C:\\w\\a.log.1", true}, {L"C:\\w\\log", true}});
    ExpectFilter({}, {L"*.tar.gz"},
                 {{L"C:\\w\\x.tar.gz", false}, {L"C:\\Build.1\\x.tar.gz", true}, {L"C:\\w\\x.y.tar.gz", true}});
    ExpectFilter({}, {L"*.*"}, {{L"C:\\w\\a.txt", true}, {L"C:\\w\\Makefile", true}});
}

TEST(NameFilterExcludeTest, EmptyEntryDropsFilesWithoutExtension) {
    ExpectFilter({}, {L""}, {{L"C:\\w\\Makefile", false}, {L"C:\\w\\a.txt", true}, {L"C:\\w\\name.", true}});
}

TEST(NameFilterExcludeTest, NonAsciiLettersCompareExactly) {
    ExpectFilter({}, {L"\u00D6l"}, {{L"C:\\w\\\u00D6L\\a", false}, {L"C:\\w\\\u00F6l\\a", true}});
}

TEST(NameFilterBothEmptyTest, EveryFilePasses) {
    ExpectFilter({}, {},
                 {{L"C:\\w\\a.txt", true}, {L"C:\\w\\Makefile", true}, {L"\\\\srv\\share\\x.tar.gz", true}, {L"", true}});
}

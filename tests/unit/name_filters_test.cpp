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

using parcelon::GetDottedSuffix;
using parcelon::GetExtension;
using parcelon::PassesNameFilters;
using parcelon::ReplaceAll;
using parcelon::SplitString;
using parcelon::ToLowerAscii;

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

// ------------------------------------------------------------------ helpers

TEST(GetExtensionTest, TakesTheLastDotOfTheFinalComponent) {
    const struct {
        const wchar_t* path;
        const wchar_t* extension;
    } cases[] = {
        {L"Report.Final.TXT", L".TXT"},
        {L"C:\\Work\\Docs\\Report.Final.TXT", L".TXT"},
        {L"archive.tar.gz", L".gz"},
        {L".profile", L""},
        {L"C:\\home\\.profile", L""},
        {L"Makefile", L""},
        {L"name.", L"."},
        {L"x..", L"."},
        {L"...", L"."},
        {L"..", L""},
        {L"C:\\dir\\..", L""},
        {L".", L""},
        {L"a", L""},
        {L"", L""},
        {L".a", L""},
        {L"a.b", L".b"},
        // A dot in a folder name is not the file's.
        {L"C:\\dir.d\\file", L""},
        {L"/data/sub.x/file", L""},
        {L"d.x/a", L""},
        // Both separators end a component.
        {L"C:\\dir/a.md", L".md"},
        {L"/data\\a.md", L".md"},
        // A drive never belongs to the name.
        {L"C:x.txt", L".txt"},
        {L"C:", L""},
        {L"C:.txt", L""},
        // A stream name is cut off, dots and all.
        {L"a.txt:s", L".txt"},
        {L"a.txt:s.bin", L".txt"},
        {L"C:\\d\\noext:s.bin", L""},
        // A network root is not a file name.
        {L"\\\\server.example", L""},
        {L"//server.example", L""},
        {L"\\\\server.x\\share\\a.txt", L".txt"},
        {L"\\\\server.x\\share.y", L".y"},
    };
    for (const auto& c : cases) EXPECT_EQ(GetExtension(c.path), c.extension) << "path: " << Show(c.path);
}

TEST(GetDottedSuffixTest, RunsFromTheFirstDotOfTheWholeText) {
    EXPECT_EQ(GetDottedSuffix(L"C:\\Work\\Docs\\Report.Final.TXT"), L".Final.TXT");
    EXPECT_EQ(GetDottedSuffix(L"C:\\Build.1\\x.tar.gz"), L".1\\x.tar.gz");
    EXPECT_EQ(GetDottedSuffix(L"C:\\Work\\notes"), L"C:\\Work\\notes");
    EXPECT_EQ(GetDottedSuffix(L"a."), L".");
    EXPECT_EQ(GetDottedSuffix(L""), L"");
}

TEST(ToLowerAsciiTest, FoldsOnlyAsciiCapitals) {
    // The neighbours of A-Z stay put.
    EXPECT_EQ(ToLowerAscii(L"@AZ[`az{"), L"@az[`az{");
    // Letters outside ASCII are left alone, even where a locale would fold:
    // capital A umlaut, capital I with dot, fullwidth capital A.
    const std::wstring foreign = L"\u00C4\u0130\uFF21X";
    const std::wstring lowered = ToLowerAscii(foreign);
    EXPECT_EQ(lowered, std::wstring(L"\u00C4\u0130\uFF21x")) << Show(lowered);
    EXPECT_EQ(ToLowerAscii(L""), L"");
}

TEST(ReplaceAllTest, ReplacesLeftToRightWithoutRescanningInsertedText) {
    const struct {
        const wchar_t* text;
        const wchar_t* find;
        const wchar_t* replacement;
        const wchar_t* result;
    } cases[] = {
        {L"*.*.txt", L"*.", L".", L"..txt"},
        {L"*.TXT", L"*.", L".", L".TXT"},
        // After "**." loses its "*.", the search goes on behind the
        // replacement, so the "*." that the removal brought together stays.
        {L"**.", L"*.", L".", L"*."},
        {L"docs", L"*.", L".", L"docs"},
        {L"aaa", L"a", L"aa", L"aaaaaa"},
        {L"abcb", L"b", L"", L"ac"},
        {L"xx", L"x", L"", L""},
        {L"", L"*.", L".", L""},
    };
    for (const auto& c : cases) {
        std::wstring text = c.text;
        ReplaceAll(text, c.find, c.replacement);
        EXPECT_EQ(text, c.result) << "text: " << Show(c.text) << " find: " << Show(c.find);
    }
}

TEST(SplitStringTest, SkipsOneLeadingAndTheTrailingSeparator) {
    const struct {
        const wchar_t* text;
        List pieces;
    } cases[] = {
        {L"c:\\work\\docs", {L"c:", L"work", L"docs"}},
        {L"\\\\srv\\share", {L"", L"srv", L"share"}},
        {L"a\\\\b", {L"a", L"", L"b"}},
        {L"a\\", {L"a"}},
        {L"a\\\\", {L"a", L""}},
        {L"\\a", {L"a"}},
        {L"\\", {}},
        {L"\\\\", {L""}},
        {L"a", {L"a"}},
        {L"", {}},
        {L"/data/sub", {L"/data/sub"}},
    };
    for (const auto& c : cases) {
        List pieces = {L"left over"};
        SplitString(c.text, L'\\', pieces);
        EXPECT_EQ(pieces, c.pieces) << "text: " << Show(c.text);
    }
}

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

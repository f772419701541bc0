// The portable style (PARCELON_STYLE_PORTABLE): what its records hold
// (names with '/', UTF-8 flagged beyond ASCII, one stored folder entry per
// folder before its contents, times, attributes), the tree every reader
// unpacks from it (Info-ZIP unzip, 7-Zip, bsdtar, Python's zipfile and the
// library itself, with the files' times and an executable's mode), which
// folders lists and filters give, and an archive that is the same at every
// thread count, encrypted or not.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include "ParcelonC.h"
#include "create/PackingState.h"
#include "create/ZipDirectory.h"
#include "create/ZipFiles.h"
#include "crypto/RandomBytes.h"
#include "deflate/ChunkCompressor.h"
#include "format/ZipFormat.h"
#include "platform/Platform.h"
#include "support/Archiver.h"
#include "support/TestSupport.h"
#include "text/Utf8.h"

using namespace testing_support;

namespace {

// Listing: each entry's time under its name.
int PARCELON_CALL KeepTime(const parcelon_entry* entry, void* times) {
    (*static_cast<std::map<std::string, parcelon_i64>*>(times))[entry->name] = entry->mtime;
    return 0;
}

// What the source tree holds, by entry name.
struct Node {
    bool folder = false;
    std::int64_t time = 0; // seconds since 1970, UTC
    std::string bytes;     // of a file
};

// How the file system spells an entry name (UTF-8) in this locale: its
// characters in the locale's character set when it holds them (GBK does),
// else the UTF-8 bytes when the library reads them back as such (the C
// locale passes undecodable bytes through); empty when neither works.
std::string NativeName(const std::string& name) {
#if defined(_WIN32)
    return name;
#else
    namespace platform = parcelon::platform;
    const std::wstring wide = parcelon::Utf8ToWide(name);
    const std::string native = platform::WideToAnsi(wide);
    if (platform::AnsiToWide(native) == wide) return native;
    if (parcelon::WideToUtf8(platform::AnsiToWide(name)) == name) return name;
    return std::string();
#endif
}

// An entry name (UTF-8) back from a name on disk as this locale spells it.
std::string EntryNameOf(const std::string& native) {
#if defined(_WIN32)
    return native;
#else
    return parcelon::WideToUtf8(parcelon::platform::AnsiToWide(native));
#endif
}

// A path as the library's wide text names it.
std::wstring LibraryPath(const fs::path& path) {
#if defined(_WIN32)
    return path.wstring();
#else
    return parcelon::platform::AnsiToWide(path.native());
#endif
}

// The local wall-clock fields of a moment, as a C library gives them.
std::tm LocalFields(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local {};
#if defined(_WIN32)
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return local;
}

std::string Le32Bytes(std::uint32_t value) {
    std::string out;
    parcelon::zip::Put32(out, value);
    return out;
}

bool HasHighByte(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

#if !defined(_WIN32)
struct stat StatOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st;
}
#endif

// A tree with every kind of thing the style must carry: nested folders, an
// empty one, an empty file, an executable, a file of several chunks, and
// (where the locale keeps it) a name beyond ASCII; every file and folder
// with a time of its own, odd seconds included.
class PortableStyleTest : public ::testing::Test {
protected:
    TempDir dir;
    std::map<std::string, Node> tree; // entry name -> what it is

    void SetUp() override {
        fs::create_directories(dir / "src");
        AddFile("a.txt", "alpha");
        AddFile("run.sh", "#!/bin/sh\necho hi\n");
        AddFile("empty.txt", "");
        AddFile("sub/b.txt", PatternBytes(5000, 3));
        AddFile("sub/deep/big.bin", PatternBytes(2 * parcelon::kChunkSize + 77, 4));
        AddFolder("empty/");
        if (!NativeName(u8"名前/ü.txt").empty()) AddFile(u8"名前/ü.txt", "umlaut");
#if !defined(_WIN32)
        fs::permissions(dir / "src/run.sh", fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add);
#endif
        // Times last: folders deepest first, after their contents.
        std::int64_t time = 1614834367; // 2021-03-04 05:06:07 UTC
        for (auto it = tree.rbegin(); it != tree.rend(); ++it) {
            it->second.time = time;
            time -= 86400 + 3607;
            ASSERT_TRUE(parcelon::platform::SetModificationTime(LibraryPath(Source(it->first)), it->second.time))
                << it->first;
        }
    }

    fs::path Source(const std::string& name) const {
#if defined(_WIN32)
        return dir / ("src/" + name);
#else
        return dir.path() / "src" / fs::path(NativeName(name));
#endif
    }

    void AddFolder(const std::string& name) {
        fs::create_directories(Source(name));
        tree[name].folder = true;
    }
    void AddFile(const std::string& name, const std::string& bytes) {
        for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
            AddFolder(name.substr(0, slash + 1));
        WriteFile(Source(name), bytes);
        tree[name].bytes = bytes;
    }

    // The tree packed in the portable style through the C interface.
    fs::path Pack(const std::string& archive_name, unsigned threads = 1, const char* password = nullptr) {
        Archiver a;
        EXPECT_EQ(parcelon_set_option(a, PARCELON_OPT_STYLE, PARCELON_STYLE_PORTABLE), 1);
        parcelon_set_threads(a, threads);
        const fs::path archive = dir / archive_name;
        EXPECT_EQ(parcelon_zip_directory(a, dir.W("src").c_str(), Wide(archive).c_str(), 1, 6, password, 0, nullptr,
                                         0, nullptr, 0),
                  1);
        EXPECT_EQ(parcelon_last_error(a), PARCELON_OK) << parcelon_last_message(a);
        return archive;
    }

    // What an extraction into out left: every path below it, folders ending
    // in '/', against the tree; with times (files, and folders when
    // folder_times) and contents. native: names on disk in this locale's
    // spelling (else UTF-8).
    void ExpectTree(const fs::path& out, const std::string& who, bool times, bool folder_times, bool native) {
        std::set<std::string> found;
        for (auto it = fs::recursive_directory_iterator(out); it != fs::recursive_directory_iterator(); ++it) {
            std::string name = fs::relative(it->path(), out).u8string();
            if (native) name = EntryNameOf(name);
            std::replace(name.begin(), name.end(), '\\', '/');
            if (it->is_directory()) name += '/';
            found.insert(name);
        }
        std::set<std::string> expected;
        for (const auto& [name, node] : tree) expected.insert(name);
        EXPECT_EQ(found, expected) << who;
        for (const auto& [name, node] : tree) {
#if defined(_WIN32)
            const fs::path path = out / fs::u8path(name);
#else
            const fs::path path = out / (native ? fs::path(NativeName(name)) : fs::u8path(name));
#endif
            if (!node.folder) {
                EXPECT_TRUE(ReadFile(path) == node.bytes) << who << ": " << name;
            }
#if !defined(_WIN32)
            if (times && (!node.folder || folder_times)) {
                EXPECT_EQ(StatOf(path).st_mtime, node.time) << who << ": " << name;
            }
#else
            (void)times;
            (void)folder_times;
#endif
        }
    }
};

} // namespace

TEST_F(PortableStyleTest, RecordsNamesFoldersTimesAndAttributes) {
    const fs::path archive = Pack("p.zip");
    const std::vector<ZipEntryInfo> entries = ReadCentralDirectory(archive);
    std::vector<std::string> names;
    for (const ZipEntryInfo& e : entries) names.push_back(e.name);
    std::set<std::string> expected;
    for (const auto& [name, node] : tree) expected.insert(name);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expected);
    EXPECT_EQ(names.size(), expected.size()) << "each entry once";

    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ZipEntryInfo& e = entries[i];
        const auto found = tree.find(e.name);
        ASSERT_NE(found, tree.end()) << e.name;
        const Node& node = found->second;
        // A folder before everything in it.
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_NE(entries[j].name.rfind(e.name, 0) == 0 && node.folder, true)
                << entries[j].name << " before its folder " << e.name;
        EXPECT_EQ((e.flags & parcelon::zip::kFlagUtf8Name) != 0, HasHighByte(e.name)) << e.name;
        EXPECT_EQ(e.version_needed, 20) << e.name;
        EXPECT_EQ(e.method, node.folder ? 0 : 8) << e.name;
        if (node.folder) {
            EXPECT_EQ(e.compressed_size, 0u) << e.name;
            EXPECT_EQ(e.crc, 0u) << e.name;
        }
        EXPECT_EQ((e.external_attributes & 0x10) != 0, node.folder) << e.name;
#if defined(_WIN32)
        EXPECT_EQ(e.version_made_by >> 8, 10) << e.name << ": made by NTFS, with the DOS attributes";
#else
        EXPECT_EQ(e.version_made_by >> 8, 3) << e.name << ": made by Unix, with its mode";
        EXPECT_EQ(e.external_attributes >> 16, StatOf(Source(e.name)).st_mode) << e.name;
#endif
        // The DOS date and time in local time, two-second steps; the exact
        // time in the extended timestamp, and nothing else.
        const std::tm local = LocalFields(node.time);
        EXPECT_EQ(e.dos_date, (local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday) << e.name;
        EXPECT_EQ(e.dos_time, local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2) << e.name;
        EXPECT_EQ(e.extra, std::string("\x55\x54\x05\x00\x01", 5) + Le32Bytes(static_cast<std::uint32_t>(node.time)))
            << e.name;
    }

    // The library's own listing reads the exact times back.
    std::map<std::string, parcelon_i64> listed;
    Archiver a;
    ASSERT_EQ(parcelon_list(a, Wide(archive).c_str(), KeepTime, &listed), 1);
    for (const auto& [name, node] : tree) EXPECT_EQ(listed[name], node.time) << name;
}

#if !defined(_WIN32)
TEST_F(PortableStyleTest, EveryPeerUnpacksTheSameTreeWithItsTimesAndModes) {
    const fs::path archive = Pack("p.zip", 0);
    const std::string quoted = ShellQuote(Narrow(archive));
    // The peers run in a UTF-8 environment, whatever this one is: in
    // another, each spells UTF-8 names its own way (#U540d..., or not at
    // all).
    const std::string utf8 = "env LC_ALL=C.UTF-8 ";
    struct Peer {
        const char* tool;
        std::string command; // extracts into the folder that follows it
        bool folder_times;   // restores folders' times too
        bool modes;          // restores the Unix mode
    };
    const std::vector<Peer> peers = {
        {"unzip", utf8 + "unzip -q " + quoted + " -d ", true, true},
        {"7z", utf8 + "7z x -bd -y " + quoted + " -o", true, true},
        {"bsdtar", utf8 + "bsdtar -xf " + quoted + " -C ", true, true},
    };
    int ran = 0;
    for (const Peer& peer : peers) {
        if (!HaveTool(peer.tool)) continue;
        ++ran;
        const fs::path out = dir / (std::string("out-") + peer.tool);
        fs::create_directories(out);
        std::string output;
        ASSERT_EQ(RunCommand(peer.command + ShellQuote(Narrow(out)), &output), 0) << peer.tool << ": " << output;
        ExpectTree(out, peer.tool, true, peer.folder_times, false);
        if (peer.modes) {
            EXPECT_NE(StatOf(out / "run.sh").st_mode & S_IXUSR, 0u) << peer.tool << ": run.sh";
        }
        EXPECT_EQ(StatOf(out / "a.txt").st_mode & S_IXUSR, 0u) << peer.tool << ": a.txt";
    }
    // Tested without a word of warning.
    std::string output;
    if (HaveTool("unzip")) {
        EXPECT_EQ(RunCommand("unzip -t " + quoted, &output), 0) << output;
        EXPECT_EQ(output.find("arning"), std::string::npos) << output;
    }
    if (HaveTool("7z")) {
        EXPECT_EQ(RunCommand("7z t " + quoted, &output), 0) << output;
        EXPECT_NE(output.find("Everything is Ok"), std::string::npos) << output;
        EXPECT_EQ(output.find("Warning"), std::string::npos) << output;
    }
    // Python's zipfile: the same tree, and each entry's DOS time is the
    // local time of the file's (zipfile restores no times itself).
    if (HaveTool("python3")) {
        ++ran;
        const fs::path out = dir / "out-zipfile";
        ASSERT_EQ(RunPeer("zipfile_extract_times.py", {Narrow(archive), Narrow(out)}, &output), 0) << output;
        ExpectTree(out, "zipfile", false, false, true);
        std::istringstream lines(output);
        std::size_t dated = 0;
        for (std::string line; std::getline(lines, line);) {
            const std::size_t tab = line.find('\t');
            if (tab == std::string::npos) continue;
            const std::string name = line.substr(0, tab);
            ASSERT_EQ(tree.count(name), 1u) << name;
            const std::tm local = LocalFields(tree[name].time);
            std::ostringstream expected;
            expected << local.tm_year + 1900 << ' ' << local.tm_mon + 1 << ' ' << local.tm_mday << ' ' << local.tm_hour
                     << ' ' << local.tm_min << ' ' << local.tm_sec / 2 * 2;
            EXPECT_EQ(line.substr(tab + 1), expected.str()) << name;
            ++dated;
        }
        EXPECT_EQ(dated, tree.size());
    }
    // And the library itself, times restored as unzip restores them.
    {
        const fs::path out = dir / "out-library";
        fs::create_directories(out);
        Archiver a;
        parcelon_set_option(a, PARCELON_OPT_RESTORE_TIMES, 1);
        ASSERT_EQ(parcelon_extract(a, Wide(archive).c_str(), Wide(out).c_str(), nullptr, nullptr, 0), 1)
            << parcelon_last_message(a);
        ExpectTree(out, "library", true, false, true);
    }
    if (ran == 0) GTEST_SKIP() << "none of unzip, 7z, bsdtar and python3 is installed";
}
#endif

TEST_F(PortableStyleTest, ListsAndFiltersGiveTheFoldersOfWhatIsPacked) {
    struct Case {
        const char* what;
        std::vector<std::wstring> includes, excludes; // a tree, filtered
        std::vector<std::string> files;                // or a list, after a tree set the base folder
        std::vector<std::string> expected;             // a list's entries, in order; a tree's, in any order
    };
    const std::string ext = tree.count(u8"名前/") != 0 ? u8"名前/" : "";
    std::vector<Case> cases = {
        {"a folder excluded by name: no empty folders left behind", {}, {L"deep"}, {}, {}},
        {"only *.bin: the folders that lead to it", {L"*.bin"}, {}, {}, {"sub/", "sub/deep/", "sub/deep/big.bin"}},
        {"a list below the base: each folder once, before its first file",
         {},
         {},
         {"src/sub/deep/big.bin", "src/a.txt", "src/sub/b.txt", "src/sub/deep/big.bin"},
         {"sub/", "sub/deep/", "sub/deep/big.bin", "a.txt", "sub/b.txt", "sub/deep/big.bin"}},
    };
    cases[0].expected = {"a.txt", "run.sh", "empty.txt", "sub/", "sub/b.txt"};
    if (!ext.empty()) {
        cases[0].expected.push_back(ext);
        cases[0].expected.push_back(ext + u8"ü.txt");
    }
    for (const Case& c : cases) {
        Archiver a;
        ASSERT_EQ(parcelon_set_option(a, PARCELON_OPT_STYLE, PARCELON_STYLE_PORTABLE), 1);
        const std::wstring archive = dir.W("case.zip");
        std::vector<const wchar_t*> includes, excludes;
        for (const std::wstring& f : c.includes) includes.push_back(f.c_str());
        for (const std::wstring& f : c.excludes) excludes.push_back(f.c_str());
        ASSERT_EQ(parcelon_zip_directory(a, dir.W("src").c_str(), archive.c_str(), 1, 6, nullptr, 0, includes.data(),
                                         includes.size(), excludes.data(), excludes.size()),
                  1);
        std::vector<std::string> names = EntryNames(dir / "case.zip");
        if (!c.files.empty()) {
            std::vector<std::wstring> paths;
            for (const std::string& f : c.files) paths.push_back(dir.W(f));
            std::vector<const wchar_t*> list;
            for (const std::wstring& p : paths) list.push_back(p.c_str());
            ASSERT_EQ(parcelon_zip_files(a, list.data(), list.size(), archive.c_str(), 6, nullptr), 1);
            EXPECT_EQ(EntryNames(dir / "case.zip"), c.expected) << c.what;
            continue;
        }
        std::sort(names.begin(), names.end());
        std::vector<std::string> expected = c.expected;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names, expected) << c.what;
    }
    // A list with no base folder: file names alone, no folders.
    Archiver fresh;
    ASSERT_EQ(parcelon_set_option(fresh, PARCELON_OPT_STYLE, PARCELON_STYLE_PORTABLE), 1);
    const std::wstring b = dir.W("src/sub/b.txt");
    const wchar_t* list[] = {b.c_str()};
    ASSERT_EQ(parcelon_zip_files(fresh, list, 1, dir.W("fresh.zip").c_str(), 6, nullptr), 1);
    EXPECT_EQ(EntryNames(dir / "fresh.zip"), std::vector<std::string>{"b.txt"});
}

TEST_F(PortableStyleTest, TheArchiveIsTheSameAtEveryThreadCount) {
    // Every style and encryption, a tree and a list, the random bytes of
    // encryption fixed: one thread's bytes at every count.
    const std::vector<std::wstring> list = {dir.W("src/sub/deep/big.bin"), dir.W("src/a.txt"), dir.W("src/empty.txt"),
                                            dir.W("src/sub/b.txt")};
    struct Variant {
        parcelon::EntryStyle style;
        parcelon::Encryption encryption;
        const char* password;
    };
    using parcelon::Encryption;
    using parcelon::EntryStyle;
    for (const Variant& v : {Variant{EntryStyle::Portable, Encryption::Traditional, nullptr},
                             Variant{EntryStyle::Portable, Encryption::Traditional, "pw"},
                             Variant{EntryStyle::Portable, Encryption::Aes256, "pw"},
                             Variant{EntryStyle::Classic, Encryption::Aes256, "pw"}}) {
        for (const bool tree_call : {true, false}) {
            std::string first;
            for (const unsigned threads : {1u, 2u, 8u}) {
                std::atomic<bool> stop{false};
                long long total = 0, done = 0;
                int last = 0;
                std::wstring base = dir.W("src");
                parcelon::PackingState state{stop, nullptr, total, done, last, base};
                parcelon::RandomBytes random(99);
                state.threads = threads;
                state.style = v.style;
                state.encryption = v.encryption;
                state.random = &random;
                parcelon::Diagnostics diagnostics;
                const std::wstring archive = dir.W("t.zip");
                ASSERT_TRUE(tree_call ? parcelon::ZipDirectory(state, dir.W("src").c_str(), archive.c_str(), {}, {},
                                                               true, 6, v.password, 0, diagnostics)
                                      : parcelon::ZipFiles(state, list, archive.c_str(), 6, v.password, diagnostics));
                const std::string bytes = ReadFile(dir / "t.zip");
                if (threads == 1) first = bytes;
                EXPECT_TRUE(bytes == first) << threads << " threads, " << (tree_call ? "tree" : "list") << ", "
                                            << (v.password ? v.password : "plain");
            }
        }
    }
}

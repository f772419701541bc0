// Nothing lost, nothing half-written, no success for work not done: what
// extraction does with archives that are damaged, inconsistent or made to
// mislead. Each case failed, or passed for the wrong reason, before.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "Parcelon.h"
#include "extract/UnzipFile.h"
#include "support/TestSupport.h"
#include "support/UnzipSupport.h"
#include "support/ZipBuilder.h"
#if !defined(_WIN32)
#include "support/ChildProcess.h"
#endif

using namespace testing_support;
using parcelon::UnzipFailure;

namespace {

class UnzipIntegrityTest : public ::testing::Test {
protected:
    TempDir dir;
    UnzipFailure failure = UnzipFailure::None;
    std::string err;

    void SetUp() override { fs::create_directories(dir / "out"); }

    // Extracts into out/; the kind of failure goes to `failure`, the line
    // to `err`.
    bool Unzip(const std::string& archive_bytes, const char* password = nullptr) {
        WriteFile(dir / "a.zip", archive_bytes);
        RecordingDiagnostics diagnostics;
        StderrCapture capture;
        const bool ok = parcelon::UnzipFile(dir.W("a.zip"), dir.W("out"), password, diagnostics);
        err = capture.Text();
        failure = diagnostics.unzipping.empty() ? UnzipFailure::None : diagnostics.unzipping.back();
        return ok;
    }

    std::set<std::string> Out() const { return unzip_support::Listing(dir / "out"); }

    static std::string Packed(const std::vector<std::pair<std::string, std::string>>& files, const char* password,
                              const TempDir& where) {
        std::vector<std::wstring> paths;
        fs::create_directories(where / "in");
        for (const auto& [name, bytes] : files) {
            WriteFile(where / ("in/" + name), bytes);
            paths.push_back(where.W("in/" + name));
        }
        CParcelon zipper;
        EXPECT_TRUE(zipper.ZipFiles(paths, where.W("packed.zip").c_str(), 6, password));
        return ReadFile(where / "packed.zip");
    }
};

// Offset of the first central record.
std::size_t CentralStart(const std::string& archive) { return archive.find("PK\x01\x02"); }

} // namespace

// ---------------------------------------------------------------- a failed entry leaves nothing

TEST_F(UnzipIntegrityTest, AFailedEntryLeavesNothingAndTheFileItWouldReplaceAsItWas) {
    TempDir work;
    const std::string data = PatternBytes(20000, 3);
    const std::string encrypted = Packed({{"a.txt", data}}, "pw", work);
    std::string corrupt = Packed({{"a.txt", data}}, nullptr, work);
    corrupt[30 + 5 + 100] ^= 0x55; // inside the Deflate data
    ZipBuilder unknown_method;
    BuiltEntry entry = unknown_method.Add("a.txt", "plain");
    entry.method = 98; // PPMd, in both records
    unknown_method.body = ZipBuilder::LocalHeader(entry) + "plain";
    ZipBuilder strong;
    BuiltEntry strong_entry = strong.Add("a.txt", "plain");
    strong_entry.flags = 0x0041; // encrypted, strong encryption
    strong.body = ZipBuilder::LocalHeader(strong_entry) + "plain";

    const struct {
        const char* what;
        std::string archive;
        const char* password;
        UnzipFailure kind;
    } cases[] = {
        {"wrong password", encrypted, "nope", UnzipFailure::WrongPassword},
        {"no password", encrypted, nullptr, UnzipFailure::PasswordRequired},
        {"corrupt data", corrupt, nullptr, UnzipFailure::DataCorrupt},
        {"unsupported method", unknown_method.Archive({entry}), nullptr, UnzipFailure::UnsupportedMethod},
        {"strong encryption", strong.Archive({strong_entry}), "pw", UnzipFailure::UnsupportedEncryption},
    };
    for (const auto& c : cases) {
        WriteFile(dir / "out/a.txt", "the file before");
        EXPECT_FALSE(Unzip(c.archive, c.password)) << c.what;
        EXPECT_EQ(failure, c.kind) << c.what;
        EXPECT_EQ(err, MessageLine(c.kind)) << c.what;
        EXPECT_EQ(Out(), std::set<std::string>{"a.txt"}) << c.what << ": nothing left behind";
        EXPECT_EQ(ReadFile(dir / "out/a.txt"), "the file before") << c.what;
    }
    // And with the right password the file is replaced whole.
    EXPECT_TRUE(Unzip(encrypted, "pw")) << err;
    EXPECT_TRUE(ReadFile(dir / "out/a.txt") == data);
}

TEST_F(UnzipIntegrityTest, AFolderEntryThatCarriesDataIsRefused) {
    ZipBuilder zip;
    const BuiltEntry before = zip.Add("first.txt", "first");
    const BuiltEntry folder = zip.Add("dir/", "10 bytes!!");
    EXPECT_FALSE(Unzip(zip.Archive({before, folder})));
    EXPECT_EQ(failure, UnzipFailure::FolderEntryHasData);
    EXPECT_EQ(err, MessageLine(UnzipFailure::CannotCreateOutput)) << "message 5";
    EXPECT_EQ(Out(), std::set<std::string>{"first.txt"});
}

// ---------------------------------------------------------------- the central directory

TEST_F(UnzipIntegrityTest, ADamagedRecordAfterTheFirstFailsWithMessage4) {
    ZipBuilder zip;
    const BuiltEntry a = zip.Add("a.txt", "alpha");
    const BuiltEntry b = zip.Add("b.txt", "bravo");
    std::string archive = zip.Archive({a, b});
    const std::size_t second = archive.find("PK\x01\x02", CentralStart(archive) + 4);
    archive[second + 2] = 'X';
    EXPECT_FALSE(Unzip(archive));
    EXPECT_EQ(failure, UnzipFailure::CannotReadEntryInfo);
    EXPECT_EQ(err, MessageLine(UnzipFailure::CannotReadEntryInfo));
    EXPECT_EQ(Out(), std::set<std::string>{"a.txt"}) << "the entries before stay";
}

TEST_F(UnzipIntegrityTest, AnEndRecordThatCountsMoreEntriesThanTheDirectoryHoldsFails) {
    ZipBuilder zip;
    const BuiltEntry a = zip.Add("a.txt", "alpha");
    EXPECT_FALSE(Unzip(zip.Archive({a}, 65000)));
    EXPECT_EQ(failure, UnzipFailure::CannotReadEntryInfo);
    EXPECT_EQ(Out(), std::set<std::string>{"a.txt"});
}

TEST_F(UnzipIntegrityTest, EveryRecordTheDirectoryHoldsIsExtractedWhateverTheCount) {
    ZipBuilder zip;
    const std::vector<BuiltEntry> records = {zip.Add("a.txt", "alpha"), zip.Add("b.txt", "bravo"),
                                             zip.Add("c.txt", "charlie")};
    const std::string archive = zip.Archive(records, 2);
    EXPECT_TRUE(Unzip(archive)) << err;
    EXPECT_EQ(Out(), (std::set<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(ReadFile(dir / "out/c.txt"), "charlie");
    if (HaveTool("python3")) {
        // Python's zipfile reads the directory by its size too.
        std::string output;
        EXPECT_EQ(RunPeer("zipfile_names.py", {dir.A("a.zip")}, &output), 0) << output;
        EXPECT_EQ(output, "a.txt\nb.txt\nc.txt\n");
    }
}

TEST_F(UnzipIntegrityTest, TheLongestCommentIsRead) {
    ZipBuilder zip;
    const BuiltEntry a = zip.Add("a.txt", "alpha");
    const std::string central = ZipBuilder::Central(a);
    const std::string comment(65535, 'c');
    const std::string archive = zip.body + central + ZipBuilder::End(1, central.size(), zip.body.size(), comment);
    EXPECT_TRUE(Unzip(archive)) << err;
    EXPECT_EQ(ReadFile(dir / "out/a.txt"), "alpha");
    if (HaveTool("python3")) {
        EXPECT_EQ(RunPeer("zipfile_testzip.py", {dir.A("a.zip")}), 0);
    }
    if (HaveTool("unzip")) {
        EXPECT_EQ(RunCommand("unzip -t -qq " + ShellQuote(dir.A("a.zip"))), 0);
    }
    // With a stub before the archive, as a self-extractor has, all moves.
    EXPECT_TRUE(Unzip(std::string(1000, 's') + archive)) << err;
    EXPECT_EQ(ReadFile(dir / "out/a.txt"), "alpha");
}

// A ZIP64 end record and its locator, before the end record, for a
// directory of cd_size bytes at cd_offset.
std::string Zip64EndRecords(std::uint64_t entries, std::uint64_t cd_size, std::uint64_t cd_offset,
                            std::uint64_t record_offset) {
    const auto put64 = [](std::string& out, std::uint64_t value) {
        ZipBuilder::Put32(out, static_cast<std::uint32_t>(value));
        ZipBuilder::Put32(out, static_cast<std::uint32_t>(value >> 32));
    };
    std::string out;
    ZipBuilder::Put32(out, 0x06064B50);
    put64(out, 44);
    ZipBuilder::Put16(out, 45);
    ZipBuilder::Put16(out, 45);
    ZipBuilder::Put32(out, 0);
    ZipBuilder::Put32(out, 0);
    put64(out, entries);
    put64(out, entries);
    put64(out, cd_size);
    put64(out, cd_offset);
    ZipBuilder::Put32(out, 0x07064B50);
    ZipBuilder::Put32(out, 0);
    put64(out, record_offset);
    ZipBuilder::Put32(out, 1);
    return out;
}

TEST_F(UnzipIntegrityTest, AZip64EndRecordIsReadWhenThePlainOneNeedsNone) {
    // Streaming writers (zip reading standard input, bsdtar) write one with
    // every plain field holding its value; the directory ends where it
    // begins, and no stub stands before the archive.
    ZipBuilder zip;
    const BuiltEntry a = zip.Add("a.txt", "alpha");
    const std::string central = ZipBuilder::Central(a);
    const std::string archive = zip.body + central +
                                Zip64EndRecords(1, central.size(), zip.body.size(), zip.body.size() + central.size()) +
                                ZipBuilder::End(1, central.size(), zip.body.size());
    EXPECT_TRUE(Unzip(archive)) << err;
    EXPECT_EQ(ReadFile(dir / "out/a.txt"), "alpha");
    // Behind a stub, as a self-extractor has.
    EXPECT_TRUE(Unzip(std::string(300, 's') + archive)) << err;
}

TEST_F(UnzipIntegrityTest, WhereTheTwoEndRecordsDisagreeTheZip64OneDecidesAsForEveryPeer) {
    // The plain record names a directory with a.txt, the ZIP64 record one
    // with b.txt: Python's zipfile and 7-Zip list b.txt alone, and so must
    // the library, or a scanner that checked one set of files would see
    // another written.
    ZipBuilder zip;
    const BuiltEntry a = zip.Add("a.txt", "alpha");
    const BuiltEntry b = zip.Add("b.txt", "bravo");
    const std::string first = ZipBuilder::Central(a);
    const std::string second = ZipBuilder::Central(b);
    const std::size_t first_at = zip.body.size();
    const std::size_t second_at = first_at + first.size();
    const std::string archive = zip.body + first + second +
                                Zip64EndRecords(1, second.size(), second_at, second_at + second.size()) +
                                ZipBuilder::End(1, first.size(), first_at);
    EXPECT_TRUE(Unzip(archive)) << err;
    EXPECT_EQ(Out(), std::set<std::string>{"b.txt"});
    if (HaveTool("python3")) {
        std::string output;
        EXPECT_EQ(RunPeer("zipfile_names.py", {dir.A("a.zip")}, &output), 0) << output;
        EXPECT_EQ(output, "b.txt\n");
    }
}

// ---------------------------------------------------------------- overlapping and inconsistent entries

TEST_F(UnzipIntegrityTest, TwoRecordsForOneLocalHeaderAreRefused) {
    ZipBuilder zip;
    const BuiltEntry a = zip.Add("a.txt", "alpha");
    BuiltEntry again = a;
    EXPECT_FALSE(Unzip(zip.Archive({a, again})));
    EXPECT_EQ(failure, UnzipFailure::EntryOverlaps);
    EXPECT_EQ(err, MessageLine(UnzipFailure::EntryOverlaps));
    EXPECT_EQ(Out(), std::set<std::string>{"a.txt"});
}

TEST_F(UnzipIntegrityTest, AnEntryInsideAnotherEntrysDataIsRefused) {
    // The way a small archive unpacks to a huge tree: an entry's data hold
    // the next entry's local header and data, which a second record points
    // at.
    BuiltEntry inner;
    inner.name = "inner.txt";
    inner.crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>("inner"), 5));
    inner.compressed_size = inner.uncompressed_size = 5;
    const std::string hidden = ZipBuilder::LocalHeader(inner) + "inner";
    ZipBuilder zip;
    const BuiltEntry outer = zip.Add("outer.bin", "prefix" + hidden + "suffix");
    inner.offset = static_cast<std::uint32_t>(outer.offset + 30 + outer.name.size() + 6);
    EXPECT_FALSE(Unzip(zip.Archive({outer, inner})));
    EXPECT_EQ(failure, UnzipFailure::EntryOverlaps);
    EXPECT_EQ(Out(), std::set<std::string>{"outer.bin"});
}

TEST_F(UnzipIntegrityTest, ALocalHeaderThatDisagreesWithItsRecordIsRefused) {
    for (const char* field : {"name", "method", "signature"}) {
        ZipBuilder zip;
        const BuiltEntry a = zip.Add("a.txt", "alpha");
        const std::string which = field;
        if (which == "name") zip.body[30] = 'z';
        if (which == "method") zip.body[8] = 8;
        if (which == "signature") zip.body[3] = 9;
        EXPECT_FALSE(Unzip(zip.Archive({a}))) << field;
        EXPECT_EQ(failure, UnzipFailure::LocalHeaderMismatch) << field;
        EXPECT_EQ(err, MessageLine(UnzipFailure::LocalHeaderMismatch)) << field;
        EXPECT_TRUE(Out().empty()) << field;
    }
}

TEST_F(UnzipIntegrityTest, ADeflateStreamMustEndExactlyWhereItsSizesSay) {
    const std::string data = PatternBytes(5000, 8);
    {
        // The recorded sizes and CRC cover the first 1,000 bytes only: the
        // stream runs on past them.
        ZipBuilder zip;
        BuiltEntry a = zip.Add("a.txt", data, 8);
        a.uncompressed_size = 1000;
        a.crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), 1000));
        EXPECT_FALSE(Unzip(zip.Archive({a})));
        EXPECT_EQ(failure, UnzipFailure::DataCorrupt);
        EXPECT_TRUE(Out().empty());
    }
    {
        // Bytes after the end of the stream, counted in the compressed size.
        ZipBuilder zip;
        BuiltEntry a = zip.Add("a.txt", data, 8);
        zip.body += "xyz";
        a.compressed_size += 3;
        EXPECT_FALSE(Unzip(zip.Archive({a})));
        EXPECT_EQ(failure, UnzipFailure::DataCorrupt);
        EXPECT_TRUE(Out().empty());
    }
    {
        // The same entry, exact, extracts.
        ZipBuilder zip;
        const BuiltEntry a = zip.Add("a.txt", data, 8);
        EXPECT_TRUE(Unzip(zip.Archive({a}))) << err;
        EXPECT_TRUE(ReadFile(dir / "out/a.txt") == data);
    }
}

// ---------------------------------------------------------------- memory whatever the names

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// (Sanitizers keep freed memory aside, so a peak means nothing under them.)
// Deep names cost memory in proportion to their length, not its square:
// one entry 32,767 folders deep (a 131 KB archive), and 50 entries 1,999
// folders deep, stay within 16 MiB of what a small archive takes.
TEST(UnzipMemoryTest, DeepNamesTakeNoMoreMemoryThanShallowOnes) {
    // Thousands of nested folders: in memory where the machine has a
    // memory file system, as making and removing them on a disk is slow.
    std::error_code ec;
    const TempDir dir(fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path());
    std::string deepest;
    while (deepest.size() + 2 < 65535) deepest += "a/";
    deepest += "f";
    std::vector<unzip_support::NamedData> many;
    std::string deep;
    for (int i = 0; i < 1999; ++i) deep += "a/";
    for (int i = 0; i < 50; ++i) many.emplace_back(deep + "f" + std::to_string(i), "data");
    unzip_support::StoredArchive(dir / "deepest.zip", {unzip_support::NamedData(deepest, "data")});
    unzip_support::StoredArchive(dir / "many.zip", many);
    unzip_support::StoredArchive(dir / "small.zip", {unzip_support::NamedData("a/f", "data")});

    const auto extract = [&](const std::string& archive) {
        return RunInChild([&]() {
            fs::create_directories(dir / ("out-" + archive));
            RecordingDiagnostics diagnostics;
            StderrCapture quiet;
            parcelon::UnzipFile(dir.W(archive), dir.W("out-" + archive), nullptr, diagnostics);
            return std::string();
        });
    };
    const ChildResult small = extract("small.zip");
    ASSERT_TRUE(small.ok()) << small.Describe();
    for (const char* archive : {"deepest.zip", "many.zip"}) {
        const ChildResult deep_run = extract(archive);
        ASSERT_TRUE(deep_run.ok()) << archive << ": " << deep_run.Describe();
        std::printf("%s: peak %ld KiB, a small archive %ld KiB\n", archive, deep_run.max_rss_kib, small.max_rss_kib);
        EXPECT_LT(deep_run.max_rss_kib - small.max_rss_kib, 16 * 1024)
            << archive << " peaked at " << deep_run.max_rss_kib << " KiB, a small archive at " << small.max_rss_kib;
    }
    // Where the file system takes names that deep, the entries are there.
    EXPECT_EQ(ReadFile(dir / ("out-many.zip/" + deep + "f49")), "data");
}
#endif

// ---------------------------------------------------------------- Windows device names

TEST_F(UnzipIntegrityTest, WindowsDeviceNamesAreRefusedOnWindowsOnly) {
    for (const char* name : {"CON", "nul.txt", "sub/aux", "Com1.log", "LPT9", "CONIN$", "prn.tar.gz", "nul "}) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        ZipBuilder zip;
        const BuiltEntry device = zip.Add(name, "to a device?");
        const bool ok = Unzip(zip.Archive({device}));
#if defined(_WIN32)
        EXPECT_FALSE(ok) << name;
        EXPECT_EQ(failure, UnzipFailure::EntryNameUnsafe) << name;
        EXPECT_EQ(err, MessageLine(UnzipFailure::EntryNameUnsafe)) << name;
#else
        // Ordinary names here.
        EXPECT_TRUE(ok) << name << ": " << err;
        EXPECT_EQ(ReadFile(dir / "out" / name), "to a device?") << name;
#endif
    }
    // Names that only begin like one are files everywhere.
    for (const char* name : {"console.txt", "nullify", "com10", "lpt", "aux_files/x"}) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        ZipBuilder zip;
        const BuiltEntry entry = zip.Add(name, "a file");
        EXPECT_TRUE(Unzip(zip.Archive({entry}))) << name << ": " << err;
    }
}

// Extracting archives: round trips of the library's own archives (plain and
// encrypted), passwords right, wrong and missing, damaged data, unusable
// archives and destinations, and the one message each failure writes. The
// round trips need no peer, so they also run under Wine; archives crafted
// with Python (any name, any method, deterministic encryption) are skipped
// where python3 is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "Parcelon.h"
#include "messages/Messages.h"
#include "extract/UnzipFile.h"
#include "text/TextHelpers.h"
#include "support/TestSupport.h"
#include "support/UnzipSupport.h"
#include "support/ZipBuilder.h"

using namespace testing_support;
using unzip_support::CraftArchive;
using unzip_support::CraftedEntry;
using unzip_support::Listing;
using unzip_support::NamedData;
using unzip_support::ZipfileArchive;

namespace {

#define REQUIRE_PYTHON()                                                                                     \
    do {                                                                                                     \
        if (!HaveTool("python3")) GTEST_SKIP() << "python3 is not installed";                               \
    } while (0)

// A scratch folder with an input folder, an existing destination "out" and
// room for archives beside them.
class UnzipTest : public ::testing::Test {
protected:
    TempDir dir;

    void SetUp() override {
        fs::create_directories(dir / "in");
        fs::create_directories(dir / "out");
    }

    std::wstring Input(const std::string& name, const std::string& bytes) {
        WriteFile(dir / ("in/" + name), bytes);
        return dir.W("in/" + name);
    }

    // Packs the named input files with the library's ZipFiles.
    fs::path Pack(const std::vector<std::wstring>& files, const char* password, const std::string& archive = "a.zip") {
        CParcelon zipper;
        EXPECT_TRUE(zipper.ZipFiles(files, dir.W(archive).c_str(), 6, password));
        return dir / archive;
    }

    // What the last Unzip reported, if it failed.
    parcelon::UnzipFailure failure = parcelon::UnzipFailure::None;

    // Extracts into out/ and returns the result; the text written to stderr
    // goes to *messages_out, the kind of failure reported to `failure`.
    bool Unzip(const fs::path& archive, const char* password, std::string* messages_out,
               const std::string& dest = std::string()) {
        RecordingDiagnostics diagnostics;
        StderrCapture capture;
        const std::string dest_text = dest.empty() ? dir.A("out") : dest;
        const bool result = parcelon::UnzipFile(parcelon::FromAnsi(Narrow(archive).c_str()), parcelon::FromAnsi(dest_text.c_str()), password,
                                                diagnostics);
        *messages_out = capture.Text();
        EXPECT_LE(diagnostics.unzipping.size(), 1u) << "one report at most";
        failure = diagnostics.unzipping.empty() ? parcelon::UnzipFailure::None : diagnostics.unzipping.back();
        return result;
    }

    // The last Unzip failed for this reason, and said so in its one line.
    void ExpectFailure(parcelon::UnzipFailure kind, const std::string& err, const std::string& context = {}) {
        EXPECT_EQ(failure, kind) << context;
        EXPECT_EQ(err, MessageLine(kind)) << context;
    }

    std::string Out(const std::string& name) const { return ReadFile(dir / ("out/" + name)); }
    std::set<std::string> OutListing() const { return Listing(dir / "out"); }
};

// Offset of the first entry's data in an archive (after its local header).
std::size_t FirstDataOffset(const std::string& archive) {
    const auto le16 = [&](std::size_t at) {
        return static_cast<std::size_t>(static_cast<unsigned char>(archive[at]) |
                                        static_cast<unsigned char>(archive[at + 1]) << 8);
    };
    return 30 + le16(26) + le16(28);
}

void FlipByte(const fs::path& archive, std::size_t at) {
    std::string bytes = ReadFile(archive);
    ASSERT_LT(at, bytes.size());
    bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
    WriteFile(archive, bytes);
}

} // namespace

// ---------------------------------------------------------------- round trips

class UnzipRoundTripTest : public UnzipTest {
protected:
    std::vector<std::wstring> files;
    std::vector<std::pair<std::string, std::string>> contents;

    void SetUp() override {
        UnzipTest::SetUp();
        const struct {
            const char* name;
            std::size_t size;
        } samples[] = {{"empty.txt", 0}, {"small.txt", 37}, {"block.bin", 1024}, {"text.txt", 300000}};
        unsigned seed = 11;
        for (const auto& s : samples) {
            contents.emplace_back(s.name, PatternBytes(s.size, seed++));
            files.push_back(Input(s.name, contents.back().second));
        }
    }

    void ExpectExtractedWhole() {
        std::set<std::string> expected;
        for (const auto& c : contents) {
            expected.insert(c.first);
            EXPECT_EQ(Out(c.first), c.second) << c.first;
        }
        EXPECT_EQ(OutListing(), expected);
    }
};

TEST_F(UnzipRoundTripTest, PlainArchiveExtractsIdenticalBytes) {
    const fs::path archive = Pack(files, nullptr);
    std::string err;
    EXPECT_TRUE(Unzip(archive, nullptr, &err));
    EXPECT_EQ(err, "");
    ExpectExtractedWhole();
}

TEST_F(UnzipRoundTripTest, EncryptedArchiveExtractsWithItsPassword) {
    const fs::path archive = Pack(files, "s3cret!");
    for (const ZipEntryInfo& e : ReadCentralDirectory(archive)) ASSERT_EQ(e.flags & 1, 1) << e.name;
    std::string err;
    EXPECT_TRUE(Unzip(archive, "s3cret!", &err));
    EXPECT_EQ(err, "");
    ExpectExtractedWhole();
}

TEST_F(UnzipRoundTripTest, TheSameTextOpensWhatPackingEncryptedWithIt) {
    // Packing trims its password; extraction tries the text as given, then
    // (only when that fails) the trimmed text.
    const fs::path archive = Pack(files, "  pass word \t");
    std::string err;
    EXPECT_TRUE(Unzip(archive, "  pass word \t", &err)) << err;
    ExpectExtractedWhole();
    EXPECT_TRUE(Unzip(archive, "pass word", &err)) << err;
    ExpectExtractedWhole();
    // White space inside is part of the password.
    EXPECT_FALSE(Unzip(archive, "pass  word", &err));
    EXPECT_TRUE(failure == parcelon::UnzipFailure::WrongPassword || failure == parcelon::UnzipFailure::DataCorrupt)
        << err;
    EXPECT_EQ(err, MessageLine(failure));
}

TEST_F(UnzipRoundTripTest, APasswordThatOpensAsGivenIsNeverTrimmed) {
    // An archive whose password has spaces of its own (written by another
    // tool) opens with exactly that text.
    CraftedEntry entry;
    entry.name = "spaced.txt";
    entry.data = "spaces are part of it";
    entry.password = " spaced ";
    if (!HaveTool("python3")) GTEST_SKIP() << "python3 is not installed";
    ASSERT_TRUE(CraftArchive(dir / "s.zip", {entry}));
    std::string err;
    EXPECT_TRUE(Unzip(dir / "s.zip", " spaced ", &err)) << err;
    EXPECT_EQ(Out("spaced.txt"), "spaces are part of it");
    EXPECT_FALSE(Unzip(dir / "s.zip", "spaced", &err));
}

TEST_F(UnzipRoundTripTest, WrongPasswordsAreRefusedByTheCheckByte) {
    const fs::path archive = Pack({files[1]}, "right");
    int refused_by_check = 0;
    for (const char* wrong : {"wrong", "Right", "right!"}) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        // An existing file of the entry's name is left exactly as it was.
        WriteFile(dir / "out/small.txt", "kept");
        std::string err;
        EXPECT_FALSE(Unzip(archive, wrong, &err)) << wrong;
        if (failure == parcelon::UnzipFailure::WrongPassword) {
            ++refused_by_check;
        } else {
            EXPECT_EQ(failure, parcelon::UnzipFailure::DataCorrupt) << wrong;
        }
        EXPECT_EQ(OutListing(), std::set<std::string>{"small.txt"}) << "nothing left behind";
        EXPECT_EQ(Out("small.txt"), "kept");
    }
    // Each passes the check by chance once in 256 times.
    EXPECT_GE(refused_by_check, 1);
}

TEST_F(UnzipRoundTripTest, AnEncryptedEntryWithoutPasswordGivesMessage6) {
    const fs::path archive = Pack({files[1], files[2]}, "pw");
    std::string err;
    EXPECT_FALSE(Unzip(archive, nullptr, &err));
    ExpectFailure(parcelon::UnzipFailure::PasswordRequired, err);
    EXPECT_EQ(OutListing(), std::set<std::string>{}) << "nothing left behind";
}

TEST_F(UnzipRoundTripTest, APasswordForPlainEntriesIsNotUsed) {
    const fs::path archive = Pack(files, nullptr);
    for (const char* password : {"unused", ""}) {
        std::string err;
        EXPECT_TRUE(Unzip(archive, password, &err)) << "'" << password << "'";
        EXPECT_EQ(err, "");
        ExpectExtractedWhole();
    }
}

TEST_F(UnzipRoundTripTest, StopAndTheCallbackPlayNoPart) {
    const fs::path archive = Pack(files, "pw");
    RecordingCallback callback;
    CParcelon unzipper;
    unzipper.SetCallbacker(&callback);
    unzipper.Stop();
    EXPECT_TRUE(unzipper.UnzipFile(Narrow(archive).c_str(), dir.A("out").c_str(), "pw"));
    EXPECT_TRUE(callback.values.empty());
    ExpectExtractedWhole();
}

TEST_F(UnzipRoundTripTest, ExistingFilesAreOverwrittenAndASecondCallExtractsAgain) {
    const fs::path archive = Pack(files, nullptr);
    WriteFile(dir / "out/small.txt", std::string(5000, 'x'));
    std::string err;
    EXPECT_TRUE(Unzip(archive, nullptr, &err));
    WriteFile(dir / "out/text.txt", "changed");
    EXPECT_TRUE(Unzip(archive, nullptr, &err));
    EXPECT_EQ(err, "");
    ExpectExtractedWhole();
}

TEST_F(UnzipRoundTripTest, ADestinationEndingInASeparatorWorks) {
    const fs::path archive = Pack(files, "pw");
    std::string err;
    EXPECT_TRUE(Unzip(archive, "pw", &err, dir.A("out") + "/"));
    EXPECT_EQ(err, "");
    ExpectExtractedWhole();
}

// ---------------------------------------------------------------- damaged data

class UnzipDamagedDataTest : public UnzipTest {};

TEST_F(UnzipDamagedDataTest, AFlippedByteInDeflateDataGivesMessage7) {
    const fs::path archive = Pack({Input("good.txt", PatternBytes(20000, 2)), Input("next.txt", "next")}, nullptr);
    const auto entries = ReadCentralDirectory(archive);
    ASSERT_EQ(entries.size(), 2u);
    FlipByte(archive, FirstDataOffset(ReadFile(archive)) + entries[0].compressed_size / 2);
    WriteFile(dir / "out/good.txt", "the file the entry would replace");
    std::string err;
    EXPECT_FALSE(Unzip(archive, nullptr, &err));
    ExpectFailure(parcelon::UnzipFailure::DataCorrupt, err);
    // The walk stopped at the damaged entry; the file of its name is as it
    // was, and nothing else is left.
    EXPECT_EQ(OutListing(), std::set<std::string>{"good.txt"});
    EXPECT_EQ(Out("good.txt"), "the file the entry would replace");
}

TEST_F(UnzipDamagedDataTest, AFlippedByteInEncryptedDataGivesMessage7) {
    const fs::path archive = Pack({Input("good.txt", PatternBytes(20000, 2))}, "pw");
    const auto entries = ReadCentralDirectory(archive);
    ASSERT_EQ(entries.size(), 1u);
    FlipByte(archive, FirstDataOffset(ReadFile(archive)) + 12 + (entries[0].compressed_size - 12) / 2);
    std::string err;
    EXPECT_FALSE(Unzip(archive, "pw", &err));
    ExpectFailure(parcelon::UnzipFailure::DataCorrupt, err);
}

TEST_F(UnzipDamagedDataTest, AFlippedByteInStoredDataGivesMessage7) {
    REQUIRE_PYTHON();
    for (const char* password : {static_cast<const char*>(nullptr), "pw"}) {
        const std::string data = PatternBytes(3000, 4);
        CraftedEntry entry;
        entry.name = "stored.bin";
        entry.data = data;
        entry.method = 0;
        entry.password = password;
        ASSERT_TRUE(CraftArchive(dir / "s.zip", {entry}));
        FlipByte(dir / "s.zip", FirstDataOffset(ReadFile(dir / "s.zip")) + (password ? 12 : 0) + 1500);
        std::string err;
        EXPECT_FALSE(Unzip(dir / "s.zip", password, &err));
        ExpectFailure(parcelon::UnzipFailure::DataCorrupt, err, password ? "encrypted" : "plain");
        EXPECT_EQ(OutListing(), std::set<std::string>{}) << "nothing left behind";
    }
}

TEST_F(UnzipDamagedDataTest, ARecordedSizeBeyondTheDeflateStreamGivesMessage7) {
    // minizip stops at the stream's end without checking the CRC when the
    // recorded size was not reached; the size check catches it.
    const fs::path archive = Pack({Input("a.txt", PatternBytes(5000, 8))}, nullptr);
    std::string bytes = ReadFile(archive);
    for (std::size_t at = 0; at + 4 <= bytes.size(); ++at) {
        const bool local = bytes.compare(at, 4, "PK\x03\x04") == 0;
        const bool central = bytes.compare(at, 4, "PK\x01\x02") == 0;
        if (local || central) bytes[at + (local ? 22 : 24)] = static_cast<char>(bytes[at + (local ? 22 : 24)] + 1);
    }
    WriteFile(archive, bytes);
    ASSERT_EQ(ReadCentralDirectory(archive)[0].uncompressed_size, 5001u);
    std::string err;
    EXPECT_FALSE(Unzip(archive, nullptr, &err));
    ExpectFailure(parcelon::UnzipFailure::DataCorrupt, err);
}

// ---------------------------------------------------------------- archives

class UnzipArchiveTest : public UnzipTest {};

TEST_F(UnzipArchiveTest, AnArchiveWithoutEntriesExtractsNothingAndSucceeds) {
    // The 22-byte archive packing an empty folder writes: its end record
    // stands at the very start of the file.
    const fs::path archive = Pack({}, nullptr);
    ASSERT_EQ(fs::file_size(archive), 22u);
    std::string err;
    EXPECT_TRUE(Unzip(archive, nullptr, &err)) << err;
    EXPECT_EQ(err, "");
    EXPECT_TRUE(OutListing().empty());
}

TEST_F(UnzipArchiveTest, MissingOrForeignArchivesGiveMessage1) {
    WriteFile(dir / "not.zip", PatternBytes(4000));
    WriteFile(dir / "empty.zip", "");
    for (const char* name : {"missing.zip", "not.zip", "empty.zip"}) {
        std::string err;
        EXPECT_FALSE(Unzip(dir / name, nullptr, &err)) << name;
        ExpectFailure(parcelon::UnzipFailure::CannotOpenArchive, err, name);
    }
    CParcelon unzipper;
    StderrCapture capture;
    EXPECT_FALSE(unzipper.UnzipFile(nullptr, dir.A("out").c_str(), nullptr));
    EXPECT_EQ(capture.Text(), MessageLine(parcelon::UnzipFailure::CannotOpenArchive));
    EXPECT_TRUE(OutListing().empty());
}

TEST_F(UnzipArchiveTest, AMissingOrEmptyDestinationGivesMessage5) {
    const fs::path archive = Pack({Input("a.txt", "alpha")}, nullptr);
    const std::set<std::string> before = Listing(dir.path());
    for (const std::string& dest : {dir.A("nowhere"), dir.A("nowhere/deeper"), dir.A("in/a.txt")}) {
        std::string err;
        EXPECT_FALSE(Unzip(archive, nullptr, &err, dest)) << dest;
        ExpectFailure(parcelon::UnzipFailure::DestinationMissing, err, dest);
    }
    CParcelon unzipper;
    for (const char* dest : {"", static_cast<const char*>(nullptr)}) {
        StderrCapture capture;
        EXPECT_FALSE(unzipper.UnzipFile(Narrow(archive).c_str(), dest, nullptr));
        EXPECT_EQ(capture.Text(), MessageLine(parcelon::UnzipFailure::CannotCreateOutput));
    }
    EXPECT_EQ(Listing(dir.path()), before) << "no destination was made";
}

TEST_F(UnzipArchiveTest, ZeroLengthEntriesAndRepeatedNames) {
    REQUIRE_PYTHON();
    ASSERT_TRUE(ZipfileArchive(dir / "z.zip", "deflate",
                               {{"zero.txt", ""}, {"twice.txt", "first"}, {"twice.txt", "second, later"}}));
    std::string err;
    EXPECT_TRUE(Unzip(dir / "z.zip", nullptr, &err));
    EXPECT_EQ(err, "");
    EXPECT_EQ(OutListing(), (std::set<std::string>{"twice.txt", "zero.txt"}));
    EXPECT_EQ(Out("zero.txt"), "");
    EXPECT_EQ(Out("twice.txt"), "second, later");
}

TEST_F(UnzipArchiveTest, MethodsTheLibraryCannotReadGiveMessage6) {
    // Implode (6) and PPMd (98): both records name the method.
    for (const std::uint16_t method : {6, 98}) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        testing_support::ZipBuilder zip;
        testing_support::BuiltEntry entry = zip.Add("m.txt", PatternBytes(3000));
        entry.method = method;
        zip.body = testing_support::ZipBuilder::LocalHeader(entry) + PatternBytes(3000);
        WriteFile(dir / "m.zip", zip.Archive({entry}));
        std::string err;
        EXPECT_FALSE(Unzip(dir / "m.zip", nullptr, &err)) << method;
        ExpectFailure(parcelon::UnzipFailure::UnsupportedMethod, err, std::to_string(method));
        EXPECT_EQ(Out("m.txt"), "") << method;
    }
}

// ---------------------------------------------------------------- encryption

class UnzipEncryptionTest : public UnzipTest {
protected:
    void SetUp() override {
        REQUIRE_PYTHON();
        UnzipTest::SetUp();
    }
};

TEST_F(UnzipEncryptionTest, StoreAndDeflateWithTheCheckByteInEitherPlace) {
    const std::string data = PatternBytes(70000, 21);
    for (int method : {0, 8}) {
        for (bool descriptor : {false, true}) {
            const std::string what = "method " + std::to_string(method) + (descriptor ? ", descriptor" : "");
            fs::remove_all(dir / "out");
            fs::create_directories(dir / "out");
            CraftedEntry entry;
            entry.name = "data.bin";
            entry.data = data;
            entry.method = method;
            entry.password = "p\xE4ss";
            entry.descriptor = descriptor;
            ASSERT_TRUE(CraftArchive(dir / "e.zip", {entry}));
            ASSERT_EQ(ReadCentralDirectory(dir / "e.zip")[0].flags, descriptor ? 9 : 1) << what;
            std::string err;
            EXPECT_TRUE(Unzip(dir / "e.zip", "p\xE4ss", &err)) << what;
            EXPECT_EQ(err, "") << what;
            EXPECT_TRUE(Out("data.bin") == data) << what;
        }
    }
}

TEST_F(UnzipEncryptionTest, TheCheckByteComesFromTheTimeWhenADataDescriptorFollows) {
    // The data's CRC high byte differs from the time's (0x6B), so only the
    // right choice accepts the password.
    const std::string data = "check byte from the time";
    const auto entries = [&](bool descriptor) {
        CraftedEntry entry;
        entry.name = "t.txt";
        entry.data = data;
        entry.password = "pw";
        entry.descriptor = descriptor;
        return std::vector<CraftedEntry>{entry};
    };
    ASSERT_TRUE(CraftArchive(dir / "d.zip", entries(true)));
    ASSERT_NE(ReadCentralDirectory(dir / "d.zip")[0].crc >> 24, 0x6Bu);
    std::string err;
    EXPECT_TRUE(Unzip(dir / "d.zip", "pw", &err));
    EXPECT_EQ(err, "");
    EXPECT_EQ(Out("t.txt"), data);
}

TEST_F(UnzipEncryptionTest, AWrongPasswordGivesExactlyMessage6) {
    CraftedEntry first;
    first.name = "first.txt";
    first.data = "plain first";
    CraftedEntry second;
    second.name = "second.txt";
    second.data = PatternBytes(4000, 9);
    second.password = "right";
    for (bool descriptor : {false, true}) {
        second.descriptor = descriptor;
        ASSERT_TRUE(CraftArchive(dir / "w.zip", {first, second}));
        for (const char* wrong : {"wrong", "", "righ t", " wrong "}) {
            fs::remove_all(dir / "out");
            fs::create_directories(dir / "out");
            std::string err;
            EXPECT_FALSE(Unzip(dir / "w.zip", wrong, &err)) << "'" << wrong << "'";
            ExpectFailure(parcelon::UnzipFailure::WrongPassword, err, "'" + std::string(wrong) + "'");
            EXPECT_EQ(OutListing(), (std::set<std::string>{"first.txt"}));
            EXPECT_EQ(Out("first.txt"), "plain first");
        }
        // As given, or with the white space packing trims.
        for (const char* right : {"right", " right\t"}) {
            std::string err;
            EXPECT_TRUE(Unzip(dir / "w.zip", right, &err)) << err;
            EXPECT_EQ(Out("second.txt"), second.data);
        }
    }
}

TEST_F(UnzipEncryptionTest, TheEmptyTextIsAPassword) {
    CraftedEntry entry;
    entry.name = "e.txt";
    entry.data = "empty password";
    entry.password = "";
    ASSERT_TRUE(CraftArchive(dir / "e.zip", {entry}));
    std::string err;
    EXPECT_FALSE(Unzip(dir / "e.zip", nullptr, &err));
    ExpectFailure(parcelon::UnzipFailure::PasswordRequired, err);
    EXPECT_TRUE(Unzip(dir / "e.zip", "", &err));
    EXPECT_EQ(Out("e.txt"), "empty password");
}

TEST_F(UnzipEncryptionTest, AnEntryTooShortForItsHeaderGivesMessage6) {
    CraftedEntry entry;
    entry.name = "short.txt";
    entry.data = "0123456789";
    entry.method = 0;
    entry.password = "pw";
    ASSERT_TRUE(CraftArchive(dir / "h.zip", {entry}));
    // Cut the stored data (12 header bytes and 10 of data) to 8 bytes in
    // both records; the archive stays well-formed.
    std::string bytes = ReadFile(dir / "h.zip");
    for (std::size_t at = 0; at + 4 <= bytes.size(); ++at) {
        if (bytes.compare(at, 4, "PK\x03\x04") == 0) bytes[at + 18] = 8;
        if (bytes.compare(at, 4, "PK\x01\x02") == 0) bytes[at + 20] = 8;
    }
    WriteFile(dir / "h.zip", bytes);
    std::string err;
    EXPECT_FALSE(Unzip(dir / "h.zip", "pw", &err));
    ExpectFailure(parcelon::UnzipFailure::CannotOpenEntry, err);
}

// ---------------------------------------------------------------- names

// Each test runs twice: with archives from Python's zipfile (the peer,
// where python3 is installed) and from the suite's own writer of stored
// entries (everywhere, under Wine too, where drive names and backslashes
// mean what they say).
class UnzipNamesTest : public UnzipTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        if (std::string(GetParam()) == "zipfile" && !HaveTool("python3")) GTEST_SKIP() << "python3 is not installed";
        UnzipTest::SetUp();
    }

    void Archive(const fs::path& archive, const std::vector<NamedData>& entries) {
        if (std::string(GetParam()) == "zipfile") {
            ASSERT_TRUE(ZipfileArchive(archive, "deflate", entries));
        } else {
            unzip_support::StoredArchive(archive, entries);
        }
        const std::vector<std::string> names = EntryNames(archive);
        ASSERT_EQ(names.size(), entries.size());
        for (std::size_t i = 0; i < names.size(); ++i) ASSERT_EQ(names[i], entries[i].name) << "stored as given";
    }
};

INSTANTIATE_TEST_SUITE_P(Writers, UnzipNamesTest, ::testing::Values("zipfile", "stored"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

TEST_P(UnzipNamesTest, NamesOfAnyStoredLengthAreRead) {
    // The longest component file systems take is 255 bytes (ext4) or 255
    // UTF-16 units (NTFS); a longer one is refused by the file system, not
    // by the reading of the name.
    const std::string longest(255, 'n');
    ASSERT_NO_FATAL_FAILURE(Archive(dir / "l.zip", {{"ok.txt", "ok"}, {longest, "fits"}}));
    std::string err;
    EXPECT_TRUE(Unzip(dir / "l.zip", nullptr, &err)) << err;
    EXPECT_EQ(Out(longest), "fits");
    for (std::size_t size : {std::size_t{256}, std::size_t{300}, std::size_t{4000}}) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        ASSERT_NO_FATAL_FAILURE(Archive(dir / "l.zip", {{"ok.txt", "ok"}, {std::string(size, 'n'), "long"}}));
        EXPECT_FALSE(Unzip(dir / "l.zip", nullptr, &err)) << size;
        ExpectFailure(parcelon::UnzipFailure::CannotCreateOutput, err, std::to_string(size));
        EXPECT_EQ(OutListing(), std::set<std::string>{"ok.txt"}) << size;
    }
    // A tree 40 folders deep: a name of 2,000 bytes, in components the file
    // system takes, comes out whole (the library packs such trees).
    std::string deep;
    for (int level = 0; level < 40; ++level) deep += "folder-" + std::to_string(100 + level) + "-of-the-tree-abcdefghijklmn/";
    fs::remove_all(dir / "out");
    fs::create_directories(dir / "out");
    ASSERT_NO_FATAL_FAILURE(Archive(dir / "d.zip", {{deep + "leaf.txt", "deep"}}));
    EXPECT_TRUE(Unzip(dir / "d.zip", nullptr, &err)) << err;
    EXPECT_EQ(ReadFile(dir / "out" / fs::u8path(deep + "leaf.txt")), "deep");
}

TEST_P(UnzipNamesTest, ClimbingAndAbsoluteNamesGiveMessage5AndWriteNothingOutside) {
    // A name that would land beside the scratch folder, found by its own
    // unique text.
    const std::string marker = "parcelon-escape-" + dir.path().filename().u8string();
    const std::vector<std::string> names = {
        "../escaped.txt",     "..\\escaped.txt",        "sub/../../escaped.txt", "sub\\..\\..\\escaped.txt",
        "../../" + marker,    "..",                     "sub/..",                 "C:escaped.txt",
        "C:\\escaped.txt",    "c:/escaped.txt",         "/escaped.txt",           "\\escaped.txt",
        Narrow(dir / "escaped-absolute.txt"),           "/tmp/" + marker,
    };
    for (const std::string& name : names) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        ASSERT_NO_FATAL_FAILURE(
            Archive(dir / "n.zip", {{"first.txt", "first"}, {name, "escaped"}, {"last.txt", "x"}}));
        const std::set<std::string> before = Listing(dir.path());
        std::string err;
        EXPECT_FALSE(Unzip(dir / "n.zip", nullptr, &err)) << name;
        ExpectFailure(parcelon::UnzipFailure::EntryNameUnsafe, err, name);
        std::set<std::string> expected = before;
        expected.insert("out/first.txt");
        EXPECT_EQ(Listing(dir.path()), expected) << name;
        EXPECT_FALSE(fs::exists(dir.path().parent_path() / marker)) << name;
        EXPECT_FALSE(fs::exists(dir.path().parent_path() / "escaped.txt")) << name;
        EXPECT_FALSE(fs::exists(fs::temp_directory_path() / marker)) << name;
    }
}

TEST_P(UnzipNamesTest, FolderEntriesAndMissingFoldersAreCreatedWithEitherSeparator) {
    ASSERT_NO_FATAL_FAILURE(Archive(dir / "f.zip", {{"sub\\", ""},
                                                    {"sub\\a.txt", "in sub"},
                                                    {"sub\\deep\\", ""},
                                                    {"sub\\deep\\b.txt", "in deep"},
                                                    {"other/x/c.txt", "no folder entries"},
                                                    {"mixed\\y/d.txt", "both separators"},
                                                    {"empty/", ""},
                                                    {"./dot/e.txt", "dot"}}));
    std::string err;
    EXPECT_TRUE(Unzip(dir / "f.zip", nullptr, &err));
    EXPECT_EQ(err, "");
    EXPECT_EQ(OutListing(), (std::set<std::string>{"sub/", "sub/a.txt", "sub/deep/", "sub/deep/b.txt", "other/",
                                                   "other/x/", "other/x/c.txt", "mixed/", "mixed/y/",
                                                   "mixed/y/d.txt", "empty/", "dot/", "dot/e.txt"}));
    EXPECT_EQ(Out("sub/a.txt"), "in sub");
    EXPECT_EQ(Out("sub/deep/b.txt"), "in deep");
    EXPECT_EQ(Out("other/x/c.txt"), "no folder entries");
    EXPECT_EQ(Out("mixed/y/d.txt"), "both separators");
    EXPECT_EQ(Out("dot/e.txt"), "dot");
}

TEST_P(UnzipNamesTest, AFolderThatCannotBeMadeGivesMessage5) {
    ASSERT_NO_FATAL_FAILURE(Archive(dir / "f.zip", {{"a", "a file"}, {"a/b.txt", "below a file"}}));
    std::string err;
    EXPECT_FALSE(Unzip(dir / "f.zip", nullptr, &err));
    ExpectFailure(parcelon::UnzipFailure::CannotCreateFolder, err);
    EXPECT_EQ(OutListing(), std::set<std::string>{"a"});
    EXPECT_EQ(Out("a"), "a file");

    ASSERT_NO_FATAL_FAILURE(Archive(dir / "g.zip", {{"sub/", ""}, {"sub", "a file where a folder is"}}));
    EXPECT_FALSE(Unzip(dir / "g.zip", nullptr, &err));
    ExpectFailure(parcelon::UnzipFailure::CannotCreateOutput, err);
}

TEST_P(UnzipNamesTest, FolderEntriesNeedAnExistingDestination) {
    ASSERT_NO_FATAL_FAILURE(Archive(dir / "f.zip", {{"sub\\", ""}, {"sub\\a.txt", "a"}}));
    std::string err;
    EXPECT_FALSE(Unzip(dir / "f.zip", nullptr, &err, dir.A("missing")));
    ExpectFailure(parcelon::UnzipFailure::DestinationMissing, err);
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

class UnzipCraftedNamesTest : public UnzipTest {
protected:
    void SetUp() override {
        REQUIRE_PYTHON();
        UnzipTest::SetUp();
    }
};

TEST_F(UnzipCraftedNamesTest, ANameWithAZeroByteGivesMessage5) {
    CraftedEntry entry;
    entry.name = std::string("ok.txt\0../../x", 14);
    entry.data = "hidden";
    ASSERT_TRUE(CraftArchive(dir / "z.zip", {entry}));
    std::string err;
    EXPECT_FALSE(Unzip(dir / "z.zip", nullptr, &err));
    ExpectFailure(parcelon::UnzipFailure::EntryNameUnsafe, err);
    EXPECT_TRUE(OutListing().empty());
}

TEST_F(UnzipCraftedNamesTest, FolderEntriesOfAnEncryptedArchiveNeedNoPassword) {
    // Encrypted archives carry encrypted folder entries (the library writes
    // them so); they hold no data, so nothing of them is decrypted.
    CraftedEntry folder;
    folder.name = "sub\\";
    folder.password = "pw";
    CraftedEntry file;
    file.name = "sub\\a.txt";
    file.data = "alpha";
    file.password = "pw";
    ASSERT_TRUE(CraftArchive(dir / "f.zip", {folder, file}));
    ASSERT_EQ(ReadCentralDirectory(dir / "f.zip")[0].flags & 1, 1);
    std::string err;
    EXPECT_FALSE(Unzip(dir / "f.zip", nullptr, &err));
    ExpectFailure(parcelon::UnzipFailure::PasswordRequired, err, "the file entry, not the folder, needs it");
    EXPECT_EQ(OutListing(), (std::set<std::string>{"sub/"}));
    EXPECT_TRUE(Unzip(dir / "f.zip", "pw", &err));
    EXPECT_EQ(Out("sub/a.txt"), "alpha");
}

// ---------------------------------------------------------------- output

#if !defined(_WIN32)
class UnzipOutputTest : public UnzipTest {};

// (A write that fails, a full disk, is DiskFullTest's.)
TEST_F(UnzipOutputTest, ALinkStandingAtAnEntrysNameIsReplacedNotWrittenThrough) {
    // A link planted in the destination must not lead the entry's bytes
    // elsewhere: the file takes the link's place, the link's target stays.
    WriteFile(dir / "elsewhere.txt", "outside the destination");
    fs::create_symlink(dir / "elsewhere.txt", dir / "out/linked.txt");
    fs::create_symlink("/dev/full", dir / "out/full.bin");
    const fs::path archive = Pack({Input("linked.txt", "the entry"), Input("full.bin", PatternBytes(200000))}, nullptr);
    std::string err;
    EXPECT_TRUE(Unzip(archive, nullptr, &err)) << err;
    EXPECT_FALSE(fs::is_symlink(dir / "out/linked.txt"));
    EXPECT_EQ(Out("linked.txt"), "the entry");
    EXPECT_EQ(ReadFile(dir / "elsewhere.txt"), "outside the destination");
    EXPECT_EQ(Out("full.bin"), PatternBytes(200000));
}
#endif

// ---------------------------------------------------------------- size

class UnzipLargeEntryTest : public UnzipTest {};

TEST_F(UnzipLargeEntryTest, ComesOutWholeThroughManyBlocks) {
    // 12 MiB of hardly compressible data, encrypted and not: thousands of
    // 1 KiB blocks in and out, no boundary may lose or repeat a byte.
    std::string data = PatternBytes(12u << 20, 31);
    for (std::size_t i = 0; i < data.size(); i += 7) data[i] = static_cast<char>(data[i] ^ static_cast<char>(i >> 5));
    const std::wstring file = Input("big.bin", data);
    for (const char* password : {static_cast<const char*>(nullptr), "pw"}) {
        const fs::path archive = Pack({file}, password);
        std::string err;
        EXPECT_TRUE(Unzip(archive, password, &err));
        EXPECT_EQ(err, "");
        EXPECT_TRUE(Out("big.bin") == data) << (password ? "encrypted" : "plain");
    }
}

// The library's own archive writer: its records byte for byte as zlib's
// minizip writes the same entries (the writer that came before it, still
// used for hosts' own minizip handles), read back by Python's zipfile,
// Info-ZIP's unzip and 7-Zip, and whole archives of the class pinned to
// their bytes.
#include <gtest/gtest.h>
#include <zip.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Parcelon.h"
#include "create/ArchiveWriter.h"
#include "create/EntryLayout.h"
#include "deflate/Checksum.h"
#include "deflate/ChunkCompressor.h"
#include "format/ZipFormat.h"
#include "minizip/MinizipEntries.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

// One entry as the packer hands it to a sink: a header, data (already
// compressed, and "encrypted" as far as the records care), and the size and
// CRC the entry closes with.
struct Entry {
    parcelon::EntryHeader header;
    std::string data;
    std::uint64_t size;
    std::uint32_t crc;
};

parcelon::EntryHeader Header(const std::string& name, parcelon::EntryKind kind, unsigned level, bool utf8 = false,
                             std::uint16_t encryption = 0, bool zip64 = false) {
    parcelon::EntryHeader header;
    parcelon::EntryCoding coding;
    coding.flags = encryption;
    EXPECT_TRUE(parcelon::MakeEntryHeader(parcelon::EntryName{name, utf8}, kind, level, coding, zip64, nullptr, header));
    return header;
}

// Deflate of text, and its size and CRC.
Entry FileEntry(const parcelon::EntryHeader& header, const std::string& text) {
    std::vector<unsigned char> out;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    parcelon::ChunkCompressor(6).Compress(bytes, text.size(), true, out);
    return Entry{header, std::string(out.begin(), out.end()), text.size(), parcelon::Crc32(0, bytes, text.size())};
}

void WriteEntries(parcelon::EntrySink& sink, const std::vector<Entry>& entries) {
    for (const Entry& e : entries) {
        ASSERT_TRUE(sink.OpenEntry(e.header)) << e.header.name.substr(0, 40);
        ASSERT_TRUE(sink.WriteEntryData(parcelon::zip::Bytes(e.data), e.data.size()));
        ASSERT_TRUE(sink.CloseEntry(e.size, e.crc)) << e.header.name.substr(0, 40);
    }
}

std::string ByOurWriter(const fs::path& archive, const std::vector<Entry>& entries) {
    {
        parcelon::ArchiveWriter writer(Wide(archive));
        EXPECT_TRUE(writer.IsOpen());
        WriteEntries(writer, entries);
        EXPECT_EQ(writer.Finish(), parcelon::PackFailure::None);
    }
    return ReadFile(archive);
}

std::string ByMinizip(const fs::path& archive, const std::vector<Entry>& entries) {
    zipFile zip = zipOpen64(Narrow(archive).c_str(), APPEND_STATUS_CREATE);
    EXPECT_NE(zip, nullptr);
    if (zip == nullptr) return "";
    parcelon::MinizipEntries sink(zip);
    WriteEntries(sink, entries);
    EXPECT_EQ(zipClose(zip, nullptr), ZIP_OK);
    return ReadFile(archive);
}

std::string Text(std::size_t size) { return PatternBytes(size, 21); }

// Bytes Deflate cannot shrink: pieces as large as they were.
std::string Noise(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

struct Case {
    const char* what;
    std::vector<Entry> entries;
};

std::vector<Case> Cases() {
    using parcelon::EntryKind;
    std::vector<Case> cases;
    cases.push_back({"no entries", {}});
    cases.push_back({"files and folders at level 6",
                     {FileEntry(Header("a.txt", EntryKind::File, 6), "alpha"),
                      FileEntry(Header("sub\\", EntryKind::Folder, 6), ""),
                      FileEntry(Header("sub\\b.txt", EntryKind::File, 6), Text(70000))}});
    for (const unsigned level : {0u, 1u, 2u, 8u, 9u, static_cast<unsigned>(-1)})
        cases.push_back({"level flags", {FileEntry(Header("l.txt", EntryKind::File, level), "level"),
                                         FileEntry(Header("d\\", EntryKind::Folder, level), "")}});
    cases.push_back({"a UTF-8 name", {FileEntry(Header("\xe6\x95\xb0\xe6\x8d\xae.txt", EntryKind::File, 6, true), "x")}});
    cases.push_back({"encrypted entries (flag bit 0)",
                     {FileEntry(Header("e.txt", EntryKind::File, 6, false, parcelon::zip::kFlagEncrypted), Text(300)),
                      FileEntry(Header("e\\", EntryKind::Folder, 6, false, parcelon::zip::kFlagEncrypted), "")}});
    cases.push_back({"the longest name", {FileEntry(Header(std::string(0xFFFF, 'n'), EntryKind::File, 6), "n")}});
    // A ZIP64 entry whose size needs it (the data are not that large: the
    // records are what is compared), before and after a plain one.
    Entry big = FileEntry(Header("big.bin", EntryKind::File, 0, false, 0, true), "big");
    big.size = 0x123456789ull;
    cases.push_back({"a ZIP64 entry", {FileEntry(Header("a.txt", EntryKind::File, 6), "alpha"), big,
                                       FileEntry(Header("b.txt", EntryKind::File, 6), "bravo")}});
    Entry encrypted_big = big;
    encrypted_big.header = Header("big.bin", EntryKind::File, 9, false, parcelon::zip::kFlagEncrypted, true);
    cases.push_back({"an encrypted ZIP64 entry", {encrypted_big}});
    // Large pieces of data go to the file at once, and their entries' local
    // headers are put right in place.
    cases.push_back({"entries larger than the buffer",
                     {FileEntry(Header("c.bin", EntryKind::File, 0), Noise(parcelon::ArchiveWriter::kBufferSize + 5)),
                      FileEntry(Header("d.txt", EntryKind::File, 6), "delta"),
                      FileEntry(Header("e.bin", EntryKind::File, 0), Noise(parcelon::ArchiveWriter::kDirectWrite))}});
    return cases;
}

} // namespace

TEST(ArchiveWriterTest, WritesTheBytesMinizipWritesForTheSameEntries) {
    TempDir dir;
    for (const Case& c : Cases()) {
        const std::string ours = ByOurWriter(dir / "ours.zip", c.entries);
        const std::string theirs = ByMinizip(dir / "theirs.zip", c.entries);
        ASSERT_FALSE(ours.empty()) << c.what;
        EXPECT_TRUE(ours == theirs) << c.what << ": " << ours.size() << " against " << theirs.size() << " bytes";
    }
}

TEST(ArchiveWriterTest, MoreThan65534EntriesGetTheRecordsMinizipGivesThem) {
    // 65,535 entries saturate the end record's counts; one more adds the
    // ZIP64 end record and its locator.
    TempDir dir;
    for (const std::size_t count : {std::size_t{65535}, std::size_t{65536}}) {
        std::vector<Entry> entries;
        const Entry one = FileEntry(Header("f", parcelon::EntryKind::File, 6), "");
        entries.assign(count, one);
        const std::string ours = ByOurWriter(dir / "ours.zip", entries);
        const std::string theirs = ByMinizip(dir / "theirs.zip", entries);
        EXPECT_TRUE(ours == theirs) << count;
        if (HaveTool("python3")) {
            std::string output;
            EXPECT_EQ(RunCommand("python3 -c 'import sys, zipfile; n = len(zipfile.ZipFile(sys.argv[1]).infolist()); "
                                 "sys.exit(n != " + std::to_string(count) + ")' " + ShellQuote(Narrow(dir / "ours.zip")),
                                 &output), 0) << count << ": " << output;
        }
    }
}

TEST(ArchiveWriterTest, EveryPeerReadsItsRecordsWithoutAWarning) {
    // Real entries (the ZIP64 one opened as packing opens a file near
    // 4 GiB, and small after all), tested by three readers.
    using parcelon::EntryKind;
    TempDir dir;
    const std::vector<Entry> entries = {
        FileEntry(Header("a.txt", EntryKind::File, 6), "alpha"),
        FileEntry(Header("sub\\", EntryKind::Folder, 6), ""),
        FileEntry(Header("sub\\b.txt", EntryKind::File, 9), Text(300000)),
        FileEntry(Header("\xe6\x95\xb0.txt", EntryKind::File, 6, true), "utf-8"),
        FileEntry(Header("z64.txt", EntryKind::File, 6, false, 0, true), Text(5000)),
        FileEntry(Header("empty.txt", EntryKind::File, 6), "")};
    const fs::path archive = dir / "peers.zip";
    ByOurWriter(archive, entries);
    std::string output;
    if (HaveTool("python3")) {
        EXPECT_EQ(RunPeer("zipfile_testzip.py", {Narrow(archive)}, &output), 0) << output;
    }
    if (HaveTool("unzip")) {
        EXPECT_EQ(RunCommand("unzip -t " + ShellQuote(Narrow(archive)), &output), 0) << output;
    }
    if (HaveTool("7z")) {
        EXPECT_EQ(RunCommand("7z t " + ShellQuote(Narrow(archive)), &output), 0) << output;
        EXPECT_EQ(output.find("Warning"), std::string::npos) << output;
    }
}

TEST(ArchiveWriterTest, AFailedWriteLeavesNoArchiveAndNothingMoreIsWritten) {
    // A sink whose archive cannot be completed says so at every step after
    // the failure, and Finish leaves nothing at the path.
    TempDir dir;
    parcelon::ArchiveWriter writer(dir.W("out.zip"));
    ASSERT_TRUE(writer.IsOpen());
    const Entry a = FileEntry(Header("a.txt", parcelon::EntryKind::File, 6), "alpha");
    // Sizes past 32 bits in an entry opened without room for them.
    ASSERT_TRUE(writer.OpenEntry(a.header));
    ASSERT_TRUE(writer.WriteEntryData(parcelon::zip::Bytes(a.data), a.data.size()));
    EXPECT_FALSE(writer.CloseEntry(0x100000000ull, a.crc));
    EXPECT_FALSE(writer.OpenEntry(a.header));
    EXPECT_EQ(writer.Finish(), parcelon::PackFailure::CannotCloseArchive);
    EXPECT_FALSE(fs::exists(dir / "out.zip"));
    std::size_t left = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) left += entry.path().filename() != "out.zip";
    EXPECT_EQ(left, 0u) << "the temporary file stayed";
}

namespace {

// What the class wrote for a small tree (a.txt "alpha", sub\\b.txt and an
// empty sub\\empty.txt) at each level, and for a list with a folder in
// it, a missing file and an empty file, as hex: fixed dates, no random
// bytes, so the bytes are all there is to compare.
struct Pinned {
    const char* what; // the level, or "list"
    const char* hex;
};
const Pinned kPinned[] = {
        {"6",
         "504b030414000000080000000000000000000200000000000000040000007375625c0300504b030414000000080000002100"
         "82ab25d61c00000017000000090000007375625c622e747874011700e8ff627261766f20627261766f20627261766f206272"
         "61766f504b030414000000080000000000000000000200000000000000040000007375625c0300504b030414000000080000"
         "0021000000000002000000000000000d0000007375625c656d7074792e7478740300504b0304140000000800000021006a39"
         "e0d00a0000000500000005000000612e747874010500faff616c706861504b01020000140000000800000000000000000002"
         "000000000000000400000000000000000000000000000000007375625c504b010200001400000008000000210082ab25d61c"
         "000000170000000900000000000000000000000000240000007375625c622e747874504b0102000014000000080000000000"
         "0000000002000000000000000400000000000000000000000000670000007375625c504b0102000014000000080000002100"
         "0000000002000000000000000d000000000000000000000000008b0000007375625c656d7074792e747874504b0102000014"
         "0000000800000021006a39e0d00a000000050000000500000000000000000000000000b8000000612e747874504b05060000"
         "00000500050009010000e50000000000"},
        {"0",
         "504b030414000000080000000000000000000200000000000000040000007375625c0300504b030414000000080000002100"
         "82ab25d61c00000017000000090000007375625c622e747874011700e8ff627261766f20627261766f20627261766f206272"
         "61766f504b030414000000080000000000000000000200000000000000040000007375625c0300504b030414000000080000"
         "0021000000000002000000000000000d0000007375625c656d7074792e7478740300504b0304140000000800000021006a39"
         "e0d00a0000000500000005000000612e747874010500faff616c706861504b01020000140000000800000000000000000002"
         "000000000000000400000000000000000000000000000000007375625c504b010200001400000008000000210082ab25d61c"
         "000000170000000900000000000000000000000000240000007375625c622e747874504b0102000014000000080000000000"
         "0000000002000000000000000400000000000000000000000000670000007375625c504b0102000014000000080000002100"
         "0000000002000000000000000d000000000000000000000000008b0000007375625c656d7074792e747874504b0102000014"
         "0000000800000021006a39e0d00a000000050000000500000000000000000000000000b8000000612e747874504b05060000"
         "00000500050009010000e50000000000"},
        {"1",
         "504b030414000600080000000000000000000200000000000000040000007375625c0300504b030414000600080000002100"
         "82ab25d61c00000017000000090000007375625c622e747874011700e8ff627261766f20627261766f20627261766f206272"
         "61766f504b030414000600080000000000000000000200000000000000040000007375625c0300504b030414000600080000"
         "0021000000000002000000000000000d0000007375625c656d7074792e7478740300504b0304140006000800000021006a39"
         "e0d00a0000000500000005000000612e747874010500faff616c706861504b01020000140006000800000000000000000002"
         "000000000000000400000000000000000000000000000000007375625c504b010200001400060008000000210082ab25d61c"
         "000000170000000900000000000000000000000000240000007375625c622e747874504b0102000014000600080000000000"
         "0000000002000000000000000400000000000000000000000000670000007375625c504b0102000014000600080000002100"
         "0000000002000000000000000d000000000000000000000000008b0000007375625c656d7074792e747874504b0102000014"
         "0006000800000021006a39e0d00a000000050000000500000000000000000000000000b8000000612e747874504b05060000"
         "00000500050009010000e50000000000"},
        {"2",
         "504b030414000400080000000000000000000200000000000000040000007375625c0300504b030414000400080000002100"
         "82ab25d61c00000017000000090000007375625c622e747874011700e8ff627261766f20627261766f20627261766f206272"
         "61766f504b030414000400080000000000000000000200000000000000040000007375625c0300504b030414000400080000"
         "0021000000000002000000000000000d0000007375625c656d7074792e7478740300504b0304140004000800000021006a39"
         "e0d00a0000000500000005000000612e747874010500faff616c706861504b01020000140004000800000000000000000002"
         "000000000000000400000000000000000000000000000000007375625c504b010200001400040008000000210082ab25d61c"
         "000000170000000900000000000000000000000000240000007375625c622e747874504b0102000014000400080000000000"
         "0000000002000000000000000400000000000000000000000000670000007375625c504b0102000014000400080000002100"
         "0000000002000000000000000d000000000000000000000000008b0000007375625c656d7074792e747874504b0102000014"
         "0004000800000021006a39e0d00a000000050000000500000000000000000000000000b8000000612e747874504b05060000"
         "00000500050009010000e50000000000"},
        {"9",
         "504b030414000200080000000000000000000200000000000000040000007375625c0300504b030414000200080000002100"
         "82ab25d60a00000017000000090000007375625c622e7478744b2a4a2ccb5748422701504b03041400020008000000000000"
         "0000000200000000000000040000007375625c0300504b0304140002000800000021000000000002000000000000000d0000"
         "007375625c656d7074792e7478740300504b0304140002000800000021006a39e0d00a0000000500000005000000612e7478"
         "74010500faff616c706861504b01020000140002000800000000000000000002000000000000000400000000000000000000"
         "000000000000007375625c504b010200001400020008000000210082ab25d60a000000170000000900000000000000000000"
         "000000240000007375625c622e747874504b0102000014000200080000000000000000000200000000000000040000000000"
         "0000000000000000550000007375625c504b01020000140002000800000021000000000002000000000000000d0000000000"
         "0000000000000000790000007375625c656d7074792e747874504b01020000140002000800000021006a39e0d00a00000005"
         "0000000500000000000000000000000000a6000000612e747874504b0506000000000500050009010000d30000000000"},
        {"-1",
         "504b030414000000080000000000000000000200000000000000040000007375625c0300504b030414000000080000002100"
         "82ab25d61c00000017000000090000007375625c622e747874011700e8ff627261766f20627261766f20627261766f206272"
         "61766f504b030414000000080000000000000000000200000000000000040000007375625c0300504b030414000000080000"
         "0021000000000002000000000000000d0000007375625c656d7074792e7478740300504b0304140000000800000021006a39"
         "e0d00a0000000500000005000000612e747874010500faff616c706861504b01020000140000000800000000000000000002"
         "000000000000000400000000000000000000000000000000007375625c504b010200001400000008000000210082ab25d61c"
         "000000170000000900000000000000000000000000240000007375625c622e747874504b0102000014000000080000000000"
         "0000000002000000000000000400000000000000000000000000670000007375625c504b0102000014000000080000002100"
         "0000000002000000000000000d000000000000000000000000008b0000007375625c656d7074792e747874504b0102000014"
         "0000000800000021006a39e0d00a000000050000000500000000000000000000000000b8000000612e747874504b05060000"
         "00000500050009010000e50000000000"},
        {"list",
         "504b0304140000000800000021006a39e0d00a0000000500000005000000612e747874010500faff616c706861504b030414"
         "000000080000002100000000000200000000000000030000007375620300504b030414000000080000002100000000000200"
         "00000000000009000000656d7074792e7478740300504b01020000140000000800000021006a39e0d00a0000000500000005"
         "0000000000000000000000000000000000612e747874504b0102000014000000080000002100000000000200000000000000"
         "03000000000000000000000000002d000000737562504b010200001400000008000000210000000000020000000000000009"
         "0000000000000000000000000050000000656d7074792e747874504b050600000000030003009b000000790000000000"},
};

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

} // namespace

TEST(ArchiveWriterTest, TheClassWritesThePinnedBytes) {
    TempDir dir;
    fs::create_directories(dir / "src/sub");
    WriteFile(dir / "src/a.txt", "alpha");
    WriteFile(dir / "src/sub/b.txt", "bravo bravo bravo bravo");
    WriteFile(dir / "src/sub/empty.txt", "");
    for (const Pinned& pinned : kPinned) {
        const std::string what = pinned.what;
        CParcelon zipper;
        StderrCapture err;
        if (what == "list") {
            ASSERT_TRUE(zipper.ZipFiles({dir.W("src/a.txt"), dir.W("src/sub"), dir.W("missing"),
                                         dir.W("src/sub/empty.txt")},
                                        dir.W("out.zip").c_str(), 6, nullptr));
        } else {
            // The tree's entries in a fixed order: a walk gives them in the
            // file system's own (ext4's hashes differ from one disk to the
            // next, NTFS sorts), so the walk only sets the base folder and
            // the same files are listed in the order pinned, named and
            // preceded by folder entries exactly as the walk would.
            const unsigned level = static_cast<unsigned>(std::stoi(what));
            ASSERT_TRUE(zipper.ZipDirectory(dir.W("src").c_str(), dir.W("walk.zip").c_str(), true, level, nullptr, 0));
            ASSERT_TRUE(zipper.ZipFiles({dir.W("src/sub/b.txt"), dir.W("src/sub/empty.txt"), dir.W("src/a.txt")},
                                        dir.W("out.zip").c_str(), level, nullptr));
        }
        err.Text();
        EXPECT_EQ(Hex(ReadFile(dir / "out.zip")), pinned.hex) << what;
    }
}

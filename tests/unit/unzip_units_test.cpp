// The extraction's small units: which entry names are safe and which
// folders they need, the check byte of an encryption header, the ZipCrypto
// decryption measured against an independent Python encoder, and the copy
// of one entry into an output (its write checks, block size and sums).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Parcelon.h"
#include "extract/ArchiveInput.h"
#include "extract/CentralDirectory.h"
#include "extract/EntryData.h"
#include "extract/SafeEntryPath.h"
#include "crypto/TraditionalCipher.h"
#include "support/TestSupport.h"
#include "support/UnzipSupport.h"
#include "support/ZipBuilder.h"

using namespace testing_support;

// ---------------------------------------------------------------- names

namespace {

struct NameCase {
    std::string name; // ASCII, as stored
    bool safe;
    bool folder;
    std::vector<std::string> folders;
};

std::wstring WideOf(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

void PrintTo(const NameCase& c, std::ostream* os) { *os << "'" << c.name << "'"; }

class UnzipEntryNameTest : public ::testing::TestWithParam<NameCase> {};

} // namespace

TEST_P(UnzipEntryNameTest, IsClassifiedWithTheFoldersItNeeds) {
    const NameCase& c = GetParam();
    const parcelon::EntryPath path = parcelon::ClassifyEntryName(WideOf(c.name));
    const std::string shown = "'" + c.name + "'";
    EXPECT_EQ(path.safe, c.safe) << shown;
    if (!c.safe) {
        EXPECT_TRUE(path.folder_ends.empty()) << shown;
        return;
    }
    EXPECT_EQ(path.folder, c.folder) << shown;
    std::vector<std::string> folders;
    for (const std::size_t end : path.folder_ends) folders.push_back(c.name.substr(0, end));
    EXPECT_EQ(folders, c.folders) << shown;
}

NameCase Refused(const std::string& name) { return NameCase{name, false, false, {}}; }
NameCase File(const std::string& name, std::vector<std::string> folders = {}) {
    return NameCase{name, true, false, std::move(folders)};
}
NameCase Folder(const std::string& name, std::vector<std::string> folders) {
    return NameCase{name, true, true, std::move(folders)};
}

INSTANTIATE_TEST_SUITE_P(Absolute, UnzipEntryNameTest,
                         ::testing::Values(Refused("/etc/passwd"), Refused("\\evil.txt"), Refused("//server/share/x"),
                                           Refused("\\\\server\\share\\x"), Refused("/"), Refused("\\")));

INSTANTIATE_TEST_SUITE_P(Drive, UnzipEntryNameTest,
                         ::testing::Values(Refused("C:evil.txt"), Refused("c:\\evil.txt"), Refused("Z:/evil.txt"),
                                           Refused("C:"), Refused("d:sub\\x")));

INSTANTIATE_TEST_SUITE_P(ParentWithEitherSeparator, UnzipEntryNameTest,
                         ::testing::Values(Refused(".."), Refused("../evil.txt"), Refused("..\\evil.txt"),
                                           Refused("a/../../evil.txt"), Refused("a\\..\\..\\evil.txt"),
                                           Refused("a/b/.."), Refused("a/../b"), Refused("sub\\..\\"), Refused("../"),
                                           Refused("a/.../x"), Refused("a/.. /x"), Refused("a/. ./x")));

INSTANTIATE_TEST_SUITE_P(EmptyOrWithAZero, UnzipEntryNameTest,
                         ::testing::Values(Refused(""), Refused(std::string("a\0/../../x", 10)),
                                           Refused(std::string("ok.txt\0", 7))));

// Names that only look like parents or drives are safe.
INSTANTIATE_TEST_SUITE_P(LookAlikes, UnzipEntryNameTest,
                         ::testing::Values(File("..a"), File("a.."), File("a/..b/c", {"a", "a/..b"}), File("...txt"),
                                           File("xy:z"), File("1:2"), File("a/C:x", {"a"}), File(". hidden"),
                                           File("./a.txt")));

// A file lists the folders it lies in; a folder entry ends in either
// separator and lists itself last. Empty and "." components name no folder.
INSTANTIATE_TEST_SUITE_P(Folders, UnzipEntryNameTest,
                         ::testing::Values(File("a.txt"), File("sub\\deep/b.txt", {"sub", "sub\\deep"}),
                                           File("./sub//x.txt", {"./sub"}),
                                           Folder("sub\\deep\\", {"sub", "sub\\deep"}), Folder("sub/", {"sub"}),
                                           Folder("./", {})));

// ---------------------------------------------------------------- decryption

TEST(UnzipCheckByteTest, IsTheCrcHighByteOrTheTimeHighByteWithADataDescriptor) {
    const std::uint32_t crc = 0xA1B2C3D4u;
    const std::uint32_t date_time = 0x5A216B2Au; // date 0x5A21, time 0x6B2A
    EXPECT_EQ(parcelon::EncryptionCheckByte(0x0001, crc, date_time), 0xA1);
    EXPECT_EQ(parcelon::EncryptionCheckByte(0x0009, crc, date_time), 0x6B);
    EXPECT_EQ(parcelon::EncryptionCheckByte(0x0809, crc, date_time), 0x6B);
}

namespace {


std::string BytesOf(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

class UnzipDecryptionTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("python3")) GTEST_SKIP() << "python3 is not installed";
    }

    static std::string PythonEncrypt(const std::string& password, const std::string& plain) {
        std::string output;
        EXPECT_EQ(RunPeer("zipcrypto_encrypt.py", {unzip_support::Hex(password), unzip_support::Hex(plain)}, &output), 0) << output;
        while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
        return BytesOf(output);
    }
};

} // namespace

TEST_F(UnzipDecryptionTest, UndoesAnIndependentEncoderInBlocksOfAnySize) {
    const std::string plain = PatternBytes(5000, 3) + std::string("\0\xFF\x80", 3);
    for (const std::string& password : {std::string("secret"), std::string(" spaced "), std::string("\xC3\xA9\xB1\xED"),
                                        std::string()}) {
        const std::string cipher = PythonEncrypt(password, plain);
        ASSERT_EQ(cipher.size(), plain.size());
        ASSERT_NE(cipher, plain);
        for (std::size_t block : {std::size_t{1}, std::size_t{7}, std::size_t{1024}, plain.size()}) {
            parcelon::TraditionalCipher keys(password.c_str());
            std::string text = cipher;
            for (std::size_t at = 0; at < text.size(); at += block)
                keys.Decrypt(reinterpret_cast<unsigned char*>(&text[at]), std::min(block, text.size() - at));
            EXPECT_EQ(text, plain) << "password '" << password << "', blocks of " << block;
        }
    }
}

TEST_F(UnzipDecryptionTest, AnotherPasswordGivesOtherBytes) {
    const std::string plain = PatternBytes(64, 5);
    const std::string cipher = PythonEncrypt("right", plain);
    for (const char* password : {"wrong", "right ", " right", "Right", ""}) {
        parcelon::TraditionalCipher keys(password);
        std::string text = cipher;
        keys.Decrypt(reinterpret_cast<unsigned char*>(&text[0]), text.size());
        EXPECT_NE(text, plain) << "'" << password << "'";
    }
}

// ---------------------------------------------------------------- entry copy

namespace {

// The first entry of an archive the library packs, plain or encrypted, as
// the reader finds it.
class UnzipEntryCopyTest : public ::testing::TestWithParam<const char*> {
protected:
    TempDir dir;
    std::string data = PatternBytes(50000, 17);
    parcelon::CentralRecord record;
    parcelon::EntrySpan span;

    const char* password() const { return GetParam(); }

    void SetUp() override {
        WriteFile(dir / "data.txt", data);
        CParcelon zipper;
        ASSERT_TRUE(zipper.ZipFiles({dir.W("data.txt")}, dir.W("a.zip").c_str(), 6, password()));
    }

    // Copies the entry into sink and says how it went.
    parcelon::UnzipFailure Copy(parcelon::EntrySink& sink) {
        parcelon::ArchiveInput input(dir.W("a.zip"));
        EXPECT_TRUE(input.IsOpen());
        parcelon::EndRecord end;
        EXPECT_EQ(parcelon::ReadEndRecord(input, end), parcelon::UnzipFailure::None);
        parcelon::CentralDirectoryWalk walk(input, end);
        EXPECT_EQ(walk.Next(record), parcelon::UnzipFailure::None);
        EXPECT_EQ(parcelon::LocateEntry(input, record, end.cd_offset, span), parcelon::UnzipFailure::None);
        return parcelon::DecodeEntry(input, record, span, password(), sink);
    }
};

// Records what it is given, and the size of every write.
struct RecordingSink : parcelon::EntrySink {
    std::string bytes;
    std::size_t largest = 0;
    std::size_t writes = 0;
    bool refuse = false;
    bool Write(const unsigned char* data, std::size_t size) override {
        if (refuse) return false;
        bytes.append(reinterpret_cast<const char*>(data), size);
        largest = std::max(largest, size);
        ++writes;
        return true;
    }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(PlainAndEncrypted, UnzipEntryCopyTest, ::testing::Values(nullptr, "pw"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param != nullptr ? "encrypted" : "plain");
                         });

TEST_P(UnzipEntryCopyTest, AnOutputThatTakesNoBytesIsAWriteFailure) {
    RecordingSink sink;
    sink.refuse = true;
    EXPECT_EQ(Copy(sink), parcelon::UnzipFailure::CannotWriteOutput);
}

TEST_P(UnzipEntryCopyTest, ASmallEntryGoesOutInOneWrite) {
    RecordingSink sink;
    EXPECT_EQ(Copy(sink), parcelon::UnzipFailure::None);
    EXPECT_TRUE(sink.bytes == data);
    EXPECT_EQ(sink.writes, 1u);
}

TEST_P(UnzipEntryCopyTest, ALargeEntryStreamsInBoundedBlocks) {
    // Past 4 MiB an entry is no longer inflated whole: memory stays bounded
    // whatever its size.
    data = PatternBytes(6u << 20, 18);
    SetUp();
    RecordingSink sink;
    EXPECT_EQ(Copy(sink), parcelon::UnzipFailure::None);
    EXPECT_TRUE(sink.bytes == data);
    EXPECT_LE(sink.largest, 256u << 10);
    EXPECT_GE(sink.writes, data.size() / (256u << 10));
}

TEST_P(UnzipEntryCopyTest, RecordedSizesAndCrcThatDisagreeWithTheDataAreDataCorrupt) {
    ASSERT_NO_FATAL_FAILURE({ RecordingSink first; Copy(first); });
    parcelon::ArchiveInput input(dir.W("a.zip"));
    for (int change = 0; change < 3; ++change) {
        parcelon::CentralRecord altered = record;
        if (change == 0) altered.crc ^= 1;
        if (change == 1) altered.uncompressed_size += 1;
        if (change == 2) altered.uncompressed_size -= 1;
        RecordingSink sink;
        // (With a password, a CRC that moved its high byte fails the check
        // byte first.)
        const parcelon::UnzipFailure failure = parcelon::DecodeEntry(input, altered, span, password(), sink);
        EXPECT_TRUE(failure == parcelon::UnzipFailure::DataCorrupt || failure == parcelon::UnzipFailure::WrongPassword)
            << change;
    }
}

// Entries past the size inflated whole stream through zlib in blocks. Data
// that end in a long run of one byte leave zlib holding the stream's last
// output when a block is full and the input is used up; the entry is sound
// and must come out whole, at every size just past a block boundary. A cut
// stream, or bytes after its end, stay refused.
namespace {

// Copies the one entry of archive into a counter: the failure, and bytes.
parcelon::UnzipFailure CopyOnlyEntry(const TempDir& dir, const std::string& archive, std::uint64_t& bytes) {
    WriteFile(dir / "e.zip", archive);
    parcelon::ArchiveInput input(dir.W("e.zip"));
    parcelon::EndRecord end;
    parcelon::CentralRecord record;
    parcelon::EntrySpan span;
    EXPECT_EQ(parcelon::ReadEndRecord(input, end), parcelon::UnzipFailure::None);
    parcelon::CentralDirectoryWalk walk(input, end);
    EXPECT_EQ(walk.Next(record), parcelon::UnzipFailure::None);
    EXPECT_EQ(parcelon::LocateEntry(input, record, end.cd_offset, span), parcelon::UnzipFailure::None);
    struct Counting : parcelon::EntrySink {
        std::uint64_t& bytes;
        explicit Counting(std::uint64_t& total) : bytes(total) {}
        bool Write(const unsigned char*, std::size_t n) override { return (bytes += n), true; }
    } sink(bytes = 0);
    return parcelon::DecodeEntry(input, record, span, nullptr, sink);
}

} // namespace

TEST(UnzipStreamedInflateTest, EndsOnlyWithTheStreamAtEverySizeJustPastABlock) {
    TempDir dir;
    const std::string text = PatternBytes(1u << 20, 23);
    const std::string zero(1u << 20, '\0');
    std::string abc;
    while (abc.size() < (1u << 20)) abc += "abc";
    struct Kind {
        const char* name;
        const std::string& unit;
        std::vector<std::size_t> past; // the d of k x 256 KiB + d
    };
    const Kind kinds[] = {{"zeros", zero, {1, 2, 3, 5, 8}}, {"pattern", abc, {1, 2, 3, 5, 8}}, {"text", text, {1, 5}}};
    int checked = 0;
    for (const Kind& kind : kinds) {
        for (std::size_t k = 16; k <= 36; ++k) {
            for (const std::size_t d : kind.past) {
                const std::size_t size = k * (256u << 10) + d;
                std::string data;
                data.reserve(size + kind.unit.size());
                while (data.size() < size) data += kind.unit;
                data.resize(size);
                ZipBuilder builder;
                const BuiltEntry entry = builder.Add("e", data, 8, 1);
                std::uint64_t bytes = 0;
                EXPECT_EQ(CopyOnlyEntry(dir, builder.Archive({entry}), bytes), parcelon::UnzipFailure::None)
                    << kind.name << " " << k << " x 256 KiB + " << d;
                EXPECT_EQ(bytes, size);
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 21 * 12);
}

TEST(UnzipStreamedInflateTest, ACutStreamOrBytesAfterItsEndAreRefused) {
    TempDir dir;
    const std::string data(5u << 20, '\0');
    std::uint64_t bytes = 0;
    ZipBuilder cut;
    BuiltEntry short_entry = cut.Add("e", data, 8);
    cut.body.resize(cut.body.size() - 1);
    short_entry.compressed_size -= 1;
    EXPECT_EQ(CopyOnlyEntry(dir, cut.Archive({short_entry}), bytes), parcelon::UnzipFailure::DataCorrupt);
    ZipBuilder trailing;
    BuiltEntry long_entry = trailing.Add("e", data, 8);
    trailing.body += "xyz";
    long_entry.compressed_size += 3;
    EXPECT_EQ(CopyOnlyEntry(dir, trailing.Archive({long_entry}), bytes), parcelon::UnzipFailure::DataCorrupt);
}

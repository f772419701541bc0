// The extraction's small units: which entry names are safe and which
// folders they need, the check byte of an encryption header, the ZipCrypto
// decryption measured against an independent Python encoder, and the copy
// of one entry into a stream (its write checks and block size).
#include <gtest/gtest.h>
#include <unzip.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Parcelon.h"
#include "extract/EntryCopy.h"
#include "extract/SafeEntryPath.h"
#include "extract/TraditionalDecryption.h"
#include "support/TestSupport.h"

using namespace testing_support;

// ---------------------------------------------------------------- names

namespace {

class UnzipEntryNameTest : public ::testing::Test {
protected:
    static void ExpectRefused(const std::string& name) {
        const parcelon::EntryPath path = parcelon::ClassifyEntryName(name);
        EXPECT_FALSE(path.safe) << "'" << name << "'";
        EXPECT_TRUE(path.folders.empty()) << "'" << name << "'";
    }
    static parcelon::EntryPath ExpectSafe(const std::string& name) {
        const parcelon::EntryPath path = parcelon::ClassifyEntryName(name);
        EXPECT_TRUE(path.safe) << "'" << name << "'";
        return path;
    }
};

} // namespace

TEST_F(UnzipEntryNameTest, AbsoluteNamesAreRefused) {
    for (const char* name : {"/etc/passwd", "\\evil.txt", "//server/share/x", "\\\\server\\share\\x", "/", "\\"})
        ExpectRefused(name);
}

TEST_F(UnzipEntryNameTest, DriveNamesAreRefused) {
    for (const char* name : {"C:evil.txt", "c:\\evil.txt", "Z:/evil.txt", "C:", "d:sub\\x"}) ExpectRefused(name);
}

TEST_F(UnzipEntryNameTest, ParentComponentsAreRefusedWithEitherSeparator) {
    for (const char* name : {"..", "../evil.txt", "..\\evil.txt", "a/../../evil.txt", "a\\..\\..\\evil.txt",
                             "a/b/..", "a/../b", "sub\\..\\", "../", "a/.../x", "a/.. /x", "a/. ./x"})
        ExpectRefused(name);
}

TEST_F(UnzipEntryNameTest, EmptyNamesAndNamesWithAZeroByteAreRefused) {
    ExpectRefused("");
    ExpectRefused(std::string("a\0/../../x", 10));
    ExpectRefused(std::string("ok.txt\0", 7));
}

TEST_F(UnzipEntryNameTest, NamesThatOnlyLookLikeParentsOrDrivesAreSafe) {
    for (const char* name : {"..a", "a..", "a/..b/c", "...txt", "xy:z", "1:2", "a/C:x", ". hidden", "./a.txt"})
        ExpectSafe(name);
}

TEST_F(UnzipEntryNameTest, FileEntriesListTheFoldersTheyLieIn) {
    const parcelon::EntryPath plain = ExpectSafe("a.txt");
    EXPECT_FALSE(plain.folder);
    EXPECT_TRUE(plain.folders.empty());

    const parcelon::EntryPath nested = ExpectSafe("sub\\deep/b.txt");
    EXPECT_FALSE(nested.folder);
    EXPECT_EQ(nested.folders, (std::vector<std::string>{"sub", "sub\\deep"}));

    const parcelon::EntryPath dotted = ExpectSafe("./sub//x.txt");
    EXPECT_EQ(dotted.folders, (std::vector<std::string>{"./sub"}));
}

TEST_F(UnzipEntryNameTest, FolderEntriesEndInEitherSeparatorAndListThemselves) {
    const parcelon::EntryPath backslash = ExpectSafe("sub\\deep\\");
    EXPECT_TRUE(backslash.folder);
    EXPECT_EQ(backslash.folders, (std::vector<std::string>{"sub", "sub\\deep"}));

    const parcelon::EntryPath slash = ExpectSafe("sub/");
    EXPECT_TRUE(slash.folder);
    EXPECT_EQ(slash.folders, (std::vector<std::string>{"sub"}));

    const parcelon::EntryPath current = ExpectSafe("./");
    EXPECT_TRUE(current.folder);
    EXPECT_TRUE(current.folders.empty());
}

// ---------------------------------------------------------------- decryption

TEST(UnzipCheckByteTest, IsTheCrcHighByteOrTheTimeHighByteWithADataDescriptor) {
    const std::uint32_t crc = 0xA1B2C3D4u;
    const std::uint32_t date_time = 0x5A216B2Au; // date 0x5A21, time 0x6B2A
    EXPECT_EQ(parcelon::EncryptionCheckByte(0x0001, crc, date_time), 0xA1);
    EXPECT_EQ(parcelon::EncryptionCheckByte(0x0009, crc, date_time), 0x6B);
    EXPECT_EQ(parcelon::EncryptionCheckByte(0x0809, crc, date_time), 0x6B);
}

namespace {

// Encrypts argv[2] (hex) with the password argv[1] (hex) and prints the
// result as hex: the textbook key schedule, written independently.
const char* const kEncryptScript = R"PY(
import sys, zlib
def step(c, b):
    return zlib.crc32(bytes([b]), c ^ 0xFFFFFFFF) ^ 0xFFFFFFFF
k = [0x12345678, 0x23456789, 0x34567890]
def update(b):
    k[0] = step(k[0], b)
    k[1] = ((k[1] + (k[0] & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
    k[2] = step(k[2], k[1] >> 24)
for b in bytes.fromhex(sys.argv[1]):
    update(b)
out = bytearray()
for b in bytes.fromhex(sys.argv[2]):
    t = (k[2] | 2) & 0xFFFF
    out.append(b ^ (((t * (t ^ 1)) >> 8) & 0xFF))
    update(b)
print(out.hex())
)PY";

std::string HexOf(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

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
        EXPECT_EQ(RunPython(kEncryptScript, {HexOf(password), HexOf(plain)}, &output), 0) << output;
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
            parcelon::TraditionalDecryption keys(password.c_str());
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
        parcelon::TraditionalDecryption keys(password);
        std::string text = cipher;
        keys.Decrypt(reinterpret_cast<unsigned char*>(&text[0]), text.size());
        EXPECT_NE(text, plain) << "'" << password << "'";
    }
}

// ---------------------------------------------------------------- entry copy

namespace {

// The first entry of an archive the library packs, open for copying.
class UnzipEntryCopyTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string data = PatternBytes(50000, 17);
    unzFile archive = nullptr;
    parcelon::EntryFacts facts;

    void Open(const char* password) {
        WriteFile(dir / "data.txt", data);
        CParcelon zipper;
        ASSERT_TRUE(zipper.ZipFiles({dir.W("data.txt")}, dir.W("a.zip").c_str(), 6, password));
        archive = unzOpen(dir.A("a.zip").c_str());
        ASSERT_NE(archive, nullptr);
        ASSERT_EQ(unzGoToFirstFile(archive), UNZ_OK);
        unz_file_info64 info {};
        ASSERT_EQ(unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0), UNZ_OK);
        facts = parcelon::FactsOf(info);
    }

    void TearDown() override {
        if (archive != nullptr) unzClose(archive);
    }
};

} // namespace

TEST_F(UnzipEntryCopyTest, AStreamThatTakesNoBytesIsAWriteFailure) {
    // A stream open for reading refuses every write at once; the copy must
    // say so itself (with glibc the stream even closes cleanly afterwards).
    for (const char* password : {static_cast<const char*>(nullptr), "pw"}) {
        Open(password);
        std::FILE* readonly = std::fopen(dir.A("data.txt").c_str(), "rb");
        ASSERT_NE(readonly, nullptr);
        EXPECT_EQ(parcelon::CopyCurrentEntry(archive, facts, password, readonly), parcelon::CopyResult::WriteFailed)
            << (password ? "encrypted" : "plain");
        std::fclose(readonly);
        unzClose(archive);
        archive = nullptr;
    }
}

#if defined(__GLIBC__)
namespace {

// An unbuffered stream that records the size of every write it is given.
struct WriteRecorder {
    std::string bytes;
    std::size_t largest = 0;
    std::size_t writes = 0;

    static ssize_t Write(void* cookie, const char* buffer, std::size_t size) {
        auto* self = static_cast<WriteRecorder*>(cookie);
        self->bytes.append(buffer, size);
        self->largest = std::max(self->largest, size);
        ++self->writes;
        return static_cast<ssize_t>(size);
    }

    std::FILE* Open() {
        cookie_io_functions_t functions {};
        functions.write = &WriteRecorder::Write;
        std::FILE* file = fopencookie(this, "wb", functions);
        if (file != nullptr) setvbuf(file, nullptr, _IONBF, 0);
        return file;
    }
};

} // namespace

TEST_F(UnzipEntryCopyTest, DataGoOutInBlocksOfAtMost1024Bytes) {
    for (const char* password : {static_cast<const char*>(nullptr), "pw"}) {
        Open(password);
        WriteRecorder recorder;
        std::FILE* file = recorder.Open();
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(parcelon::CopyCurrentEntry(archive, facts, password, file), parcelon::CopyResult::Copied);
        std::fclose(file);
        EXPECT_TRUE(recorder.bytes == data) << (password ? "encrypted" : "plain");
        EXPECT_LE(recorder.largest, 1024u);
        EXPECT_GE(recorder.writes, data.size() / 1024);
        unzClose(archive);
        archive = nullptr;
    }
}
#endif

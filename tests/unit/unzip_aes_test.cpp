// WinZip AES entries through the reader, the class's UnzipFile included:
// 7-Zip's AES-128, -192 and -256 archives with every method it combines
// them with come out byte for byte; a wrong or missing password, a flipped
// byte of the data or of the authentication code are refused and leave
// nothing; AE-1 entries (which keep their CRC-32) are checked against it.
#include <gtest/gtest.h>
#include <zlib.h>

#include <set>
#include <string>
#include <vector>

#include "Parcelon.h"
#include "crypto/WinZipAes.h"
#include "extract/UnzipFile.h"
#include "support/TestSupport.h"
#include "support/UnzipSupport.h"
#include "support/ZipBuilder.h"

using namespace testing_support;
using parcelon::UnzipFailure;

namespace {

class UnzipAesTest : public ::testing::Test {
protected:
    TempDir dir;
    UnzipFailure failure = UnzipFailure::None;

    void SetUp() override { fs::create_directories(dir / "in"); }

    bool Unzip(const fs::path& archive, const char* password) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        RecordingDiagnostics diagnostics;
        StderrCapture quiet;
        const bool ok = parcelon::UnzipFile(Wide(archive), dir.W("out"), password, diagnostics);
        failure = diagnostics.unzipping.empty() ? UnzipFailure::None : diagnostics.unzipping.back();
        return ok;
    }
    std::set<std::string> Out() const { return unzip_support::Listing(dir / "out"); }
};

// An AES entry sealed here with the library's unit: the salt, the
// verifier, the data, the code, and the 0x9901 field naming AE-version.
std::string AesArchive(const std::string& data, unsigned version, const char* password, std::uint32_t crc) {
    const unsigned char salt[16] = {3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, 8, 9, 7, 9, 3};
    parcelon::WinZipAes aes(password, parcelon::AesStrength::k256, salt);
    std::string sealed(data);
    aes.Encrypt(reinterpret_cast<unsigned char*>(&sealed[0]), sealed.size());
    unsigned char code[parcelon::kAesAuthCodeSize];
    aes.AuthCode(code);
    const std::string stored = std::string(reinterpret_cast<const char*>(salt), sizeof salt) +
                               std::string(reinterpret_cast<const char*>(aes.verifier()), 2) + sealed +
                               std::string(reinterpret_cast<const char*>(code), sizeof code);
    BuiltEntry entry;
    entry.name = "secret.txt";
    entry.method = 99;
    entry.flags = 1;
    entry.crc = crc;
    entry.compressed_size = static_cast<std::uint32_t>(stored.size());
    entry.uncompressed_size = static_cast<std::uint32_t>(data.size());
    ZipBuilder::Put16(entry.extra, 0x9901);
    ZipBuilder::Put16(entry.extra, 7);
    ZipBuilder::Put16(entry.extra, version);
    entry.extra += "AE";
    entry.extra += '\x03';
    ZipBuilder::Put16(entry.extra, 0); // stored
    ZipBuilder zip;
    return zip.Archive({zip.AddRaw(entry, stored)});
}

} // namespace

TEST_F(UnzipAesTest, SevenZipArchivesOfEveryStrengthAndMethodComeOutWhole) {
    if (!HaveTool("7z")) GTEST_SKIP() << "7z is not installed";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty.txt", ""}, {"tiny.txt", "abc"}, {"text.txt", PatternBytes(300000, 5)}, {"sub/more.bin", PatternBytes(70000, 6)}};
    for (const auto& [name, bytes] : files) {
        fs::create_directories((dir / ("in/" + name)).parent_path());
        WriteFile(dir / ("in/" + name), bytes);
    }
    for (const char* strength : {"AES128", "AES192", "AES256"}) {
        for (const char* method : {"-mx=0", "-mm=Deflate", "-mm=BZip2", "-mm=LZMA"}) {
            const std::string shown = std::string(strength) + " " + method;
            fs::remove(dir / "a.zip");
            ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.A("in")) + " && 7z a -tzip -bd -y " + method + " -mem=" +
                                 strength + " -p'pa ss' ../a.zip . >/dev/null"),
                      0)
                << shown;
            EXPECT_TRUE(Unzip(dir / "a.zip", "pa ss")) << shown << ": " << static_cast<int>(failure);
            for (const auto& [name, bytes] : files) EXPECT_TRUE(ReadFile(dir / ("out/" + name)) == bytes) << shown << name;
            // Spaces around the password: the trimmed text is tried too.
            EXPECT_TRUE(Unzip(dir / "a.zip", "  pa ss ")) << shown;
            EXPECT_FALSE(Unzip(dir / "a.zip", "pass")) << shown;
            EXPECT_EQ(failure, UnzipFailure::WrongPassword) << shown;
            EXPECT_FALSE(Unzip(dir / "a.zip", nullptr)) << shown;
            EXPECT_EQ(failure, UnzipFailure::PasswordRequired) << shown;
        }
    }
}

TEST_F(UnzipAesTest, AFlippedByteOfTheDataOrTheCodeFailsTheAuthenticationAndLeavesNothing) {
    const std::string data = PatternBytes(5000, 9);
    const std::string archive = AesArchive(data, 2, "pw", 0);
    WriteFile(dir / "sound.zip", archive);
    ASSERT_TRUE(Unzip(dir / "sound.zip", "pw")) << static_cast<int>(failure);
    EXPECT_TRUE(ReadFile(dir / "out/secret.txt") == data);
    // The entry's data start after its local header (30 bytes, the name,
    // the 11-byte field), the salt (16) and the verifier (2); the code is
    // its last 10 bytes.
    const std::size_t data_at = 30 + 10 + 11 + 16 + 2;
    const std::size_t code_at = data_at + data.size();
    for (const std::size_t at : {data_at + 100, code_at + 3}) {
        std::string damaged = archive;
        damaged[at] ^= 0x20;
        WriteFile(dir / "damaged.zip", damaged);
        EXPECT_FALSE(Unzip(dir / "damaged.zip", "pw")) << at;
        EXPECT_EQ(failure, UnzipFailure::DataCorrupt) << at;
        EXPECT_TRUE(Out().empty()) << at;
    }
}

TEST_F(UnzipAesTest, AnAe1EntryIsCheckedAgainstItsCrcAndAnAe2OneAgainstItsCodeAlone) {
    const std::string data = "held in an AE-1 entry";
    const std::uint32_t crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    const struct {
        unsigned version;
        std::uint32_t recorded;
        bool sound;
    } cases[] = {{1, crc, true}, {1, crc ^ 1, false}, {2, 0, true}, {2, crc ^ 1, true}};
    for (const auto& c : cases) {
        WriteFile(dir / "ae.zip", AesArchive(data, c.version, "pw", c.recorded));
        EXPECT_EQ(Unzip(dir / "ae.zip", "pw"), c.sound) << "AE-" << c.version;
        if (!c.sound) {
            EXPECT_EQ(failure, UnzipFailure::DataCorrupt);
        }
    }
}

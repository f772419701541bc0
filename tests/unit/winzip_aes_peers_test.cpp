// WinZip AES against 7-Zip, both ways: entries 7-Zip encrypted (AES-128,
// -192 and -256, deflated and stored) taken apart here record by record,
// their verifier checked, their data authenticated, decrypted and inflated;
// wrong passwords and flipped bytes refused; and a stored AE-2 entry sealed
// by the library that `7z t` must pass without a word of warning.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/WinZipAes.h"
#include "support/TestSupport.h"

using namespace testing_support;
using parcelon::AesStrength;
using parcelon::WinZipAes;

namespace {

using Bytes = std::vector<unsigned char>;

unsigned Le16(const Bytes& b, std::size_t at) { return b.at(at) | b.at(at + 1) << 8; }
std::uint32_t Le32(const Bytes& b, std::size_t at) { return Le16(b, at) | static_cast<std::uint32_t>(Le16(b, at + 2)) << 16; }

// The first entry of an archive one tool wrote, as its local header and
// the AES extra field describe it; the compressed size comes from the
// central directory (the local one may be left to a data descriptor).
struct AesEntry {
    unsigned vendor_version = 0; // 1 AE-1, 2 AE-2
    AesStrength strength = AesStrength::k256;
    unsigned method = 0;         // the real one: 0 stored, 8 deflated
    std::uint32_t crc = 0;
    Bytes salt, verifier, data, code;
};

AesEntry ReadFirstEntry(const fs::path& archive) {
    const std::string text = ReadFile(archive);
    const Bytes file(text.begin(), text.end());
    const std::vector<ZipEntryInfo> records = ReadCentralDirectory(archive);
    AesEntry entry;
    EXPECT_EQ(records.size(), 1u);
    if (records.empty()) return entry;
    EXPECT_EQ(Le32(file, 0), 0x04034B50u);
    EXPECT_EQ(Le16(file, 8), 99u) << "method 99 in the local header";
    EXPECT_EQ(Le16(file, 6) & 1u, 1u) << "the encrypted flag";
    entry.crc = records[0].crc;
    const std::size_t name_size = Le16(file, 26);
    const std::size_t extra_size = Le16(file, 28);
    std::size_t at = 30 + name_size;
    const std::size_t extra_end = at + extra_size;
    bool found = false;
    for (; at + 4 <= extra_end; at += 4 + Le16(file, at + 2)) {
        if (Le16(file, at) != 0x9901) continue;
        EXPECT_EQ(Le16(file, at + 2), 7u);
        entry.vendor_version = Le16(file, at + 4);
        EXPECT_EQ(file.at(at + 6), 'A');
        EXPECT_EQ(file.at(at + 7), 'E');
        const auto strength = parcelon::AesStrengthOf(file.at(at + 8));
        EXPECT_TRUE(strength.has_value());
        if (strength) entry.strength = *strength;
        entry.method = Le16(file, at + 9);
        found = true;
    }
    EXPECT_TRUE(found) << "no 0x9901 extra field";
    const std::size_t salt_size = parcelon::AesSaltSize(entry.strength);
    const std::size_t start = extra_end;
    const std::size_t size = static_cast<std::size_t>(records[0].compressed_size);
    EXPECT_GE(size, salt_size + parcelon::kAesVerifierSize + parcelon::kAesAuthCodeSize);
    auto take = [&](std::size_t from, std::size_t count) {
        return Bytes(file.begin() + static_cast<std::ptrdiff_t>(from), file.begin() + static_cast<std::ptrdiff_t>(from + count));
    };
    entry.salt = take(start, salt_size);
    entry.verifier = take(start + salt_size, parcelon::kAesVerifierSize);
    const std::size_t data_start = start + salt_size + parcelon::kAesVerifierSize;
    entry.data = take(data_start, size - salt_size - parcelon::kAesVerifierSize - parcelon::kAesAuthCodeSize);
    entry.code = take(data_start + entry.data.size(), parcelon::kAesAuthCodeSize);
    return entry;
}

Bytes Inflate(const Bytes& deflated, std::size_t size) {
    Bytes out(size + 1);
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, -MAX_WBITS), Z_OK);
    stream.next_in = const_cast<Bytef*>(deflated.data());
    stream.avail_in = static_cast<uInt>(deflated.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return out;
}

struct Opened {
    bool verifier_matches = false;
    bool code_matches = false;
    Bytes plain; // decrypted and, for method 8, inflated
};

Opened Open(const AesEntry& entry, const std::string& password, std::size_t size, std::size_t piece) {
    WinZipAes aes(password, entry.strength, entry.salt.data());
    Opened opened;
    opened.verifier_matches = aes.VerifierMatches(entry.verifier.data());
    Bytes data = entry.data;
    for (std::size_t at = 0; at < data.size(); at += piece) aes.Decrypt(data.data() + at, std::min(piece, data.size() - at));
    opened.code_matches = aes.AuthCodeMatches(entry.code.data());
    if (opened.verifier_matches && opened.code_matches) opened.plain = entry.method == 8 ? Inflate(data, size) : data;
    return opened;
}

class WinZipAesPeerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("7z")) GTEST_SKIP() << "7z is not installed";
        const std::string text = PatternBytes(300000, 5);
        plain_.assign(text.begin(), text.end());
        WriteFile(dir_ / "plain.txt", text);
    }

    // 7-Zip's archive of plain.txt with these switches.
    fs::path SevenZip(const std::string& name, const std::string& switches) {
        const fs::path archive = dir_ / name;
        std::string output;
        EXPECT_EQ(RunCommand("cd " + ShellQuote(Narrow(dir_.path())) + " && 7z a -tzip -bd " + switches + " " +
                                 ShellQuote(Narrow(archive)) + " plain.txt",
                             &output),
                  0)
            << output;
        return archive;
    }

    TempDir dir_;
    Bytes plain_;
};

// 7-Zip takes ASCII passwords only for ZIP's AES.
const std::string kPassword = "Pa$$ w0rd!";

} // namespace

TEST_F(WinZipAesPeerTest, OpensWhatSevenZipEncryptedAtEveryStrength) {
    const struct {
        const char* switches;
        AesStrength strength;
        unsigned method;
    } cases[] = {
        {"-mem=AES128", AesStrength::k128, 8},
        {"-mem=AES192", AesStrength::k192, 8},
        {"-mem=AES256", AesStrength::k256, 8},
        {"-mem=AES256 -mx=0", AesStrength::k256, 0},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.switches);
        const AesEntry entry = ReadFirstEntry(SevenZip("7z" + std::to_string(n++) + ".zip",
                                                       std::string(c.switches) + " -p" + ShellQuote(kPassword)));
        EXPECT_EQ(entry.strength, c.strength);
        EXPECT_EQ(entry.method, c.method);
        if (c.method == 0) {
            EXPECT_EQ(entry.data.size(), plain_.size()) << "stored: as many bytes as the file";
            EXPECT_NE(entry.data, plain_);
        }
        // AE-1 keeps the CRC-32 (7-Zip writes it for files this size),
        // AE-2 sets it to 0.
        EXPECT_TRUE(entry.vendor_version == 1 || entry.vendor_version == 2);
        if (entry.vendor_version == 1) {
            EXPECT_EQ(entry.crc, crc32(0, plain_.data(), static_cast<uInt>(plain_.size())));
        }
        for (const std::size_t piece : {std::size_t{1} << 20, std::size_t{7}}) {
            const Opened opened = Open(entry, kPassword, plain_.size(), piece);
            EXPECT_TRUE(opened.verifier_matches);
            EXPECT_TRUE(opened.code_matches);
            EXPECT_EQ(opened.plain, plain_);
        }
    }
}

TEST_F(WinZipAesPeerTest, WrongPasswordsAndChangedBytesAreRefused) {
    const AesEntry entry = ReadFirstEntry(SevenZip("wrong.zip", "-mem=AES256 -mx=0 -p" + ShellQuote(kPassword)));
    // A wrong password fails the verifier, or, once in 65,536, the code.
    const std::string wrongs[] = {"", "Pa$$ w0rD!", "pa$$ w0rd!", "Pa$$w0rd!", kPassword + " "};
    for (const std::string& wrong : wrongs) {
        const Opened opened = Open(entry, wrong, plain_.size(), 4096);
        EXPECT_FALSE(opened.verifier_matches && opened.code_matches) << "'" << wrong << "'";
    }
    // The right password, with one byte of the data, the salt or the code
    // changed.
    for (const std::size_t at : {std::size_t{0}, entry.data.size() / 3, entry.data.size() - 1}) {
        AesEntry changed = entry;
        changed.data[at] ^= 0x40;
        const Opened opened = Open(changed, kPassword, plain_.size(), 4096);
        EXPECT_TRUE(opened.verifier_matches);
        EXPECT_FALSE(opened.code_matches) << "data byte " << at;
    }
    AesEntry changed_code = entry;
    changed_code.code[0] ^= 1;
    EXPECT_FALSE(Open(changed_code, kPassword, plain_.size(), 4096).code_matches);
    AesEntry changed_salt = entry;
    changed_salt.salt[3] ^= 1;
    const Opened salted = Open(changed_salt, kPassword, plain_.size(), 4096);
    EXPECT_FALSE(salted.verifier_matches && salted.code_matches);
}

namespace {

// A one-entry archive of a stored AE-2 entry: method 99, the encrypted
// flag, a CRC-32 of 0, and the 0x9901 field naming AES-256 and Store, in
// both the local and the central record.
std::string StoredAesArchive(const std::string& name, const Bytes& salt, const Bytes& verifier, const Bytes& data,
                             const Bytes& code, std::uint32_t plain_size) {
    auto put16 = [](std::string& out, unsigned v) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>(v >> 8 & 0xFF);
    };
    auto put32 = [&](std::string& out, std::uint32_t v) {
        put16(out, v & 0xFFFF);
        put16(out, v >> 16);
    };
    std::string extra;
    put16(extra, 0x9901);
    put16(extra, 7);
    put16(extra, 2); // AE-2
    extra += "AE";
    extra += static_cast<char>(3); // AES-256
    put16(extra, 0);               // stored
    const std::uint32_t stored_size = static_cast<std::uint32_t>(salt.size() + verifier.size() + data.size() + code.size());
    auto common = [&](std::string& out) {
        put16(out, 51); // version needed: AES
        put16(out, 1);  // encrypted
        put16(out, 99);
        put16(out, 0);      // time
        put16(out, 0x5A21); // 2025-01-01
        put32(out, 0);      // AE-2: no CRC-32
        put32(out, stored_size);
        put32(out, plain_size);
        put16(out, static_cast<unsigned>(name.size()));
        put16(out, static_cast<unsigned>(extra.size()));
    };
    std::string archive;
    put32(archive, 0x04034B50);
    common(archive);
    archive += name + extra;
    for (const Bytes* part : {&salt, &verifier, &data, &code}) archive.append(part->begin(), part->end());
    const std::size_t central_start = archive.size();
    put32(archive, 0x02014B50);
    put16(archive, 63); // made by
    common(archive);
    put16(archive, 0); // comment
    put16(archive, 0); // disk
    put16(archive, 0); // internal attributes
    put32(archive, 0); // external attributes
    put32(archive, 0); // local header offset
    archive += name + extra;
    const std::size_t central_size = archive.size() - central_start;
    put32(archive, 0x06054B50);
    put32(archive, 0);
    put16(archive, 1);
    put16(archive, 1);
    put32(archive, static_cast<std::uint32_t>(central_size));
    put32(archive, static_cast<std::uint32_t>(central_start));
    put16(archive, 0);
    return archive;
}

} // namespace

TEST_F(WinZipAesPeerTest, SevenZipTestsAndExtractsAnEntryTheLibrarySealed) {
    const Bytes salt = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xF0, 0x01};
    WinZipAes aes(kPassword, AesStrength::k256, salt.data());
    Bytes data = plain_;
    for (std::size_t at = 0; at < data.size(); at += 10000) aes.Encrypt(data.data() + at, std::min<std::size_t>(10000, data.size() - at));
    unsigned char code[parcelon::kAesAuthCodeSize];
    aes.AuthCode(code);
    const Bytes verifier(aes.verifier(), aes.verifier() + parcelon::kAesVerifierSize);
    const fs::path archive = dir_ / "sealed.zip";
    WriteFile(archive, StoredAesArchive("plain.txt", salt, verifier, data,
                                        Bytes(code, code + parcelon::kAesAuthCodeSize),
                                        static_cast<std::uint32_t>(plain_.size())));

    std::string output;
    EXPECT_EQ(RunCommand("7z t -bd -p" + ShellQuote(kPassword) + " " + ShellQuote(Narrow(archive)), &output), 0) << output;
    EXPECT_NE(output.find("Everything is Ok"), std::string::npos) << output;
    EXPECT_EQ(output.find("WARNING"), std::string::npos) << output;
    EXPECT_EQ(output.find("Warning"), std::string::npos) << output;

    ASSERT_EQ(RunCommand("cd " + ShellQuote(Narrow(dir_.path())) + " && mkdir out && cd out && 7z x -bd -p" +
                             ShellQuote(kPassword) + " ../sealed.zip",
                         &output),
              0)
        << output;
    EXPECT_EQ(ReadFile(dir_ / "out" / "plain.txt"), std::string(plain_.begin(), plain_.end()));

    // The same archive with the code's last byte changed: 7-Zip refuses it.
    std::string broken = ReadFile(archive);
    const std::size_t code_end = broken.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(code_end, std::string::npos);
    broken[code_end - 1] = static_cast<char>(broken[code_end - 1] ^ 1);
    WriteFile(dir_ / "broken.zip", broken);
    EXPECT_NE(RunCommand("7z t -bd -p" + ShellQuote(kPassword) + " " + ShellQuote(Narrow(dir_ / "broken.zip")), &output), 0)
        << output;
}

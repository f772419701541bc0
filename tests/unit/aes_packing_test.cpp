// Packing with WinZip AES-256 (PARCELON_ENCRYPTION_AES256): records as
// WinZip's AE-2 has them, every entry opening with keys derived for it
// alone (the packer derives them in batches), fresh salts, folder entries
// in plain, fresh salts at every call, 7-Zip testing and extracting without
// a word of warning, a stop that leaves whole entries, and the library's own
// reader.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "ParcelonC.h"
#include "crypto/WinZipAes.h"
#include "deflate/ChunkCompressor.h"
#include "format/ZipFormat.h"
#include "support/Archiver.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

// 7-Zip takes ASCII passwords only for ZIP's AES; a space inside, and one
// at each end that packing trims.
const char kPassword[] = " Pa$$ w0rd! ";
const char kTrimmed[] = "Pa$$ w0rd!";

std::string Inflate(const std::string& deflated, std::size_t size) {
    std::string out(size + 1, '\0');
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, -MAX_WBITS), Z_OK);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
    stream.avail_in = static_cast<uInt>(deflated.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return out;
}

// An entry of an archive the library wrote, with its stored bytes.
struct Stored {
    ZipEntryInfo record;
    std::string data;
};

std::vector<Stored> StoredEntries(const fs::path& archive) {
    const std::string bytes = ReadFile(archive);
    std::vector<Stored> entries;
    for (const ZipEntryInfo& record : ReadCentralDirectory(archive)) {
        const std::size_t at = record.local_header_offset;
        const auto le16 = [&](std::size_t k) {
            return static_cast<std::size_t>(static_cast<unsigned char>(bytes[k]) |
                                            static_cast<unsigned char>(bytes[k + 1]) << 8);
        };
        const std::size_t start = at + 30 + le16(at + 26) + le16(at + 28);
        entries.push_back({record, bytes.substr(start, static_cast<std::size_t>(record.compressed_size))});
    }
    return entries;
}

// The 0x9901 field of AE-2, AES-256, naming Deflate.
const std::string kAesField("\x01\x99\x07\x00\x02\x00" "AE\x03\x08\x00", 11);

// Opens an AES entry with keys derived for it alone: its plain bytes, or
// a failure.
std::string OpenAes(const Stored& entry, const std::string& password) {
    const std::string& data = entry.data;
    constexpr std::size_t salt = 16, verifier = 2, code = 10;
    EXPECT_GE(data.size(), salt + verifier + code) << entry.record.name;
    if (data.size() < salt + verifier + code) return {};
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    parcelon::WinZipAes aes(password, parcelon::AesStrength::k256, bytes);
    EXPECT_TRUE(aes.VerifierMatches(bytes + salt)) << entry.record.name;
    std::string payload = data.substr(salt + verifier, data.size() - salt - verifier - code);
    aes.Decrypt(reinterpret_cast<unsigned char*>(&payload[0]), payload.size());
    EXPECT_TRUE(aes.AuthCodeMatches(bytes + data.size() - code)) << entry.record.name;
    return Inflate(payload, static_cast<std::size_t>(entry.record.uncompressed_size));
}

class AesPackingTest : public ::testing::Test {
protected:
    TempDir dir;
    std::vector<std::string> files; // relative to src, '/' between parts

    void SetUp() override {
        fs::create_directories(dir / "src/sub");
        Add("a.txt", "alpha");
        Add("empty.txt", "");
        Add("sub/b.txt", PatternBytes(5000, 2));
        Add("sub/big.bin", PatternBytes(2 * parcelon::kChunkSize + 99, 3));
        // Past one batch of keys.
        for (int i = 0; i < 30; ++i) Add("sub/f" + std::to_string(i) + ".txt", PatternBytes(100 + 37 * i, 10 + i));
    }
    void Add(const std::string& name, const std::string& bytes) {
        WriteFile(dir / ("src/" + name), bytes);
        files.push_back(name);
    }

    struct Variant {
        const char* what;
        int style;
        bool tree;
        unsigned threads;
        unsigned level;
    };
    static std::vector<Variant> Variants() {
        return {{"classic tree", PARCELON_STYLE_CLASSIC, true, 1, 6},
                {"portable tree, threads", PARCELON_STYLE_PORTABLE, true, 2, 6},
                {"portable list, every processor, level 0", PARCELON_STYLE_PORTABLE, false, 0, 0}};
    }

    fs::path Pack(const Variant& v, const char* password = kPassword, const std::string& name = "aes.zip") {
        Archiver a;
        EXPECT_EQ(parcelon_set_option(a, PARCELON_OPT_ENCRYPTION, PARCELON_ENCRYPTION_AES256), 1);
        EXPECT_EQ(parcelon_set_option(a, PARCELON_OPT_STYLE, v.style), 1);
        parcelon_set_threads(a, v.threads);
        const fs::path archive = dir / name;
        if (v.tree) {
            EXPECT_EQ(parcelon_zip_directory(a, dir.W("src").c_str(), Wide(archive).c_str(), 1, v.level, password, 0,
                                             nullptr, 0, nullptr, 0),
                      1);
        } else {
            // After the tree call, so that the list is named below its base.
            EXPECT_EQ(parcelon_zip_directory(a, dir.W("src").c_str(), Wide(archive).c_str(), 0, v.level, nullptr, 0,
                                             nullptr, 0, nullptr, 0),
                      1);
            std::vector<std::wstring> paths;
            for (const std::string& f : files) paths.push_back(dir.W("src/" + f));
            std::vector<const wchar_t*> list;
            for (const std::wstring& p : paths) list.push_back(p.c_str());
            EXPECT_EQ(parcelon_zip_files(a, list.data(), list.size(), Wide(archive).c_str(), v.level, password), 1);
        }
        EXPECT_EQ(parcelon_last_error(a), PARCELON_OK) << parcelon_last_message(a);
        return archive;
    }
};

} // namespace

TEST_F(AesPackingTest, EntriesAreWinZipAe2AndOpenWithKeysDerivedForThemAlone) {
    for (const Variant& v : Variants()) {
        std::set<std::string> salts;
        std::size_t opened = 0;
        for (const Stored& entry : StoredEntries(Pack(v))) {
            const ZipEntryInfo& r = entry.record;
            std::string name = r.name;
            std::replace(name.begin(), name.end(), '\\', '/');
            if (name.back() == '/') {
                // Folders in plain, as 7-Zip and WinZip write them.
                EXPECT_EQ(r.flags & 1u, 0u) << v.what << ": " << name;
                EXPECT_EQ(r.extra.find("\x01\x99"), std::string::npos) << v.what << ": " << name;
                continue;
            }
            EXPECT_EQ(r.method, 99) << v.what << ": " << name;
            EXPECT_EQ(r.flags & 1u, 1u) << v.what << ": " << name;
            EXPECT_EQ(r.version_needed, 51) << v.what << ": " << name;
            EXPECT_EQ(r.crc, 0u) << v.what << ": AE-2 records no CRC: " << name;
            EXPECT_NE(r.extra.find(kAesField), std::string::npos) << v.what << ": " << name;
            salts.insert(entry.data.substr(0, 16));
            EXPECT_TRUE(OpenAes(entry, kTrimmed) == ReadFile(dir / ("src/" + name))) << v.what << ": " << name;
            ++opened;
        }
        EXPECT_EQ(opened, files.size()) << v.what;
        EXPECT_EQ(salts.size(), files.size()) << v.what << ": a salt per entry";
        // Fresh from the system's source at every call.
        for (const Stored& entry : StoredEntries(Pack(v, kPassword, "again.zip"))) {
            if (entry.record.method == 99) {
                EXPECT_EQ(salts.count(entry.data.substr(0, 16)), 0u) << entry.record.name;
            }
        }
    }
}

TEST_F(AesPackingTest, SevenZipTestsAndExtractsWithoutAWarning) {
    if (!HaveTool("7z")) GTEST_SKIP() << "7z is not installed";
    for (const Variant& v : Variants()) {
        const fs::path archive = Pack(v);
        const std::string quoted = ShellQuote(Narrow(archive));
        std::string output;
        EXPECT_EQ(RunCommand("7z t -p" + ShellQuote(kTrimmed) + " " + quoted, &output), 0) << v.what << output;
        EXPECT_NE(output.find("Everything is Ok"), std::string::npos) << v.what << ": " << output;
        EXPECT_EQ(output.find("Warning"), std::string::npos) << v.what << ": " << output;
        EXPECT_NE(RunCommand("7z t -pwrong " + quoted, &output), 0) << v.what << ": a wrong password passed";
        if (v.style != PARCELON_STYLE_PORTABLE) continue; // backslash names are no folders to 7-Zip on POSIX
        const fs::path out = dir / "out";
        fs::remove_all(out);
        ASSERT_EQ(RunCommand("7z x -bd -y -p" + ShellQuote(kTrimmed) + " -o" + ShellQuote(Narrow(out)) + " " + quoted,
                             &output),
                  0)
            << v.what << output;
        for (const std::string& f : files)
            EXPECT_TRUE(ReadFile(out / f) == ReadFile(dir / ("src/" + f))) << v.what << ": " << f;
    }
}

namespace {

struct StopAt {
    parcelon_archiver* archiver;
    int percent;
};
void PARCELON_CALL StopWhenReported(int value, void* user_data) {
    auto* stop = static_cast<StopAt*>(user_data);
    if (value >= stop->percent && value <= 100) parcelon_stop(stop->archiver);
}

} // namespace

TEST_F(AesPackingTest, AStopLeavesEveryEntryWholeAndAuthenticated) {
    // Stopped within the big file, at one thread and at two.
    for (const unsigned threads : {1u, 2u}) {
        Archiver a;
        ASSERT_EQ(parcelon_set_option(a, PARCELON_OPT_ENCRYPTION, PARCELON_ENCRYPTION_AES256), 1);
        parcelon_set_threads(a, threads);
        StopAt stop{a, 40};
        parcelon_set_progress(a, StopWhenReported, &stop);
        const std::wstring big = dir.W("src/sub/big.bin");
        const std::wstring small = dir.W("src/a.txt");
        const wchar_t* list[] = {small.c_str(), big.c_str(), small.c_str()};
        ASSERT_EQ(parcelon_zip_files(a, list, 3, dir.W("cut.zip").c_str(), 6, kPassword), 1);
        EXPECT_EQ(parcelon_last_error(a), PARCELON_STOPPED);
        const std::vector<Stored> entries = StoredEntries(dir / "cut.zip");
        ASSERT_EQ(entries.size(), 2u) << threads << " threads: the file after the stop stays out";
        EXPECT_TRUE(OpenAes(entries[0], kTrimmed) == "alpha");
        const std::string cut = OpenAes(entries[1], kTrimmed);
        EXPECT_GT(cut.size(), 0u);
        EXPECT_LT(cut.size(), parcelon::kChunkSize * 2);
        EXPECT_TRUE(cut == ReadFile(dir / "src/sub/big.bin").substr(0, cut.size())) << threads;
        if (HaveTool("7z")) {
            std::string output;
            EXPECT_EQ(RunCommand("7z t -p" + ShellQuote(kTrimmed) + " " + ShellQuote(dir.A("cut.zip")), &output), 0)
                << output;
        }
    }
}

TEST_F(AesPackingTest, TheLibraryReadsWhatItSealed) {
    const Variant v = Variants()[1];
    const fs::path archive = Pack(v);
    Archiver a;
    parcelon_set_option(a, PARCELON_OPT_STDERR, 0);
    const int tested = parcelon_test(a, Wide(archive).c_str(), kTrimmed);
    if (tested == 0 && (parcelon_last_error(a) == PARCELON_E_UNSUPPORTED_METHOD ||
                        parcelon_last_error(a) == PARCELON_E_UNSUPPORTED_ENCRYPTION))
        GTEST_SKIP() << "this build's reader does not read WinZip AES";
    EXPECT_EQ(tested, 1) << parcelon_last_message(a);
    EXPECT_EQ(parcelon_test(a, Wide(archive).c_str(), "wrong"), 0);
    EXPECT_EQ(parcelon_last_error(a), PARCELON_E_WRONG_PASSWORD);
    const fs::path out = dir / "out";
    fs::create_directories(out);
    ASSERT_EQ(parcelon_extract(a, Wide(archive).c_str(), Wide(out).c_str(), kTrimmed, nullptr, 0), 1)
        << parcelon_last_message(a);
    for (const std::string& f : files) EXPECT_TRUE(ReadFile(out / f) == ReadFile(dir / ("src/" + f))) << f;
}

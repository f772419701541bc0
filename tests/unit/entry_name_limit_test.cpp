// The longest entry name the format can hold is 65,535 bytes (a 16-bit
// length field), and zlib 1.2.13's minizip overflows a buffer on longer ones
// (CVE-2023-45853). The guard sits where every entry is opened, so the test
// is there too: no file system lets a path give such a name (Linux refuses
// paths past 4,096 bytes, Windows past 32,767 UTF-16 units, at most 65,534
// bytes in a double-byte code page), so the packing operations cannot be
// driven into it from outside. What they do with the refusal is the same as
// for any entry that cannot be opened ("压缩错误：正在添加：" and the file is
// skipped), which zip_files_test.cpp covers with a level zlib refuses.
#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>

#include <cstring>

#include "create/EntryStream.h"
#include "create/ZipWriter.h"
#include "crypto/RandomBytes.h"
#include "deflate/Checksum.h"
#include "deflate/ChunkCompressor.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

constexpr char kData[] = "data after the longest name";

struct Variant {
    const char* what;
    parcelon::EntryOptions options;
    std::string password;
};

std::vector<Variant> Variants() {
    std::vector<Variant> variants;
    parcelon::EntryOptions plain;
    variants.push_back({"file entry", plain, ""});
    parcelon::EntryOptions folder;
    folder.file_entry = false;
    variants.push_back({"folder entry", folder, ""});
    variants.push_back({"encrypted entry", plain, "pw"});
    parcelon::EntryOptions zip64;
    zip64.zip64 = true;
    variants.push_back({"ZIP64 entry", zip64, ""});
    variants.push_back({"encrypted ZIP64 entry", zip64, "pw"});
    return variants;
}

// Writes one entry of the longest name and one ordinary entry; with
// refused_name set, tries to open an entry of that name first.
// Opens an entry named name, writes data into it and closes it.
void WriteEntry(void* zip, const std::string& name, const Variant& v, const std::string& data,
                parcelon::RandomBytes& random) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const std::uint32_t crc = parcelon::Crc32(0, bytes, data.size());
    parcelon::EntryStream entry;
    ASSERT_EQ(entry.Open(zip, parcelon::EntryName{name}, v.options, v.password, crc, random), ZIP_OK) << v.what;
    std::vector<unsigned char> compressed;
    parcelon::ChunkCompressor(6).Compress(bytes, data.size(), true, compressed);
    ASSERT_TRUE(entry.Write(compressed.data(), compressed.size())) << v.what;
    ASSERT_TRUE(entry.Close(data.size(), crc)) << v.what;
}

// Writes one entry of the longest name and one ordinary entry; with
// refused_name set, tries to open an entry of that name first.
void WriteArchive(const fs::path& archive, const Variant& v, const std::string* refused_name) {
    parcelon::ZipWriter writer(Wide(archive));
    ASSERT_TRUE(writer.IsOpen());
    parcelon::RandomBytes random(1);
    if (refused_name != nullptr) {
        parcelon::EntryStream entry;
        EXPECT_EQ(entry.Open(writer.handle(), parcelon::EntryName{*refused_name}, v.options, v.password, 0, random),
                  ZIP_PARAMERROR)
            << v.what << ", " << refused_name->size() << " bytes";
    }
    const std::string longest(parcelon::kMaxEntryNameBytes, 'm');
    WriteEntry(writer.handle(), longest, v, kData, random);
    WriteEntry(writer.handle(), "after.txt", v, "", random);
    ASSERT_EQ(writer.Finish(), parcelon::PackFailure::None) << v.what;
}

} // namespace

TEST(EntryNameLimitTest, NamesPastSixteenBitsAreRefusedBeforeMinizipWritesAByte) {
    TempDir dir;
    for (const Variant& v : Variants()) {
        WriteArchive(dir / "reference.zip", v, nullptr);
        for (std::size_t size : {parcelon::kMaxEntryNameBytes + 1, std::size_t{1} << 17, std::size_t{1} << 20}) {
            // A folder name ends in a backslash, like the ones the packing
            // side writes.
            std::string name(size, 'n');
            if (!v.options.file_entry) name.back() = '\\';
            WriteArchive(dir / "tried.zip", v, &name);
            // The archive written without the attempt, byte for byte (the
            // encryption headers' random bytes come from the same seed).
            EXPECT_TRUE(ReadFile(dir / "tried.zip") == ReadFile(dir / "reference.zip")) << v.what << ", " << size;
        }
    }
}

TEST(EntryNameLimitTest, TheLongestNameIsStoredWholeAndPeersReadIt) {
    if (!HaveTool("python3")) GTEST_SKIP() << "python3 is not installed";
    TempDir dir;
    for (const Variant& v : Variants()) {
        const fs::path archive = dir / "longest.zip";
        WriteArchive(archive, v, nullptr);
        std::string output;
        EXPECT_EQ(RunPeer("check_longest_name.py", {Narrow(archive), v.password}, &output), 0) << v.what << ": " << output;
    }
}

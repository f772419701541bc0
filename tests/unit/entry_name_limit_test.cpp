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

#include "create/ZipWriter.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

constexpr char kData[] = "data after the longest name";

struct Variant {
    const char* what;
    parcelon::EntryOptions options;
};

std::vector<Variant> Variants() {
    std::vector<Variant> variants;
    parcelon::EntryOptions plain;
    variants.push_back({"file entry", plain});
    parcelon::EntryOptions folder;
    folder.file_entry = false;
    variants.push_back({"folder entry", folder});
    parcelon::EntryOptions encrypted;
    encrypted.password = "pw";
    encrypted.crc = crc32(0, reinterpret_cast<const Bytef*>(kData), static_cast<uInt>(std::strlen(kData)));
    variants.push_back({"encrypted entry", encrypted});
    parcelon::EntryOptions zip64;
    zip64.zip64 = true;
    variants.push_back({"ZIP64 entry", zip64});
    parcelon::EntryOptions both = encrypted;
    both.zip64 = true;
    variants.push_back({"encrypted ZIP64 entry", both});
    return variants;
}

// Writes one entry of the longest name and one ordinary entry; with
// refused_name set, tries to open an entry of that name first.
void WriteArchive(const fs::path& archive, const parcelon::EntryOptions& options, const std::string* refused_name,
                  const char* what) {
    parcelon::ZipWriter writer(Wide(archive));
    ASSERT_TRUE(writer.IsOpen());
    if (refused_name != nullptr) {
        EXPECT_EQ(parcelon::OpenEntry(writer.handle(), parcelon::EntryName{*refused_name}, options), ZIP_PARAMERROR)
            << what << ", " << refused_name->size() << " bytes";
    }
    const std::string longest(parcelon::kMaxEntryNameBytes, 'm');
    ASSERT_EQ(parcelon::OpenEntry(writer.handle(), parcelon::EntryName{longest}, options), ZIP_OK) << what;
    const std::string data = kData;
    ASSERT_EQ(zipWriteInFileInZip(writer.handle(), data.data(), static_cast<unsigned>(data.size())), ZIP_OK) << what;
    ASSERT_EQ(zipCloseFileInZip(writer.handle()), ZIP_OK) << what;
    ASSERT_EQ(parcelon::OpenEntry(writer.handle(), parcelon::EntryName{"after.txt"}, options), ZIP_OK) << what;
    ASSERT_EQ(zipCloseFileInZip(writer.handle()), ZIP_OK) << what;
    ASSERT_EQ(writer.Finish(), parcelon::PackFailure::None) << what;
}

} // namespace

TEST(EntryNameLimitTest, NamesPastSixteenBitsAreRefusedBeforeMinizipWritesAByte) {
    TempDir dir;
    for (const Variant& v : Variants()) {
        WriteArchive(dir / "reference.zip", v.options, nullptr, v.what);
        for (std::size_t size : {parcelon::kMaxEntryNameBytes + 1, std::size_t{1} << 17, std::size_t{1} << 20}) {
            // A folder name ends in a backslash, like the ones the packing
            // side writes.
            std::string name(size, 'n');
            if (!v.options.file_entry) name.back() = '\\';
            WriteArchive(dir / "tried.zip", v.options, &name, v.what);
            // The archive written without the attempt: byte for byte, but
            // for the random bytes of encryption headers.
            if (v.options.password.empty()) {
                EXPECT_TRUE(ReadFile(dir / "tried.zip") == ReadFile(dir / "reference.zip")) << v.what << ", " << size;
            } else {
                EXPECT_EQ(fs::file_size(dir / "tried.zip"), fs::file_size(dir / "reference.zip")) << v.what << ", " << size;
                EXPECT_EQ(EntryNames(dir / "tried.zip").size(), 2u) << v.what << ", " << size;
            }
        }
    }
}

TEST(EntryNameLimitTest, TheLongestNameIsStoredWholeAndPeersReadIt) {
    if (!HaveTool("python3")) GTEST_SKIP() << "python3 is not installed";
    TempDir dir;
    for (const Variant& v : Variants()) {
        const fs::path archive = dir / "longest.zip";
        WriteArchive(archive, v.options, nullptr, v.what);
        std::string output;
        EXPECT_EQ(RunPeer("check_longest_name.py", {Narrow(archive), v.options.password}, &output), 0) << v.what << ": " << output;
    }
}

// The longest entry name the format can hold is 65,535 bytes (a 16-bit
// length field), and zlib 1.2.13's minizip overflows a buffer on longer ones
// (CVE-2023-45853). The guard sits where every entry's header is made, so
// the test is there too: no file system lets a path give such a name (Linux refuses
// paths past 4,096 bytes, Windows past 32,767 UTF-16 units, at most 65,534
// bytes in a double-byte code page), so the packing operations cannot be
// driven into it from outside. What they do with the refusal is the same as
// for any entry that cannot be opened ("压缩错误：正在添加：" and the file is
// skipped), which zip_files_test.cpp covers with a level zlib refuses.
#include <gtest/gtest.h>

#include <cstring>

#include "create/ArchiveWriter.h"
#include "create/EntryEncryptor.h"
#include "create/EntryLayout.h"
#include "create/EntryStream.h"
#include "crypto/RandomBytes.h"
#include "deflate/Checksum.h"
#include "deflate/ChunkCompressor.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

constexpr char kData[] = "data after the longest name";

struct Variant {
    const char* what;
    parcelon::EntryKind kind;
    bool zip64;
    std::string password;
};

std::vector<Variant> Variants() {
    using parcelon::EntryKind;
    return {{"file entry", EntryKind::File, false, ""},
            {"folder entry", EntryKind::Folder, false, ""},
            {"encrypted entry", EntryKind::File, false, "pw"},
            {"ZIP64 entry", EntryKind::File, true, ""},
            {"encrypted ZIP64 entry", EntryKind::File, true, "pw"}};
}

// The header of an entry of that name, as packing makes it at level 6.
bool Header(const std::string& name, const Variant& v, parcelon::EntryEncryptor& encryptor,
            parcelon::EntryHeader& header) {
    return parcelon::MakeEntryHeader(parcelon::EntryName{name, false}, v.kind, 6, encryptor.Coding(8), v.zip64,
                                     nullptr, header);
}

// Writes one entry of the longest name and one ordinary entry; with
// refused_name set, tries to open an entry of that name first.
// Opens an entry named name, writes data into it and closes it.
void WriteEntry(parcelon::EntrySink& sink, const std::string& name, const Variant& v, const std::string& data,
                parcelon::EntryEncryptor& encryptor) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const std::uint32_t crc = parcelon::Crc32(0, bytes, data.size());
    parcelon::EntryHeader header;
    ASSERT_TRUE(Header(name, v, encryptor, header)) << v.what;
    const std::vector<unsigned char> end = {0x03, 0x00};
    parcelon::EntryStream entry(sink, encryptor, end);
    ASSERT_TRUE(entry.Open(header, crc)) << v.what;
    std::vector<unsigned char> compressed;
    parcelon::ChunkCompressor(6).Compress(bytes, data.size(), true, compressed);
    ASSERT_TRUE(entry.Write(compressed.data(), compressed.size(), data.size(), crc)) << v.what;
    ASSERT_TRUE(entry.Close(data.size(), crc)) << v.what;
}

// Writes one entry of the longest name and one ordinary entry; with
// refused_name set, tries to open an entry of that name first.
void WriteArchive(const fs::path& archive, const Variant& v, const std::string* refused_name) {
    parcelon::ArchiveWriter writer(Wide(archive));
    ASSERT_TRUE(writer.IsOpen());
    parcelon::RandomBytes random(1);
    const auto encryptor = parcelon::EncryptorFor(v.password, random);
    if (refused_name != nullptr) {
        parcelon::EntryHeader header;
        EXPECT_FALSE(Header(*refused_name, v, *encryptor, header)) << v.what << ", " << refused_name->size();
        // And the writer itself takes no such record.
        header.name = *refused_name;
        EXPECT_FALSE(writer.OpenEntry(header)) << v.what << ", " << refused_name->size() << " bytes";
    }
    const std::string longest(parcelon::kMaxEntryNameBytes, 'm');
    WriteEntry(writer, longest, v, kData, *encryptor);
    WriteEntry(writer, "after.txt", v, "", *encryptor);
    ASSERT_EQ(writer.Finish(), parcelon::PackFailure::None) << v.what;
}

} // namespace

TEST(EntryNameLimitTest, NamesPastSixteenBitsAreRefusedBeforeAByteIsWritten) {
    TempDir dir;
    for (const Variant& v : Variants()) {
        WriteArchive(dir / "reference.zip", v, nullptr);
        for (std::size_t size : {parcelon::kMaxEntryNameBytes + 1, std::size_t{1} << 17, std::size_t{1} << 20}) {
            // A folder name ends in a backslash, like the ones the packing
            // side writes.
            std::string name(size, 'n');
            if (v.kind == parcelon::EntryKind::Folder) name.back() = '\\';
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

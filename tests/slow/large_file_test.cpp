// A file past 4 GiB: packed with a ZIP64 entry, accepted by Python's
// zipfile and Info-ZIP's unzip, extracted again by the library to the same
// bytes, and all that with the memory of packing or extracting one
// megabyte. The source is a sparse file, so it costs no disk; the archive
// costs a few megabytes and the extracted copy 4.5 GiB, removed at the end.
// Runs for minutes: CTest label "slow", which scripts/test.sh runs only
// when the disk has room.
#include <gtest/gtest.h>
#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Parcelon.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

constexpr std::uint64_t kGiB = 1ull << 30;
constexpr std::uint64_t kBigSize = 4 * kGiB + kGiB / 2;
// Memory may differ between the small and the large run by no more than
// this (KiB): stdio and zlib buffers are the same for both.
constexpr long kMemorySlackKiB = 16 * 1024;

struct Mark {
    std::uint64_t offset;
    std::string bytes;
};

// Bytes that make the file more than zeros, on both sides of the 4 GiB
// boundary and at its very end.
std::vector<Mark> MarksFor(std::uint64_t size) {
    std::vector<Mark> marks = {{0, "start of the large file"}};
    if (size > 5 * kGiB / 4) marks.push_back({kGiB, "one gibibyte in"});
    if (size > 0xFFFFFFFFull + 16) marks.push_back({0xFFFFFFFFull - 11, "across 2^32 bytes"});
    marks.push_back({size - 8, "last8byt"});
    return marks;
}

void MakeSparseFile(const fs::path& path, std::uint64_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    for (const Mark& mark : MarksFor(size)) {
        ASSERT_EQ(pwrite(fd, mark.bytes.data(), mark.bytes.size(), static_cast<off_t>(mark.offset)),
                  static_cast<ssize_t>(mark.bytes.size()));
    }
    ASSERT_EQ(close(fd), 0);
}

// The CRC-32 and size of a file, read in 1 MiB blocks.
struct Digest {
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    bool operator==(const Digest& o) const { return crc == o.crc && size == o.size; }
};

Digest DigestOf(const fs::path& path) {
    Digest digest;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return digest;
    std::vector<unsigned char> buffer(1 << 20);
    uLong crc = crc32(0, nullptr, 0);
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        crc = crc32(crc, buffer.data(), static_cast<uInt>(n));
        digest.size += n;
    }
    std::fclose(file);
    digest.crc = static_cast<std::uint32_t>(crc);
    return digest;
}

// Packs or extracts in a child, with nothing on stderr; returns the child.
ChildResult InChild(const std::function<bool()>& operation) {
    return RunInChild([&]() -> std::string {
        StderrCapture err;
        const bool ok = operation();
        const std::string text = err.Text();
        if (!ok) return "the operation returned false: " + text;
        if (!text.empty()) return "stderr: " + text;
        return "";
    });
}

} // namespace

TEST(LargeFileTest, AFileOf4AndAHalfGiBRoundTripsThroughZip64WithFlatMemory) {
    TempDir dir;
    const fs::path big = dir / "big.bin";
    const fs::path small = dir / "small.bin";
    MakeSparseFile(big, kBigSize);
    MakeSparseFile(small, 1 << 20);
    fs::create_directories(dir / "out-small");
    fs::create_directories(dir / "out-big");

    // Level 1: the zeros deflate quickly, and the archive stays small.
    const ChildResult pack_small =
        InChild([&]() { return CParcelon().ZipFiles({Wide(small)}, dir.W("small.zip").c_str(), 1, nullptr); });
    ASSERT_TRUE(pack_small.ok()) << pack_small.Describe();
    const ChildResult pack_big =
        InChild([&]() { return CParcelon().ZipFiles({Wide(big)}, dir.W("big.zip").c_str(), 1, nullptr); });
    ASSERT_TRUE(pack_big.ok()) << pack_big.Describe();
    EXPECT_LT(pack_big.max_rss_kib - pack_small.max_rss_kib, kMemorySlackKiB)
        << "packing 4.5 GiB peaked at " << pack_big.max_rss_kib << " KiB, 1 MiB at " << pack_small.max_rss_kib;

    const Digest source = DigestOf(big);
    ASSERT_EQ(source.size, kBigSize);

    std::string output;
    EXPECT_EQ(RunPeer("check_large_entry.py", {dir.A("big.zip"), std::to_string(kBigSize), std::to_string(source.crc)}, &output), 0)
        << output;
    if (HaveTool("unzip")) {
        EXPECT_EQ(RunCommand("unzip -t " + ShellQuote(dir.A("big.zip")), &output), 0) << output;
        EXPECT_NE(output.find("No errors detected"), std::string::npos) << output;
    } else {
        ADD_FAILURE() << "Info-ZIP unzip is not installed (scripts/setup.sh installs it)";
    }

    const ChildResult unpack_small = InChild(
        [&]() { return CParcelon().UnzipFile(dir.A("small.zip").c_str(), dir.A("out-small").c_str(), nullptr); });
    ASSERT_TRUE(unpack_small.ok()) << unpack_small.Describe();
    const ChildResult unpack_big = InChild(
        [&]() { return CParcelon().UnzipFile(dir.A("big.zip").c_str(), dir.A("out-big").c_str(), nullptr); });
    ASSERT_TRUE(unpack_big.ok()) << unpack_big.Describe();
    EXPECT_LT(unpack_big.max_rss_kib - unpack_small.max_rss_kib, kMemorySlackKiB)
        << "extracting 4.5 GiB peaked at " << unpack_big.max_rss_kib << " KiB, 1 MiB at " << unpack_small.max_rss_kib;

    EXPECT_TRUE(DigestOf(dir / "out-big/big.bin") == source);
    EXPECT_TRUE(DigestOf(dir / "out-small/small.bin") == DigestOf(small));
    std::printf("packed and extracted %llu bytes; peak memory KiB: pack %ld (1 MiB: %ld), extract %ld (1 MiB: %ld); "
                "archive %llu bytes\n",
                static_cast<unsigned long long>(kBigSize), pack_big.max_rss_kib, pack_small.max_rss_kib,
                unpack_big.max_rss_kib, unpack_small.max_rss_kib,
                static_cast<unsigned long long>(fs::file_size(dir / "big.zip")));
}

TEST(LargeFileTest, AFileJustUnder4GiBThatGrowsWhenStoredGetsZip64Records) {
    // 0xFFFF0000 bytes at level 0: the stored blocks add about 80 bytes per
    // MiB, so the entry's data pass 4 GiB although the file does not. Its
    // records must be ZIP64 from the start, not found short at the end.
    TempDir dir;
    const std::uint64_t size = 0xFFFF0000ull;
    const fs::path file = dir / "big.bin";
    MakeSparseFile(file, size);
    const ChildResult pack =
        InChild([&]() { return CParcelon().ZipFiles({Wide(file)}, dir.W("near.zip").c_str(), 0, nullptr); });
    ASSERT_TRUE(pack.ok()) << pack.Describe();
    EXPECT_GT(fs::file_size(dir / "near.zip"), 0xFFFFFFFFull) << "the stored data did not grow past 4 GiB";
    std::string output;
    EXPECT_EQ(RunPeer("check_large_entry.py", {dir.A("near.zip"), std::to_string(size),
                                               std::to_string(DigestOf(file).crc)},
                      &output),
              0)
        << output;
    if (HaveTool("unzip")) {
        EXPECT_EQ(RunCommand("unzip -t " + ShellQuote(dir.A("near.zip")), &output), 0) << output;
    }
}

TEST(LargeFileTest, AFileThatGrowsPast4GiBWhilePackedEndsItsPlainEntryWhole) {
    // Measured at 3.75 GiB (a plain entry), it grows to 4.5 GiB once
    // packing began: the entry ends, whole, before its sizes would pass what
    // it can hold, with the write line; the archive is complete and sound.
    TempDir dir;
    const fs::path file = dir / "big.bin";
    MakeSparseFile(file, 0xF0000000ull);
    const ChildResult pack = RunInChild([&]() -> std::string {
        struct Grow : TZipProgressCallback {
            fs::path path;
            bool grown = false;
            void OnProgress(int value) override {
                if (value == 999 || grown) return;
                grown = true;
                fs::resize_file(path, kBigSize);
            }
        } grow;
        grow.path = file;
        StderrCapture err;
        CParcelon zipper;
        zipper.SetCallbacker(&grow);
        const bool ok = zipper.ZipFiles({Wide(file)}, dir.W("grown.zip").c_str(), 1, nullptr);
        const std::string text = err.Text();
        if (!ok) return "ZipFiles returned false: " + text;
        if (text != MessageLine(parcelon::PackFailure::CannotWriteEntry, Narrow(file))) return "stderr: " + text;
        return "";
    });
    ASSERT_TRUE(pack.ok()) << pack.Describe();
    const std::vector<ZipEntryInfo> entries = ReadCentralDirectory(dir / "grown.zip");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_LT(entries[0].uncompressed_size, 0xFFFFFFFFull);
    EXPECT_GT(entries[0].uncompressed_size, 0xF0000000ull);
    std::string output;
    EXPECT_EQ(RunPeer("zipfile_testzip.py", {dir.A("grown.zip")}, &output), 0) << output;
    if (HaveTool("unzip")) {
        EXPECT_EQ(RunCommand("unzip -t " + ShellQuote(dir.A("grown.zip")), &output), 0) << output;
    }
}

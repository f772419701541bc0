// How packing opens and reads the files it packs: one open that tells a
// file from what must be passed over (nothing readable there) and from
// what failed to open (a folder, a FIFO); reads straight from the system,
// which still take what a file gained after it was opened.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "create/ChunkReader.h"
#include "deflate/Checksum.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using namespace testing_support;
using parcelon::platform::SourceFile;
using Opening = SourceFile::Opening;

namespace {

void Append(const fs::path& path, const std::string& bytes) {
    WriteFile(path, ReadFile(path) + bytes);
}

} // namespace

TEST(SourceFileTest, OneOpenTellsFilesFromWhatIsPassedOverAndWhatFails) {
    TempDir dir;
    WriteFile(dir / "a.txt", "alpha");
    WriteFile(dir / "empty.txt", "");
    fs::create_directories(dir / "folder");
    struct Case {
        std::wstring path;
        Opening expected;
        std::uint64_t size;
    };
    std::vector<Case> cases = {
        {dir.W("a.txt"), Opening::Opened, 5},
        {dir.W("empty.txt"), Opening::Opened, 0},
        {dir.W("missing.txt"), Opening::Absent, 0},
        {dir.W("missing/a.txt"), Opening::Absent, 0},
        {L"", Opening::Absent, 0},
        {dir.W("folder"), Opening::Refused, 0},
    };
#if !defined(_WIN32)
    // A FIFO without a writer: refused at once, never waited on.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    cases.push_back({dir.W("fifo"), Opening::Refused, 0});
    if (geteuid() != 0) {
        WriteFile(dir / "secret.txt", "s");
        fs::permissions(dir / "secret.txt", fs::perms::none);
        cases.push_back({dir.W("secret.txt"), Opening::Absent, 0});
    }
#endif
    for (const bool deny_writers : {false, true}) {
        for (const Case& c : cases) {
            SourceFile file;
            EXPECT_EQ(SourceFile::Open(c.path, deny_writers, file), c.expected) << Narrow(c.path);
            EXPECT_EQ(file.IsOpen(), c.expected == Opening::Opened) << Narrow(c.path);
            if (file.IsOpen()) {
                EXPECT_EQ(file.size(), c.size) << Narrow(c.path);
            }
        }
    }
}

TEST(SourceFileTest, ReadsTakeWhatTheFileGainedAfterItWasOpened) {
    TempDir dir;
    WriteFile(dir / "a.txt", "alpha");
    SourceFile file;
    ASSERT_EQ(SourceFile::Open(dir.W("a.txt"), false, file), Opening::Opened);
    Append(dir / "a.txt", "+beta");
    unsigned char buffer[64] = {};
    ASSERT_EQ(file.Read(buffer, sizeof buffer), 10u);
    EXPECT_EQ(std::string(buffer, buffer + 10), "alpha+beta");
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u);
    EXPECT_FALSE(file.failed());
    // And back, for a second reading.
    ASSERT_TRUE(file.Seek(2));
    ASSERT_EQ(file.Read(buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer, buffer + 3), "pha");
    EXPECT_EQ(file.position(), 5u);
}

TEST(SourceFileTest, ChunksFollowAFileThatGrewPastItsMeasuredSize) {
    TempDir dir;
    const std::string start = PatternBytes(10, 1);
    const std::string more = PatternBytes(200000, 2);
    WriteFile(dir / "a.bin", start);
    struct Case {
        std::size_t chunk;
        std::vector<std::size_t> sizes; // of the chunks read
    };
    for (const Case& c : {Case{1 << 20, {200010}}, Case{65536, {65536, 65536, 65536, 3402}}, Case{200010, {200010}}}) {
        WriteFile(dir / "a.bin", start);
        SourceFile file;
        ASSERT_EQ(SourceFile::Open(dir.W("a.bin"), false, file), Opening::Opened);
        Append(dir / "a.bin", more);
        parcelon::ChunkReader reader(std::move(file), c.chunk);
        std::vector<std::size_t> sizes;
        std::string read;
        std::vector<unsigned char> data;
        for (bool last = false; !last;) {
            reader.Next(data, last);
            sizes.push_back(data.size());
            read.append(data.begin(), data.end());
        }
        EXPECT_EQ(sizes, c.sizes) << c.chunk;
        EXPECT_TRUE(read == start + more) << c.chunk;
        EXPECT_EQ(reader.crc(), parcelon::Crc32(0, reinterpret_cast<const unsigned char*>(read.data()), read.size()));
        EXPECT_FALSE(reader.failed());
    }
}

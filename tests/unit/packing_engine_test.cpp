// The packing engine's promises that no host call shows directly: where a
// stop cuts a file, when an entry must be ZIP64, that the compression pool
// cleans up after itself, that every write and close is looked at, and
// where encryption headers take their random bytes.
#include <gtest/gtest.h>
#include <zip.h>

#include <atomic>
#include <chrono>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "Parcelon.h"
#include "ParcelonC.h"
#include "create/ArchiveWriter.h"
#include "create/ChunkCodec.h"
#include "create/ChunkReader.h"
#include "create/CompressionPool.h"
#include "create/EntryEncryptor.h"
#include "create/EntryLayout.h"
#include "create/EntryStream.h"
#include "create/FilePacker.h"
#include "create/PackingState.h"
#include "create/ZipFiles.h"
#include "crypto/RandomBytes.h"
#include "deflate/Checksum.h"
#include "deflate/ChunkCompressor.h"
#include "platform/Platform.h"
#include "support/Archiver.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

std::uint32_t Crc(const std::string& bytes, std::size_t size) {
    return parcelon::Crc32(0, reinterpret_cast<const unsigned char*>(bytes.data()), size);
}

std::string Noise(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

// The members of a CParcelon, for the units that take a PackingState.
struct StateHolder {
    std::atomic<bool> stop{false};
    long long total = 0;
    long long done = 0;
    int last = 0;
    std::wstring base;
    parcelon::PackingState State(TZipProgressCallback* callback) {
        return parcelon::PackingState{stop, callback, total, done, last, base};
    }
};

} // namespace

// ---------------------------------------------------------------- stops

namespace {

// Where a stop asked for when target is reported cuts a file of size
// bytes: after the 16 KiB block that percentage was first reported for.
std::uint64_t CutForPercentage(std::uint64_t size, int target) {
    for (std::uint64_t done = 0; done < size;) {
        done = std::min<std::uint64_t>(size, done + 16384);
        if (parcelon::ProgressPercentage(static_cast<long long>(done), static_cast<long long>(size)) == target)
            return done;
    }
    ADD_FAILURE() << target << "% is never reported";
    return 0;
}

// With a password the entry goes on to the first byte after which the CRC
// of what it holds has the header's check byte (the whole file's).
std::uint64_t EncryptedEnd(const std::string& content, std::uint64_t cut) {
    const std::uint32_t check = Crc(content, content.size()) >> 24;
    std::uint32_t crc = Crc(content, static_cast<std::size_t>(cut));
    std::uint64_t end = cut;
    while ((crc >> 24) != check) {
        crc = parcelon::Crc32(crc, reinterpret_cast<const unsigned char*>(content.data()) + end, 1);
        ++end;
    }
    return end;
}

struct StopAt {
    int target;
    parcelon_archiver* archiver;
};
void PARCELON_CALL StopWhenReported(int value, void* user_data) {
    const auto* stop = static_cast<StopAt*>(user_data);
    if (value == stop->target) parcelon_stop(stop->archiver);
}

} // namespace

TEST(StopGranularityTest, AStopFromTheCallbackCutsAfterTheBlockItsPercentageWasReportedFor) {
    // A file of several chunks and a few blocks more; percentages early,
    // in the middle (past the first chunk) and late; with and without a
    // password; on the calling thread and with workers.
    TempDir dir;
    const std::string content = PatternBytes(2 * parcelon::kChunkSize + 5 * 16384 + 777, 31);
    WriteFile(dir / "a.bin", content);
    const std::wstring file = dir.W("a.bin");
    const wchar_t* files[] = {file.c_str()};
    for (const int target : {2, 45, 71, 98}) {
        const std::uint64_t cut = CutForPercentage(content.size(), target);
        for (const char* password : {static_cast<const char*>(nullptr), "pw"}) {
            const std::uint64_t expected = password != nullptr ? EncryptedEnd(content, cut) : cut;
            for (const unsigned threads : {1u, 4u}) {
                Archiver a;
                StopAt stop{target, a};
                parcelon_set_threads(a, threads);
                parcelon_set_progress(a, StopWhenReported, &stop);
                ASSERT_EQ(parcelon_zip_files(a, files, 1, dir.W("out.zip").c_str(), 6, password), 1);
                const std::vector<ZipEntryInfo> entries = ReadCentralDirectory(dir / "out.zip");
                ASSERT_EQ(entries.size(), 1u);
                EXPECT_EQ(entries[0].uncompressed_size, expected)
                    << target << "%, " << threads << " threads, " << (password ? "password" : "none");
                fs::remove_all(dir / "out");
                fs::create_directories(dir / "out");
                CParcelon unzipper;
                EXPECT_TRUE(unzipper.UnzipFile(dir.A("out.zip").c_str(), dir.A("out").c_str(), password));
                EXPECT_TRUE(ReadFile(dir / "out/a.bin") == content.substr(0, static_cast<std::size_t>(expected)));
            }
        }
    }
}

// ---------------------------------------------------------------- ZIP64

TEST(Zip64ChoiceTest, EntriesThatMayGrowPast4GiBAreZip64FromTheStart) {
    // Stored and incompressible data grow: a file just under 4 GiB needs
    // ZIP64 records at every level, with a password (12 bytes more) too.
    // Sizes well below keep the plain entry every archive had.
    struct Case {
        std::uint64_t size;
        bool zip64;
    };
    const Case cases[] = {{0, false},           {1000, false},           {0xF0000000ull, false},
                          {0xFFBC0000ull, false}, {0xFFFF0000ull, true}, {0xFFFFFFFEull, true},
                          {0xFFFFFFFFull, true},  {5ull << 30, true}};
    for (const int level : {0, 1, 6, 9}) {
        const auto codec = parcelon::DeflateCodecs(level)();
        for (const std::uint64_t overhead : {0u, 12u}) {
            for (const Case& c : cases) {
                EXPECT_EQ(parcelon::NeedsZip64(c.size, codec->MostOutput(c.size) + overhead), c.zip64)
                    << c.size << " bytes, level " << level << ", overhead " << overhead;
            }
        }
    }
}

TEST(Zip64ChoiceTest, TheWorstCaseHoldsForDataThatDoNotCompress) {
    // What the worst case promises, against chunks of random bytes, joined
    // as a file is packed.
    const std::size_t chunk = parcelon::kChunkSize;
    const std::string noise = Noise(3 * chunk + 4321, 5);
    for (const int level : {0, 1, 6, 9}) {
        const auto codec = parcelon::DeflateCodecs(level)();
        std::uint64_t total = 0;
        for (std::size_t at = 0; at < noise.size(); at += chunk) {
            const std::size_t piece = std::min(chunk, noise.size() - at);
            std::vector<unsigned char> out;
            codec->Compress(reinterpret_cast<const unsigned char*>(noise.data()) + at, piece,
                            at + piece == noise.size(), out);
            total += out.size();
        }
        EXPECT_GT(total, noise.size()) << "random bytes do not shrink, level " << level;
        EXPECT_LE(total, codec->MostOutput(noise.size())) << level;
    }
}

// ---------------------------------------------------------------- the pool

TEST(CompressionPoolTest, AFailureWhileStartingWorkersEndsTheStartedOnes) {
    const parcelon::CodecFactory codecs = parcelon::DeflateCodecs(6);
    // Out of memory for the third thread's state: the two started end, and
    // the failure goes on to the caller (no std::terminate).
    int started = 0;
    const parcelon::ThreadStarter out_of_memory = [&](std::function<void()> body) {
        if (started == 2) throw std::bad_alloc();
        ++started;
        return std::thread(std::move(body));
    };
    EXPECT_THROW(parcelon::CompressionPool(4, codecs, out_of_memory), std::bad_alloc);

    // A system that refuses threads past two: a pool of two, that works.
    started = 0;
    const parcelon::ThreadStarter refusing = [&](std::function<void()> body) {
        if (started == 2) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        ++started;
        return std::thread(std::move(body));
    };
    parcelon::CompressionPool pool(4, codecs, refusing);
    EXPECT_EQ(pool.workers(), 2u);
    parcelon::ChunkJob job;
    job.input.assign(1000, 'x');
    job.last = true;
    pool.Submit(job);
    EXPECT_TRUE(pool.Wait(job, nullptr));
    EXPECT_FALSE(job.output.empty());
}

TEST(CompressionPoolTest, AJobNoWorkerHasTakenIsRunByTheThreadThatWaitsForIt) {
    // One worker, held before it takes anything: the waiting thread runs
    // the group itself and never waits for the worker.
    std::atomic<bool> release{false};
    const parcelon::ThreadStarter held = [&](std::function<void()> body) {
        return std::thread([&release, body = std::move(body)] {
            while (!release.load()) std::this_thread::yield();
            body();
        });
    };
    const parcelon::CodecFactory codecs = parcelon::DeflateCodecs(6);
    const std::unique_ptr<parcelon::ChunkCodec> own = codecs();
    parcelon::CompressionPool pool(1, codecs, held);
    ASSERT_EQ(pool.workers(), 1u);
    parcelon::ChunkJob first;
    parcelon::ChunkJob second;
    first.input.assign(1000, 'x');
    second.input.assign(3000, 'y');
    first.last = second.last = true;
    parcelon::ChunkGroup group;
    group.Add(first);
    group.Add(second);
    EXPECT_EQ(group.bytes, 4000u);
    pool.Submit(group);
    // Were it to wait for the worker, the stop after a few seconds would
    // end the wait instead.
    std::atomic<bool> stop{false};
    std::thread watchdog([&stop, &release] {
        for (int i = 0; i < 500 && !release.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        stop.store(true);
    });
    const bool waited = pool.Wait(group, &stop, own.get());
    release.store(true);
    watchdog.join();
    EXPECT_TRUE(waited);
    std::vector<unsigned char> expected;
    own->Compress(second.input.data(), second.input.size(), true, expected);
    EXPECT_EQ(second.output, expected);
    EXPECT_FALSE(first.output.empty());
}

// ---------------------------------------------------------------- writes and closes

namespace {

// A sink that takes limit bytes of data and fails every write after them,
// recording what it was asked.
struct FailingSink : parcelon::EntrySink {
    std::uint64_t limit;
    std::uint64_t written = 0;
    int open = 0;
    int closed = 0;
    explicit FailingSink(std::uint64_t bytes) : limit(bytes) {}
    bool OpenEntry(const parcelon::EntryHeader&) override { return ++open, true; }
    bool WriteEntryData(const unsigned char*, std::size_t size) override {
        if (written + size > limit) return false;
        written += size;
        return true;
    }
    bool CloseEntry(std::uint64_t, std::uint32_t) override { return ++closed, true; }
    bool CanReencrypt() const override { return true; }
    void ReencryptLast(parcelon::Reencryption) override {}
};

struct StopAtFirst : TZipProgressCallback {
    std::atomic<bool>* stop = nullptr;
    void OnProgress(int) override { stop->store(true); }
};

} // namespace

TEST(WriteResultsTest, AnEntryAStopCutIsReportedWhenItsEndCannotBeWritten) {
    // The first chunk is written; the stop comes within the second, whose
    // cut end no longer fits.
    TempDir dir;
    const std::string content = Noise(2 * parcelon::kChunkSize, 8);
    WriteFile(dir / "a.bin", content);
    std::vector<parcelon::PackItem> items(1);
    items[0].path = dir.W("a.bin");
    items[0].name = L"a.bin";
    items[0].size = content.size();
    for (const char* password : {"", "pw"}) {
        StateHolder holder;
        struct StopInSecondChunk : TZipProgressCallback {
            std::atomic<bool>* stop;
            int calls = 0;
            void OnProgress(int value) override {
                if (value > 55) stop->store(true);
            }
        } callback;
        callback.stop = &holder.stop;
        parcelon::PackingState state = holder.State(&callback);
        holder.total = static_cast<long long>(content.size());
        parcelon::Progress progress(state);
        FailingSink sink(parcelon::kChunkSize + 64 * 1024);
        RecordingDiagnostics diagnostics;
        parcelon::PackSettings settings;
        settings.password = password;
        StderrCapture err;
        parcelon::PackItems(sink, items, settings, progress, holder.stop, diagnostics);
        err.Text();
        EXPECT_EQ(diagnostics.packing, std::vector<parcelon::PackFailure>{parcelon::PackFailure::CannotWriteEntry})
            << password;
        EXPECT_EQ(sink.open, sink.closed) << "an entry was left open";
    }
}

TEST(WriteResultsTest, AnEntryWhoseHeaderCannotBeWrittenIsNotLeftOpen) {
    FailingSink sink(0);
    parcelon::RandomBytes random(3);
    const auto encryptor = parcelon::TraditionalEncryption("pw", random);
    const std::vector<unsigned char> end = {0x03, 0x00};
    {
        parcelon::EntryStream entry(sink, *encryptor, end);
        parcelon::EntryHeader header;
        header.name = "a.txt";
        EXPECT_FALSE(entry.Open(header, 0));
    }
    EXPECT_EQ(sink.open, sink.closed);
    EXPECT_EQ(sink.written, 0u);
}

#if defined(__linux__)
TEST(WriteResultsTest, AFileCrcThatCannotBeReadToTheEndIsNoAnswer) {
    // /proc/self/clear_refs is a regular, write-only file; root may open it
    // for reading, and every read then fails.
    if (geteuid() != 0) GTEST_SKIP() << "needs root to open a write-only file for reading";
    std::atomic<bool> stop{false};
    unsigned long crc = 1;
    EXPECT_FALSE(parcelon::FileCrc(L"/proc/self/clear_refs", stop, crc));
    EXPECT_EQ(crc, 0u);
    TempDir dir;
    WriteFile(dir / "a.txt", "alpha");
    EXPECT_TRUE(parcelon::FileCrc(dir.W("a.txt"), stop, crc));
    EXPECT_EQ(crc, Crc("alpha", 5));
}
#endif

TEST(WriteResultsTest, AHostsCallbackThatThrowsLeavesASoundEntryInAHostsMinizipArchive) {
    // The exported _AddFileToZipObj writes into an archive the host opened
    // with minizip; an exception from OnProgress leaves the operation, and
    // the entry it was writing must still agree with its data when the host
    // closes the archive.
    TempDir dir;
    const std::string content = PatternBytes(3 * parcelon::kChunkSize, 12);
    WriteFile(dir / "a.bin", content);
    struct Throwing : TZipProgressCallback {
        void OnProgress(int value) override {
            if (value >= 50) throw std::runtime_error("host");
        }
    } callback;
    zipFile zip = zipOpen64(dir.A("host.zip").c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    StateHolder holder;
    parcelon::PackingState state = holder.State(&callback);
    holder.total = static_cast<long long>(content.size());
    parcelon::Diagnostics diagnostics;
    EXPECT_THROW(parcelon::AddListedFile(state, zip, dir.W("a.bin").c_str(), 6, nullptr, diagnostics),
                 std::runtime_error);
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
    const std::vector<ZipEntryInfo> entries = ReadCentralDirectory(dir / "host.zip");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_GT(entries[0].uncompressed_size, 0u);
    EXPECT_LT(entries[0].uncompressed_size, content.size());
    fs::create_directories(dir / "out");
    CParcelon unzipper;
    StderrCapture err;
    EXPECT_TRUE(unzipper.UnzipFile(dir.A("host.zip").c_str(), dir.A("out").c_str(), nullptr)) << err.Text();
    const std::string back = ReadFile(dir / "out/a.bin");
    EXPECT_TRUE(back == content.substr(0, back.size()));
}

TEST(WriteResultsTest, AHostsMinizipArchiveTakesNoEncryptedEntry) {
    // An entry whose header no longer fits its data could not be put right
    // in an archive only the host can reach: the file is refused instead.
    TempDir dir;
    WriteFile(dir / "a.txt", "alpha");
    zipFile zip = zipOpen64(dir.A("host.zip").c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    StateHolder holder;
    parcelon::PackingState state = holder.State(nullptr);
    RecordingDiagnostics diagnostics;
    StderrCapture err;
    EXPECT_FALSE(parcelon::AddListedFile(state, zip, dir.W("a.txt").c_str(), 6, "pw", diagnostics));
    EXPECT_TRUE(parcelon::AddListedFile(state, zip, dir.W("a.txt").c_str(), 6, nullptr, diagnostics));
    err.Text();
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
    EXPECT_EQ(diagnostics.packing, std::vector<parcelon::PackFailure>{parcelon::PackFailure::CannotAddEntry});
    EXPECT_EQ(EntryNames(dir / "host.zip"), std::vector<std::string>{"a.txt"});
}

// ---------------------------------------------------------------- random bytes

TEST(RandomSourceTest, TheSystemSourceAnswersWithBytesThatDiffer) {
    unsigned char a[32] = {};
    unsigned char b[32] = {};
    ASSERT_TRUE(parcelon::platform::SystemRandom(a, sizeof a));
    ASSERT_TRUE(parcelon::platform::SystemRandom(b, sizeof b));
    EXPECT_NE(std::string(a, a + sizeof a), std::string(b, b + sizeof b));
    parcelon::RandomBytes system;
    ASSERT_TRUE(system.Fill(a, sizeof a));
    ASSERT_TRUE(system.Fill(b, sizeof b));
    EXPECT_NE(std::string(a, a + sizeof a), std::string(b, b + sizeof b));
}

TEST(RandomSourceTest, FixedBytesGiveTheSameEncryptedArchiveAtEveryThreadCount) {
    TempDir dir;
    fs::create_directories(dir / "src/sub");
    WriteFile(dir / "src/a.txt", "alpha");
    WriteFile(dir / "src/sub/big.bin", PatternBytes(2 * parcelon::kChunkSize + 99, 4));
    std::vector<parcelon::PackItem> items(2);
    items[0] = parcelon::PackItem{dir.W("src/a.txt"), L"", L"a.txt", 5, false, {}};
    items[1] = parcelon::PackItem{dir.W("src/sub/big.bin"), L"sub\\", L"sub\\big.bin", 2 * parcelon::kChunkSize + 99, false, {}};
    std::string first;
    for (const unsigned threads : {1u, 2u, 8u}) {
        const fs::path archive = dir / ("t" + std::to_string(threads) + ".zip");
        {
            parcelon::ArchiveWriter writer(Wide(archive));
            ASSERT_TRUE(writer.IsOpen());
            StateHolder holder;
            parcelon::PackingState state = holder.State(nullptr);
            parcelon::Progress progress(state);
            parcelon::Diagnostics diagnostics;
            parcelon::RandomBytes random(77);
            parcelon::PackSettings settings;
            settings.password = "pw";
            settings.threads = threads;
            settings.random = &random;
            ASSERT_TRUE(parcelon::PackItems(writer, items, settings, progress, holder.stop, diagnostics));
            ASSERT_EQ(writer.Finish(), parcelon::PackFailure::None);
        }
        const std::string bytes = ReadFile(archive);
        if (first.empty()) first = bytes;
        EXPECT_TRUE(bytes == first) << threads << " threads";
    }
    if (HaveTool("python3")) {
        std::string output;
        EXPECT_EQ(RunPeer("zipfile_testzip.py", {Narrow(dir / "t8.zip"), "pw"}, &output), 0) << output;
    }
}

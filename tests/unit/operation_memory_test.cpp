// The operation-scoped blocks behind zlib's state: reuse within a scope,
// nothing kept after it, threads kept apart, and (with the zlib the build
// compiles itself) Deflate and Inflate really drawing from them, also
// through the library's own operations.
#include <gtest/gtest.h>
#include <zlib.h>

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "Parcelon.h"
#include "memory/OperationMemory.h"
#include "support/TestSupport.h"

using namespace testing_support;
using parcelon::AllocateBlock;
using parcelon::AllocationScope;
using parcelon::KeptBlockBytes;
using parcelon::KeptBlockCount;
using parcelon::ReleaseBlock;

namespace {

bool Aligned(const void* block) {
    return reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t) == 0;
}

} // namespace

TEST(OperationMemory, AScopeHandsAFreedBlockToTheNextRequestOfItsSize) {
    AllocationScope scope;
    void* first = AllocateBlock(1000);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(Aligned(first));
    std::memset(first, 0xAB, 1000);
    ReleaseBlock(first);
    EXPECT_EQ(KeptBlockCount(), 1u);
    EXPECT_EQ(KeptBlockBytes(), 1000u);

    void* other_size = AllocateBlock(2000);
    ASSERT_NE(other_size, nullptr);
    EXPECT_NE(other_size, first);
    EXPECT_EQ(KeptBlockCount(), 1u); // the 1000-byte block is still kept

    void* again = AllocateBlock(1000);
    EXPECT_EQ(again, first);
    EXPECT_EQ(KeptBlockCount(), 0u);
    EXPECT_EQ(KeptBlockBytes(), 0u);
    ReleaseBlock(again);
    ReleaseBlock(other_size);
    EXPECT_EQ(KeptBlockCount(), 2u);
    EXPECT_EQ(KeptBlockBytes(), 3000u);
}

TEST(OperationMemory, OnlyTheOutermostScopeFreesWhatWasKept) {
    {
        AllocationScope outer;
        {
            AllocationScope inner;
            for (std::size_t size : {100u, 200u, 300u}) ReleaseBlock(AllocateBlock(size));
            EXPECT_EQ(KeptBlockCount(), 3u);
        }
        EXPECT_EQ(KeptBlockCount(), 3u);
        EXPECT_EQ(KeptBlockBytes(), 600u);
    }
    EXPECT_EQ(KeptBlockCount(), 0u);
    EXPECT_EQ(KeptBlockBytes(), 0u);
}

TEST(OperationMemory, OutsideAScopeNothingIsKept) {
    ReleaseBlock(AllocateBlock(4096));
    EXPECT_EQ(KeptBlockCount(), 0u);

    // A block taken inside a scope and given back after it ended is freed,
    // not kept (AddressSanitizer builds would report a leak otherwise).
    void* late = nullptr;
    {
        AllocationScope scope;
        late = AllocateBlock(512);
    }
    ReleaseBlock(late);
    EXPECT_EQ(KeptBlockCount(), 0u);
    ReleaseBlock(nullptr);
}

TEST(OperationMemory, RefusesEmptyAndImpossibleSizesAndBoundsWhatItKeeps) {
    AllocationScope scope;
    EXPECT_EQ(AllocateBlock(0), nullptr);
    EXPECT_EQ(AllocateBlock(SIZE_MAX), nullptr);
    EXPECT_EQ(AllocateBlock(SIZE_MAX - 8), nullptr);

    std::vector<void*> blocks;
    const std::size_t size = 1024 * 1024 + 1;
    for (int i = 0; i < 8; ++i) blocks.push_back(AllocateBlock(size));
    for (void* block : blocks) ReleaseBlock(block);
    EXPECT_GT(KeptBlockCount(), 0u);
    EXPECT_LE(KeptBlockBytes(), parcelon::kMaxKeptBytes);
    EXPECT_LT(KeptBlockCount(), blocks.size());
}

TEST(OperationMemory, EachThreadKeepsItsOwnBlocks) {
    std::mutex mutex;
    std::condition_variable changed;
    int stage = 0;
    void* kept_by_worker = nullptr;
    std::size_t worker_count_after_scope = 99;

    std::thread worker([&] {
        {
            AllocationScope scope;
            void* block = AllocateBlock(777);
            ReleaseBlock(block);
            std::unique_lock<std::mutex> lock(mutex);
            kept_by_worker = block;
            stage = 1;
            changed.notify_all();
            changed.wait(lock, [&] { return stage == 2; });
        }
        worker_count_after_scope = KeptBlockCount();
    });

    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return stage == 1; });
    }
    // The worker keeps a 777-byte block; this thread sees none of it.
    EXPECT_EQ(KeptBlockCount(), 0u);
    {
        AllocationScope scope;
        void* mine = AllocateBlock(777);
        EXPECT_NE(mine, kept_by_worker);
        ReleaseBlock(mine);
        EXPECT_EQ(KeptBlockCount(), 1u);
    }
    EXPECT_EQ(KeptBlockCount(), 0u);
    {
        std::lock_guard<std::mutex> lock(mutex);
        stage = 2;
    }
    changed.notify_all();
    worker.join();
    EXPECT_EQ(worker_count_after_scope, 0u);
}

TEST(OperationMemory, ABlockMayBeGivenBackOnAnotherThread) {
    void* block = nullptr;
    {
        AllocationScope scope;
        block = AllocateBlock(300);
        std::thread other([block] {
            AllocationScope its_scope;
            ReleaseBlock(block); // kept by the other thread's scope, then freed
        });
        other.join();
        EXPECT_EQ(KeptBlockCount(), 0u);
    }
}

#if defined(PARCELON_PRIVATE_ZLIB)

namespace {

std::vector<unsigned char> RawDeflate(const std::string& text) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<unsigned char> out(deflateBound(&stream, static_cast<uLong>(text.size())));
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

} // namespace

TEST(OperationMemoryZlib, DeflateStateIsReusedWholeForTheNextStream) {
    AllocationScope scope;
    z_stream first{};
    ASSERT_EQ(deflateInit2(&first, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    ASSERT_EQ(deflateEnd(&first), Z_OK);
    const std::size_t kept = KeptBlockCount();
    EXPECT_GE(kept, 4u); // the state, the window and the hash tables at least
    EXPECT_GE(KeptBlockBytes(), 200u * 1024);

    z_stream second{};
    ASSERT_EQ(deflateInit2(&second, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    EXPECT_EQ(KeptBlockCount(), 0u); // every block came from the first stream
    ASSERT_EQ(deflateEnd(&second), Z_OK);
    EXPECT_EQ(KeptBlockCount(), kept);
}

TEST(OperationMemoryZlib, InflateStateComesFromTheScopeAndStreamsStillWork) {
    const std::string text = PatternBytes(100000, 7);
    const std::vector<unsigned char> packed = RawDeflate(text);
    AllocationScope scope;
    std::size_t kept_after_first = 0;
    for (int round = 0; round < 3; ++round) {
        z_stream stream{};
        ASSERT_EQ(inflateInit2(&stream, -MAX_WBITS), Z_OK);
        // Small output steps, as an extracting reader takes them: Inflate
        // then needs its window as well as its state.
        std::string out;
        unsigned char step[1024];
        stream.next_in = const_cast<Bytef*>(packed.data());
        stream.avail_in = static_cast<uInt>(packed.size());
        int result = Z_OK;
        while (result == Z_OK) {
            stream.next_out = step;
            stream.avail_out = sizeof step;
            result = inflate(&stream, Z_NO_FLUSH);
            out.append(reinterpret_cast<char*>(step), sizeof step - stream.avail_out);
        }
        EXPECT_EQ(result, Z_STREAM_END);
        inflateEnd(&stream);
        EXPECT_EQ(out, text);
        if (round == 0) {
            kept_after_first = KeptBlockCount();
            EXPECT_EQ(kept_after_first, 2u); // the state and the 32 KiB window
            EXPECT_GE(KeptBlockBytes(), 32u * 1024);
        } else {
            EXPECT_EQ(KeptBlockCount(), kept_after_first); // reused, not added to
        }
    }
}

TEST(OperationMemoryZlib, PackingAndUnpackingDrawFromTheScopeAndKeepNothingAfter) {
    TempDir dir;
    std::vector<std::wstring> files;
    for (int i = 0; i < 5; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        WriteFile(dir / name, PatternBytes(3000 + 1000 * i, static_cast<unsigned>(i)));
        files.push_back(dir.W(name));
    }
    CParcelon zipper;
    // On its own the operation keeps nothing once it returns...
    ASSERT_TRUE(zipper.ZipFiles(files, dir.W("plain.zip").c_str(), 6, nullptr));
    EXPECT_EQ(KeptBlockCount(), 0u);
    fs::create_directories(dir / "out1");
    ASSERT_TRUE(zipper.UnzipFile(dir.A("plain.zip").c_str(), dir.A("out1").c_str(), nullptr));
    EXPECT_EQ(KeptBlockCount(), 0u);
    EXPECT_EQ(ReadFile(dir / "out1" / "f4.txt"), PatternBytes(7000, 4));

    // ...and inside an enclosing scope its Deflate and Inflate state shows
    // up as kept blocks: minizip's streams go through the hook.
    {
        AllocationScope scope;
        ASSERT_TRUE(zipper.ZipFiles(files, dir.W("scoped.zip").c_str(), 6, "secret"));
        EXPECT_GE(KeptBlockBytes(), 200u * 1024);
    }
    {
        AllocationScope scope;
        fs::create_directories(dir / "out2");
        ASSERT_TRUE(zipper.UnzipFile(dir.A("scoped.zip").c_str(), dir.A("out2").c_str(), "secret"));
        EXPECT_GT(KeptBlockCount(), 0u);
        EXPECT_EQ(ReadFile(dir / "out2" / "f2.txt"), PatternBytes(5000, 2));
    }
    EXPECT_EQ(KeptBlockCount(), 0u);
}

#endif // PARCELON_PRIVATE_ZLIB

TEST(OperationMemory, SeparateObjectsPackOnSeparateThreadsAtOnce) {
    TempDir dir;
    std::vector<std::wstring> files;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        WriteFile(dir / name, PatternBytes(2000 + 97 * i, static_cast<unsigned>(i)));
        files.push_back(dir.W(name));
    }
    bool ok[2] = {false, false};
    std::size_t kept_after[2] = {99, 99};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            CParcelon zipper;
            const std::wstring archive = dir.W("out" + std::to_string(t) + ".zip");
            bool all = true;
            for (int round = 0; round < 3; ++round)
                all = zipper.ZipFiles(files, archive.c_str(), 6, t == 0 ? nullptr : "pw") && all;
            ok[t] = all;
            kept_after[t] = KeptBlockCount();
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < 2; ++t) {
        EXPECT_TRUE(ok[t]);
        EXPECT_EQ(kept_after[t], 0u);
        const std::vector<ZipEntryInfo> entries = ReadCentralDirectory(dir / ("out" + std::to_string(t) + ".zip"));
        ASSERT_EQ(entries.size(), files.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i].name, "f" + std::to_string(i) + ".txt");
            EXPECT_EQ(entries[i].uncompressed_size, 2000u + 97u * i);
            EXPECT_EQ(entries[i].crc, crc32(0, reinterpret_cast<const Bytef*>(
                                                   PatternBytes(2000 + 97 * i, static_cast<unsigned>(i)).data()),
                                            static_cast<uInt>(2000 + 97 * i)));
            EXPECT_EQ(entries[i].flags & 1u, t == 0 ? 0u : 1u);
        }
    }
}

// The packing engine's own pieces: finding a Deflate stream's final block
// to the bit, turning a chunk's stream into non-final blocks, and chunks
// that join into one stream any Inflate reads. zlib is the independent
// reader here.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "deflate/ChunkCompressor.h"
#include "deflate/DeflateScan.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes out(size);
    for (unsigned char& b : out) b = static_cast<unsigned char>(random());
    return out;
}

// Raw Deflate by zlib at level (a second encoder, with its own choice of
// blocks).
Bytes ZlibDeflate(const Bytes& data, int level, int strategy = Z_DEFAULT_STRATEGY) {
    z_stream stream {};
    EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, strategy), Z_OK);
    Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<unsigned char*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// zlib's reading of stream: the data, when the stream ends exactly at its
// last byte; "" with *ok false otherwise.
Bytes Inflate(const Bytes& stream, std::size_t expected, bool* ok) {
    z_stream z {};
    EXPECT_EQ(inflateInit2(&z, -MAX_WBITS), Z_OK);
    Bytes out(expected + 16);
    z.next_in = const_cast<unsigned char*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_FINISH);
    *ok = result == Z_STREAM_END && z.avail_in == 0;
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

struct Sample {
    const char* what;
    Bytes data;
};

std::vector<Sample> Samples() {
    return {{"one byte", Bytes{'x'}},
            {"short text (fixed codes)", ToBytes("parcel archive deflate")},
            {"text", ToBytes(PatternBytes(300000, 5))},
            {"random (stored blocks)", RandomBytes(200000, 6)},
            {"zeros (long matches)", Bytes(500000, 0)},
            {"mixed", [] {
                 Bytes b = ToBytes(PatternBytes(70000, 7));
                 const Bytes r = RandomBytes(70000, 8);
                 b.insert(b.end(), r.begin(), r.end());
                 return b;
             }()}};
}

// Every sample compressed by both encoders at several levels.
template <typename Check>
void ForEachStream(Check check) {
    for (const Sample& sample : Samples()) {
        for (const int level : {0, 1, 6, 9}) {
            std::vector<unsigned char> ours;
            parcelon::ChunkCompressor(level).Compress(sample.data.data(), sample.data.size(), true, ours);
            check(sample, ours, std::string(sample.what) + ", libdeflate " + std::to_string(level));
            check(sample, ZlibDeflate(sample.data, level), std::string(sample.what) + ", zlib " + std::to_string(level));
        }
    }
}

} // namespace

TEST(DeflateScanTest, FindsTheEndOfEveryStreamToTheByte) {
    ForEachStream([](const Sample&, const Bytes& stream, const std::string& what) {
        // Bytes after the stream are not part of it.
        Bytes followed = stream;
        followed.insert(followed.end(), {0xAB, 0xCD, 0xEF, 0x12});
        parcelon::FinalBlock final;
        ASSERT_TRUE(parcelon::FindFinalBlock(followed.data(), followed.size(), final)) << what;
        EXPECT_LT(final.header_bit, final.end_bit) << what;
        EXPECT_EQ((final.end_bit + 7) / 8, stream.size()) << what;
    });
}

TEST(DeflateScanTest, NonFinalBlocksEndedByTheEmptyBlockReadAsTheSameData) {
    ForEachStream([](const Sample& sample, const Bytes& stream, const std::string& what) {
        Bytes open = stream;
        ASSERT_TRUE(parcelon::MakeNonFinal(open)) << what;
        Bytes closed = open;
        closed.insert(closed.end(), parcelon::kEmptyFinalBlock, parcelon::kEmptyFinalBlock + 2);
        bool ok = false;
        EXPECT_TRUE(Inflate(closed, sample.data.size(), &ok) == sample.data) << what;
        EXPECT_TRUE(ok) << what;
        // Without its end, no reader takes it for a whole stream.
        Inflate(open, sample.data.size(), &ok);
        EXPECT_FALSE(ok) << what;
    });
}

TEST(DeflateScanTest, RefusesEveryCutAndSurvivesDamage) {
    const Bytes data = ToBytes(PatternBytes(40000, 9));
    std::vector<unsigned char> stream;
    parcelon::ChunkCompressor(6).Compress(data.data(), data.size(), true, stream);
    parcelon::FinalBlock final;
    for (std::size_t size = 0; size + 1 < stream.size(); ++size)
        EXPECT_FALSE(parcelon::FindFinalBlock(stream.data(), size, final)) << size;
    // Flipped bits: an answer either way, and never a read past the end
    // (the sanitizers watch).
    std::mt19937 random(10);
    for (int i = 0; i < 2000; ++i) {
        Bytes damaged = stream;
        damaged[random() % damaged.size()] ^= static_cast<unsigned char>(1u << (random() % 8));
        if (parcelon::FindFinalBlock(damaged.data(), damaged.size(), final)) {
            EXPECT_LE(final.end_bit, damaged.size() * 8);
        }
    }
}

TEST(DeflateScanTest, AStreamCutInsideARunOfLiteralsEnds) {
    // Past the end the input reads as zeros, and zeros decode as literals:
    // a Huffman-only stream (all literals) cut short must still be refused,
    // not walked for ever. Cut at 1,000 bytes and at every length of a
    // short one; fixed codes (level 1 on tiny input) and dynamic ones.
    const Bytes text = ToBytes(PatternBytes(200000, 12));
    const Bytes huffman = ZlibDeflate(text, 6, Z_HUFFMAN_ONLY);
    ASSERT_GT(huffman.size(), 1000u);
    parcelon::FinalBlock final;
    EXPECT_FALSE(parcelon::FindFinalBlock(huffman.data(), 1000, final));
    EXPECT_FALSE(parcelon::FindFinalBlock(huffman.data(), huffman.size() - 1, final));
    ASSERT_TRUE(parcelon::FindFinalBlock(huffman.data(), huffman.size(), final));
    for (const Bytes& stream : {ZlibDeflate(Bytes(text.begin(), text.begin() + 3000), 6, Z_HUFFMAN_ONLY),
                                ZlibDeflate(ToBytes("parcel archive deflate"), 1, Z_HUFFMAN_ONLY)})
        for (std::size_t size = 0; size + 1 < stream.size(); ++size)
            EXPECT_FALSE(parcelon::FindFinalBlock(stream.data(), size, final)) << size << " of " << stream.size();
}

TEST(ChunkCompressorTest, ChunksJoinIntoTheStreamOfTheWholeFile) {
    // Sizes around the chunk boundary, as the packer cuts files.
    const std::size_t chunk = parcelon::kChunkSize;
    for (const std::size_t size : {chunk - 1, chunk, chunk + 1, 2 * chunk + 4097}) {
        const Bytes data = ToBytes(PatternBytes(size, 11));
        for (const int level : {0, 6}) {
            parcelon::ChunkCompressor compressor(level);
            Bytes joined;
            for (std::size_t at = 0; at < size; at += chunk) {
                const std::size_t piece = std::min(chunk, size - at);
                std::vector<unsigned char> out;
                compressor.Compress(data.data() + at, piece, at + piece == size, out);
                joined.insert(joined.end(), out.begin(), out.end());
            }
            bool ok = false;
            EXPECT_TRUE(Inflate(joined, size, &ok) == data) << size << ", level " << level;
            EXPECT_TRUE(ok) << size << ", level " << level;
        }
    }
}

TEST(ChunkCompressorTest, AnEmptyFileIsTheEmptyBlockAndLevelsMapAsHostsGiveThem) {
    std::vector<unsigned char> out;
    parcelon::ChunkCompressor(6).Compress(nullptr, 0, true, out);
    EXPECT_EQ(out, Bytes({0x03, 0x00}));
    EXPECT_EQ(parcelon::EngineLevel(static_cast<unsigned>(-1)), 6);
    EXPECT_EQ(parcelon::EngineLevel(0), 0);
    EXPECT_EQ(parcelon::EngineLevel(9), 9);
    EXPECT_EQ(parcelon::EngineLevel(10), -1);
    EXPECT_EQ(parcelon::EngineLevel(static_cast<unsigned>(-2)), -1);
}

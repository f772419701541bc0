// Deflate: entries up to 4 MiB, stored and decoded, are inflated whole by
// libdeflate (twice zlib's speed); larger ones stream through zlib in
// blocks, so memory stays bounded whatever their size.
#include <libdeflate.h>
#include <zlib.h>

#include <new>
#include <vector>

#include "extract/decoders/MethodDecoders.h"

namespace parcelon {

namespace {

// An entry of at most this size, compressed and not, is inflated in one
// call from and into whole buffers.
constexpr std::uint64_t kWholeEntryLimit = 4u * 1024 * 1024;

// libdeflate's Inflate state, freed on every way out.
class WholeInflater {
public:
    WholeInflater() : decompressor_(libdeflate_alloc_decompressor()) {
        if (decompressor_ == nullptr) throw std::bad_alloc();
    }
    ~WholeInflater() { libdeflate_free_decompressor(decompressor_); }
    WholeInflater(const WholeInflater&) = delete;
    WholeInflater& operator=(const WholeInflater&) = delete;
    libdeflate_decompressor* get() const { return decompressor_; }

private:
    libdeflate_decompressor* decompressor_;
};

// zlib's Inflate over raw Deflate data (no zlib header), ended on every way
// out.
class RawInflater {
public:
    RawInflater() {
        const int result = inflateInit2(&stream_, -MAX_WBITS);
        if (result == Z_MEM_ERROR) throw std::bad_alloc();
        ready_ = result == Z_OK;
    }
    ~RawInflater() {
        if (ready_) inflateEnd(&stream_);
    }
    RawInflater(const RawInflater&) = delete;
    RawInflater& operator=(const RawInflater&) = delete;

    bool ready() const { return ready_; }
    z_stream& stream() { return stream_; }

private:
    z_stream stream_{};
    bool ready_ = false;
};

// The stream must end exactly where the stored bytes do: not before (the
// data ran out) and not after (bytes the entry does not account for).
// Inflate is driven until it says the stream ended or can go no further:
// with the input used up it may still hold the stream's last output
// (a long run of one byte, say), which a full output block left behind.
UnzipFailure InflateStreaming(StoredInput& bytes, DecodedOutput& output) {
    RawInflater inflater;
    if (!inflater.ready()) return UnzipFailure::DataCorrupt;
    z_stream& stream = inflater.stream();
    std::vector<unsigned char> input(kDecodeBlock);
    std::vector<unsigned char> block(kDecodeBlock);
    for (;;) {
        if (stream.avail_in == 0 && bytes.left() > 0) {
            std::size_t got = 0;
            if (!bytes.Next(input.data(), input.size(), got) || got == 0) return UnzipFailure::DataCorrupt;
            stream.next_in = input.data();
            stream.avail_in = static_cast<uInt>(got);
        }
        stream.next_out = block.data();
        stream.avail_out = static_cast<uInt>(block.size());
        const int result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_MEM_ERROR) throw std::bad_alloc();
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) return UnzipFailure::DataCorrupt;
        const UnzipFailure written = output.Write(block.data(), block.size() - stream.avail_out);
        if (written != UnzipFailure::None) return written;
        if (result == Z_STREAM_END) {
            return stream.avail_in == 0 && bytes.left() == 0 ? UnzipFailure::None : UnzipFailure::DataCorrupt;
        }
        // No progress possible: input waiting that does not go in, or none
        // left for a stream that has not ended (it was cut).
        if (result == Z_BUF_ERROR) return UnzipFailure::DataCorrupt;
    }
}

// The same for an entry that fits kWholeEntryLimit: every stored byte in,
// every byte out, in one call each way.
UnzipFailure InflateWhole(StoredInput& bytes, std::uint64_t size, DecodedOutput& output) {
    std::vector<unsigned char> input(static_cast<std::size_t>(bytes.left()));
    std::size_t got = 0;
    if (!bytes.Next(input.data(), input.size(), got) || got != input.size()) return UnzipFailure::DataCorrupt;
    std::vector<unsigned char> block(static_cast<std::size_t>(size));
    const WholeInflater inflater;
    std::size_t used = 0;
    std::size_t produced = 0;
    const libdeflate_result result = libdeflate_deflate_decompress_ex(
        inflater.get(), input.data(), input.size(), block.data(), block.size(), &used, &produced);
    // More than the recorded size (no room left), fewer, a stream that
    // ends before the data do, or one that does not end in them.
    if (result != LIBDEFLATE_SUCCESS || used != input.size() || produced != block.size())
        return UnzipFailure::DataCorrupt;
    return output.Write(block.data(), block.size());
}

} // namespace

UnzipFailure DecodeDeflate(const EntryFacts& facts, StoredInput& input, DecodedOutput& output) {
    if (facts.size <= kWholeEntryLimit && input.left() <= kWholeEntryLimit) return InflateWhole(input, facts.size, output);
    return InflateStreaming(input, output);
}

} // namespace parcelon

// bzip2 (method 12): libbz2's streaming decompressor. An entry holds one
// bzip2 stream, or several back to back as bunzip2 reads them from a file,
// and ends exactly where the last one does. Memory: libbz2's own state,
// which the stream's block size sets and bzip2 caps (about 3.6 MB for
// 900 kB blocks), one input block and one output block.
#include <bzlib.h>

#include <new>
#include <vector>

#include "extract/decoders/MethodDecoders.h"

namespace parcelon {

namespace {

// One stream's decompressor, ended on every way out.
class Bunzipper {
public:
    Bunzipper() {
        const int result = BZ2_bzDecompressInit(&stream_, 0, 0);
        if (result == BZ_MEM_ERROR) throw std::bad_alloc();
        ready_ = result == BZ_OK;
    }
    ~Bunzipper() {
        if (ready_) BZ2_bzDecompressEnd(&stream_);
    }
    Bunzipper(const Bunzipper&) = delete;
    Bunzipper& operator=(const Bunzipper&) = delete;

    bool ready() const { return ready_; }
    bz_stream& stream() { return stream_; }

private:
    bz_stream stream_{};
    bool ready_ = false;
};

// Decodes one stream from the input that `pending` and `pending_size`
// describe and the stored bytes after it; on success they describe what
// follows the stream's end.
UnzipFailure DecodeOneStream(StoredInput& input, std::vector<unsigned char>& block, char*& pending,
                             unsigned& pending_size, DecodedOutput& output) {
    Bunzipper bunzipper;
    if (!bunzipper.ready()) return UnzipFailure::DataCorrupt;
    bz_stream& stream = bunzipper.stream();
    stream.next_in = pending;
    stream.avail_in = pending_size;
    std::vector<char> decoded(kDecodeBlock);
    for (;;) {
        if (stream.avail_in == 0 && input.left() > 0) {
            std::size_t got = 0;
            if (!input.Next(block.data(), block.size(), got) || got == 0) return UnzipFailure::DataCorrupt;
            stream.next_in = reinterpret_cast<char*>(block.data());
            stream.avail_in = static_cast<unsigned>(got);
        }
        const unsigned before_in = stream.avail_in;
        stream.next_out = decoded.data();
        stream.avail_out = static_cast<unsigned>(decoded.size());
        const int result = BZ2_bzDecompress(&stream);
        if (result == BZ_MEM_ERROR) throw std::bad_alloc();
        if (result != BZ_OK && result != BZ_STREAM_END) return UnzipFailure::DataCorrupt;
        const std::size_t produced = decoded.size() - stream.avail_out;
        const UnzipFailure written = output.Write(reinterpret_cast<const unsigned char*>(decoded.data()), produced);
        if (written != UnzipFailure::None) return written;
        if (result == BZ_STREAM_END) {
            pending = stream.next_in;
            pending_size = stream.avail_in;
            return UnzipFailure::None;
        }
        // libbz2 says BZ_OK even when it can go no further: with nothing
        // taken and nothing given the stored bytes ran out (a cut stream).
        if (produced == 0 && stream.avail_in == before_in) return UnzipFailure::DataCorrupt;
    }
}

} // namespace

UnzipFailure DecodeBzip2(const EntryFacts&, StoredInput& input, DecodedOutput& output) {
    std::vector<unsigned char> block(kDecodeBlock);
    char* pending = nullptr;
    unsigned pending_size = 0;
    // At least one stream; another for as long as stored bytes are left,
    // so bytes after the last stream fail as a stream that is none.
    do {
        const UnzipFailure failure = DecodeOneStream(input, block, pending, pending_size, output);
        if (failure != UnzipFailure::None) return failure;
    } while (pending_size > 0 || input.left() > 0);
    return UnzipFailure::None;
}

} // namespace parcelon

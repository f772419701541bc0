#include "extract/decoders/LzmaStream.h"

#include <new>
#include <vector>

namespace parcelon {

UnzipFailure LzmaFailure(lzma_ret result) {
    switch (result) {
    case LZMA_MEM_ERROR: throw std::bad_alloc();
    case LZMA_MEMLIMIT_ERROR:
    case LZMA_OPTIONS_ERROR: return UnzipFailure::UnsupportedMethod;
    default: return UnzipFailure::DataCorrupt;
    }
}

// liblzma is told LZMA_FINISH once the stored bytes are all in, so that a
// stream cut short ends in LZMA_BUF_ERROR (no progress possible) rather
// than a wait for more. It may still hold output then: the loop goes on
// until it reports the end or an error.
UnzipFailure DecodeLzmaStream(lzma_stream& stream, const unsigned char* first, std::size_t first_size,
                              StoredInput& input, DecodedOutput& output) {
    std::vector<unsigned char> block(kDecodeBlock);
    std::vector<unsigned char> decoded(kDecodeBlock);
    stream.next_in = first;
    stream.avail_in = first_size;
    for (;;) {
        if (stream.avail_in == 0 && input.left() > 0) {
            std::size_t got = 0;
            if (!input.Next(block.data(), block.size(), got) || got == 0) return UnzipFailure::DataCorrupt;
            stream.next_in = block.data();
            stream.avail_in = got;
        }
        const lzma_action action = stream.avail_in == 0 && input.left() == 0 ? LZMA_FINISH : LZMA_RUN;
        stream.next_out = decoded.data();
        stream.avail_out = decoded.size();
        const lzma_ret result = lzma_code(&stream, action);
        const UnzipFailure written = output.Write(decoded.data(), decoded.size() - stream.avail_out);
        if (written != UnzipFailure::None) return written;
        if (result == LZMA_STREAM_END) {
            return stream.avail_in == 0 && input.left() == 0 ? UnzipFailure::None : UnzipFailure::DataCorrupt;
        }
        if (result != LZMA_OK) return LzmaFailure(result);
    }
}

} // namespace parcelon

// What the LZMA and xz decoders share: liblzma's stream, ended on every way
// out, and the loop that drives it to the stream's end.
#ifndef PARCELON_LZMA_STREAM_H
#define PARCELON_LZMA_STREAM_H

#include <lzma.h>

#include "extract/Decoder.h"

namespace parcelon {

class LzmaStream {
public:
    LzmaStream() = default;
    ~LzmaStream() { lzma_end(&stream_); }
    LzmaStream(const LzmaStream&) = delete;
    LzmaStream& operator=(const LzmaStream&) = delete;
    lzma_stream* get() { return &stream_; }

private:
    lzma_stream stream_{}; // LZMA_STREAM_INIT: every field zero
};

// UnsupportedMethod for what liblzma cannot decode within its bound or at
// all (a memory limit, options it does not know), DataCorrupt for the rest;
// throws std::bad_alloc when it runs out of memory.
UnzipFailure LzmaFailure(lzma_ret result);

// Runs the decoder `stream` was set up as over `first` (`first_size` bytes
// already taken from the input) and the stored bytes after them, writing
// in blocks of kDecodeBlock, until it reports its end; the stored bytes
// must end there too.
UnzipFailure DecodeLzmaStream(lzma_stream& stream, const unsigned char* first, std::size_t first_size,
                              StoredInput& input, DecodedOutput& output);

} // namespace parcelon

#endif // PARCELON_LZMA_STREAM_H

// xz (method 95): a whole .xz stream, or several back to back with stream
// padding between them, as xz -d reads a file, decoded by liblzma with
// every integrity check the stream carries. The stored bytes end where the
// last stream (or its padding) does.
//
// Memory: liblzma counts what the stream's filters need, the LZMA2
// dictionary above all, before it allocates them. A stream that needs more
// than an LZMA2 dictionary of kWindowLimit (64 MiB, xz -9's) does, plus
// kFilterAllowance for the filters in front of it, is refused with
// UnsupportedMethod.
#include <lzma.h>

#include "extract/decoders/LzmaStream.h"
#include "extract/decoders/MethodDecoders.h"

namespace parcelon {

namespace {

constexpr std::uint64_t kFilterAllowance = 1024 * 1024;

// What liblzma reports a stream of LZMA2 with the largest dictionary
// allowed needs, plus the allowance.
std::uint64_t MemoryLimit() {
    lzma_options_lzma options{};
    options.dict_size = static_cast<std::uint32_t>(kWindowLimit);
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    const std::uint64_t needed = lzma_raw_decoder_memusage(filters);
    return (needed == UINT64_MAX ? kWindowLimit : needed) + kFilterAllowance;
}

} // namespace

UnzipFailure DecodeXz(const EntryFacts&, StoredInput& input, DecodedOutput& output) {
    LzmaStream stream;
    const lzma_ret ready = lzma_stream_decoder(stream.get(), MemoryLimit(), LZMA_CONCATENATED);
    if (ready != LZMA_OK) return LzmaFailure(ready);
    return DecodeLzmaStream(*stream.get(), nullptr, 0, input, output);
}

} // namespace parcelon

// Zstandard (method 93): one zstd frame or several back to back (skippable
// frames among them), as zstd -d reads a file, decoded by libzstd's
// streaming decompressor. The stored bytes end where the last frame does.
//
// Memory: the frame's window, which its header names. A window above
// kWindowLimit (64 MiB, zstd's level 19 uses 8 MiB; only --long or
// --ultra levels ask more) is refused with UnsupportedMethod before
// libzstd allocates it.
#include <zstd.h>
#include <zstd_errors.h>

#include <new>
#include <vector>

#include "extract/decoders/MethodDecoders.h"

namespace parcelon {

namespace {

constexpr int kWindowLogLimit = 26;
static_assert(std::uint64_t{1} << kWindowLogLimit == kWindowLimit, "the window limit is a power of two");

// A decompression context, freed on every way out.
class ZstdContext {
public:
    ZstdContext() : context_(ZSTD_createDCtx()) {
        if (context_ == nullptr) throw std::bad_alloc();
    }
    ~ZstdContext() { ZSTD_freeDCtx(context_); }
    ZstdContext(const ZstdContext&) = delete;
    ZstdContext& operator=(const ZstdContext&) = delete;
    ZSTD_DCtx* get() const { return context_; }

private:
    ZSTD_DCtx* context_;
};

UnzipFailure ZstdFailure(std::size_t result) {
    switch (ZSTD_getErrorCode(result)) {
    case ZSTD_error_memory_allocation: throw std::bad_alloc();
    case ZSTD_error_frameParameter_windowTooLarge: return UnzipFailure::UnsupportedMethod;
    default: return UnzipFailure::DataCorrupt;
    }
}

} // namespace

// ZSTD_decompressStream returns 0 exactly when a frame has been decoded and
// all its output handed over; the stored bytes must run out at such a
// point. With a full output block it may hold more, so it is called again
// before more input is fetched.
UnzipFailure DecodeZstd(const EntryFacts&, StoredInput& input, DecodedOutput& output) {
    const ZstdContext context;
    const std::size_t limited = ZSTD_DCtx_setParameter(context.get(), ZSTD_d_windowLogMax, kWindowLogLimit);
    if (ZSTD_isError(limited)) return UnzipFailure::DataCorrupt;
    std::vector<unsigned char> block(kDecodeBlock);
    std::vector<unsigned char> decoded(kDecodeBlock);
    ZSTD_inBuffer in{block.data(), 0, 0};
    bool at_frame_end = false; // no frame yet: no stored bytes are no stream
    for (;;) {
        if (in.pos == in.size) {
            if (input.left() == 0) return at_frame_end ? UnzipFailure::None : UnzipFailure::DataCorrupt;
            std::size_t got = 0;
            if (!input.Next(block.data(), block.size(), got) || got == 0) return UnzipFailure::DataCorrupt;
            in = ZSTD_inBuffer{block.data(), got, 0};
        }
        ZSTD_outBuffer out{decoded.data(), decoded.size(), 0};
        do {
            const std::size_t taken = in.pos;
            out.pos = 0;
            const std::size_t result = ZSTD_decompressStream(context.get(), &out, &in);
            if (ZSTD_isError(result)) return ZstdFailure(result);
            const UnzipFailure written = output.Write(decoded.data(), out.pos);
            if (written != UnzipFailure::None) return written;
            // A call that neither takes nor gives (a frame's output ended
            // with the block) changes nothing; with input waiting it would
            // never end.
            if (out.pos == 0 && in.pos == taken) {
                if (in.pos < in.size) return UnzipFailure::DataCorrupt;
                break;
            }
            at_frame_end = result == 0;
        } while (in.pos < in.size || out.pos == out.size);
    }
}

} // namespace parcelon

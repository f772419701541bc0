// Deflate64 (method 9): zlib's contrib/infback9, which calls back for its
// input and output. It pulls the stored bytes a block at a time and hands
// over its 64 KiB window each time the window fills, and once more at the
// stream's end. Memory: the window, one input block and infback9's own
// state, whatever the entry.
#include <zlib.h>

#include <infback9.h>

#include <exception>
#include <new>
#include <vector>

#include "extract/decoders/MethodDecoders.h"

namespace parcelon {

namespace {

constexpr std::size_t kDeflate64Window = 65536;

// The input side of the callbacks: the stored bytes. Nothing may be thrown
// through infback9's C frames, so an exception waits here until
// inflateBack9 has returned.
struct Pull {
    explicit Pull(StoredInput& stored) : input(stored), block(kDecodeBlock) {}
    StoredInput& input;
    std::vector<unsigned char> block;
    std::exception_ptr thrown;
};

// The output side: the decoded bytes, and the failure that ended them.
struct Push {
    explicit Push(DecodedOutput& decoded) : output(decoded) {}
    DecodedOutput& output;
    UnzipFailure failure = UnzipFailure::None;
    std::exception_ptr thrown;
};

// The next block of stored bytes, or 0 when there are none (or they cannot
// be read), which ends inflateBack9 with Z_BUF_ERROR.
unsigned PullBlock(void* context, unsigned char** data) {
    Pull& pull = *static_cast<Pull*>(context);
    try {
        std::size_t got = 0;
        if (!pull.input.Next(pull.block.data(), pull.block.size(), got)) return 0;
        *data = pull.block.data();
        return static_cast<unsigned>(got);
    } catch (...) {
        pull.thrown = std::current_exception();
        return 0;
    }
}

// Non-zero (which ends inflateBack9) once the output refuses the bytes.
int PushWindow(void* context, unsigned char* data, unsigned size) {
    Push& push = *static_cast<Push*>(context);
    try {
        push.failure = push.output.Write(data, size);
    } catch (...) {
        push.thrown = std::current_exception();
        return 1;
    }
    return push.failure != UnzipFailure::None ? 1 : 0;
}

// infback9's state over its window, ended on every way out.
class Inflater9 {
public:
    Inflater9() : window_(kDeflate64Window) {
        const int result = inflateBack9Init(&stream_, window_.data());
        if (result == Z_MEM_ERROR) throw std::bad_alloc();
        ready_ = result == Z_OK;
    }
    ~Inflater9() {
        if (ready_) inflateBack9End(&stream_);
    }
    Inflater9(const Inflater9&) = delete;
    Inflater9& operator=(const Inflater9&) = delete;

    bool ready() const { return ready_; }
    z_stream& stream() { return stream_; }

private:
    std::vector<unsigned char> window_;
    z_stream stream_{};
    bool ready_ = false;
};

} // namespace

// The stream must end exactly where the stored bytes do: infback9 takes
// the input a byte at a time as its codes need it, so whatever it hands
// back unused at the end, and whatever it never asked for, lies after the
// stream. Input that runs out first is a cut stream (Z_BUF_ERROR).
UnzipFailure DecodeDeflate64(const EntryFacts&, StoredInput& input, DecodedOutput& output) {
    Inflater9 inflater;
    if (!inflater.ready()) return UnzipFailure::DataCorrupt;
    Pull pull(input);
    Push push(output);
    z_stream& stream = inflater.stream();
    const int result = inflateBack9(&stream, PullBlock, &pull, PushWindow, &push);
    if (pull.thrown) std::rethrow_exception(pull.thrown);
    if (push.thrown) std::rethrow_exception(push.thrown);
    if (push.failure != UnzipFailure::None) return push.failure;
    if (result == Z_MEM_ERROR) throw std::bad_alloc();
    if (result != Z_STREAM_END) return UnzipFailure::DataCorrupt;
    return stream.avail_in == 0 && input.left() == 0 ? UnzipFailure::None : UnzipFailure::DataCorrupt;
}

} // namespace parcelon

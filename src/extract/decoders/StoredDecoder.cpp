// Store: the stored bytes are the data.
#include <algorithm>
#include <vector>

#include "extract/decoders/MethodDecoders.h"

namespace parcelon {

UnzipFailure DecodeStored(const EntryFacts&, StoredInput& input, DecodedOutput& output) {
    std::vector<unsigned char> block(static_cast<std::size_t>(std::min<std::uint64_t>(kDecodeBlock, input.left())));
    for (;;) {
        std::size_t got = 0;
        if (!input.Next(block.data(), block.size(), got)) return UnzipFailure::DataCorrupt;
        if (got == 0) return UnzipFailure::None;
        const UnzipFailure written = output.Write(block.data(), got);
        if (written != UnzipFailure::None) return written;
    }
}

} // namespace parcelon

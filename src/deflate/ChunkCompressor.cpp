#include "deflate/ChunkCompressor.h"

#include <libdeflate.h>

#include <algorithm>
#include <new>

#include "deflate/DeflateScan.h"

namespace parcelon {

namespace {

constexpr int kDefaultLevel = 6;
constexpr int kMaxLevel = 9;
constexpr std::size_t kMaxStoredBlock = 0xFFFF;

// input as non-final stored blocks: what a chunk becomes if its compressed
// form could not be made non-final (which a well-formed stream always can).
void StoreNonFinal(const unsigned char* input, std::size_t size, std::vector<unsigned char>& output) {
    output.clear();
    for (std::size_t done = 0; done < size;) {
        const std::size_t block = std::min(kMaxStoredBlock, size - done);
        const unsigned char header[5] = {0x00, static_cast<unsigned char>(block & 0xFF),
                                         static_cast<unsigned char>(block >> 8),
                                         static_cast<unsigned char>(~block & 0xFF),
                                         static_cast<unsigned char>((~block >> 8) & 0xFF)};
        output.insert(output.end(), header, header + sizeof header);
        output.insert(output.end(), input + done, input + done + block);
        done += block;
    }
}

} // namespace

int EngineLevel(unsigned int level) {
    if (level == static_cast<unsigned int>(-1)) return kDefaultLevel;
    return level <= static_cast<unsigned int>(kMaxLevel) ? static_cast<int>(level) : -1;
}

ChunkCompressor::ChunkCompressor(int engine_level) : compressor_(libdeflate_alloc_compressor(engine_level)) {
    if (compressor_ == nullptr) throw std::bad_alloc();
}

ChunkCompressor::~ChunkCompressor() { libdeflate_free_compressor(compressor_); }

std::size_t ChunkCompressor::Bound(std::size_t size) const {
    return libdeflate_deflate_compress_bound(compressor_, size);
}

void ChunkCompressor::Compress(const unsigned char* input, std::size_t size, bool last,
                               std::vector<unsigned char>& output) {
    if (size == 0) {
        // libdeflate would write an empty stored block (5 bytes); zlib, and
        // every entry before, the empty fixed block.
        if (last) output.assign(kEmptyFinalBlock, kEmptyFinalBlock + sizeof kEmptyFinalBlock);
        else output.clear();
        return;
    }
    output.resize(libdeflate_deflate_compress_bound(compressor_, size));
    const std::size_t written = libdeflate_deflate_compress(compressor_, input, size, output.data(), output.size());
    if (written == 0) {
        // Within the bound this cannot happen; stored blocks always fit.
        StoreNonFinal(input, size, output);
        if (last) output.insert(output.end(), kEmptyFinalBlock, kEmptyFinalBlock + sizeof kEmptyFinalBlock);
        return;
    }
    output.resize(written);
    if (!last && !MakeNonFinal(output)) StoreNonFinal(input, size, output);
}

} // namespace parcelon

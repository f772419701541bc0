// Deflate for packing, a chunk of a file at a time, with libdeflate.
//
// libdeflate compresses whole buffers only, and each call makes a complete
// stream. A file is therefore cut into chunks of kChunkSize bytes; each is
// compressed on its own (so chunks can be compressed on several threads at
// once, and memory stays bounded whatever the file's size), every chunk but
// the last is turned into non-final blocks that end on a byte boundary, and
// the pieces, joined in order, are the one stream the entry holds. The
// bytes depend only on the file's bytes and the level: the same archive
// whatever the number of threads, on every system.
#ifndef PARCELON_CHUNK_COMPRESSOR_H
#define PARCELON_CHUNK_COMPRESSOR_H

#include <cstddef>
#include <vector>

struct libdeflate_compressor;

namespace parcelon {

// The size of the chunks a file is compressed in. Each chunk starts without
// the previous one's history, which costs about 0.7% on text against one
// stream; memory is a few chunks per thread.
constexpr std::size_t kChunkSize = std::size_t{1} << 20;

// The engine's level for a host's level: 0 (stored blocks) to 9 as they
// are, the default ((unsigned)-1) as 6; -1 for any other.
int EngineLevel(unsigned int level);

class ChunkCompressor {
public:
    // A compressor for an engine level from EngineLevel (not -1); throws
    // std::bad_alloc when memory runs out.
    explicit ChunkCompressor(int engine_level);
    ~ChunkCompressor();
    ChunkCompressor(const ChunkCompressor&) = delete;
    ChunkCompressor& operator=(const ChunkCompressor&) = delete;

    // Replaces output with the Deflate bytes of size bytes at input: a
    // complete stream when last (an empty input gives the empty final block
    // 03 00), else non-final blocks ending on a byte boundary, for more
    // chunks to follow.
    void Compress(const unsigned char* input, std::size_t size, bool last, std::vector<unsigned char>& output);

    // The most bytes Compress can give for size bytes as a complete stream
    // (libdeflate's bound; stored blocks if that failed fit within it).
    std::size_t Bound(std::size_t size) const;

private:
    libdeflate_compressor* compressor_;
};

} // namespace parcelon

#endif // PARCELON_CHUNK_COMPRESSOR_H

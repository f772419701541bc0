// How an entry's data are compressed, a chunk of the file at a time: the
// seam between the packer and a compression method. A codec is made per
// thread (CodecFactory), so the workers of the compression pool never
// share one; what it says about itself (method, whether chunks join, the
// worst case) is the same for every codec one factory makes.
#ifndef PARCELON_CHUNK_CODEC_H
#define PARCELON_CHUNK_CODEC_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace parcelon {

class ChunkCodec {
public:
    virtual ~ChunkCodec() = default;

    // The method number the entry records carry.
    virtual std::uint16_t method() const = 0;

    // True when a file may be compressed in chunks whose outputs, joined in
    // order, are the entry's data; false when the codec must see the whole
    // file as one chunk.
    virtual bool joins_chunks() const = 0;

    // Replaces output with the compressed bytes of size bytes at input;
    // last says whether the file ends with this chunk. An empty last chunk
    // gives what ends the data (for an empty file or folder entry, the
    // whole of it). Throws std::bad_alloc when memory runs out.
    virtual void Compress(const unsigned char* input, std::size_t size, bool last,
                          std::vector<unsigned char>& output) = 0;

    // The most bytes a file of size bytes can become, chunks and end
    // included, whatever its content: what decides whether an entry must
    // be ZIP64 before its data are known.
    virtual std::uint64_t MostOutput(std::uint64_t size) const = 0;
};

// Makes one codec; throws std::bad_alloc when memory runs out.
using CodecFactory = std::function<std::unique_ptr<ChunkCodec>()>;

// Deflate at an engine level from EngineLevel (0 to 9), with libdeflate.
CodecFactory DeflateCodecs(int engine_level);

} // namespace parcelon

#endif // PARCELON_CHUNK_CODEC_H

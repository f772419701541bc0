// Deflate as a chunk codec: libdeflate through ChunkCompressor, whose
// chunks join into one stream.
#include "create/ChunkCodec.h"

#include "deflate/ChunkCompressor.h"
#include "format/ZipFormat.h"

namespace parcelon {

namespace {

class DeflateCodec final : public ChunkCodec {
public:
    explicit DeflateCodec(int engine_level) : compressor_(engine_level) {}

    std::uint16_t method() const override { return zip::kMethodDeflated; }
    bool joins_chunks() const override { return true; }

    void Compress(const unsigned char* input, std::size_t size, bool last,
                  std::vector<unsigned char>& output) override {
        compressor_.Compress(input, size, last, output);
    }

    std::uint64_t MostOutput(std::uint64_t size) const override {
        const std::uint64_t full = size / kChunkSize;
        const std::uint64_t rest = size % kChunkSize;
        return full * MostChunkOutput(kChunkSize) + MostChunkOutput(static_cast<std::size_t>(rest)) + kEndBytes;
    }

private:
    // A chunk's bound as libdeflate gives it, plus what turning it into
    // non-final blocks adds (at most a byte and an empty stored block).
    std::uint64_t MostChunkOutput(std::size_t size) const { return compressor_.Bound(size) + kNonFinalBytes; }

    static constexpr std::uint64_t kNonFinalBytes = 5;
    static constexpr std::uint64_t kEndBytes = 2; // the empty final block after the last full chunk

    ChunkCompressor compressor_;
};

} // namespace

CodecFactory DeflateCodecs(int engine_level) {
    return [engine_level]() -> std::unique_ptr<ChunkCodec> { return std::make_unique<DeflateCodec>(engine_level); };
}

} // namespace parcelon

// libFuzzer target: the decoders of Deflate64, bzip2, LZMA, Zstandard and xz
// over arbitrary stored bytes, each in its memory bound (scripts/test.sh
// runs it with -rss_limit_mb).
//
// Input: byte 0 picks the method, byte 1 is the general-purpose flags' low
// byte (bit 1: LZMA's end marker), bytes 2-4 the recorded size (little
// endian, at most 16 MiB), byte 5 how many bytes the input hands out at a
// time (1 to 255, or 0 for whole blocks); the rest are the stored bytes.
//
// Besides the sanitizers' findings, the run aborts when a decoder breaks
// what extract/Decoder.h promises: success with stored bytes left over,
// writing on after the output refused, a failure other than the output's
// once it refused, or a failure kind no decoder gives.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "extract/Decoder.h"

namespace {

using parcelon::UnzipFailure;

constexpr std::uint16_t kMethods[] = {9, 12, 14, 93, 95};
constexpr std::size_t kLeadSize = 6;

class BytesInput : public parcelon::StoredInput {
public:
    BytesInput(const std::uint8_t* data, std::size_t size, std::size_t step) : data_(data), size_(size), step_(step) {}
    std::uint64_t left() const override { return size_ - position_; }
    bool Next(unsigned char* buffer, std::size_t size, std::size_t& got) override {
        got = std::min({size, size_ - position_, step_ == 0 ? size : step_});
        if (got > 0) std::memcpy(buffer, data_ + position_, got);
        position_ += got;
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t step_;
    std::size_t position_ = 0;
};

// Counts the bytes, refuses those past the recorded size (as the reader's
// output does, with its own kind here, so that handing it on can be seen).
class CountingOutput : public parcelon::DecodedOutput {
public:
    explicit CountingOutput(std::uint64_t limit) : limit_(limit) {}
    UnzipFailure Write(const unsigned char*, std::size_t size) override {
        if (refused_) std::abort(); // written to after it refused
        if (size > limit_ - written_) {
            refused_ = true;
            return UnzipFailure::CannotWriteOutput;
        }
        written_ += size;
        return UnzipFailure::None;
    }
    bool refused() const { return refused_; }

private:
    std::uint64_t limit_;
    std::uint64_t written_ = 0;
    bool refused_ = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kLeadSize) return 0;
    parcelon::EntryFacts facts;
    facts.method = kMethods[data[0] % (sizeof kMethods / sizeof kMethods[0])];
    facts.flags = data[1];
    facts.size = static_cast<std::uint64_t>(data[2]) | static_cast<std::uint64_t>(data[3]) << 8 |
                 static_cast<std::uint64_t>(data[4]) << 16;
    facts.stored_size = size - kLeadSize;
    BytesInput input(data + kLeadSize, size - kLeadSize, data[5]);
    CountingOutput output(facts.size);
    const UnzipFailure result = parcelon::DecoderFor(facts.method)(facts, input, output);
    if (output.refused() && result != UnzipFailure::CannotWriteOutput) std::abort();
    if (result == UnzipFailure::None && input.left() != 0) std::abort();
    if (result != UnzipFailure::None && result != UnzipFailure::DataCorrupt &&
        result != UnzipFailure::UnsupportedMethod && result != UnzipFailure::CannotWriteOutput)
        std::abort();
    return 0;
}

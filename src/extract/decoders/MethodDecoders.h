// The decoders of the methods the library reads, one per file of this
// folder; Decoders.cpp maps each method's number to its decoder. See
// extract/Decoder.h for what every decoder promises.
#ifndef PARCELON_METHOD_DECODERS_H
#define PARCELON_METHOD_DECODERS_H

#include "extract/Decoder.h"

namespace parcelon {

UnzipFailure DecodeStored(const EntryFacts& facts, StoredInput& input, DecodedOutput& output);
UnzipFailure DecodeDeflate(const EntryFacts& facts, StoredInput& input, DecodedOutput& output);
UnzipFailure DecodeDeflate64(const EntryFacts& facts, StoredInput& input, DecodedOutput& output);
UnzipFailure DecodeBzip2(const EntryFacts& facts, StoredInput& input, DecodedOutput& output);
UnzipFailure DecodeLzma(const EntryFacts& facts, StoredInput& input, DecodedOutput& output);
UnzipFailure DecodeZstd(const EntryFacts& facts, StoredInput& input, DecodedOutput& output);
UnzipFailure DecodeXz(const EntryFacts& facts, StoredInput& input, DecodedOutput& output);

// The largest dictionary or window an LZMA, xz or Zstandard entry may need:
// 64 MiB, what 7-Zip's and xz's strongest presets (-mx=9, -9) and zstd's
// levels up to 19 (without --long) use. An entry that needs more is
// refused with UnsupportedMethod before anything is allocated for it.
constexpr std::uint64_t kWindowLimit = std::uint64_t{64} * 1024 * 1024;

} // namespace parcelon

#endif // PARCELON_METHOD_DECODERS_H

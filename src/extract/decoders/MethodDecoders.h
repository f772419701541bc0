// The decoders of the methods the library reads, one per file of this
// folder; Decoders.cpp maps each method's number to its decoder. See
// extract/Decoder.h for what every decoder promises.
#ifndef PARCELON_METHOD_DECODERS_H
#define PARCELON_METHOD_DECODERS_H

#include "extract/Decoder.h"

namespace parcelon {

UnzipFailure DecodeStored(const EntryFacts& facts, StoredInput& input, DecodedOutput& output);
UnzipFailure DecodeDeflate(const EntryFacts& facts, StoredInput& input, DecodedOutput& output);

} // namespace parcelon

#endif // PARCELON_METHOD_DECODERS_H

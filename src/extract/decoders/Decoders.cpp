#include "extract/decoders/MethodDecoders.h"

#include "format/ZipFormat.h"

namespace parcelon {

Decoder DecoderFor(std::uint16_t method) {
    switch (method) {
    case zip::kMethodStored: return DecodeStored;
    case zip::kMethodDeflated: return DecodeDeflate;
    case zip::kMethodDeflate64: return DecodeDeflate64;
    case zip::kMethodBzip2: return DecodeBzip2;
    case zip::kMethodLzma: return DecodeLzma;
    case zip::kMethodZstd: return DecodeZstd;
    case zip::kMethodXz: return DecodeXz;
    default: return nullptr;
    }
}

} // namespace parcelon

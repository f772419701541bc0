#include "extract/decoders/MethodDecoders.h"

#include "format/ZipFormat.h"

namespace parcelon {

Decoder DecoderFor(std::uint16_t method) {
    switch (method) {
    case zip::kMethodStored: return DecodeStored;
    case zip::kMethodDeflated: return DecodeDeflate;
    default: return nullptr;
    }
}

} // namespace parcelon

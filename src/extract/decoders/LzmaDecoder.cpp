// LZMA (method 14): a 4-byte header (the LZMA SDK's version, two bytes,
// and the size of the properties, two bytes, always 5), the properties
// (lc, lp and pb in one byte, the dictionary size in four), then a raw
// LZMA stream, decoded by liblzma.
//
// Where the stream ends: with general-purpose flag bit 1 set it ends with
// an end marker; clear, it ends after exactly the entry's size, and an end
// marker right there is taken too (as liblzma and 7-Zip take it in .7z
// archives: it carries no data).
//
// Memory: the dictionary the entry needs, which is the one its properties
// name or, when smaller, its size (no match reaches further back than the
// data). Above kWindowLimit the entry is refused with UnsupportedMethod,
// as is one whose lc + lp exceeds 4, which liblzma cannot decode.
#include <lzma.h>

#include <algorithm>
#include <vector>

#include "extract/decoders/LzmaStream.h"
#include "extract/decoders/MethodDecoders.h"
#include "format/ZipFormat.h"

namespace parcelon {

namespace {

constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kPropertiesSize = 5;
constexpr std::size_t kLeadSize = kHeaderSize + kPropertiesSize;
constexpr std::uint32_t kSmallestDictionary = 4096; // liblzma's LZMA_DICT_SIZE_MIN

// Reads into `lead` until it holds at least kLeadSize bytes or the stored
// bytes run out; false when they cannot be read.
bool ReadLead(StoredInput& input, std::vector<unsigned char>& lead, std::size_t& filled) {
    filled = 0;
    while (filled < kLeadSize && input.left() > 0) {
        std::size_t got = 0;
        if (!input.Next(lead.data() + filled, lead.size() - filled, got) || got == 0) return false;
        filled += got;
    }
    return true;
}

} // namespace

UnzipFailure DecodeLzma(const EntryFacts& facts, StoredInput& input, DecodedOutput& output) {
    std::vector<unsigned char> lead(kDecodeBlock);
    std::size_t filled = 0;
    if (!ReadLead(input, lead, filled) || filled < kLeadSize) return UnzipFailure::DataCorrupt;
    if (zip::Le16(lead.data() + 2) != kPropertiesSize) return UnzipFailure::DataCorrupt;

    const unsigned char* properties = lead.data() + kHeaderSize;
    unsigned lclppb = properties[0];
    if (lclppb >= 9 * 5 * 5) return UnzipFailure::DataCorrupt;
    lzma_options_lzma options{};
    options.lc = lclppb % 9;
    lclppb /= 9;
    options.lp = lclppb % 5;
    options.pb = lclppb / 5;
    if (options.lc + options.lp > LZMA_LCLP_MAX) return UnzipFailure::UnsupportedMethod;

    const std::uint64_t declared = zip::Le32(properties + 1);
    const std::uint64_t needed = std::max<std::uint64_t>(std::min(declared, facts.size), kSmallestDictionary);
    if (needed > kWindowLimit) return UnzipFailure::UnsupportedMethod;
    options.dict_size = static_cast<std::uint32_t>(needed);

    const bool end_marker = (facts.flags & zip::kFlagLzmaEndMarker) != 0;
    const std::uint64_t size = end_marker ? UINT64_MAX : facts.size;
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options.ext_size_low = static_cast<std::uint32_t>(size);
    options.ext_size_high = static_cast<std::uint32_t>(size >> 32);

    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    LzmaStream stream;
    const lzma_ret ready = lzma_raw_decoder(stream.get(), filters);
    if (ready != LZMA_OK) return LzmaFailure(ready);
    return DecodeLzmaStream(*stream.get(), lead.data() + kLeadSize, filled - kLeadSize, input, output);
}

} // namespace parcelon

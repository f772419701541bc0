// Where a raw Deflate stream's final block starts and where the stream ends,
// to the bit. libdeflate compresses whole buffers into complete streams; a
// large file is compressed in chunks, and every chunk but the last must
// become a run of non-final blocks that ends on a byte boundary, so that
// the chunks join into the one stream an entry holds. That needs the two
// positions this finds, by walking the blocks (decoding their codes, with
// no output).
#ifndef PARCELON_DEFLATE_SCAN_H
#define PARCELON_DEFLATE_SCAN_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace parcelon {

struct FinalBlock {
    std::uint64_t header_bit = 0; // the position of the final block's BFINAL bit
    std::uint64_t end_bit = 0;    // just past the final block's end-of-block code
};

// False when data are not a complete, well-formed stream.
bool FindFinalBlock(const unsigned char* data, std::size_t size, FinalBlock& found);

// Turns a complete stream into non-final blocks ending on a byte boundary:
// clears the final block's BFINAL bit, drops what follows its end, and adds
// an empty stored block (which aligns). False when the stream is not
// well-formed.
bool MakeNonFinal(std::vector<unsigned char>& stream);

// A final block that holds nothing, to end a run of non-final blocks: the
// empty fixed-code block, 03 00.
extern const unsigned char kEmptyFinalBlock[2];

} // namespace parcelon

#endif // PARCELON_DEFLATE_SCAN_H

// libFuzzer target: the scanner that finds a Deflate stream's final block,
// over arbitrary bytes. It must return (every input is finite, so a walk
// that never ends is a hang the fuzzer reports), never read outside the
// input (the sanitizers watch), and what it finds must hold up:
// - a found final block lies inside the input, after its header;
// - MakeNonFinal of a found stream, closed with the empty final block,
//   is found again, ending exactly there.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "deflate/DeflateScan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    parcelon::FinalBlock final;
    if (!parcelon::FindFinalBlock(data, size, final)) return 0;
    if (final.header_bit >= final.end_bit || final.end_bit > std::uint64_t{size} * 8) std::abort();

    std::vector<unsigned char> stream(data, data + (final.end_bit + 7) / 8);
    if (!parcelon::MakeNonFinal(stream)) std::abort();
    const std::size_t open_size = stream.size();
    stream.insert(stream.end(), parcelon::kEmptyFinalBlock, parcelon::kEmptyFinalBlock + 2);
    parcelon::FinalBlock closed;
    if (!parcelon::FindFinalBlock(stream.data(), stream.size(), closed)) std::abort();
    if (closed.header_bit != std::uint64_t{open_size} * 8 || (closed.end_bit + 7) / 8 != stream.size()) std::abort();
    return 0;
}

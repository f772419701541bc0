#include "deflate/Checksum.h"

#include <libdeflate.h>

namespace parcelon {

std::uint32_t Crc32(std::uint32_t crc, const unsigned char* data, std::size_t size) {
    return size == 0 ? crc : libdeflate_crc32(crc, data, size);
}

} // namespace parcelon

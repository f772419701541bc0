// The CRC-32 every entry records, computed with libdeflate's fast
// implementation (carry-less multiplication where the processor has it).
#ifndef PARCELON_CHECKSUM_H
#define PARCELON_CHECKSUM_H

#include <cstddef>
#include <cstdint>

namespace parcelon {

// The CRC-32 of data following a stream whose CRC-32 so far is crc (0 to
// start).
std::uint32_t Crc32(std::uint32_t crc, const unsigned char* data, std::size_t size);

} // namespace parcelon

#endif // PARCELON_CHECKSUM_H

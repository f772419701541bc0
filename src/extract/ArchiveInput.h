// The archive being read: an open file of known size, read at positions.
#ifndef PARCELON_ARCHIVE_INPUT_H
#define PARCELON_ARCHIVE_INPUT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace parcelon {

class ArchiveInput {
public:
    // Opens the file at path; IsOpen() says whether that worked.
    explicit ArchiveInput(const std::wstring& path);

    bool IsOpen() const { return file_ != nullptr; }
    std::uint64_t size() const { return size_; }

    // Reads exactly size bytes at offset; false when the file has fewer or
    // the read fails.
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size);

private:
    platform::FilePtr file_;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0; // where the stream stands, to spare seeks
};

// Little-endian fields of the format.
inline std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t Le64(const unsigned char* p) {
    return static_cast<std::uint64_t>(Le32(p)) | static_cast<std::uint64_t>(Le32(p + 4)) << 32;
}

} // namespace parcelon

#endif // PARCELON_ARCHIVE_INPUT_H

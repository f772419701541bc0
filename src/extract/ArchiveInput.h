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
    // the read fails. Safe from several threads at once.
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const;

private:
    platform::FilePtr file_;
    std::uint64_t size_ = 0;
};

} // namespace parcelon

#endif // PARCELON_ARCHIVE_INPUT_H

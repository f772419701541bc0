#include "extract/ArchiveInput.h"

#include <cstdio>

namespace parcelon {

ArchiveInput::ArchiveInput(const std::wstring& path) {
    if (path.empty()) return;
    file_.reset(platform::OpenForRead(path));
    if (!file_) return;
    std::int64_t end = -1;
    if (platform::SeekFile(file_.get(), 0, SEEK_END)) end = platform::TellFile(file_.get());
    if (end < 0 || !platform::SeekFile(file_.get(), 0, SEEK_SET)) {
        file_.reset();
        return;
    }
    size_ = static_cast<std::uint64_t>(end);
}

bool ArchiveInput::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
    if (!file_ || offset > size_ || size > size_ - offset) return false;
    if (offset != position_) {
        if (!platform::SeekFile(file_.get(), static_cast<std::int64_t>(offset), SEEK_SET)) return false;
        position_ = offset;
    }
    const std::size_t read = std::fread(buffer, 1, size, file_.get());
    position_ += read;
    if (read == size) return true;
    std::clearerr(file_.get());
    position_ = UINT64_MAX; // unknown: the next read seeks
    return false;
}

} // namespace parcelon

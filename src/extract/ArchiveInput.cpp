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

bool ArchiveInput::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    if (!file_ || offset > size_ || size > size_ - offset) return false;
    return size == 0 || platform::ReadFileAt(file_.get(), offset, buffer, size);
}

} // namespace parcelon

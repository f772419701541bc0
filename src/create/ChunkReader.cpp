#include "create/ChunkReader.h"

#include <algorithm>

#include "deflate/Checksum.h"
#include "deflate/ChunkCompressor.h"

namespace parcelon {

namespace {

constexpr std::size_t kCrcBlock = 256 * 1024;
constexpr std::size_t kSmallestBuffer = 4096;

bool Stopped(const std::atomic<bool>& stop) { return stop.load(std::memory_order_relaxed); }

} // namespace

bool FileCrc(const std::wstring& path, const std::atomic<bool>& stop, unsigned long& crc) {
    crc = 0;
    platform::FilePtr file(platform::OpenForReadDenyWrite(path));
    if (!file) return false;
    std::uint32_t sum = 0;
    std::vector<unsigned char> buffer(kCrcBlock);
    while (!Stopped(stop)) {
        const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), file.get());
        sum = Crc32(sum, buffer.data(), count);
        if (count < buffer.size()) break;
    }
    // A read error is no end of file: the CRC of a part is no answer.
    if (std::ferror(file.get()) != 0) return false;
    crc = sum;
    return true;
}

ChunkReader::ChunkReader(platform::FilePtr file, std::uint64_t expected, std::size_t chunk_size)
    : file_(std::move(file)), expected_(expected), chunk_size_(chunk_size) {}

void ChunkReader::Next(std::vector<unsigned char>& data, bool& last) {
    data.clear();
    if (carried_ >= 0) data.push_back(static_cast<unsigned char>(carried_));
    carried_ = -1;
    // Buffers sized by what the file should hold, grown when it holds more:
    // a 2 KiB file never costs a 1 MiB buffer.
    std::size_t capacity = static_cast<std::size_t>(
        std::min<std::uint64_t>(chunk_size_, std::max<std::uint64_t>(expected_, kSmallestBuffer)));
    std::size_t size = data.size();
    for (;;) {
        data.resize(capacity);
        const std::size_t got = std::fread(data.data() + size, 1, capacity - size, file_.get());
        size += got;
        if (size < capacity || capacity == chunk_size_) break;
        capacity = capacity > chunk_size_ / 2 ? chunk_size_ : capacity * 2;
    }
    data.resize(size);
    expected_ -= std::min<std::uint64_t>(expected_, size);
    crc_ = Crc32(crc_, data.data(), data.size());
    // A full chunk: one byte more says whether the file goes on.
    if (size == chunk_size_) carried_ = std::fgetc(file_.get());
    failed_ = std::ferror(file_.get()) != 0;
    last = carried_ < 0;
}

bool ChunkReader::WholeFileCrc(const std::atomic<bool>& stop, std::uint32_t& crc) {
    std::FILE* file = file_.get();
    const std::int64_t position = platform::TellFile(file);
    if (position < 0) return false;
    std::uint32_t sum = crc_;
    if (carried_ >= 0) {
        const unsigned char byte = static_cast<unsigned char>(carried_);
        sum = Crc32(sum, &byte, 1);
    }
    std::vector<unsigned char> buffer(kCrcBlock);
    for (;;) {
        if (Stopped(stop)) return false;
        const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), file);
        sum = Crc32(sum, buffer.data(), count);
        if (count < buffer.size()) break;
    }
    if (std::ferror(file) != 0 || !platform::SeekFile(file, position, SEEK_SET)) return false;
    crc = sum;
    return true;
}

bool ChunkReader::Peek(std::size_t size, std::vector<unsigned char>& bytes) {
    bytes.clear();
    if (size == 0) return true;
    std::FILE* file = file_.get();
    const std::int64_t position = platform::TellFile(file);
    if (position < 0) return false;
    if (carried_ >= 0) bytes.push_back(static_cast<unsigned char>(carried_));
    const std::size_t start = bytes.size();
    bytes.resize(std::max(size, start));
    bytes.resize(start + std::fread(bytes.data() + start, 1, bytes.size() - start, file));
    const bool read = std::ferror(file) == 0;
    std::clearerr(file);
    if (!read || !platform::SeekFile(file, position, SEEK_SET)) {
        bytes.clear();
        return false;
    }
    return true;
}

} // namespace parcelon

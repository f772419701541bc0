#include "create/ChunkReader.h"

#include <algorithm>
#include <limits>

#include "deflate/Checksum.h"
#include "deflate/ChunkCompressor.h"

namespace parcelon {

namespace {

constexpr std::size_t kCrcBlock = 256 * 1024;
// How much more a buffer takes at least when a file holds more than it
// should.
constexpr std::size_t kGrowthStep = 64 * 1024;

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

ChunkReader::ChunkReader(platform::SourceFile file, std::size_t chunk_size)
    : file_(std::move(file)), expected_(file_.size()), chunk_size_(chunk_size) {}

void ChunkReader::Next(std::vector<unsigned char>& data, bool& last) {
    data.clear();
    if (carried_ >= 0) data.push_back(static_cast<unsigned char>(carried_));
    carried_ = -1;
    // Room for a chunk and one byte more, which says whether the file goes
    // on; sized by what the file should hold (a 2 KiB file never costs a
    // 1 MiB buffer), grown when it holds more.
    const std::size_t most = chunk_size_ == std::numeric_limits<std::size_t>::max() ? chunk_size_ : chunk_size_ + 1;
    std::size_t capacity = static_cast<std::size_t>(
        std::min<std::uint64_t>(most, std::max<std::uint64_t>(expected_ + 1, data.size() + 1)));
    std::size_t size = data.size();
    for (;;) {
        data.resize(capacity);
        size += file_.Read(data.data() + size, capacity - size);
        if (size < capacity || capacity == most) break;
        capacity = capacity > most / 2 ? most : std::min(most, std::max(2 * capacity, kGrowthStep));
    }
    data.resize(size);
    if (size > chunk_size_) {
        carried_ = data.back();
        data.pop_back();
    }
    expected_ -= std::min<std::uint64_t>(expected_, data.size());
    crc_ = Crc32(crc_, data.data(), data.size());
    failed_ = file_.failed();
    last = carried_ < 0;
}

bool ChunkReader::WholeFileCrc(const std::atomic<bool>& stop, std::uint32_t& crc) {
    const std::uint64_t position = file_.position();
    std::uint32_t sum = crc_;
    if (carried_ >= 0) {
        const unsigned char byte = static_cast<unsigned char>(carried_);
        sum = Crc32(sum, &byte, 1);
    }
    std::vector<unsigned char> buffer(kCrcBlock);
    for (;;) {
        if (Stopped(stop)) return false;
        const std::size_t count = file_.Read(buffer.data(), buffer.size());
        sum = Crc32(sum, buffer.data(), count);
        if (count < buffer.size()) break;
    }
    if (file_.failed() || !file_.Seek(position)) return false;
    crc = sum;
    return true;
}

bool ChunkReader::Peek(std::size_t size, std::vector<unsigned char>& bytes) {
    bytes.clear();
    if (size == 0) return true;
    const std::uint64_t position = file_.position();
    if (carried_ >= 0) bytes.push_back(static_cast<unsigned char>(carried_));
    const std::size_t start = bytes.size();
    bytes.resize(std::max(size, start));
    bytes.resize(start + file_.Read(bytes.data() + start, bytes.size() - start));
    const bool read = !file_.failed();
    if (!file_.Seek(position) || !read) {
        bytes.clear();
        return false;
    }
    return true;
}

} // namespace parcelon

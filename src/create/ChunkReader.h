// Reading a file to pack, a chunk at a time, knowing with each chunk
// whether the file ends there (a file's last chunk ends its Deflate
// stream); and the CRC-32 of a whole file, which an encrypted entry's
// header needs before its data.
#ifndef PARCELON_CHUNK_READER_H
#define PARCELON_CHUNK_READER_H

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace parcelon {

// The CRC-32 of the file's bytes, read from the start with other writers
// kept out; with a set stop flag only of what was read before it (0 when it
// was set already). False, and 0, when the file cannot be opened or read
// to its end.
bool FileCrc(const std::wstring& path, const std::atomic<bool>& stop, unsigned long& crc);

class ChunkReader {
public:
    // Reads file from its start in chunks of chunk_size bytes, with buffers
    // sized by the size it had when it was opened: a small file is read in
    // one piece, with one read.
    ChunkReader(platform::SourceFile file, std::size_t chunk_size);

    // Replaces data with the next chunk (at most chunk_size bytes); last
    // says whether the file ends with it, which it does at a read error too
    // (failed() then says so).
    void Next(std::vector<unsigned char>& data, bool& last);
    bool failed() const { return failed_; }

    // The CRC-32 of every byte read so far.
    std::uint32_t crc() const { return crc_; }

    // The CRC-32 of the whole file: what was read so far and everything
    // after, read to the end and then the stream set back. False at a read
    // error, or when stop is set meanwhile.
    bool WholeFileCrc(const std::atomic<bool>& stop, std::uint32_t& crc);

    // Replaces bytes with up to size bytes that follow what was read,
    // without taking them; false (and no bytes) when the file cannot be set
    // back to where it stood.
    bool Peek(std::size_t size, std::vector<unsigned char>& bytes);

private:
    platform::SourceFile file_;
    std::uint64_t expected_; // bytes the file should still hold
    std::size_t chunk_size_;
    int carried_ = -1; // a byte read ahead to learn whether the file goes on
    bool failed_ = false;
    std::uint32_t crc_ = 0;
};

} // namespace parcelon

#endif // PARCELON_CHUNK_READER_H

// Copying one entry's data from the archive into an output file, in blocks
// of at most kCopyBlockSize bytes, with its CRC-32 and size checked at the
// end. Plain entries go through minizip's own reader; encrypted ones are
// read raw, decrypted here and inflated with zlib.
#ifndef PARCELON_ENTRY_COPY_H
#define PARCELON_ENTRY_COPY_H

#include <unzip.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "messages/Failures.h"

namespace parcelon {

constexpr std::size_t kCopyBlockSize = 1024;

// What the central directory says about the entry.
struct EntryFacts {
    std::uint16_t flags = 0;
    unsigned long method = 0;
    std::uint32_t crc = 0;
    std::uint32_t dos_date_time = 0;
    std::uint64_t uncompressed_size = 0;
};

EntryFacts FactsOf(const unz_file_info64& info);

// Extracts the archive's current entry into output: None when every byte was
// written and the CRC-32 and size are as recorded. An encrypted entry (flag
// bit 0) needs a password; a plain one is read as it is, whatever password
// is given. Whatever the result, the entry is closed again on return.
UnzipFailure CopyCurrentEntry(unzFile archive, const EntryFacts& facts, const char* password,
                            std::FILE* output);

} // namespace parcelon

#endif // PARCELON_ENTRY_COPY_H

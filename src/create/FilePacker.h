// Packing one file into the open archive: its folder entry, then its own
// entry, streamed in 16 KiB blocks with percent progress and the stop flag
// read between blocks. ZipFiles and ZipDirectory both pack through here.
#ifndef PARCELON_FILE_PACKER_H
#define PARCELON_FILE_PACKER_H

#include <atomic>
#include <string>

#include <vector>

#include "create/PackItem.h"
#include "create/Progress.h"
#include "create/ZipWriter.h"
#include "messages/Messages.h"

namespace parcelon {

constexpr std::size_t kPackBlockSize = 16384;

// What every entry of one operation shares.
struct PackSettings {
    unsigned int level = 6; // handed to zlib unchanged
    std::string password;   // already trimmed; empty means no encryption
};

// The CRC-32 of the file's bytes, read from the start with other writers
// kept out; with a set stop flag only of what was read before it (0 when it
// was set already). False, and 0, when the file cannot be opened.
bool FileCrc(const std::wstring& path, const std::atomic<bool>& stop, unsigned long& crc);

// Packs item into the archive. A file the process may not read is passed
// over (None). On a failure the entries written so far stay, and the
// result says what went wrong. Every encrypted entry decrypts with the
// password and passes its CRC, whatever happened to the file meanwhile.
PackFailure PackFile(ZipWriter& archive, const PackItem& item, const PackSettings& settings, Progress& progress,
                     const std::atomic<bool>& stop);

// What a failure of PackFile is about: the folder entry's name when that
// entry failed, the file's path otherwise.
const std::wstring& FailureSubject(PackFailure failure, const PackItem& item);

// Packs items in their order until the stop flag is set (it is read before
// each), reporting each file that fails and going on with the next.
void PackItems(ZipWriter& archive, const std::vector<PackItem>& items, const PackSettings& settings,
               Progress& progress, const std::atomic<bool>& stop, Diagnostics& diagnostics);

} // namespace parcelon

#endif // PARCELON_FILE_PACKER_H

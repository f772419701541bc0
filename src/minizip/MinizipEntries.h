// Entries into a minizip archive a host opened (zipOpen's handle), for the
// exported _AddFileToZipObj: the one use the library still has for
// minizip's writer. Each entry is opened raw, so minizip writes the bytes
// it is given; minizip owns the archive, closes it, and patches each local
// header itself.
#ifndef PARCELON_MINIZIP_ENTRIES_H
#define PARCELON_MINIZIP_ENTRIES_H

#include "create/EntrySink.h"

namespace parcelon {

class MinizipEntries final : public EntrySink {
public:
    // handle: minizip's zipFile, open for writing; not owned.
    explicit MinizipEntries(void* handle) : handle_(handle) {}

    bool OpenEntry(const EntryHeader& header) override;
    bool WriteEntryData(const unsigned char* data, std::size_t size) override;
    bool CloseEntry(std::uint64_t size, std::uint32_t crc) override;
    // The host's archive is out of reach once written: an entry cannot be
    // encrypted again, so nothing is encrypted into it.
    bool CanReencrypt() const override { return false; }
    void ReencryptLast(Reencryption) override {}

private:
    void* handle_;
};

} // namespace parcelon

#endif // PARCELON_MINIZIP_ENTRIES_H

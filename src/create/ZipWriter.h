// The archive being written: a small owner for minizip's handle, and the
// one place that opens entries and decides how their names are stored.
#ifndef PARCELON_ZIP_WRITER_H
#define PARCELON_ZIP_WRITER_H

#include <cstdint>
#include <string>
#include <string_view>

namespace parcelon {

// Longest entry name the format's 16-bit length field can hold. Longer names
// never reach minizip: zlib 1.2.13's zip.c overflows a buffer on them.
constexpr std::size_t kMaxEntryNameBytes = 0xFFFF;

// Files of this size or more get a ZIP64 entry; smaller ones keep the plain
// entry, so ordinary archives stay byte-identical.
constexpr std::uint64_t kZip64Threshold = 0xFFFFFFFFu;

// Owns an archive opened for writing; closes it (unchecked) if the
// operation leaves early, e.g. by an allocation failure.
class ZipWriter {
public:
    // Creates the archive at path (an existing file is replaced); IsOpen()
    // says whether that worked.
    explicit ZipWriter(const std::wstring& path);
    // An archive that somebody else opened and will close.
    static ZipWriter Borrowing(void* handle);
    ~ZipWriter();
    ZipWriter(ZipWriter&& other) noexcept;
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;
    ZipWriter& operator=(ZipWriter&&) = delete;

    bool IsOpen() const { return handle_ != nullptr; }
    void* handle() const { return handle_; }
    // zipClose without a global comment: true when the archive is complete.
    bool Close();

private:
    ZipWriter(void* handle, bool owned) : handle_(handle), owned_(owned) {}
    void* handle_;
    bool owned_;
};

// An entry's name as the archive stores it.
struct EntryName {
    std::string bytes;
};

// The stored form of a wide entry name: its ANSI bytes.
EntryName EncodeEntryName(std::wstring_view name);

struct EntryOptions {
    bool file_entry = true;     // false: a folder entry, opened without zip_fileinfo
    unsigned int level = 6;     // handed to zlib unchanged (-1 as unsigned: its default)
    std::string password;       // already trimmed; empty means no encryption
    unsigned long crc = 0;      // for the encryption header
    bool zip64 = false;
};

// Opens a new entry with Deflate (raw, window bits -15, memory level 8,
// default strategy), encrypted when a password is given. Returns ZIP_OK or
// a minizip error. Names longer than kMaxEntryNameBytes, and levels that
// zlib refuses, fail before minizip writes anything.
int OpenEntry(void* zip, const EntryName& name, const EntryOptions& options);

} // namespace parcelon

#endif // PARCELON_ZIP_WRITER_H

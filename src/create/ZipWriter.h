// The archive being written: a small owner for minizip's handle, and the
// one place that opens entries and decides how their names are stored.
//
// The archive is written to a new file beside its path and takes that
// path's place only once it is complete, so an old archive there is never
// lost to a new one that could not be written.
#ifndef PARCELON_ZIP_WRITER_H
#define PARCELON_ZIP_WRITER_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "messages/Failures.h"
#include "platform/Platform.h"

namespace parcelon {

// Longest entry name the format's 16-bit length field can hold. Longer names
// never reach minizip: zlib 1.2.13's zip.c overflows a buffer on them.
constexpr std::size_t kMaxEntryNameBytes = 0xFFFF;

// Files of this size or more get a ZIP64 entry; smaller ones keep the plain
// entry, so ordinary archives stay byte-identical.
constexpr std::uint64_t kZip64Threshold = 0xFFFFFFFFu;

// A file packing must not read: the archive being written, or the one it
// replaces. Only a file of the recorded size can be it (the one being
// written is empty until its first entry), which spares most look-ups.
struct ArchiveFile {
    platform::FileIdentity identity;
    std::uint64_t size = 0;
};

// True when the file at path (of the size given) is one of files.
bool IsOneOf(const std::wstring& path, std::uint64_t size, const std::vector<ArchiveFile>& files);

class ZipWriter {
public:
    // Starts the archive that is to take the place of path. IsOpen() says
    // whether that worked; failure() then says why.
    explicit ZipWriter(const std::wstring& path);
    // An archive somebody else opened (a minizip handle) and will close.
    static ZipWriter Borrowing(void* handle);
    ZipWriter(ZipWriter&& other) noexcept;
    // An archive left unfinished (the operation left early) is removed; the
    // file at its path stays as it was.
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;
    ZipWriter& operator=(ZipWriter&&) = delete;

    bool IsOpen() const { return handle_ != nullptr; }
    void* handle() const { return handle_; }
    // CannotCreateArchive when no archive could be started (the path's
    // folder is missing, or a folder or read-only file stands there).
    PackFailure failure() const { return failure_; }

    // The files packing must pass over: the new archive and the old one.
    const std::vector<ArchiveFile>& own_files() const { return own_files_; }

    // Where the next entry's local header goes (0 when not known: a
    // borrowed archive).
    std::uint64_t NextEntryOffset() const;

    // The encrypted entry at offset was written with a header whose check
    // byte no longer matches its data's CRC (its file changed while packed,
    // or could not be read); once the archive is complete, the entry is
    // encrypted again, in place, with a header made from the CRC it stores.
    void RepairCheckByte(std::uint64_t offset, const std::string& password);

    // Writes the central directory (zipClose, no global comment), repairs
    // what was asked, and puts the archive in its path's place: None,
    // CannotCloseArchive or CannotReplaceArchive. Either way the writer is
    // closed afterwards.
    PackFailure Finish();

private:
    struct Repair {
        std::uint64_t offset;
        std::string password;
    };

    ZipWriter() = default;

    std::wstring path_;
    std::wstring temporary_;
    void* handle_ = nullptr;
    std::FILE* stream_ = nullptr; // minizip's file, to tell positions by
    bool owned_ = true;
    PackFailure failure_ = PackFailure::None;
    std::vector<ArchiveFile> own_files_;
    std::vector<Repair> repairs_;
};

// An entry's name as the archive stores it.
struct EntryName {
    std::string bytes;
    bool utf8 = false; // general-purpose flag bit 11: the bytes are UTF-8
};

// The stored form of a wide entry name: its ANSI bytes when the code page
// holds every character of it (as every archive for such names always had),
// else its UTF-8 bytes, flagged, so that no name is garbled or lost.
EntryName EncodeEntryName(std::wstring_view name);

struct EntryOptions {
    bool file_entry = true; // false: a folder entry, opened without zip_fileinfo
    unsigned int level = 6; // the host's level, for the flags (-1 as unsigned: the default)
    bool encrypted = false; // flag bit 0: the data begin with an encryption header
    bool zip64 = false;
};

// Opens a new Deflate entry whose data the caller writes already
// compressed (and encrypted, header first, when the options say so) with
// WriteEntryData, and closes with CloseEntry. Returns ZIP_OK or a minizip
// error. Names longer than kMaxEntryNameBytes, and levels other than 0 to 9
// and the default, fail before minizip writes anything.
int OpenEntry(void* zip, const EntryName& name, const EntryOptions& options);

// Appends bytes to the open entry's data: false when they could not be
// written.
bool WriteEntryData(void* zip, const unsigned char* data, std::size_t size);

// Closes the open entry, recording its uncompressed size and CRC-32: false
// when its headers could not be written.
bool CloseEntry(void* zip, std::uint64_t size, std::uint32_t crc);

} // namespace parcelon

#endif // PARCELON_ZIP_WRITER_H

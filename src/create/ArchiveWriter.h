// The archive the library writes itself: local headers, data and the
// central directory, written through one large buffer.
//
// The archive is written to a new file beside its path and takes that
// path's place only once it is complete, so an old archive there is never
// lost to a new one that could not be written. An entry whose data still
// sit in the buffer when it closes (every small file) has its local header
// written once, with its CRC and sizes; a larger one has them put in place
// in the file. Every write, seek and close is checked: after the first
// that fails nothing more is written and the archive cannot be completed.
#ifndef PARCELON_ARCHIVE_WRITER_H
#define PARCELON_ARCHIVE_WRITER_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "create/EntrySink.h"
#include "messages/Failures.h"
#include "platform/Platform.h"

namespace parcelon {

// A file packing must not read: the archive being written, or the one it
// replaces. Only a file of the recorded size can be it (the one being
// written is empty until its first entry), which spares most look-ups.
struct ArchiveFile {
    platform::FileIdentity identity;
    std::uint64_t size = 0;
};

// True when the file at path (of the size given) is one of files.
bool IsOneOf(const std::wstring& path, std::uint64_t size, const std::vector<ArchiveFile>& files);

class ArchiveWriter final : public EntrySink {
public:
    // Bytes gathered before they are written to the file.
    static constexpr std::size_t kBufferSize = 256 * 1024;
    // Pieces of data this large (a large file's compressed chunks) go to
    // the file at once, so that a write that fails does so in the entry it
    // belongs to.
    static constexpr std::size_t kDirectWrite = 64 * 1024;

    // Starts the archive that is to take the place of path. IsOpen() says
    // whether that worked; failure() then says why.
    explicit ArchiveWriter(const std::wstring& path);
    // An archive left unfinished (the operation left early) is removed; the
    // file at its path stays as it was.
    ~ArchiveWriter() override;
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    // CannotCreateArchive when no archive could be started (the path's
    // folder is missing, or a folder or read-only file stands there).
    PackFailure failure() const { return failure_; }

    // The files packing must pass over: the new archive and the old one.
    const std::vector<ArchiveFile>& own_files() const { return own_files_; }

    bool OpenEntry(const EntryHeader& header) override;
    bool WriteEntryData(const unsigned char* data, std::size_t size) override;
    bool CloseEntry(std::uint64_t size, std::uint32_t crc) override;
    bool CanReencrypt() const override { return true; }
    void ReencryptLast(Reencryption reencryption) override;

    // Writes the central directory and the end records (no comment),
    // encrypts again what was asked, and puts the archive in its path's
    // place: None, CannotCloseArchive or CannotReplaceArchive. Either way
    // the writer is closed afterwards.
    PackFailure Finish();

private:
    struct OpenedEntry {
        EntryHeader header;
        std::uint64_t offset = 0;    // of its local header
        std::uint64_t data_size = 0; // bytes of data written so far
    };
    struct LaterReencryption {
        Reencryption reencryption;
        std::uint64_t data_offset;
        std::uint64_t data_size;
    };

    std::uint64_t Position() const { return flushed_ + buffer_.size(); }
    bool Append(const unsigned char* data, std::size_t size);
    bool Append(const std::string& bytes);
    bool Flush();
    // Puts bytes at offset, in the buffer when it holds them, else in the
    // file (and back to its end).
    bool Patch(std::uint64_t offset, const std::string& bytes);
    bool Fail();
    bool WriteEnd();
    bool ReencryptAll();
    void Discard();

    std::wstring path_;
    std::wstring temporary_;
    std::FILE* file_ = nullptr;
    PackFailure failure_ = PackFailure::None;
    bool failed_ = false;              // a write failed: the archive cannot be completed
    std::vector<ArchiveFile> own_files_;

    std::vector<unsigned char> buffer_; // what follows the flushed bytes
    std::uint64_t flushed_ = 0;        // bytes in the file
    bool entry_open_ = false;
    OpenedEntry entry_;
    std::uint64_t last_data_offset_ = 0; // of the entry closed last
    std::uint64_t last_data_size_ = 0;
    std::string central_;               // the central directory's records so far
    std::uint64_t entries_ = 0;
    std::vector<LaterReencryption> reencryptions_;
};

} // namespace parcelon

#endif // PARCELON_ARCHIVE_WRITER_H

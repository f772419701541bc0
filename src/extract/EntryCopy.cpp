#include "extract/EntryCopy.h"

#include <zlib.h>

#include <new>

#include "extract/TraditionalDecryption.h"


namespace parcelon {

namespace {

constexpr unsigned long kMethodStored = 0;
constexpr unsigned long kMethodDeflated = 8;

// The archive's current entry while it is open for reading; closed again
// on every way out.
class OpenEntry {
public:
    explicit OpenEntry(unzFile archive) : archive_(archive) {}
    ~OpenEntry() {
        if (open_) unzCloseCurrentFile(archive_);
    }
    OpenEntry(const OpenEntry&) = delete;
    OpenEntry& operator=(const OpenEntry&) = delete;

    // Decompressed by minizip, which checks the CRC-32 when it is closed.
    bool OpenDecoded() {
        open_ = unzOpenCurrentFile(archive_) == UNZ_OK;
        return open_;
    }
    // The stored bytes as they are: encryption header, then the
    // (encrypted) compressed data.
    bool OpenRaw() {
        int method = 0;
        int level = 0;
        open_ = unzOpenCurrentFile2(archive_, &method, &level, 1) == UNZ_OK;
        return open_;
    }
    // More than 0: bytes in buffer; 0: the end; less than 0: an error.
    int Read(unsigned char* buffer, std::size_t size) {
        return unzReadCurrentFile(archive_, buffer, static_cast<unsigned>(size));
    }
    // Fills exactly size bytes, or says it could not.
    bool ReadExactly(unsigned char* buffer, std::size_t size) {
        std::size_t done = 0;
        while (done < size) {
            const int count = Read(buffer + done, size - done);
            if (count <= 0) return false;
            done += static_cast<std::size_t>(count);
        }
        return true;
    }
    // UNZ_CRCERROR when a decoded entry was read to its end with another
    // CRC-32 than the recorded one.
    int Close() {
        open_ = false;
        return unzCloseCurrentFile(archive_);
    }

private:
    unzFile archive_;
    bool open_ = false;
};

// zlib's Inflate over raw Deflate data (no zlib header), ended on every way
// out.
class RawInflater {
public:
    RawInflater() {
        const int result = inflateInit2(&stream_, -MAX_WBITS);
        if (result == Z_MEM_ERROR) throw std::bad_alloc();
        ready_ = result == Z_OK;
    }
    ~RawInflater() {
        if (ready_) inflateEnd(&stream_);
    }
    RawInflater(const RawInflater&) = delete;
    RawInflater& operator=(const RawInflater&) = delete;

    bool ready() const { return ready_; }
    z_stream& stream() { return stream_; }

private:
    z_stream stream_{};
    bool ready_ = false;
};

// The output file with what has gone into it so far.
class CheckedOutput {
public:
    explicit CheckedOutput(std::FILE* file) : file_(file) {}

    bool Write(const unsigned char* data, std::size_t size) {
        if (size == 0) return true;
        if (std::fwrite(data, 1, size, file_) != size) return false;
        crc_ = crc32(crc_, data, static_cast<uInt>(size));
        written_ += size;
        return true;
    }
    std::uint64_t written() const { return written_; }
    bool Matches(const EntryFacts& facts) const {
        return crc_ == facts.crc && written_ == facts.uncompressed_size;
    }

private:
    std::FILE* file_;
    uLong crc_ = 0;
    std::uint64_t written_ = 0;
};

UnzipFailure CopyDecoded(unzFile archive, const EntryFacts& facts, std::FILE* file) {
    OpenEntry entry(archive);
    if (!entry.OpenDecoded()) return UnzipFailure::CannotOpenEntry;
    CheckedOutput output(file);
    unsigned char block[kCopyBlockSize];
    for (;;) {
        const int count = entry.Read(block, sizeof block);
        if (count < 0) return UnzipFailure::DataCorrupt;
        if (count == 0) break;
        if (!output.Write(block, static_cast<std::size_t>(count))) return UnzipFailure::CannotWriteOutput;
    }
    // minizip checks the CRC-32 only of an entry whose recorded size was
    // reached; a Deflate stream that ends early is caught by the size.
    if (entry.Close() != UNZ_OK) return UnzipFailure::DataCorrupt;
    return output.Matches(facts) ? UnzipFailure::None : UnzipFailure::DataCorrupt;
}

// A block of decrypted data must not carry the entry past its recorded
// size: the rest could only be garbage or a decompression bomb.
bool FitsRecordedSize(const CheckedOutput& output, const EntryFacts& facts, std::size_t count) {
    return count <= facts.uncompressed_size - output.written();
}

UnzipFailure CopyDecryptedStored(OpenEntry& entry, TraditionalDecryption& keys, const EntryFacts& facts,
                               CheckedOutput& output) {
    unsigned char block[kCopyBlockSize];
    for (;;) {
        const int count = entry.Read(block, sizeof block);
        if (count < 0) return UnzipFailure::DataCorrupt;
        if (count == 0) return UnzipFailure::None;
        const std::size_t size = static_cast<std::size_t>(count);
        if (!FitsRecordedSize(output, facts, size)) return UnzipFailure::DataCorrupt;
        keys.Decrypt(block, size);
        if (!output.Write(block, size)) return UnzipFailure::CannotWriteOutput;
    }
}

UnzipFailure CopyDecryptedDeflated(OpenEntry& entry, TraditionalDecryption& keys, const EntryFacts& facts,
                                 CheckedOutput& output) {
    RawInflater inflater;
    if (!inflater.ready()) return UnzipFailure::DataCorrupt;
    z_stream& stream = inflater.stream();
    unsigned char input[kCopyBlockSize];
    unsigned char block[kCopyBlockSize];
    bool ended = false;
    while (!ended) {
        if (stream.avail_in == 0) {
            const int count = entry.Read(input, sizeof input);
            if (count < 0) return UnzipFailure::DataCorrupt;
            if (count == 0) break; // the data ran out before the stream ended
            keys.Decrypt(input, static_cast<std::size_t>(count));
            stream.next_in = input;
            stream.avail_in = static_cast<uInt>(count);
        }
        // Drain what this input gives, one output block at a time.
        do {
            stream.next_out = block;
            stream.avail_out = static_cast<uInt>(sizeof block);
            const int result = inflate(&stream, Z_NO_FLUSH);
            if (result == Z_MEM_ERROR) throw std::bad_alloc();
            if (result == Z_STREAM_END) ended = true;
            // Z_BUF_ERROR only says that no progress was possible, which
            // input still waiting makes impossible.
            else if (result == Z_BUF_ERROR && stream.avail_in > 0) return UnzipFailure::DataCorrupt;
            else if (result != Z_OK && result != Z_BUF_ERROR) return UnzipFailure::DataCorrupt;
            const std::size_t produced = sizeof block - stream.avail_out;
            if (!FitsRecordedSize(output, facts, produced)) return UnzipFailure::DataCorrupt;
            if (!output.Write(block, produced)) return UnzipFailure::CannotWriteOutput;
        } while (stream.avail_out == 0 && !ended);
    }
    return ended ? UnzipFailure::None : UnzipFailure::DataCorrupt;
}

UnzipFailure CopyEncrypted(unzFile archive, const EntryFacts& facts, const char* password, std::FILE* file) {
    if ((facts.flags & kFlagStrongEncryption) != 0) return UnzipFailure::UnsupportedEncryption;
    if (password == nullptr) return UnzipFailure::PasswordRequired;
    OpenEntry entry(archive);
    if (!entry.OpenRaw()) return UnzipFailure::CannotOpenEntry;

    TraditionalDecryption keys(password);
    unsigned char header[kEncryptionHeaderSize];
    if (!entry.ReadExactly(header, sizeof header)) return UnzipFailure::CannotOpenEntry;
    keys.Decrypt(header, sizeof header);
    if (header[kEncryptionHeaderSize - 1] != EncryptionCheckByte(facts.flags, facts.crc, facts.dos_date_time))
        return UnzipFailure::WrongPassword;

    CheckedOutput output(file);
    const UnzipFailure result = facts.method == kMethodStored
                                  ? CopyDecryptedStored(entry, keys, facts, output)
                                  : CopyDecryptedDeflated(entry, keys, facts, output);
    if (result != UnzipFailure::None) return result;
    if (entry.Close() != UNZ_OK) return UnzipFailure::DataCorrupt;
    return output.Matches(facts) ? UnzipFailure::None : UnzipFailure::DataCorrupt;
}

} // namespace

EntryFacts FactsOf(const unz_file_info64& info) {
    EntryFacts facts;
    facts.flags = static_cast<std::uint16_t>(info.flag);
    facts.method = info.compression_method;
    facts.crc = static_cast<std::uint32_t>(info.crc);
    facts.dos_date_time = static_cast<std::uint32_t>(info.dosDate);
    facts.uncompressed_size = static_cast<std::uint64_t>(info.uncompressed_size);
    return facts;
}

UnzipFailure CopyCurrentEntry(unzFile archive, const EntryFacts& facts, const char* password,
                            std::FILE* output) {
    // minizip would treat any other method as Deflate with a stream it
    // never set up; such entries are refused before they are opened.
    if (facts.method != kMethodStored && facts.method != kMethodDeflated) return UnzipFailure::UnsupportedMethod;
    if ((facts.flags & kFlagEncrypted) != 0) return CopyEncrypted(archive, facts, password, output);
    return CopyDecoded(archive, facts, output);
}

} // namespace parcelon

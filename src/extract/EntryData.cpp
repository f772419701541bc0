#include "extract/EntryData.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <new>
#include <vector>

#include "crypto/TraditionalCipher.h"
#include "deflate/Checksum.h"

namespace parcelon {

namespace {

using zip::Le16;
using zip::Le32;
constexpr std::size_t kStreamBlock = 256 * 1024;
// An entry of at most this size, compressed and not, is inflated in one
// call (libdeflate, twice zlib's speed) from and into whole buffers; larger
// ones stream through zlib in blocks, so memory stays bounded.
constexpr std::uint64_t kWholeEntryLimit = 4u * 1024 * 1024;

// libdeflate's Inflate state, freed on every way out.
class WholeInflater {
public:
    WholeInflater() : decompressor_(libdeflate_alloc_decompressor()) {
        if (decompressor_ == nullptr) throw std::bad_alloc();
    }
    ~WholeInflater() { libdeflate_free_decompressor(decompressor_); }
    WholeInflater(const WholeInflater&) = delete;
    WholeInflater& operator=(const WholeInflater&) = delete;
    libdeflate_decompressor* get() const { return decompressor_; }

private:
    libdeflate_decompressor* decompressor_;
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

// The entry's stored bytes, in order, decrypted when keys are given.
class StoredBytes {
public:
    StoredBytes(ArchiveInput& input, std::uint64_t offset, std::uint64_t size, TraditionalCipher* keys)
        : input_(input), offset_(offset), left_(size), keys_(keys) {}

    std::uint64_t left() const { return left_; }
    // Up to size bytes into buffer; 0 at the end; false when they cannot be
    // read.
    bool Next(unsigned char* buffer, std::size_t size, std::size_t& got) {
        got = static_cast<std::size_t>(std::min<std::uint64_t>(left_, size));
        if (got == 0) return true;
        if (!input_.ReadAt(offset_, buffer, got)) return false;
        if (keys_ != nullptr) keys_->Decrypt(buffer, got);
        offset_ += got;
        left_ -= got;
        return true;
    }

private:
    ArchiveInput& input_;
    std::uint64_t offset_;
    std::uint64_t left_;
    TraditionalCipher* keys_;
};

// The sink, with the CRC-32 and count of what went into it, refusing to go
// past the recorded size (which only garbage or a decompression bomb would).
class CheckedOutput {
public:
    CheckedOutput(EntrySink& sink, std::uint64_t limit) : sink_(sink), limit_(limit) {}

    // DataCorrupt past the limit, CannotWriteOutput when the sink refuses.
    UnzipFailure Write(const unsigned char* data, std::size_t size) {
        if (size > limit_ - written_) return UnzipFailure::DataCorrupt;
        if (size > 0 && !sink_.Write(data, size)) return UnzipFailure::CannotWriteOutput;
        crc_ = Crc32(crc_, data, size);
        written_ += size;
        return UnzipFailure::None;
    }
    bool Matches(const CentralRecord& record) const {
        return written_ == record.uncompressed_size && crc_ == record.crc;
    }

private:
    EntrySink& sink_;
    std::uint64_t limit_;
    std::uint32_t crc_ = 0;
    std::uint64_t written_ = 0;
};

UnzipFailure CopyStored(StoredBytes& bytes, CheckedOutput& output) {
    std::vector<unsigned char> block(static_cast<std::size_t>(std::min<std::uint64_t>(kStreamBlock, bytes.left())));
    for (;;) {
        std::size_t got = 0;
        if (!bytes.Next(block.data(), block.size(), got)) return UnzipFailure::DataCorrupt;
        if (got == 0) return UnzipFailure::None;
        const UnzipFailure written = output.Write(block.data(), got);
        if (written != UnzipFailure::None) return written;
    }
}

// The stream must end exactly where the stored bytes do: not before (the
// data ran out) and not after (bytes the entry does not account for).
// Inflate is driven until it says the stream ended or can go no further:
// with the input used up it may still hold the stream's last output
// (a long run of one byte, say), which a full output block left behind.
UnzipFailure CopyDeflated(StoredBytes& bytes, CheckedOutput& output) {
    RawInflater inflater;
    if (!inflater.ready()) return UnzipFailure::DataCorrupt;
    z_stream& stream = inflater.stream();
    std::vector<unsigned char> input(kStreamBlock);
    std::vector<unsigned char> block(kStreamBlock);
    for (;;) {
        if (stream.avail_in == 0 && bytes.left() > 0) {
            std::size_t got = 0;
            if (!bytes.Next(input.data(), input.size(), got) || got == 0) return UnzipFailure::DataCorrupt;
            stream.next_in = input.data();
            stream.avail_in = static_cast<uInt>(got);
        }
        stream.next_out = block.data();
        stream.avail_out = static_cast<uInt>(block.size());
        const int result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_MEM_ERROR) throw std::bad_alloc();
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) return UnzipFailure::DataCorrupt;
        const UnzipFailure written = output.Write(block.data(), block.size() - stream.avail_out);
        if (written != UnzipFailure::None) return written;
        if (result == Z_STREAM_END) {
            return stream.avail_in == 0 && bytes.left() == 0 ? UnzipFailure::None : UnzipFailure::DataCorrupt;
        }
        // No progress possible: input waiting that does not go in, or none
        // left for a stream that has not ended (it was cut).
        if (result == Z_BUF_ERROR) return UnzipFailure::DataCorrupt;
    }
}

// The same for an entry that fits kWholeEntryLimit: every stored byte in,
// every byte out, in one call each way.
UnzipFailure CopyDeflatedWhole(StoredBytes& bytes, std::uint64_t size, CheckedOutput& output) {
    std::vector<unsigned char> input(static_cast<std::size_t>(bytes.left()));
    std::size_t got = 0;
    if (!bytes.Next(input.data(), input.size(), got) || got != input.size()) return UnzipFailure::DataCorrupt;
    std::vector<unsigned char> block(static_cast<std::size_t>(size));
    const WholeInflater inflater;
    std::size_t used = 0;
    std::size_t produced = 0;
    const libdeflate_result result = libdeflate_deflate_decompress_ex(
        inflater.get(), input.data(), input.size(), block.data(), block.size(), &used, &produced);
    // More than the recorded size (no room left), fewer, a stream that
    // ends before the data do, or one that does not end in them.
    if (result != LIBDEFLATE_SUCCESS || used != input.size() || produced != block.size())
        return UnzipFailure::DataCorrupt;
    return output.Write(block.data(), block.size());
}

} // namespace

UnzipFailure LocateEntry(ArchiveInput& input, const CentralRecord& record, std::uint64_t directory_start,
                         EntrySpan& span) {
    unsigned char header[zip::kLocalHeaderSize];
    if (!input.ReadAt(record.local_header_offset, header, sizeof header) || Le32(header) != zip::kLocalHeaderSignature)
        return UnzipFailure::LocalHeaderMismatch;
    const std::size_t name_size = Le16(header + 26);
    const std::size_t extra_size = Le16(header + 28);
    if (Le16(header + 8) != record.method || name_size != record.name.size())
        return UnzipFailure::LocalHeaderMismatch;
    std::string name(name_size, '\0');
    if (name_size > 0 && !input.ReadAt(record.local_header_offset + zip::kLocalHeaderSize, &name[0], name_size))
        return UnzipFailure::LocalHeaderMismatch;
    if (name != record.name) return UnzipFailure::LocalHeaderMismatch;

    span.header = record.local_header_offset;
    span.data = span.header + zip::kLocalHeaderSize + name_size + extra_size;
    if (span.data > directory_start || record.compressed_size > directory_start - span.data)
        return UnzipFailure::EntryOverlaps;
    span.end = span.data + record.compressed_size;
    return UnzipFailure::None;
}

UnzipFailure CopyEntryData(ArchiveInput& input, const CentralRecord& record, const EntrySpan& span,
                           const char* password, EntrySink& sink) {
    if (record.method != zip::kMethodStored && record.method != zip::kMethodDeflated) return UnzipFailure::UnsupportedMethod;
    const bool encrypted = (record.flags & zip::kFlagEncrypted) != 0;
    std::uint64_t data = span.data;
    std::uint64_t size = record.compressed_size;
    TraditionalCipher keys(password);
    if (encrypted) {
        if ((record.flags & zip::kFlagStrongEncryption) != 0) return UnzipFailure::UnsupportedEncryption;
        if (password == nullptr) return UnzipFailure::PasswordRequired;
        unsigned char header[kEncryptionHeaderSize];
        if (size < sizeof header || !input.ReadAt(data, header, sizeof header)) return UnzipFailure::CannotOpenEntry;
        keys.Decrypt(header, sizeof header);
        if (header[kEncryptionHeaderSize - 1] != EncryptionCheckByte(record.flags, record.crc, record.dos_date_time))
            return UnzipFailure::WrongPassword;
        data += sizeof header;
        size -= sizeof header;
    }
    StoredBytes bytes(input, data, size, encrypted ? &keys : nullptr);
    CheckedOutput output(sink, record.uncompressed_size);
    const bool whole = record.uncompressed_size <= kWholeEntryLimit && size <= kWholeEntryLimit;
    const UnzipFailure copied = record.method == zip::kMethodStored ? CopyStored(bytes, output)
                                : whole ? CopyDeflatedWhole(bytes, record.uncompressed_size, output)
                                        : CopyDeflated(bytes, output);
    if (copied != UnzipFailure::None) return copied;
    return output.Matches(record) ? UnzipFailure::None : UnzipFailure::DataCorrupt;
}

} // namespace parcelon

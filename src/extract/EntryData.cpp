#include "extract/EntryData.h"

#include <algorithm>
#include <new>
#include <vector>

#include "crypto/TraditionalCipher.h"
#include "deflate/Checksum.h"
#include "extract/Decoder.h"

namespace parcelon {

namespace {

using zip::Le16;
using zip::Le32;

// The entry's stored bytes, in order, decrypted when keys are given.
class StoredBytes final : public StoredInput {
public:
    StoredBytes(ArchiveInput& input, std::uint64_t offset, std::uint64_t size, TraditionalCipher* keys)
        : input_(input), offset_(offset), left_(size), keys_(keys) {}

    std::uint64_t left() const override { return left_; }
    bool Next(unsigned char* buffer, std::size_t size, std::size_t& got) override {
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
class CheckedOutput final : public DecodedOutput {
public:
    CheckedOutput(EntrySink& sink, std::uint64_t limit) : sink_(sink), limit_(limit) {}

    // DataCorrupt past the limit, CannotWriteOutput when the sink refuses.
    UnzipFailure Write(const unsigned char* data, std::size_t size) override {
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
    const Decoder decode = DecoderFor(record.method);
    if (decode == nullptr) return UnzipFailure::UnsupportedMethod;
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
    const EntryFacts facts{record.method, record.flags, record.uncompressed_size, size};
    const UnzipFailure decoded = decode(facts, bytes, output);
    if (decoded != UnzipFailure::None) return decoded;
    return output.Matches(record) ? UnzipFailure::None : UnzipFailure::DataCorrupt;
}

} // namespace parcelon

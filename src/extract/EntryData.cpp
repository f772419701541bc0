#include "extract/EntryData.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "deflate/Checksum.h"
#include "extract/Decoder.h"
#include "extract/EntryCipher.h"
#include "extract/EntryPipeline.h"

namespace parcelon {

namespace {

using zip::Le16;
using zip::Le32;

// The entry's stored bytes, in order, decrypted when there is a cipher.
class StoredBytes final : public StoredInput {
public:
    StoredBytes(ArchiveInput& input, const EntrySpan& span, std::uint64_t offset, std::uint64_t size,
                EntryCipher* cipher)
        : input_(input), span_(span), offset_(offset), left_(size), cipher_(cipher) {}

    std::uint64_t left() const override { return left_; }
    bool Next(unsigned char* buffer, std::size_t size, std::size_t& got) override {
        got = static_cast<std::size_t>(std::min<std::uint64_t>(left_, size));
        if (got == 0) return true;
        if (!span_.Read(input_, offset_, buffer, got)) return false;
        if (cipher_ != nullptr) cipher_->Decrypt(buffer, got);
        offset_ += got;
        left_ -= got;
        return true;
    }

private:
    ArchiveInput& input_;
    const EntrySpan& span_;
    std::uint64_t offset_;
    std::uint64_t left_;
    EntryCipher* cipher_;
};

// The sink, with the CRC-32 and count of what went into it, refusing to go
// past the recorded size (which only garbage or a decompression bomb would),
// and the observer told of every block.
class CheckedOutput final : public DecodedOutput {
public:
    CheckedOutput(EntrySink& sink, std::uint64_t limit, bool has_crc, BlockObserver* observer)
        : sink_(sink), limit_(limit), has_crc_(has_crc), observer_(observer) {}

    // DataCorrupt past the limit, CannotWriteOutput when the sink refuses,
    // or what the observer says.
    UnzipFailure Write(const unsigned char* data, std::size_t size) override {
        if (size > limit_ - written_) return UnzipFailure::DataCorrupt;
        if (size == 0) return UnzipFailure::None;
        if (!sink_.Write(data, size)) return UnzipFailure::CannotWriteOutput;
        if (has_crc_) crc_ = Crc32(crc_, data, size);
        written_ += size;
        return observer_ != nullptr ? observer_->OnBlock(size) : UnzipFailure::None;
    }
    bool Matches(const CentralRecord& record) const {
        return written_ == record.uncompressed_size && (!has_crc_ || crc_ == record.crc);
    }

private:
    EntrySink& sink_;
    std::uint64_t limit_;
    bool has_crc_;
    BlockObserver* observer_;
    std::uint32_t crc_ = 0;
    std::uint64_t written_ = 0;
};

// An entry whose stored bytes fit this is read with its header at once;
// the room is a guess at the local extra field's size.
constexpr std::uint64_t kReadWithHeader = 64 * 1024;
constexpr std::uint64_t kExtraRoom = 64;

// Entries past this size, stored or decoded, are worth a second thread.
constexpr std::uint64_t kOverlapFrom = 4u * 1024 * 1024;

// One large entry on two threads: an encrypted one's bytes read and
// decrypted ahead of the decoder (the cipher is the slower half), a plain
// one's output checked and written behind it. Where no thread can be
// started, the entry is decoded on this one alone.
UnzipFailure DecodeOverlapped(Decoder decode, const EntryFacts& facts, StoredInput& bytes, DecodedOutput& output,
                              bool encrypted) {
    if (encrypted) {
        std::optional<ReadAheadInput> ahead;
        try {
            ahead.emplace(bytes);
        } catch (const std::system_error&) {
            return decode(facts, bytes, output);
        }
        return decode(facts, *ahead, output);
    }
    std::optional<WriteBehindOutput> behind;
    try {
        behind.emplace(output);
    } catch (const std::system_error&) {
        return decode(facts, bytes, output);
    }
    const UnzipFailure decoded = decode(facts, bytes, *behind);
    const UnzipFailure written = behind->Finish();
    return decoded != UnzipFailure::None ? decoded : written;
}

} // namespace

bool EntrySpan::Read(const ArchiveInput& input, std::uint64_t offset, void* buffer, std::size_t size) const {
    if (bytes && offset >= header && offset - header <= bytes->size() && size <= bytes->size() - (offset - header)) {
        if (size > 0) std::memcpy(buffer, bytes->data() + (offset - header), size);
        return true;
    }
    return input.ReadAt(offset, buffer, size);
}

UnzipFailure LocateEntry(const ArchiveInput& input, const CentralRecord& record, std::uint64_t directory_start,
                         EntrySpan& span) {
    span = EntrySpan();
    span.header = record.local_header_offset;
    // A small entry is read whole with its header, guessing a little room
    // for the local extra field; a guess that falls short, or runs past the
    // directory, is given up for reads of the parts.
    std::vector<unsigned char> leading;
    if (record.compressed_size <= kReadWithHeader && span.header < directory_start) {
        const std::uint64_t guess =
            zip::kLocalHeaderSize + record.name.size() + kExtraRoom + record.compressed_size;
        leading.resize(static_cast<std::size_t>(std::min(guess, directory_start - span.header)));
        if (leading.size() < zip::kLocalHeaderSize || !input.ReadAt(span.header, leading.data(), leading.size()))
            leading.clear();
    }
    unsigned char header[zip::kLocalHeaderSize];
    if (!leading.empty()) std::memcpy(header, leading.data(), sizeof header);
    else if (!input.ReadAt(span.header, header, sizeof header)) return UnzipFailure::LocalHeaderMismatch;
    if (Le32(header) != zip::kLocalHeaderSignature) return UnzipFailure::LocalHeaderMismatch;
    const std::size_t name_size = Le16(header + 26);
    const std::size_t extra_size = Le16(header + 28);
    if (Le16(header + 8) != record.method || name_size != record.name.size())
        return UnzipFailure::LocalHeaderMismatch;
    span.data = span.header + zip::kLocalHeaderSize + name_size + extra_size;
    if (span.data > directory_start || record.compressed_size > directory_start - span.data)
        return UnzipFailure::EntryOverlaps;
    span.end = span.data + record.compressed_size;
    if (!leading.empty() && span.end - span.header <= leading.size()) {
        leading.resize(static_cast<std::size_t>(span.end - span.header));
        span.bytes = std::make_shared<const std::vector<unsigned char>>(std::move(leading));
    }
    std::string name(name_size, '\0');
    if (name_size > 0 && !span.Read(input, span.header + zip::kLocalHeaderSize, &name[0], name_size))
        return UnzipFailure::LocalHeaderMismatch;
    if (name != record.name) return UnzipFailure::LocalHeaderMismatch;
    return UnzipFailure::None;
}

UnzipFailure DecodeEntry(ArchiveInput& input, const CentralRecord& record, const EntrySpan& span,
                         const char* password, EntrySink& sink, const DecodeOptions& options) {
    const std::uint16_t method = CompressionMethod(record);
    const Decoder decode = DecoderFor(method);
    if (decode == nullptr) return UnzipFailure::UnsupportedMethod;
    std::unique_ptr<EntryCipher> cipher;
    const UnzipFailure chosen = ChooseCipher(record, password, options.aes_keys, cipher);
    if (chosen != UnzipFailure::None) return chosen;

    std::uint64_t data = span.data;
    std::uint64_t size = record.compressed_size;
    std::vector<unsigned char> trailer;
    if (cipher) {
        const std::size_t around = cipher->header_size() + cipher->trailer_size();
        std::vector<unsigned char> header(cipher->header_size());
        if (size < around || !span.Read(input, data, header.data(), header.size())) return UnzipFailure::CannotOpenEntry;
        const UnzipFailure begun = cipher->Begin(header.data());
        if (begun != UnzipFailure::None) return begun;
        trailer.resize(cipher->trailer_size());
        if (!trailer.empty() && !span.Read(input, data + size - trailer.size(), trailer.data(), trailer.size()))
            return UnzipFailure::CannotOpenEntry;
        data += header.size();
        size -= around;
    }
    StoredBytes bytes(input, span, data, size, cipher.get());
    CheckedOutput output(sink, record.uncompressed_size, !cipher || cipher->has_crc(), options.observer);
    const EntryFacts facts{method, record.flags, record.uncompressed_size, size};
    const bool large = size > kOverlapFrom || record.uncompressed_size > kOverlapFrom;
    const UnzipFailure decoded = options.overlapped && large
                                     ? DecodeOverlapped(decode, facts, bytes, output, cipher != nullptr)
                                     : decode(facts, bytes, output);
    if (decoded != UnzipFailure::None) return decoded;
    if (cipher && cipher->Finish(trailer.data()) != UnzipFailure::None) return UnzipFailure::DataCorrupt;
    return output.Matches(record) ? UnzipFailure::None : UnzipFailure::DataCorrupt;
}

} // namespace parcelon

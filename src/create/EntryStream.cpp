#include "create/EntryStream.h"

namespace parcelon {

EntryStream::~EntryStream() {
    if (!open_) return;
    try {
        std::vector<unsigned char> end = end_;
        Write(end.data(), end.size(), whole_size_, whole_crc_);
        Close(whole_size_, whole_crc_);
    } catch (...) {
        // Out of memory again on the way out: the sink keeps what it has,
        // and the archive the operation was writing is not completed.
    }
}

bool EntryStream::Open(const EntryHeader& header, std::uint32_t header_crc) {
    std::vector<unsigned char> start;
    if (!encryptor_.Begin(header_crc, start)) return false;
    if (!sink_.OpenEntry(header)) return false;
    open_ = true;
    header_crc_ = header_crc;
    stored_ = 0;
    whole_size_ = 0;
    whole_crc_ = 0;
    if (start.empty()) return true;
    if (sink_.WriteEntryData(start.data(), start.size())) {
        stored_ += start.size();
        return true;
    }
    // An entry that cannot even take its header is closed as it stands
    // (empty, with nothing to decrypt) and counts as not opened.
    open_ = false;
    sink_.CloseEntry(0, 0);
    return false;
}

bool EntryStream::Write(unsigned char* data, std::size_t count, std::uint64_t size, std::uint32_t crc) {
    if (!open_) return false;
    encryptor_.Encrypt(data, count);
    if (!sink_.WriteEntryData(data, count)) return false;
    stored_ += count;
    whole_size_ = size;
    whole_crc_ = crc;
    return true;
}

bool EntryStream::Close(std::uint64_t size, std::uint32_t crc) {
    if (!open_) return false;
    open_ = false;
    std::vector<unsigned char> trailer;
    encryptor_.End(trailer);
    bool ok = trailer.empty() || sink_.WriteEntryData(trailer.data(), trailer.size());
    ok = sink_.CloseEntry(size, encryptor_.records_crc() ? crc : 0) && ok;
    if (!ok) return false;
    if (encryptor_.needs_crc_first() && !encryptor_.Opens(header_crc_, crc)) {
        // The file changed between the readings, or a stop found no fitting
        // end: the header must be made from what the entry holds.
        if (!sink_.CanReencrypt()) return false;
        sink_.ReencryptLast(encryptor_.ReencryptionFor(crc));
    }
    return true;
}

} // namespace parcelon

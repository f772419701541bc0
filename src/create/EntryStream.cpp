#include "create/EntryStream.h"

#include <zip.h>

#include "crypto/RandomBytes.h"

namespace parcelon {

EntryStream::~EntryStream() {
    if (zip_ != nullptr) CloseEntry(zip_, 0, 0);
}

int EntryStream::Open(void* zip, const EntryName& name, EntryOptions options, const std::string& password,
                      std::uint32_t crc, RandomBytes& random) {
    options.encrypted = !password.empty();
    const int opened = OpenEntry(zip, name, options);
    if (opened != ZIP_OK) return opened;
    zip_ = zip;
    if (!options.encrypted) return ZIP_OK;
    keys_.emplace(password.c_str());
    unsigned char header[kEncryptionHeaderSize];
    MakeEncryptionHeader(*keys_, crc, random, header);
    if (!WriteEntryData(zip_, header, sizeof header)) return ZIP_ERRNO;
    return ZIP_OK;
}

bool EntryStream::Write(unsigned char* data, std::size_t size) {
    if (zip_ == nullptr) return false;
    if (keys_) keys_->Encrypt(data, size);
    return WriteEntryData(zip_, data, size);
}

bool EntryStream::Close(std::uint64_t size, std::uint32_t crc) {
    if (zip_ == nullptr) return false;
    void* const zip = zip_;
    zip_ = nullptr;
    keys_.reset();
    return CloseEntry(zip, size, crc);
}

} // namespace parcelon

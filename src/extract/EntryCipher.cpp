#include "extract/EntryCipher.h"

#include <algorithm>

#include "crypto/TraditionalCipher.h"
#include "format/ZipFormat.h"

namespace parcelon {

namespace {

class TraditionalDecryption final : public EntryCipher {
public:
    TraditionalDecryption(const CentralRecord& record, const char* password)
        : keys_(password), check_(EncryptionCheckByte(record.flags, record.crc, record.dos_date_time)) {}

    std::size_t header_size() const override { return kEncryptionHeaderSize; }
    std::size_t trailer_size() const override { return 0; }
    UnzipFailure Begin(const unsigned char* header) override {
        unsigned char plain[kEncryptionHeaderSize];
        std::copy(header, header + kEncryptionHeaderSize, plain);
        keys_.Decrypt(plain, sizeof plain);
        return plain[kEncryptionHeaderSize - 1] == check_ ? UnzipFailure::None : UnzipFailure::WrongPassword;
    }
    void Decrypt(unsigned char* data, std::size_t size) override { keys_.Decrypt(data, size); }
    UnzipFailure Finish(const unsigned char*) override { return UnzipFailure::None; }
    bool has_crc() const override { return true; }

private:
    TraditionalCipher keys_;
    unsigned char check_;
};

} // namespace

UnzipFailure ChooseCipher(const CentralRecord& record, const char* password, std::unique_ptr<EntryCipher>& cipher) {
    cipher.reset();
    if ((record.flags & zip::kFlagEncrypted) == 0) return UnzipFailure::None;
    if ((record.flags & zip::kFlagStrongEncryption) != 0) return UnzipFailure::UnsupportedEncryption;
    if (password == nullptr) return UnzipFailure::PasswordRequired;
    cipher = std::make_unique<TraditionalDecryption>(record, password);
    return UnzipFailure::None;
}

std::uint16_t CompressionMethod(const CentralRecord& record) { return record.method; }

} // namespace parcelon

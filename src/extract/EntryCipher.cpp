#include "extract/EntryCipher.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "crypto/TraditionalCipher.h"
#include "crypto/WinZipAes.h"
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

// What an AES entry's 0x9901 extra field says: the vendor version (AE-1
// keeps the CRC-32, AE-2 records 0), the key's strength, and the method
// the data are compressed with.
struct AesField {
    std::uint16_t version = 0;
    std::uint8_t strength = 0;
    std::uint16_t method = 0;
};

bool ReadAesField(const CentralRecord& record, AesField& field) {
    std::string_view body;
    if (!zip::FindExtraField(record.extra, zip::kAesField, body) || body.size() < 7) return false;
    const unsigned char* p = zip::Bytes(body);
    if (p[2] != 'A' || p[3] != 'E') return false;
    field.version = zip::Le16(p);
    field.strength = p[4];
    field.method = zip::Le16(p + 5);
    return field.version == 1 || field.version == 2;
}

// WinZip AES: the salt and the password verifier before the data, the
// authentication code after them.
class AesDecryption final : public EntryCipher {
public:
    AesDecryption(AesStrength strength, bool has_crc, const char* password, const WinZipAesKeys* keys)
        : strength_(strength), has_crc_(has_crc), password_(password), keys_(keys) {}

    std::size_t header_size() const override { return AesSaltSize(strength_) + kAesVerifierSize; }
    std::size_t trailer_size() const override { return kAesAuthCodeSize; }
    UnzipFailure Begin(const unsigned char* header) override {
        if (keys_ != nullptr) aes_.emplace(*keys_);
        else aes_.emplace(password_, strength_, header);
        return aes_->VerifierMatches(header + AesSaltSize(strength_)) ? UnzipFailure::None
                                                                      : UnzipFailure::WrongPassword;
    }
    void Decrypt(unsigned char* data, std::size_t size) override { aes_->Decrypt(data, size); }
    UnzipFailure Finish(const unsigned char* trailer) override {
        return aes_->AuthCodeMatches(trailer) ? UnzipFailure::None : UnzipFailure::DataCorrupt;
    }
    bool has_crc() const override { return has_crc_; }

private:
    AesStrength strength_;
    bool has_crc_;
    std::string_view password_;
    const WinZipAesKeys* keys_;
    std::optional<WinZipAes> aes_;
};

} // namespace

UnzipFailure ChooseCipher(const CentralRecord& record, const char* password, const WinZipAesKeys* aes_keys,
                          std::unique_ptr<EntryCipher>& cipher) {
    cipher.reset();
    // An AES entry is one whatever its flag says: its bytes are no
    // plain data.
    const bool aes = record.method == zip::kMethodAes;
    if ((record.flags & zip::kFlagEncrypted) == 0 && !aes) return UnzipFailure::None;
    if ((record.flags & zip::kFlagStrongEncryption) != 0) return UnzipFailure::UnsupportedEncryption;
    AesField field;
    std::optional<AesStrength> strength;
    if (aes && (!ReadAesField(record, field) || !(strength = AesStrengthOf(field.strength))))
        return UnzipFailure::UnsupportedEncryption;
    if (password == nullptr) return UnzipFailure::PasswordRequired;
    if (aes) cipher = std::make_unique<AesDecryption>(*strength, field.version == 1, password, aes_keys);
    else cipher = std::make_unique<TraditionalDecryption>(record, password);
    return UnzipFailure::None;
}

std::optional<AesStrength> AesStrengthOfEntry(const CentralRecord& record) {
    AesField field;
    if (record.method != zip::kMethodAes || !ReadAesField(record, field)) return std::nullopt;
    return AesStrengthOf(field.strength);
}

std::uint16_t CompressionMethod(const CentralRecord& record) {
    AesField field;
    if (record.method == zip::kMethodAes && ReadAesField(record, field)) return field.method;
    return record.method;
}

} // namespace parcelon

// The encryptors packing has: none, traditional ZIP encryption, and
// WinZip AES-256.
#include "create/EntryEncryptor.h"

#include <algorithm>
#include <optional>

#include "create/AesKeySupply.h"
#include "create/EntryLayout.h"
#include "crypto/RandomBytes.h"
#include "crypto/TraditionalCipher.h"
#include "crypto/WinZipAes.h"
#include "format/ZipFormat.h"

namespace parcelon {

namespace {

// The codec's own method, with flag bits.
EntryCoding CodecCoding(std::uint16_t method, std::uint16_t flags) {
    EntryCoding coding;
    coding.method = method;
    coding.flags = flags;
    return coding;
}

Reencryption NoReencryption() {
    return [](const ArchiveAccess&, const ArchiveAccess&, std::uint64_t, std::uint64_t) { return true; };
}

class Plain final : public EntryEncryptor {
public:
    EntryCoding Coding(std::uint16_t method) const override { return CodecCoding(method, 0); }
    std::uint64_t overhead() const override { return 0; }
    bool needs_crc_first() const override { return false; }
    bool records_crc() const override { return true; }
    bool Begin(std::uint32_t, std::vector<unsigned char>& header) override {
        header.clear();
        return true;
    }
    void Encrypt(unsigned char*, std::size_t) override {}
    void End(std::vector<unsigned char>& trailer) override { trailer.clear(); }
    bool Opens(std::uint32_t, std::uint32_t) const override { return true; }
    Reencryption ReencryptionFor(std::uint32_t) const override { return NoReencryption(); }
};

unsigned char HighByte(std::uint32_t crc) { return static_cast<unsigned char>(crc >> 24); }

// The header: ten random bytes, then the CRC's two high bytes; readers test
// the password with the last of them (the check byte).
void PutCheckBytes(unsigned char* header, std::uint32_t crc) {
    header[kEncryptionHeaderSize - 2] = static_cast<unsigned char>(crc >> 16);
    header[kEncryptionHeaderSize - 1] = HighByte(crc);
}

class Traditional final : public EntryEncryptor {
public:
    Traditional(const std::string& password, RandomBytes& random) : password_(password), random_(random) {}

    EntryCoding Coding(std::uint16_t method) const override { return CodecCoding(method, zip::kFlagEncrypted); }
    std::uint64_t overhead() const override { return kEncryptionHeaderSize; }
    bool needs_crc_first() const override { return true; }
    bool records_crc() const override { return true; }

    bool Begin(std::uint32_t crc, std::vector<unsigned char>& header) override {
        header.assign(kEncryptionHeaderSize, 0);
        if (!random_.Fill(header.data(), kEncryptionHeaderSize - 2)) return false;
        PutCheckBytes(header.data(), crc);
        keys_.emplace(password_.c_str());
        keys_->Encrypt(header.data(), header.size());
        return true;
    }
    void Encrypt(unsigned char* data, std::size_t size) override {
        if (keys_) keys_->Encrypt(data, size);
    }
    void End(std::vector<unsigned char>& trailer) override {
        trailer.clear();
        keys_.reset();
    }
    bool Opens(std::uint32_t header_crc, std::uint32_t crc) const override {
        return HighByte(header_crc) == HighByte(crc);
    }

    Reencryption ReencryptionFor(std::uint32_t crc) const override {
        return [password = password_, crc](const ArchiveAccess& read, const ArchiveAccess& write,
                                           std::uint64_t offset, std::uint64_t size) {
            return Reencrypt(password, crc, read, write, offset, size);
        };
    }

private:
    static bool Reencrypt(const std::string& password, std::uint32_t crc, const ArchiveAccess& read,
                          const ArchiveAccess& write, std::uint64_t offset, std::uint64_t size) {
        if (size < kEncryptionHeaderSize) return false;
        // The same random bytes under new check bytes: every byte after
        // them changes, so the whole entry is taken through both ciphers.
        TraditionalCipher old_keys(password.c_str());
        TraditionalCipher new_keys(password.c_str());
        std::vector<unsigned char> block(64 * 1024);
        for (std::uint64_t done = 0; done < size;) {
            const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - done));
            if (!read(offset + done, block.data(), count)) return false;
            old_keys.Decrypt(block.data(), count);
            if (done == 0) PutCheckBytes(block.data(), crc);
            new_keys.Encrypt(block.data(), count);
            if (!write(offset + done, block.data(), count)) return false;
            done += count;
        }
        return true;
    }

    std::string password_;
    RandomBytes& random_;
    std::optional<TraditionalCipher> keys_; // of the entry begun last
};

// WinZip AES entries need version 5.1 to extract, as WinZip and 7-Zip
// write them.
constexpr std::uint16_t kVersionAes = 51;
// AE-2: the CRC-32 is not recorded; the authentication code checks the data.
constexpr std::uint16_t kAesVendorVersion = 2;

class WinZipAes256 final : public EntryEncryptor {
public:
    explicit WinZipAes256(AesKeySupply& keys) : keys_(keys) {}

    EntryCoding Coding(std::uint16_t method) const override {
        EntryCoding coding = CodecCoding(zip::kMethodAes, zip::kFlagEncrypted);
        coding.version_needed = kVersionAes;
        zip::Put16(coding.extra, zip::kAesField);
        zip::Put16(coding.extra, 7);
        zip::Put16(coding.extra, kAesVendorVersion);
        coding.extra += "AE";
        coding.extra += static_cast<char>(AesStrength::k256);
        zip::Put16(coding.extra, method);
        return coding;
    }
    std::uint64_t overhead() const override { return kAes256SaltSize + kAesVerifierSize + kAesAuthCodeSize; }
    bool needs_crc_first() const override { return false; }
    bool records_crc() const override { return false; }

    bool Begin(std::uint32_t, std::vector<unsigned char>& header) override {
        unsigned char salt[kAes256SaltSize];
        WinZipAesKeys keys;
        aes_.reset();
        if (!keys_.Next(salt, keys)) return false;
        aes_.emplace(keys);
        header.assign(salt, salt + sizeof salt);
        header.insert(header.end(), aes_->verifier(), aes_->verifier() + kAesVerifierSize);
        return true;
    }
    void Encrypt(unsigned char* data, std::size_t size) override {
        if (aes_) aes_->Encrypt(data, size);
    }
    void End(std::vector<unsigned char>& trailer) override {
        trailer.clear();
        if (!aes_) return;
        unsigned char code[kAesAuthCodeSize];
        aes_->AuthCode(code);
        trailer.assign(code, code + sizeof code);
        aes_.reset();
    }
    bool Opens(std::uint32_t, std::uint32_t) const override { return true; }
    Reencryption ReencryptionFor(std::uint32_t) const override { return NoReencryption(); }

private:
    AesKeySupply& keys_;
    std::optional<WinZipAes> aes_; // of the entry begun last
};

} // namespace

std::unique_ptr<EntryEncryptor> PlainEntries() { return std::make_unique<Plain>(); }

std::unique_ptr<EntryEncryptor> TraditionalEncryption(const std::string& password, RandomBytes& random) {
    return std::make_unique<Traditional>(password, random);
}

std::unique_ptr<EntryEncryptor> WinZipAesEncryption(AesKeySupply& keys) {
    return std::make_unique<WinZipAes256>(keys);
}

std::unique_ptr<EntryEncryptor> EncryptorFor(const std::string& password, RandomBytes& random) {
    return password.empty() ? PlainEntries() : TraditionalEncryption(password, random);
}

} // namespace parcelon

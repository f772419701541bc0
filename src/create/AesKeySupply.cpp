#include "create/AesKeySupply.h"

#include <cstring>

#include "crypto/RandomBytes.h"

namespace parcelon {

void AesKeySupply::Batch::Derive() {
    const std::size_t count = keys.size();
    std::vector<AesKeyRequest> requests(count);
    for (std::size_t i = 0; i < count; ++i) requests[i] = {AesStrength::k256, salts.data() + i * kAes256SaltSize};
    DeriveWinZipAesKeys(*password, requests.data(), keys.data(), count);
    derived = true;
}

AesKeySupply::AesKeySupply(const std::string& password, RandomBytes& random) : password_(password), random_(random) {}

void AesKeySupply::UsePool(CompressionPool& pool, ChunkCodec& own) {
    pool_ = &pool;
    own_ = &own;
}

bool AesKeySupply::Draw(std::size_t count) {
    auto batch = std::make_unique<Batch>();
    batch->password = &password_;
    batch->salts.resize(count * kAes256SaltSize);
    if (!random_.Fill(batch->salts.data(), batch->salts.size())) return false;
    batch->keys.resize(count);
    drawn_ += count;
    batches_.push_back(std::move(batch));
    if (pool_ != nullptr) {
        pool_->Submit(*batches_.back());
        batches_.back()->submitted = true;
    }
    return true;
}

bool AesKeySupply::Next(unsigned char (&salt)[kAes256SaltSize], WinZipAesKeys& keys) {
    if (batches_.empty() && !Draw(1)) return false;
    Batch& batch = *batches_.front();
    if (batch.submitted) pool_->Wait(batch, nullptr, own_);
    if (!batch.derived) batch.Derive();
    std::memcpy(salt, batch.salts.data() + batch.next * kAes256SaltSize, kAes256SaltSize);
    keys = batch.keys[batch.next];
    if (++batch.next == batch.keys.size()) batches_.pop_front();
    return true;
}

} // namespace parcelon

// The salts and keys of the WinZip AES entries one packing operation
// writes, handed out in the order the entries begin.
//
// The key derivation costs far more than a small entry's data (some
// 0.15 ms an entry on one core), so the packer, which knows the files to
// come, draws their salts a batch at a time (Draw) and has each batch's
// keys derived in one call, several entries side by side: on a worker of
// the compression pool when the call has threads, else on the calling
// thread when the first entry of the batch begins. Salts are drawn from the
// random source strictly in order, so a source fixed for a test gives every
// entry the same salt whatever the number of threads.
#ifndef PARCELON_AES_KEY_SUPPLY_H
#define PARCELON_AES_KEY_SUPPLY_H

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "create/CompressionPool.h"
#include "crypto/WinZipAes.h"

namespace parcelon {

class RandomBytes;

// The salt size of AES-256, the one strength packing writes.
constexpr std::size_t kAes256SaltSize = 16;

class AesKeySupply {
public:
    // password: already trimmed, not empty. Both must outlive the supply.
    AesKeySupply(const std::string& password, RandomBytes& random);
    AesKeySupply(const AesKeySupply&) = delete;
    AesKeySupply& operator=(const AesKeySupply&) = delete;

    // Batches drawn from now on are derived by the pool's workers; own is
    // the calling thread's codec, which runs a batch no worker took yet.
    // Both must outlive the supply's use.
    void UsePool(CompressionPool& pool, ChunkCodec& own);

    // Draws the salts of count more entries (count > 0), to be derived as
    // one batch. False when the random source does not answer: those
    // entries then get no keys.
    bool Draw(std::size_t count);

    // Salts drawn so far.
    std::size_t drawn() const { return drawn_; }

    // The salt and keys of the next entry, drawing a batch of one when none
    // is ahead. False when no salt could be drawn.
    bool Next(unsigned char (&salt)[kAes256SaltSize], WinZipAesKeys& keys);

private:
    struct Batch final : PoolJob {
        const std::string* password = nullptr;
        std::vector<unsigned char> salts; // kAes256SaltSize each
        std::vector<WinZipAesKeys> keys;
        std::size_t next = 0;             // the next to hand out
        bool submitted = false;           // to the pool, which derives it
        bool derived = false;

        void Derive();
        void Run(ChunkCodec&) override { Derive(); }
    };

    const std::string& password_;
    RandomBytes& random_;
    CompressionPool* pool_ = nullptr;
    ChunkCodec* own_ = nullptr;
    std::deque<std::unique_ptr<Batch>> batches_; // drawn, not yet used up
    std::size_t drawn_ = 0;
};

} // namespace parcelon

#endif // PARCELON_AES_KEY_SUPPLY_H

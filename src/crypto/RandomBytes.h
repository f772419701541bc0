// The random bytes of encryption headers (and of the salts stronger
// encryption will need). Each request is answered by the system's random
// source: a header's random bytes are the plaintext an attacker would
// otherwise know, so they come from nothing that can be predicted, not from
// a generator seeded once or from the clock. Nothing is shared with the
// host's rand() or between operations.
//
// Tests fix the bytes with a seed, so that the same files give the same
// archive byte for byte (at every thread count, and from run to run).
#ifndef PARCELON_RANDOM_BYTES_H
#define PARCELON_RANDOM_BYTES_H

#include <cstddef>
#include <cstdint>

namespace parcelon {

class RandomBytes {
public:
    // From the system's random source, every time.
    RandomBytes() = default;
    // Fixed: the same sequence for the same seed, for tests.
    explicit RandomBytes(std::uint64_t seed) : fixed_(true), state_(seed) {}

    // Fills out with size bytes; false (and out unspecified) when the
    // system's random source does not answer.
    bool Fill(unsigned char* out, std::size_t size);

private:
    std::uint64_t Next();

    bool fixed_ = false;
    std::uint64_t state_ = 0;
};

} // namespace parcelon

#endif // PARCELON_RANDOM_BYTES_H

// The random bytes of encryption headers. They only need to differ from
// entry to entry and archive to archive, not to be secret (the header is
// encrypted with the password's keys before it is written): one generator
// per operation, seeded once from the system's random source, gives them
// cheaply. Nothing is shared with the host's rand() or between operations.
#ifndef PARCELON_RANDOM_BYTES_H
#define PARCELON_RANDOM_BYTES_H

#include <cstddef>
#include <cstdint>

namespace parcelon {

class RandomBytes {
public:
    // Seeded from the system's random source (the clock when there is none).
    RandomBytes();
    // Seeded with seed: the same bytes every time, for tests.
    explicit RandomBytes(std::uint64_t seed) : state_(seed) {}

    void Fill(unsigned char* out, std::size_t size);

private:
    std::uint64_t Next();

    std::uint64_t state_;
};

} // namespace parcelon

#endif // PARCELON_RANDOM_BYTES_H

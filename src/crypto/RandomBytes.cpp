#include "crypto/RandomBytes.h"

#include "platform/Platform.h"

namespace parcelon {

// SplitMix64, for fixed sequences only: every 64-bit state gives a
// well-mixed output.
std::uint64_t RandomBytes::Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

bool RandomBytes::Fill(unsigned char* out, std::size_t size) {
    if (!fixed_) return platform::SystemRandom(out, size);
    for (std::size_t i = 0; i < size; i += 8) {
        std::uint64_t bits = Next();
        for (std::size_t j = i; j < size && j < i + 8; ++j, bits >>= 8) out[j] = static_cast<unsigned char>(bits);
    }
    return true;
}

} // namespace parcelon

#include "crypto/RandomBytes.h"

#include <chrono>
#include <random>

namespace parcelon {

namespace {

std::uint64_t SystemSeed() {
    try {
        std::random_device source;
        return static_cast<std::uint64_t>(source()) << 32 ^ source();
    } catch (...) {
        // No random source: the clock still varies the headers, which only
        // need to differ.
        return static_cast<std::uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    }
}

} // namespace

RandomBytes::RandomBytes() : state_(SystemSeed()) {}

// SplitMix64: every 64-bit state gives a well-mixed output.
std::uint64_t RandomBytes::Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void RandomBytes::Fill(unsigned char* out, std::size_t size) {
    for (std::size_t i = 0; i < size; i += 8) {
        std::uint64_t bits = Next();
        for (std::size_t j = i; j < size && j < i + 8; ++j, bits >>= 8) out[j] = static_cast<unsigned char>(bits);
    }
}

} // namespace parcelon

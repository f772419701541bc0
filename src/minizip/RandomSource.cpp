// Random numbers for minizip's encryption headers (ZipWithOwnRandom.c):
// each call reads the system's random source afresh through
// std::random_device, so no state is kept, shared between threads or taken
// from the host's rand().
#include <chrono>
#include <random>

extern "C" int parcelon_random_int(void) {
    // crypthead uses bits 7 to 14 of what rand() returns. Nothing may leave
    // this function as an exception: its caller is C.
    try {
        std::random_device source;
        return static_cast<int>(source() & 0x7FFFFFFFu);
    } catch (...) {
        // No random source: the clock still varies the header, which only
        // needs to differ, not to be secret.
        const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
        return static_cast<int>(static_cast<unsigned long long>(ticks) * 2654435761u & 0x7FFFFFFFu);
    }
}

#include "platform/TemporaryName.h"

#include <chrono>
#include <cstdint>
#include <cwchar>
#include <functional>
#include <thread>

namespace parcelon::platform {

std::wstring TemporaryNameBeside(const std::wstring& target, unsigned attempt) {
    const std::size_t separator = target.find_last_of(L"\\/");
    const std::wstring folder = separator == std::wstring::npos ? std::wstring() : target.substr(0, separator + 1);
    std::uint64_t mix = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    mix ^= static_cast<std::uint64_t>(std::hash<std::thread::id>()(std::this_thread::get_id())) * 0x9E3779B97F4A7C15ull;
    mix += attempt * 0xBF58476D1CE4E5B9ull;
    mix = (mix ^ (mix >> 31)) * 0x94D049BB133111EBull;
    mix ^= mix >> 29;
    wchar_t suffix[16];
    std::swprintf(suffix, 16, L".%08x.tmp", static_cast<unsigned>(mix & 0xFFFFFFFFu));
    return folder + L".parcelon" + suffix;
}

} // namespace parcelon::platform

#include "extract/StoredName.h"

#include <zlib.h>

#include "platform/Platform.h"
#include "text/Utf8.h"

namespace parcelon {

namespace {

constexpr std::uint16_t kUnicodePathField = 0x7075;

std::uint32_t Little(const std::string& bytes, std::size_t at, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = size; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// The UTF-8 name of a valid Unicode Path field for stored, if any.
bool UnicodePath(const std::string& stored, const std::string& extra, std::string& utf8) {
    std::size_t at = 0;
    while (at + 4 <= extra.size()) {
        const std::uint32_t tag = Little(extra, at, 2);
        const std::size_t size = Little(extra, at + 2, 2);
        if (at + 4 + size > extra.size()) return false;
        // Version 1, the CRC-32 of the stored name, then the name.
        if (tag == kUnicodePathField && size >= 5 && static_cast<unsigned char>(extra[at + 4]) == 1) {
            const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(stored.data()), static_cast<uInt>(stored.size()));
            if (Little(extra, at + 5, 4) != static_cast<std::uint32_t>(crc)) return false;
            utf8 = extra.substr(at + 9, size - 5);
            return true;
        }
        at += 4 + size;
    }
    return false;
}

} // namespace

std::wstring DecodeStoredName(const std::string& stored, std::uint16_t flags, const std::string& extra) {
    if ((flags & kFlagUtf8Name) != 0) return Utf8ToWide(stored);
    std::string utf8;
    if (UnicodePath(stored, extra, utf8)) return Utf8ToWide(utf8);
    return platform::AnsiToWide(stored);
}

} // namespace parcelon

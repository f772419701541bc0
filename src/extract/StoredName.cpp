#include "extract/StoredName.h"

#include <zlib.h>

#include "format/ZipFormat.h"
#include "platform/Platform.h"
#include "text/Utf8.h"

namespace parcelon {

namespace {

// The UTF-8 name of a valid Unicode Path field for stored, if any.
bool UnicodePath(const std::string& stored, const std::string& extra, std::string& utf8) {
    std::string_view body;
    if (!zip::FindExtraField(extra, zip::kUnicodePathField, body)) return false;
    // Version 1, the CRC-32 of the stored name, then the name.
    if (body.size() < 5 || body[0] != 1) return false;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(stored.data()), static_cast<uInt>(stored.size()));
    if (zip::Le32(zip::Bytes(body) + 1) != static_cast<std::uint32_t>(crc)) return false;
    utf8 = std::string(body.substr(5));
    return true;
}

} // namespace

std::wstring DecodeStoredName(const std::string& stored, std::uint16_t flags, const std::string& extra) {
    if ((flags & zip::kFlagUtf8Name) != 0) return Utf8ToWide(stored);
    std::string utf8;
    if (UnicodePath(stored, extra, utf8)) return Utf8ToWide(utf8);
    return platform::AnsiToWide(stored);
}

} // namespace parcelon

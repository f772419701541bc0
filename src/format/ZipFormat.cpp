#include "format/ZipFormat.h"

#include <algorithm>

namespace parcelon::zip {

bool FindExtraField(std::string_view extra, std::uint16_t tag, std::string_view& body) {
    std::size_t at = 0;
    while (at + 4 <= extra.size()) {
        const unsigned char* field = Bytes(extra) + at;
        const std::size_t size = Le16(field + 2);
        if (at + 4 + size > extra.size()) return false;
        if (Le16(field) == tag) {
            body = extra.substr(at + 4, size);
            return true;
        }
        at += 4 + size;
    }
    return false;
}

bool ReadZip64Field(std::string_view extra, std::uint64_t* size, std::uint64_t* compressed_size,
                    std::uint64_t* local_header_offset) {
    if (size == nullptr && compressed_size == nullptr && local_header_offset == nullptr) return true;
    std::string_view body;
    if (!FindExtraField(extra, kZip64Field, body)) return false;
    std::size_t at = 0;
    for (std::uint64_t* value : {size, compressed_size, local_header_offset}) {
        if (value == nullptr) continue;
        if (at + 8 > body.size()) return false;
        *value = Le64(Bytes(body) + at);
        at += 8;
    }
    return true;
}

bool ReadExtendedModificationTime(std::string_view extra, std::int64_t& seconds) {
    std::string_view body;
    // Flags (bit 0: a modification time follows), then the times, each a
    // signed 32-bit count of seconds.
    if (!FindExtraField(extra, kExtendedTimestampField, body) || body.size() < 5 || (body[0] & 1) == 0)
        return false;
    seconds = static_cast<std::int32_t>(Le32(Bytes(body) + 1));
    return true;
}

platform::SystemTime DosDateTimeFields(std::uint32_t dos_date_time) {
    const std::uint32_t time = dos_date_time & 0xFFFF;
    const std::uint32_t date = dos_date_time >> 16;
    platform::SystemTime fields;
    fields.year = static_cast<int>(1980 + (date >> 9));
    // A date of 0 (folder entries of many writers) names no day: the
    // first day DOS dates have.
    fields.month = std::max(1, static_cast<int>((date >> 5) & 0x0F));
    fields.day = std::max(1, static_cast<int>(date & 0x1F));
    fields.hour = static_cast<int>(time >> 11);
    fields.minute = static_cast<int>((time >> 5) & 0x3F);
    fields.second = static_cast<int>((time & 0x1F) * 2);
    return fields;
}

} // namespace parcelon::zip

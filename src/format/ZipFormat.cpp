#include "format/ZipFormat.h"

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

} // namespace parcelon::zip

// The ZIP format's vocabulary, shared by the writer and the reader: record
// signatures and sizes, general-purpose flag bits, method numbers,
// extra-field tags, and the little-endian fields everything is made of.
#ifndef PARCELON_ZIP_FORMAT_H
#define PARCELON_ZIP_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace parcelon::zip {

// ---------------------------------------------------------------- records

constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr std::uint32_t kDataDescriptorSignature = 0x08074B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;

// Fixed parts, without the variable fields that follow.
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kMaxComment = 0xFFFF;

// "Version needed to extract": Deflate and traditional encryption; ZIP64.
constexpr std::uint16_t kVersionDeflate = 20;
constexpr std::uint16_t kVersionZip64 = 45;

// A 16- or 32-bit field that holds this says "see the ZIP64 records".
constexpr std::uint16_t kSaturated16 = 0xFFFF;
constexpr std::uint32_t kSaturated32 = 0xFFFFFFFF;

// ---------------------------------------------------------------- flags

constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagLzmaEndMarker = 0x0002; // LZMA: an end marker ends the data
constexpr std::uint16_t kFlagDataDescriptor = 0x0008; // sizes and CRC follow the data
constexpr std::uint16_t kFlagStrongEncryption = 0x0040;
constexpr std::uint16_t kFlagUtf8Name = 0x0800;

// ---------------------------------------------------------------- methods

constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflated = 8;
constexpr std::uint16_t kMethodDeflate64 = 9;
constexpr std::uint16_t kMethodBzip2 = 12;
constexpr std::uint16_t kMethodLzma = 14;
constexpr std::uint16_t kMethodZstd = 93;
constexpr std::uint16_t kMethodXz = 95;
constexpr std::uint16_t kMethodAes = 99; // WinZip AES: the real method is in the AES extra field

// ---------------------------------------------------------------- extra fields

constexpr std::uint16_t kZip64Field = 0x0001;
constexpr std::uint16_t kExtendedTimestampField = 0x5455; // "UT"
constexpr std::uint16_t kUnicodePathField = 0x7075;       // Info-ZIP "up"
constexpr std::uint16_t kUnixOwnerField = 0x7875;         // Info-ZIP "ux"
constexpr std::uint16_t kAesField = 0x9901;               // WinZip AES

// ---------------------------------------------------------------- fields

inline std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t Le64(const unsigned char* p) {
    return static_cast<std::uint64_t>(Le32(p)) | static_cast<std::uint64_t>(Le32(p + 4)) << 32;
}
inline const unsigned char* Bytes(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

inline void Put16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}
inline void Put32(std::string& out, std::uint32_t value) {
    Put16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(value >> 16));
}
inline void Put64(std::string& out, std::uint64_t value) {
    Put32(out, static_cast<std::uint32_t>(value & 0xFFFFFFFF));
    Put32(out, static_cast<std::uint32_t>(value >> 32));
}

// ---------------------------------------------------------------- extra field parsing

// The body of the first field tagged tag in an extra field (a record's
// sequence of tag, size, body), or false when there is none. A field whose
// size runs past the end ends the search.
bool FindExtraField(std::string_view extra, std::uint16_t tag, std::string_view& body);

// The 64-bit values a ZIP64 field holds for a record's saturated fields,
// in the format's order (size, compressed size, local header offset); each
// pointer is null when its field is not saturated. False when the field is
// missing or too short for them.
bool ReadZip64Field(std::string_view extra, std::uint64_t* size, std::uint64_t* compressed_size,
                    std::uint64_t* local_header_offset);

// ---------------------------------------------------------------- times

// The modification time of an extended timestamp field (0x5455), in
// seconds since 1970 (UTC): false when there is none (no field, or its
// flags say it holds no modification time).
bool ReadExtendedModificationTime(std::string_view extra, std::int64_t& seconds);

// The calendar fields of a DOS date and time as records store them (time
// in the low 16 bits, date in the high): two-second steps, years from
// 1980. A month or day of 0 (a date of 0, as many writers give folder
// entries) comes out as 1; other fields out of range as they are stored.
platform::SystemTime DosDateTimeFields(std::uint32_t dos_date_time);

} // namespace parcelon::zip

#endif // PARCELON_ZIP_FORMAT_H

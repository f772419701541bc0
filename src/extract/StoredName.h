// What an entry's stored name means. Archives store names as bytes: UTF-8
// when the entry says so (general-purpose flag bit 11), otherwise text of
// the writer's code page, for which the ANSI code page is the best guess,
// unless an Info-ZIP Unicode Path extra field gives the name in UTF-8 too.
#ifndef PARCELON_STORED_NAME_H
#define PARCELON_STORED_NAME_H

#include <cstdint>
#include <string>

namespace parcelon {

// The name as wide text:
// - flag bit 11 set: the bytes are UTF-8;
// - else, when the central record's extra field holds a Unicode Path field
//   (0x7075, version 1) whose CRC-32 is that of the stored bytes (so no
//   tool renamed the entry since), the UTF-8 name it carries, as Info-ZIP's
//   unzip and 7-Zip read it;
// - else the bytes are ANSI text.
std::wstring DecodeStoredName(const std::string& stored, std::uint16_t flags, const std::string& extra);

} // namespace parcelon

#endif // PARCELON_STORED_NAME_H

// One file on its way into an archive, with everything packing it needs:
// where to read it, what to call its entry, and the size measured before
// packing began. The directory walk and ZipFiles make these; the file
// packer consumes them.
#ifndef PARCELON_PACK_ITEM_H
#define PARCELON_PACK_ITEM_H

#include <cstdint>
#include <string>

namespace parcelon {

struct PackItem {
    std::wstring path;      // the file, as the host or the walk named it
    std::wstring folder;    // the folder entry written before it ("sub\deep\"), or empty for none
    std::wstring name;      // its own entry name ("sub\deep\a.txt")
    std::uint64_t size = 0; // as measured before packing began
};

} // namespace parcelon

#endif // PARCELON_PACK_ITEM_H

// One file (or, in the portable style, folder) on its way into an archive,
// with everything packing it needs: where to read it, what to call its
// entry, and the size measured before packing began. The directory walk
// and ZipFiles make these; the file packer consumes them.
#ifndef PARCELON_PACK_ITEM_H
#define PARCELON_PACK_ITEM_H

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace parcelon {

struct PackItem {
    std::wstring path;      // the file, as the host or the walk named it
    std::wstring folder;    // the folder entry written before it ("sub\deep\"), or empty for none
    std::wstring name;      // its own entry name ("sub\deep\a.txt")
    std::uint64_t size = 0; // as measured before packing began
    // The portable style's items: a folder is an item of its own (path the
    // folder, name its entry name "sub\deep\", no folder before it), and
    // every item carries what its entry records of it.
    bool is_folder = false;
    platform::FileStamp stamp;
};

} // namespace parcelon

#endif // PARCELON_PACK_ITEM_H

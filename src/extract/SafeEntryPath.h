// What an entry's stored name may make the extraction write. Names come from
// the archive, so they are checked before any of them touches the disk:
// whatever the name, nothing may land outside the destination folder.
#ifndef PARCELON_SAFE_ENTRY_PATH_H
#define PARCELON_SAFE_ENTRY_PATH_H

#include <string>
#include <vector>

namespace parcelon {

struct EntryPath {
    // False for a name that could reach outside the destination: an
    // absolute one ("/x", "\x", "C:x"), one with a parent component (".."),
    // an empty one, one with a zero inside, or (on Windows) one with a
    // component the system takes for a device (CON, nul.txt).
    bool safe = false;
    // The name ends in "/" or "\": the entry stands for a folder.
    bool folder = false;
    // The folders the entry lies in, outermost first, each as the part of
    // the name up to (not including) a separator; for a folder entry the
    // last one is the folder itself. Empty and "." components are left out,
    // as they name no folder of their own.
    std::vector<std::wstring> folders;
};

// Takes the name as the file system will see it, in wide text; both "/" and
// "\" separate components, whatever the platform.
EntryPath ClassifyEntryName(const std::wstring& name);

} // namespace parcelon

#endif // PARCELON_SAFE_ENTRY_PATH_H

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
    // Where the folders the entry lies in end in the name, outermost first:
    // name.substr(0, end) names each (for a folder entry the last one is
    // the folder itself). Positions, not copies: a name 32,767 folders deep
    // costs as many numbers, not a gigabyte of prefixes. Empty and "."
    // components are left out, as they name no folder of their own.
    std::vector<std::size_t> folder_ends;
};

// Takes the name as the file system will see it, in wide text; both "/" and
// "\" separate components, whatever the platform.
EntryPath ClassifyEntryName(const std::wstring& name);

// The form under which two names reach the same file or folder, as far as
// the text tells: components joined by '/', without empty and "." ones,
// letters folded to one case (Windows' file names ignore it). Two entries
// may name one file by different texts; one's folder may be another's file.
std::wstring CanonicalEntryName(const std::wstring& name);

} // namespace parcelon

#endif // PARCELON_SAFE_ENTRY_PATH_H

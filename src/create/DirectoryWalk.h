// The directory walk that lists the files a directory operation packs:
// depth first, in the file system's own order, with the name filters and
// the age test applied to each file. It names each file's entry as it
// descends, relative to the folder it started from.
#ifndef PARCELON_DIRECTORY_WALK_H
#define PARCELON_DIRECTORY_WALK_H

#include <atomic>
#include <string>
#include <vector>

#include "create/FileAge.h"
#include "create/PackItem.h"
#include "create/ArchiveWriter.h"
#include "messages/Messages.h"
#include "platform/Platform.h"

namespace parcelon {

// What the walk must never list, where it reads the time, and whether it
// lists folders.
struct WalkGuards {
    // The archive being written, and the one it replaces: never listed,
    // wherever they lie in the tree.
    std::vector<ArchiveFile> archives;
    const TimeSource* time = &SystemTimeSource();
    // A stop ends the walk where it stands (the files listed so far stay
    // listed); the operation then packs nothing more anyway.
    const std::atomic<bool>* stop = nullptr;
    // Told of the archive met in the tree (no line: the class says nothing
    // of it); may be null.
    Diagnostics* diagnostics = nullptr;
    // The portable style: each folder below dir is an item of its own
    // (is_folder, named "sub\deep\"), listed before its contents, and its
    // files get no folder entry of their own. Without filters and age test
    // every folder is listed, empty ones too; with them, only the folders
    // that lead to a listed file, so that what was left out leaves no
    // empty folders behind.
    bool folder_items = false;
};

// Appends an item for every file below dir (dir's own files only unless
// bRecursive) that passes the name filters and, when nMinutes > 0, the age
// test, and adds their sizes to total; never clears either. Entry names are
// relative to dir, with a folder entry for each file below it; when dir is
// empty (the current folder) each entry is named by its file name alone. A
// folder link that leads back to a folder on the current descent path is
// not entered again; entries that are neither files nor folders are passed
// over.
void CollectFilteredFiles(std::vector<PackItem>& list, long long& total, const std::wstring& dir, bool bRecursive,
                          const std::vector<std::wstring>& vecIncludes, const std::vector<std::wstring>& vecExcludes,
                          int nMinutes, const WalkGuards& guards = WalkGuards());

// The same walk with nothing to filter by name.
void CollectFiles(std::vector<PackItem>& list, long long& total, const std::wstring& dir, bool recurse, int minutes,
                  const WalkGuards& guards = WalkGuards());

} // namespace parcelon

#endif // PARCELON_DIRECTORY_WALK_H

// The folders an entry lies in, made beneath the destination where they are
// missing. Folders made (or found) for earlier entries are not asked about
// again, within a bounded memory: archives hold thousands of entries in a
// few folders, and a hostile one may name a folder 32,767 levels deep.
#ifndef PARCELON_ENTRY_FOLDERS_H
#define PARCELON_ENTRY_FOLDERS_H

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <string_view>

#include "extract/SafeEntryPath.h"

namespace parcelon {

class EntryFolders {
public:
    // dest_prefix is the destination with a separator at its end.
    explicit EntryFolders(std::wstring dest_prefix);

    // Makes each folder of path (a name ClassifyEntryName called safe) that
    // is missing; false when one cannot be made. made_from (when given)
    // becomes the index in path.folder_ends of the first folder this call
    // created (every deeper one was created too), or their count when it
    // created none.
    bool Make(const std::wstring& name, const EntryPath& path, std::size_t* made_from = nullptr);

    // Removes the folders a Make call created (from made_from on), deepest
    // first, where they are still empty: an entry given up after its
    // folders were made leaves none behind.
    void Unmake(const std::wstring& name, const EntryPath& path, std::size_t made_from);

private:
    bool Known(std::wstring_view folder) const;
    void Remember(std::wstring_view folder);

    std::wstring dest_prefix_;
    std::set<std::wstring, std::less<>> known_;
    // (Folders given up on are forgotten: the cache is cleared.)
    std::size_t known_units_ = 0;
};

} // namespace parcelon

#endif // PARCELON_ENTRY_FOLDERS_H

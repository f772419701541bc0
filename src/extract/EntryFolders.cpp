#include "extract/EntryFolders.h"

#include "platform/Platform.h"

namespace parcelon {

namespace {

// What the cache keeps: folders of ordinary length, up to a bound in all.
// A longer folder is simply asked about again; when the bound is reached
// the cache starts afresh.
constexpr std::size_t kLongestKept = 4096;         // code units
constexpr std::size_t kMostUnitsKept = 512 * 1024; // about 2 MiB of names
constexpr std::size_t kMostFoldersKept = 16 * 1024;

} // namespace

EntryFolders::EntryFolders(std::wstring dest_prefix) : dest_prefix_(std::move(dest_prefix)) {}

bool EntryFolders::Known(std::wstring_view folder) const {
    return folder.size() <= kLongestKept && known_.find(folder) != known_.end();
}

void EntryFolders::Remember(std::wstring_view folder) {
    if (folder.size() > kLongestKept) return;
    if (known_units_ + folder.size() > kMostUnitsKept || known_.size() >= kMostFoldersKept) {
        known_.clear();
        known_units_ = 0;
    }
    if (known_.emplace(folder).second) known_units_ += folder.size();
}

bool EntryFolders::Make(const std::wstring& name, const EntryPath& path, std::size_t* made_from) {
    const std::wstring_view text(name);
    std::size_t first_made = path.folder_ends.size();
    if (made_from != nullptr) *made_from = first_made;
    // A folder known to be there has every folder above it there too:
    // start below the deepest one known.
    std::size_t first = path.folder_ends.size();
    while (first > 0 && !Known(text.substr(0, path.folder_ends[first - 1]))) --first;
    std::wstring folder;
    for (std::size_t i = first; i < path.folder_ends.size(); ++i) {
        const std::wstring_view relative = text.substr(0, path.folder_ends[i]);
        folder.assign(dest_prefix_).append(relative);
        bool created = false;
        if (!platform::MakeDirectory(folder, &created)) return false;
        if (created && first_made == path.folder_ends.size()) first_made = i;
        if (made_from != nullptr) *made_from = first_made;
        Remember(relative);
    }
    return true;
}

void EntryFolders::Unmake(const std::wstring& name, const EntryPath& path, std::size_t made_from) {
    if (made_from >= path.folder_ends.size()) return;
    known_.clear();
    known_units_ = 0;
    for (std::size_t i = path.folder_ends.size(); i-- > made_from;)
        platform::RemoveEmptyDirectory(dest_prefix_ + name.substr(0, path.folder_ends[i]));
}

} // namespace parcelon

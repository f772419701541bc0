#include "create/DirectoryWalk.h"

#include <algorithm>

#include "create/NameFilters.h"
#include "text/PathText.h"

namespace parcelon {

namespace {

struct Walk {
    std::vector<PackItem>& list;
    long long& total;
    bool recursive;
    bool relative_names; // false: every entry is named by its file name alone
    const std::vector<std::wstring>& includes;
    const std::vector<std::wstring>& excludes;
    int minutes;
    const WalkGuards& guards;
    std::vector<platform::FileIdentity> descent; // folders being walked, outermost first

    bool Stopped() const { return guards.stop != nullptr && guards.stop->load(std::memory_order_relaxed); }

    // prefix: the folder's path, ending in a backslash (or empty for the
    // current folder); folder: its entry name relative to where the walk
    // started ("sub\deep\"), empty at the start.
    void Directory(const std::wstring& prefix, const std::wstring& folder) {
        platform::FileIdentity identity;
        const bool known = platform::GetFileIdentity(prefix, identity);
        if (known && std::find(descent.begin(), descent.end(), identity) != descent.end()) return;

        platform::DirectoryListing listing(prefix);
        if (!listing.IsOpen()) return;
        if (known) descent.push_back(identity);

        platform::DirectoryEntry entry;
        while (!Stopped() && listing.Next(entry)) {
            if (entry.name == L"." || entry.name == L"..") continue;
            if (entry.kind == platform::EntryKind::Directory) {
                if (recursive) Directory(prefix + entry.name + L'\\', folder + entry.name + L'\\');
                continue;
            }
            if (entry.kind != platform::EntryKind::File) continue;

            PackItem item;
            item.path = prefix + entry.name;
            if (!PassesNameFilters(item.path, includes, excludes)) continue;
            if (minutes > 0 && !IsModifiedWithin(item.path, minutes, *guards.time)) continue;
            if (IsOneOf(item.path, entry.size, guards.archives)) {
                if (guards.diagnostics != nullptr) guards.diagnostics->Report(PackFailure::SourceIsArchive, item.path);
                continue;
            }
            if (relative_names) {
                item.folder = folder;
                item.name = folder + entry.name;
            } else {
                item.name = entry.name;
            }
            item.size = entry.size;
            total += static_cast<long long>(entry.size);
            list.push_back(std::move(item));
        }
        if (known) descent.pop_back();
    }
};

} // namespace

void CollectFilteredFiles(std::vector<PackItem>& list, long long& total, const std::wstring& dir, bool bRecursive,
                          const std::vector<std::wstring>& vecIncludes, const std::vector<std::wstring>& vecExcludes,
                          int nMinutes, const WalkGuards& guards) {
    std::wstring prefix = dir;
    AppendBackslash(prefix);
    Walk walk{list, total, bRecursive, !prefix.empty(), vecIncludes, vecExcludes, nMinutes, guards, {}};
    walk.Directory(prefix, std::wstring());
}

void CollectFiles(std::vector<PackItem>& list, long long& total, const std::wstring& dir, bool recurse, int minutes,
                  const WalkGuards& guards) {
    const std::vector<std::wstring> none;
    CollectFilteredFiles(list, total, dir, recurse, none, none, minutes, guards);
}

} // namespace parcelon

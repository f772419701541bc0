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
    bool every_folder; // folder items: empty folders too (nothing is filtered out)
    std::vector<platform::FileIdentity> descent; // folders being walked, outermost first
    std::vector<PackItem> pending; // folder items not yet listed, outermost first

    bool Stopped() const { return guards.stop != nullptr && guards.stop->load(std::memory_order_relaxed); }

    // The folder items that lead to what is listed next.
    void ListPending() {
        for (PackItem& folder : pending) list.push_back(std::move(folder));
        pending.clear();
    }

    // prefix: the folder's path, ending in a backslash (or empty for the
    // current folder); folder: its entry name relative to where the walk
    // started ("sub\deep\"), empty at the start; stamp: its own, from its
    // parent's listing.
    void Directory(const std::wstring& prefix, const std::wstring& folder, const platform::FileStamp& stamp) {
        platform::FileIdentity identity;
        const bool known = platform::GetFileIdentity(prefix, identity);
        if (known && std::find(descent.begin(), descent.end(), identity) != descent.end()) return;

        const bool folder_item = guards.folder_items && relative_names && !folder.empty();
        if (folder_item) {
            PackItem item;
            item.path = prefix;
            item.name = folder;
            item.is_folder = true;
            item.stamp = stamp;
            pending.push_back(std::move(item));
            if (every_folder) ListPending();
        }
        Contents(prefix, folder, known, identity);
        // Nothing listed below it: it leaves no trace.
        if (folder_item && !pending.empty()) pending.pop_back();
    }

    void Contents(const std::wstring& prefix, const std::wstring& folder, bool known,
                  const platform::FileIdentity& identity) {
        platform::DirectoryListing listing(prefix);
        if (!listing.IsOpen()) return;
        if (known) descent.push_back(identity);

        platform::DirectoryEntry entry;
        while (!Stopped() && listing.Next(entry)) {
            if (entry.name == L"." || entry.name == L"..") continue;
            if (entry.kind == platform::EntryKind::Directory) {
                if (recursive) Directory(prefix + entry.name + L'\\', folder + entry.name + L'\\', entry.stamp);
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
                if (!guards.folder_items) item.folder = folder;
                item.name = folder + entry.name;
            } else {
                item.name = entry.name;
            }
            item.size = entry.size;
            item.stamp = entry.stamp;
            total += static_cast<long long>(entry.size);
            ListPending();
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
    const bool filtered = !vecIncludes.empty() || !vecExcludes.empty() || nMinutes > 0;
    Walk walk{list, total, bRecursive, !prefix.empty(), vecIncludes, vecExcludes, nMinutes, guards, !filtered, {}, {}};
    walk.Directory(prefix, std::wstring(), platform::FileStamp());
}

void CollectFiles(std::vector<PackItem>& list, long long& total, const std::wstring& dir, bool recurse, int minutes,
                  const WalkGuards& guards) {
    const std::vector<std::wstring> none;
    CollectFilteredFiles(list, total, dir, recurse, none, none, minutes, guards);
}

} // namespace parcelon

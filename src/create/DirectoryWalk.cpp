#include "create/DirectoryWalk.h"

#include <algorithm>

#include "create/NameFilters.h"
#include "text/TextHelpers.h"

namespace parcelon {

namespace {

struct Walk {
    std::vector<std::wstring>& list;
    long long& total;
    bool recursive;
    const std::vector<std::wstring>& includes;
    const std::vector<std::wstring>& excludes;
    int minutes;
    const WalkGuards& guards;
    std::vector<platform::FileIdentity> descent; // directories being walked, outermost first

    bool IsArchive(const std::wstring& path, unsigned long long size) const {
        // Only a file of the archive's current size can be the archive, so
        // most files never cost a second look-up.
        if (!guards.has_archive || size != guards.archive_size) return false;
        platform::FileIdentity identity;
        return platform::GetFileIdentity(path.c_str(), identity) && identity == guards.archive;
    }

    void Directory(const std::wstring& dir_text) {
        std::wstring prefix = dir_text;
        AppendBackslash(prefix);

        platform::FileIdentity identity;
        const bool known = platform::GetFileIdentity(prefix.c_str(), identity);
        if (known && std::find(descent.begin(), descent.end(), identity) != descent.end()) return;

        platform::DirectoryListing listing(prefix);
        if (!listing.IsOpen()) return;
        if (known) descent.push_back(identity);

        platform::DirectoryEntry entry;
        while (listing.Next(entry)) {
            if (entry.name == L"." || entry.name == L"..") continue;
            if (entry.kind == platform::EntryKind::Directory) {
                if (recursive) {
                    std::wstring sub = prefix + entry.name;
                    AppendBackslash(sub);
                    Directory(sub);
                }
                continue;
            }
            if (entry.kind != platform::EntryKind::File) continue;

            std::wstring path = prefix + entry.name;
            if (!PassesNameFilters(path, includes, excludes)) continue;
            if (minutes > 0 && !IsModifiedWithin(path.c_str(), minutes, *guards.time)) continue;
            if (IsArchive(path, entry.size)) continue;
            total += static_cast<long long>(entry.size);
            list.push_back(std::move(path));
        }
        if (known) descent.pop_back();
    }
};

} // namespace

void CollectFilteredFiles(std::vector<std::wstring>& list, long long& total, const wchar_t* dir,
                          bool bRecursive, const std::vector<std::wstring>& vecIncludes,
                          const std::vector<std::wstring>& vecExcludes, int nMinutes,
                          const WalkGuards& guards) {
    Walk walk{list, total, bRecursive, vecIncludes, vecExcludes, nMinutes, guards, {}};
    walk.Directory(dir != nullptr ? dir : L"");
}

void CollectFiles(std::vector<std::wstring>& list, long long& total, const wchar_t* dir, bool recurse,
                  int minutes, const WalkGuards& guards) {
    const std::vector<std::wstring> none;
    CollectFilteredFiles(list, total, dir, recurse, none, none, minutes, guards);
}

} // namespace parcelon

#include "create/EntryNames.h"

#include "text/TextHelpers.h"

namespace parcelon {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Length of base_dir without the run of separators it ends in.
std::size_t LengthWithoutTrailingSeparators(const std::wstring& base_dir) {
    std::size_t length = base_dir.size();
    while (length > 0 && IsSeparator(base_dir[length - 1])) --length;
    return length;
}

std::string FileNameOnly(const std::string& ansi_path) {
    const char* name = FindFileName(ansi_path.c_str());
    return name != nullptr ? std::string(name) : ansi_path;
}

} // namespace

EntryNames MakeEntryNames(const std::wstring& base_dir, const wchar_t* wide_path,
                          const std::string& ansi_path) {
    EntryNames names;
    if (base_dir.empty()) {
        names.file = FileNameOnly(ansi_path);
        return names;
    }
    std::wstring folder = GetParentDir(wide_path);
    AppendBackslash(folder);
    const std::string ansi_base = ToAnsi(base_dir.c_str());
    if (ansi_path.size() < ansi_base.size()) {
        names.file = FileNameOnly(ansi_path);
        return names;
    }
    if (folder.size() < base_dir.size()) {
        // A base given with a trailing slash ("D:/data/" becomes
        // "D:/data/\"): the parent of a file directly inside it loses the
        // doubled separator and comes out one unit short. Such a file lies in
        // the base itself; anything shorter still lies outside it.
        if (folder.size() <= LengthWithoutTrailingSeparators(base_dir)) {
            names.file = FileNameOnly(ansi_path);
            return names;
        }
        names.file = ansi_path.substr(ansi_base.size());
        return names;
    }
    const std::wstring relative_folder = folder.substr(base_dir.size());
    if (!relative_folder.empty()) names.folder = ToAnsi(relative_folder.c_str());
    names.file = ansi_path.substr(ansi_base.size());
    return names;
}

} // namespace parcelon

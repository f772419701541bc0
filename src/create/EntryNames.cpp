#include "create/EntryNames.h"

#include "text/TextHelpers.h"

namespace parcelon {

namespace {

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
    if (folder.size() < base_dir.size() || ansi_path.size() < ansi_base.size()) {
        names.file = FileNameOnly(ansi_path);
        return names;
    }
    const std::wstring relative_folder = folder.substr(base_dir.size());
    if (!relative_folder.empty()) names.folder = ToAnsi(relative_folder.c_str());
    names.file = ansi_path.substr(ansi_base.size());
    return names;
}

} // namespace parcelon

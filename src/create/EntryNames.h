// How a packed file is named inside the archive.
#ifndef PARCELON_ENTRY_NAMES_H
#define PARCELON_ENTRY_NAMES_H

#include <string>

namespace parcelon {

struct EntryNames {
    std::string folder; // folder entry written before the file ("sub\deep\"), or empty
    std::string file;   // the file's own entry name
};

// Names the entry for the file at wide_path (whose ANSI text is ansi_path):
// - base_dir empty: the file name alone (after the last '/', else after the
//   last '\'; the whole path when it has neither);
// - otherwise the path relative to base_dir, whose leading units are cut off
//   uncompared, with a folder entry for the file's own folder when it lies
//   below base_dir. A path shorter than base_dir is named as if base_dir
//   were empty.
EntryNames MakeEntryNames(const std::wstring& base_dir, const wchar_t* wide_path,
                          const std::string& ansi_path);

} // namespace parcelon

#endif // PARCELON_ENTRY_NAMES_H

// Packing the host's list of files into a new archive.
#ifndef PARCELON_ZIP_FILES_H
#define PARCELON_ZIP_FILES_H

#include <string>
#include <vector>

#include "create/PackItem.h"
#include "create/PackingState.h"
#include "messages/Messages.h"

namespace parcelon {

// How a listed file is named. This is where the base folder that the
// object's last ZipDirectory left behind carries over into ZipFiles:
// - a file below the base folder is named as that ZipDirectory would name
//   it: its path below the base, with backslashes, and a folder entry for
//   its own folder when that is not the base itself;
// - any other file (and every file when there is no base folder) by its
//   file name alone: after the last '/' or, when there is none, after the
//   last '\' (the whole path when it has neither).
// The size is the file's as it is now (0 when it cannot be found).
PackItem MakeListItem(const std::wstring& base_dir, const std::wstring& path);

// Packs the one file at path into zip, an archive the caller opened,
// naming it as ZipFiles would; reports a failure and says false.
bool AddListedFile(PackingState& state, void* zip, const wchar_t* path, unsigned int level, const char* password,
                   Diagnostics& diagnostics);

// Packs vecFiles, in their order, into a new archive at szZipFile; see
// CParcelon::ZipFiles.
bool ZipFiles(PackingState& state, const std::vector<std::wstring>& vecFiles, const wchar_t* szZipFile,
              unsigned int nLevel, const char* szPassword, Diagnostics& diagnostics);

} // namespace parcelon

#endif // PARCELON_ZIP_FILES_H

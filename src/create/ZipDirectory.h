// Packing a directory tree into a new archive. Both overloads of
// CParcelon::ZipDirectory come here; the one without lists filters nothing.
#ifndef PARCELON_ZIP_DIRECTORY_H
#define PARCELON_ZIP_DIRECTORY_H

#include <string>
#include <vector>

#include "create/PackingState.h"
#include "messages/Messages.h"

namespace parcelon {

// See CParcelon::ZipDirectory. Sets the object's base folder to szSrcDir
// (with a trailing backslash) before anything else can fail.
bool ZipDirectory(PackingState& state, const wchar_t* szSrcDir, const wchar_t* szZipFile,
                  const std::vector<std::wstring>& vecIncludes, const std::vector<std::wstring>& vecExcludes,
                  bool bRecursive, unsigned int nLevel, const char* szPassword, int nMinutes,
                  Diagnostics& diagnostics);

} // namespace parcelon

#endif // PARCELON_ZIP_DIRECTORY_H

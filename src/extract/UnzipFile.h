// Extracting every entry of an archive into an existing folder.
#ifndef PARCELON_UNZIP_FILE_H
#define PARCELON_UNZIP_FILE_H

#include <string>

#include "messages/Messages.h"

namespace parcelon {

// See CParcelon::UnzipFile, which hands its ANSI paths over as wide text
// (a null path as an empty one). One pass in central-directory order that
// stops at the first failure, with exactly one report for it.
bool UnzipFile(const std::wstring& zip_path, const std::wstring& dest_dir, const char* password,
               Diagnostics& diagnostics);

} // namespace parcelon

#endif // PARCELON_UNZIP_FILE_H

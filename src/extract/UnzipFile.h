// Extracting every entry of an archive into an existing folder.
#ifndef PARCELON_UNZIP_FILE_H
#define PARCELON_UNZIP_FILE_H

#include "messages/Messages.h"

namespace parcelon {

// See CParcelon::UnzipFile. One pass in central-directory order that stops
// at the first failure, with exactly one report for it.
bool UnzipFile(const char* szZipFile, const char* szDestDir, const char* szPassword, Diagnostics& diagnostics);

} // namespace parcelon

#endif // PARCELON_UNZIP_FILE_H

// minizip's file functions over the platform's own: archives are opened by
// their wide path (so a name any code page lacks still works), and read,
// written and sought with 64-bit positions.
#ifndef PARCELON_MINIZIP_FILE_FUNCTIONS_H
#define PARCELON_MINIZIP_FILE_FUNCTIONS_H

#include <ioapi.h>

namespace parcelon {

// The functions to hand to zipOpen2_64 and unzOpen2_64; the path those take
// is then a pointer to a std::wstring.
zlib_filefunc64_def PlatformFileFunctions();

} // namespace parcelon

#endif // PARCELON_MINIZIP_FILE_FUNCTIONS_H

// minizip's file functions over the platform's own: archives are opened by
// their wide path (so a name any code page lacks still works), and read,
// written and sought with 64-bit positions.
#ifndef PARCELON_MINIZIP_FILE_FUNCTIONS_H
#define PARCELON_MINIZIP_FILE_FUNCTIONS_H

#include <ioapi.h>

#include <cstdio>
#include <string>

namespace parcelon {

// What zipOpen2_64 and unzOpen2_64 are given as the "path": a stream the
// caller has opened already (which minizip then owns and closes), or else
// the wide path of the file to open.
struct ArchiveStream {
    std::FILE* file = nullptr;
    std::wstring path;
};

// The functions to hand to zipOpen2_64 and unzOpen2_64, with a pointer to
// an ArchiveStream as the path.
zlib_filefunc64_def PlatformFileFunctions();

} // namespace parcelon

#endif // PARCELON_MINIZIP_FILE_FUNCTIONS_H

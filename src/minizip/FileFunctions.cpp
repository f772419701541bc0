#include "minizip/FileFunctions.h"

#include <cstdio>
#include <string>

#include "platform/Platform.h"

namespace parcelon {

namespace {

std::FILE* Stream(voidpf stream) { return static_cast<std::FILE*>(stream); }

voidpf ZCALLBACK Open(voidpf, const void* path, int mode) {
    if (path == nullptr) return nullptr;
    const ArchiveStream& stream = *static_cast<const ArchiveStream*>(path);
    if (stream.file != nullptr) return stream.file;
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ) return platform::OpenForRead(stream.path);
    // Creating is all the library does besides reading; appending to an
    // existing archive is never asked for.
    if ((mode & ZLIB_FILEFUNC_MODE_CREATE) != 0) return platform::OpenForWrite(stream.path);
    return nullptr;
}

uLong ZCALLBACK Read(voidpf, voidpf stream, void* buffer, uLong size) {
    return static_cast<uLong>(std::fread(buffer, 1, size, Stream(stream)));
}

uLong ZCALLBACK Write(voidpf, voidpf stream, const void* buffer, uLong size) {
    return static_cast<uLong>(std::fwrite(buffer, 1, size, Stream(stream)));
}

ZPOS64_T ZCALLBACK Tell(voidpf, voidpf stream) {
    const std::int64_t position = platform::TellFile(Stream(stream));
    return position < 0 ? static_cast<ZPOS64_T>(-1) : static_cast<ZPOS64_T>(position);
}

long ZCALLBACK Seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    int whence = SEEK_SET;
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_CUR: whence = SEEK_CUR; break;
    case ZLIB_FILEFUNC_SEEK_END: whence = SEEK_END; break;
    case ZLIB_FILEFUNC_SEEK_SET: whence = SEEK_SET; break;
    default: return -1;
    }
    return platform::SeekFile(Stream(stream), static_cast<std::int64_t>(offset), whence) ? 0 : -1;
}

int ZCALLBACK Close(voidpf, voidpf stream) { return platform::CloseFile(Stream(stream)) ? 0 : EOF; }

int ZCALLBACK Error(voidpf, voidpf stream) { return std::ferror(Stream(stream)); }

} // namespace

zlib_filefunc64_def PlatformFileFunctions() {
    zlib_filefunc64_def functions {};
    functions.zopen64_file = Open;
    functions.zread_file = Read;
    functions.zwrite_file = Write;
    functions.ztell64_file = Tell;
    functions.zseek64_file = Seek;
    functions.zclose_file = Close;
    functions.zerror_file = Error;
    functions.opaque = nullptr;
    return functions;
}

} // namespace parcelon

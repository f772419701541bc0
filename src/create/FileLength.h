#ifndef PARCELON_FILE_LENGTH_H
#define PARCELON_FILE_LENGTH_H

namespace parcelon {

// Size in bytes of the file at the wide path; 0 when it does not exist or
// its size cannot be read (a path ending in a separator, a drive root).
long long GetFileLength(const wchar_t* path);

} // namespace parcelon

#endif // PARCELON_FILE_LENGTH_H

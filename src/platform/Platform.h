// The one door to the operating system. Everything the library needs from
// Windows (or, elsewhere, the POSIX equivalent that behaves like Windows for
// the rest of the library) is declared here; Platform_win32.cpp and
// Platform_posix.cpp are the two backends. No other source file includes
// <windows.h> or POSIX headers.
//
// Paths: wide paths are the host's UTF-16 (UTF-32 on POSIX) text; narrow
// paths are "ANSI" text, i.e. bytes in the system ANSI code page (on POSIX
// the character set of the environment's locale). Both '\' and '/' separate
// path components on every platform.
#ifndef PARCELON_PLATFORM_H
#define PARCELON_PLATFORM_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace parcelon::platform {

// ---------------------------------------------------------------- text

// WideCharToMultiByte(CP_ACP, 0, text, -1, ...): the ANSI bytes of text up to
// its terminator. Characters the code page lacks become the platform's
// default character ('?'). Null or unconvertible input gives "".
std::string WideToAnsi(const wchar_t* text);

// While alive, the text conversions on the calling thread look up the
// system ANSI code page once instead of at every call: an operation that
// converts thousands of names holds one. Scopes nest; an inner one keeps
// what the outermost read. (POSIX reads the locale's character set, which
// costs a file mapping each time; Windows has nothing to keep.)
class CodePageScope {
public:
    CodePageScope();
    ~CodePageScope();
    CodePageScope(const CodePageScope&) = delete;
    CodePageScope& operator=(const CodePageScope&) = delete;

private:
    std::string charset_;
    const std::string* outer_;
};

// The path as the OS file API takes it: on POSIX every '\' becomes '/'; on
// Windows the text is unchanged. Use it just before handing an ANSI path to
// a C runtime or ZIP library call that opens files.
std::string NativePath(const std::string& ansi_path);

// ---------------------------------------------------------------- files

// PathFileExistsW: true for an existing file or directory.
bool PathExists(const wchar_t* path);

// _access(path, 4) == 0: the ANSI path names something readable.
bool AccessReadable(const char* ansi_path);

// True when the ANSI path names an existing directory.
bool DirectoryExists(const char* ansi_path);

// Creates one directory (its parent must exist). True when it was created or
// already is a directory.
bool MakeDirectory(const char* ansi_path);

struct FileRecord {
    bool is_directory = false;
    std::uint64_t size = 0; // 0 for directories
};

// FindFirstFileW on the path itself (then FindClose): false when no entry is
// found, as for a missing path, a path that ends in a separator or a root.
bool FindFile(const wchar_t* path, FileRecord& record);

struct FileCloser {
    void operator()(std::FILE* file) const noexcept;
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// fopen(path, "rb"), refusing anything that is not a regular file (a
// directory fails, as it does on Windows; a FIFO is never waited on).
std::FILE* OpenForRead(const char* ansi_path);

// fopen_s(path, "rb"): as OpenForRead; on Windows the open also denies other
// writers while the file is open.
std::FILE* OpenForReadDenyWrite(const char* ansi_path);

// fopen(path, "wb"): creates or truncates.
std::FILE* OpenForWrite(const char* ansi_path);

// Closes a stream and says whether everything buffered reached the file.
bool CloseFile(std::FILE* file);

// Windows error codes that callers test for.
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorAccessDenied = 5;

// DeleteFileW: 0 on success, else the GetLastError code. A missing file
// gives 2, a missing folder 3; a directory or a read-only file cannot be
// deleted (5).
std::uint32_t DeleteFile(const wchar_t* path);

// What makes two paths name the same file or directory: device and inode on
// POSIX, volume serial number and file index on Windows. Links are followed.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index_high = 0;
    std::uint64_t index_low = 0;
    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && index_high == other.index_high &&
               index_low == other.index_low;
    }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};
bool GetFileIdentity(const wchar_t* path, FileIdentity& identity);

// ---------------------------------------------------------------- directories

enum class EntryKind { File, Directory, Other };

struct DirectoryEntry {
    std::wstring name;           // as the enumeration gives it; "." and ".." included
    EntryKind kind = EntryKind::Other;
    std::uint64_t size = 0;      // of a file, from the enumeration record
};

// FindFirstFileW(directory + "*.*") / FindNextFileW / FindClose, in the file
// system's own order. On POSIX a link counts as what it leads to, and
// anything that is neither a regular file nor a directory is EntryKind::Other.
class DirectoryListing {
public:
    // directory must end in a separator.
    explicit DirectoryListing(const std::wstring& directory);
    ~DirectoryListing();
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;

    bool IsOpen() const;
    // Fills entry with the next entry; false at the end.
    bool Next(DirectoryEntry& entry);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// ---------------------------------------------------------------- time

// SYSTEMTIME's fields.
struct SystemTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int milliseconds = 0;
};

// _time64 then _localtime64_s: the present moment in local calendar fields
// (milliseconds 0). False when the conversion fails.
bool CurrentLocalTime(SystemTime& now);

enum class FileTimeLookup { Found, NotFound, Unconvertible };

// The last-write time of the file at path (FindFirstFileW), turned into local
// time with the time-zone bias in force now (FileTimeToLocalFileTime) and
// into calendar fields with milliseconds (FileTimeToSystemTime).
FileTimeLookup FileLastWriteLocal(const wchar_t* path, SystemTime& local);

// The OLE Automation date conversions (SystemTimeToVariantTime, which
// ignores milliseconds, and VariantTimeToSystemTime). False when the
// platform refuses the value.
bool SystemTimeToVariantTime(const SystemTime& time, double& days);
bool VariantTimeToSystemTime(double days, SystemTime& time);

} // namespace parcelon::platform

#endif // PARCELON_PLATFORM_H

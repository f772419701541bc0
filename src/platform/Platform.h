// The one door to the operating system: text in the system's code page,
// files, folders, the clock and threads, offered as the library needs them.
// Platform_win32.cpp and Platform_posix.cpp are the two backends, side by
// side; no other source file includes <windows.h> or a POSIX header.
//
// Paths are wide text as the host gives it (UTF-16 on Windows, UTF-32
// elsewhere), and both '\' and '/' separate their components on every
// platform. "ANSI" text is narrow text in the system ANSI code page; on
// POSIX that is the character set of the environment's locale, read without
// touching the process's own locale.
#ifndef PARCELON_PLATFORM_H
#define PARCELON_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

namespace parcelon::platform {

// ---------------------------------------------------------------- text

// The ANSI bytes of text. Characters the code page lacks come out as the
// system's default conversion makes them (best fit, or '?').
std::string WideToAnsi(std::wstring_view text);

// Wide text from ANSI bytes. On POSIX this is lossless: a byte that does not
// decode in the locale's character set becomes a code unit of its own
// (U+DC80 + byte - 0x80) that every conversion back turns into that byte
// again, so a file name of any bytes survives the trip through wide text.
std::wstring AnsiToWide(std::string_view text);

// The length in bytes of the character that starts text, in the ANSI code
// page (a double-byte character, such as GBK's D5 5C, is 2); 1 for a byte
// that starts no valid character; 0 for empty text.
std::size_t AnsiCharLength(std::string_view text);

// While alive, the conversions on the calling thread look the code page up
// once instead of at every call: an operation that converts thousands of
// names holds one. Scopes nest; an inner one keeps what the outermost read.
// (POSIX reads the locale's character set, which costs a file mapping each
// time; Windows has nothing to keep.)
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

// True when the file system takes a path component of this name for a
// device rather than a file: on Windows CON, PRN, AUX, NUL, COM1 to COM9,
// LPT1 to LPT9 (and COM and LPT with a superscript 1, 2 or 3), CONIN$ and
// CONOUT$, in any case, with any extension (nul.txt), trailing dots and
// spaces ignored. Elsewhere no name is.
bool IsDeviceName(std::wstring_view component);

// ---------------------------------------------------------------- files

// Something, a file or a folder, exists at path.
bool PathExists(const std::wstring& path);

// The path names something the process may read (a folder counts).
bool IsReadable(const std::wstring& path);

// What a portable archive records of a file or folder besides its data:
// when it was last written, and its permissions as the system keeps them.
struct FileStamp {
    std::int64_t modified = 0;   // last write, seconds since 1970 (UTC)
    std::uint32_t mode = 0;      // POSIX: st_mode, type and permission bits; 0 on Windows
    std::uint32_t attributes = 0; // Windows: the file attributes (read-only, hidden...); 0 elsewhere
};

struct FileStatus {
    bool is_directory = false;
    std::uint64_t size = 0; // 0 for folders
    FileStamp stamp;
};

// Looks up the entry path names itself, without following it into a folder:
// false when nothing is found, and for a path that ends in a separator or
// is a root, which name a folder's contents rather than an entry.
bool LookUpEntry(const std::wstring& path, FileStatus& status);

// A folder exists at path (an empty path is the current folder).
bool DirectoryExists(const std::wstring& path);

// Creates one folder; its parent must exist. True when it was created or
// already is a folder; created (when given) says which.
bool MakeDirectory(const std::wstring& path, bool* created = nullptr);

// Removes a folder if it is empty; false when it stays.
bool RemoveEmptyDirectory(const std::wstring& path);

// What became of a file the library was asked to replace.
enum class Removal {
    Removed, // it was there and is gone
    Missing, // there was nothing of that name in an existing folder
    Refused, // it stays: a folder, a read-only file, no access, or no such folder
};
Removal RemoveFile(const std::wstring& path);

// Whether a new file may take the place of what is at path.
enum class Replacement {
    Free,     // nothing of that name, in an existing folder
    Possible, // a file that may go
    Refused,  // a folder, a read-only or locked file, no access, or no such folder
};
Replacement CanReplace(const std::wstring& path);

// A new, empty file beside target (in the same folder, so that it can take
// target's place at once), named .parcelon.XXXXXXXX.tmp and created for
// writing; null file when it cannot be made.
struct TemporaryFile {
    std::FILE* file = nullptr;
    std::wstring path;
};
TemporaryFile CreateTemporaryBeside(const std::wstring& target);

// Creates a new file at path for writing in binary mode, only where nothing
// of that name is: Created with the file, Exists (a file or a folder stands
// there) or Failed without one.
enum class NewFile { Created, Exists, Failed };
std::FILE* CreateNewFile(const std::wstring& path, NewFile& outcome);

// Puts the file at source in the place of target, replacing whatever file
// is there, in one step.
bool MoveIntoPlace(const std::wstring& source, const std::wstring& target);

// What makes two paths name the same file or folder: device and inode on
// POSIX, volume serial number and file index on Windows. Links are followed.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index_high = 0;
    std::uint64_t index_low = 0;
    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && index_high == other.index_high && index_low == other.index_low;
    }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};
bool GetFileIdentity(const std::wstring& path, FileIdentity& identity);

struct FileCloser {
    void operator()(std::FILE* file) const noexcept;
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens a regular file for reading; anything else (a folder, a FIFO, a
// device) is refused rather than waited on.
std::FILE* OpenForRead(const std::wstring& path);

// As OpenForRead; on Windows other writers are also kept out while the file
// is open, as fopen_s does.
std::FILE* OpenForReadDenyWrite(const std::wstring& path);

// Creates a file, or truncates an existing one, for writing in binary mode.
std::FILE* OpenForWrite(const std::wstring& path);

// Opens an existing file for reading and writing in place.
std::FILE* OpenForUpdate(const std::wstring& path);

// Closes a stream and says whether everything buffered reached the file.
bool CloseFile(std::FILE* file);

// 64-bit positions in an open stream (origin as for fseek).
bool SeekFile(std::FILE* file, std::int64_t offset, int origin);
std::int64_t TellFile(std::FILE* file);

// A regular file opened for packing: read straight from the system in
// pieces of the caller's size, with no buffer of its own, so that a small
// file costs one open, one status, one read and one close.
class SourceFile {
public:
    enum class Opening {
        Opened,
        Absent,  // nothing the process may read is there (what IsReadable says no to)
        Refused, // something is there, but no regular file that opens for reading (a
                 // folder, a FIFO, a device, a file another process holds without sharing)
    };

    SourceFile() = default;
    ~SourceFile() { Close(); }
    SourceFile(SourceFile&& other) noexcept
        : handle_(std::exchange(other.handle_, -1)), size_(other.size_), position_(other.position_),
          failed_(other.failed_) {}
    SourceFile& operator=(SourceFile&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = std::exchange(other.handle_, -1);
            size_ = other.size_;
            position_ = other.position_;
            failed_ = other.failed_;
        }
        return *this;
    }
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // Opens the file at path into file. With deny_writers, other writers
    // are kept out while it is open on Windows (as fopen_s does); POSIX has
    // nothing to keep them out with.
    static Opening Open(const std::wstring& path, bool deny_writers, SourceFile& file);

    bool IsOpen() const;
    // Its size when it was opened.
    std::uint64_t size() const { return size_; }
    std::uint64_t position() const { return position_; }

    // Reads up to size bytes from the position on: fewer only at the end of
    // the file or at a read error (failed() then says so). A read that ends
    // where the file ended when it was opened needs no second one to learn
    // that the end is there.
    std::size_t Read(unsigned char* buffer, std::size_t size);
    bool failed() const { return failed_; }

    // Sets the position (and forgets a read error); false when it cannot.
    bool Seek(std::uint64_t position);

private:
    void Close() noexcept;

    std::intptr_t handle_ = -1; // a descriptor on POSIX, a HANDLE on Windows
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
    bool failed_ = false;
};

// Reads exactly size bytes at offset of an open file, without its stream's
// position or buffer: several threads may read one file at once. False
// when the file has fewer bytes there, or the read fails.
bool ReadFileAt(std::FILE* file, std::uint64_t offset, void* buffer, std::size_t size);

// ---------------------------------------------------------------- folders

enum class EntryKind { File, Directory, Other };

struct DirectoryEntry {
    std::wstring name;      // as the file system gives it; "." and ".." included
    EntryKind kind = EntryKind::Other;
    std::uint64_t size = 0; // of a file, from the listing itself
    FileStamp stamp;        // of a file or folder, from the listing itself
};

// The entries of one folder in the file system's own order. A link counts as
// what it leads to; on POSIX anything that is neither a regular file nor a
// folder (FIFOs, sockets, devices) is EntryKind::Other.
class DirectoryListing {
public:
    // directory ends in a separator, or is empty for the current folder.
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

// A moment as calendar fields of local wall-clock time.
struct SystemTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int milliseconds = 0;
};

// The fields of a C library broken-down time (milliseconds 0).
inline SystemTime FieldsOf(const std::tm& tm) {
    return SystemTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 0};
}

// The present moment in local time, in whole seconds. False when the clock
// cannot be turned into local time.
bool CurrentLocalTime(SystemTime& now);

enum class FileTimeLookup { Found, NotFound, Unconvertible };

// The last-write time of the file at path, in local time by the time-zone
// bias in force now (whatever the file's own date), with milliseconds.
FileTimeLookup FileLastWriteLocal(const std::wstring& path, SystemTime& local);

// The local wall-clock time of a moment given in seconds since 1970 (UTC),
// by the time zone's rules for that date. False when it has none.
bool UtcSecondsToLocalTime(std::int64_t seconds, SystemTime& local);

// Seconds since 1970 (UTC) of a local wall-clock time, by the time zone's
// rules for that date (as a clock showed it then). False when the fields
// name no time.
bool LocalTimeToUtcSeconds(const SystemTime& local, std::int64_t& seconds);

// Gives the file at path this modification time (and access time),
// seconds since 1970 (UTC). False when it cannot.
bool SetModificationTime(const std::wstring& path, std::int64_t seconds);

// ---------------------------------------------------------------- randomness

// Fills out with size bytes from the system's random source (getrandom or
// /dev/urandom on POSIX, BCryptGenRandom on Windows), fit for keys, salts
// and encryption headers. False when the source does not answer; nothing
// weaker is ever put in its place.
bool SystemRandom(unsigned char* out, std::size_t size);

// ---------------------------------------------------------------- threads

// The processors this process may run on (at least 1).
unsigned ProcessorCount();

// Starts a thread that runs body. On POSIX it starts with every signal
// blocked, so the host's signals always reach the host's own threads.
// Throws std::system_error when the system refuses a thread.
std::thread StartThread(std::function<void()> body);

} // namespace parcelon::platform

#endif // PARCELON_PLATFORM_H

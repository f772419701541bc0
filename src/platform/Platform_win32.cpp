// Windows backend: the Win32 and C runtime calls, on wide paths. This is
// the only source file of the library that includes <windows.h>.
#include "platform/Platform.h"
#include "platform/TemporaryName.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <bcrypt.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace parcelon::platform {

namespace {

// A search handle from FindFirstFileW, closed with FindClose.
class FindHandle {
public:
    FindHandle() = default;
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() { Reset(); }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        if (IsValid()) ::FindClose(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A file or directory handle from CreateFileW, closed with CloseHandle.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (IsValid()) ::CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

std::uint64_t Combine(DWORD high, DWORD low) {
    return static_cast<std::uint64_t>(high) << 32 | static_cast<std::uint64_t>(low);
}

// Paths longer than this get the \\?\ prefix (CreateDirectoryW stops 12
// units short of MAX_PATH; the rest of the file API at MAX_PATH).
constexpr std::size_t kLongPath = MAX_PATH - 12;

bool HasPrefix(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

// The path as the file API takes it. An empty path is the current folder.
// A long one becomes an extended-length path: made absolute and spelt with
// backslashes (GetFullPathNameW, which also resolves "." and ".."), then
// given the \\?\ prefix that lifts MAX_PATH (\\?\UNC\ for a server's share).
std::wstring Api(const std::wstring& path) {
    if (path.empty()) return L".";
    if (path.size() < kLongPath || HasPrefix(path, L"\\\\?\\") || HasPrefix(path, L"\\\\.\\")) return path;
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD written = ::GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    if (written == 0 || written >= size) return path;
    full.resize(written);
    if (HasPrefix(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// The one record FindFirstFileW gives for path itself; false when nothing is
// found (a missing path, a path ending in a separator, a root).
bool FindOne(const std::wstring& path, WIN32_FIND_DATAW& data) {
    if (path.empty()) return false;
    const FindHandle find(::FindFirstFileW(Api(path).c_str(), &data));
    return find.IsValid();
}

// The folder part of a path, up to its last separator ("." when it has none).
std::wstring FolderOf(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return L".";
    return path.substr(0, separator + 1);
}

constexpr std::int64_t kFileTimeEpochSeconds = 11644473600LL; // 1601-01-01 to 1970-01-01
constexpr std::int64_t kTicksPerSecond = 10000000;             // FILETIME counts 100 ns

std::int64_t SecondsOf(const FILETIME& time) {
    const auto ticks = static_cast<std::int64_t>(Combine(time.dwHighDateTime, time.dwLowDateTime));
    return ticks / kTicksPerSecond - kFileTimeEpochSeconds;
}

FileStamp StampOf(const FILETIME& last_write, DWORD attributes) {
    FileStamp stamp;
    stamp.modified = SecondsOf(last_write);
    stamp.attributes = attributes;
    return stamp;
}

void FromSystemTime(const SYSTEMTIME& st, SystemTime& fields) {
    fields.year = st.wYear;
    fields.month = st.wMonth;
    fields.day = st.wDay;
    fields.hour = st.wHour;
    fields.minute = st.wMinute;
    fields.second = st.wSecond;
    fields.milliseconds = st.wMilliseconds;
}

// A stream that writes the file just created as handle, which it then owns;
// on failure the handle is closed and the file deleted again.
std::FILE* WriteStreamFor(HANDLE handle, const std::wstring& path) {
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_WRONLY);
    if (fd < 0) {
        ::CloseHandle(handle);
        ::DeleteFileW(Api(path).c_str());
        return nullptr;
    }
    std::FILE* file = ::_fdopen(fd, "wb");
    if (file == nullptr) {
        ::_close(fd);
        ::DeleteFileW(Api(path).c_str());
    }
    return file;
}

} // namespace

// ---------------------------------------------------------------- text

// CP_ACP is looked up by the system itself at no cost: nothing to keep.
CodePageScope::CodePageScope() : outer_(nullptr) {}
CodePageScope::~CodePageScope() = default;

std::string WideToAnsi(std::wstring_view text) {
    if (text.empty()) return std::string();
    const int length = static_cast<int>(text.size());
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string ansi(static_cast<std::size_t>(size), '\0');
    if (::WideCharToMultiByte(CP_ACP, 0, text.data(), length, &ansi[0], size, nullptr, nullptr) <= 0)
        return std::string();
    // Like the narrow text of a zero-terminated buffer: up to the first zero.
    const std::size_t zero = ansi.find('\0');
    if (zero != std::string::npos) ansi.resize(zero);
    return ansi;
}

std::size_t AnsiCharLength(std::string_view text) {
    if (text.empty()) return 0;
    const bool lead = text.size() >= 2 && ::IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(text[0])) != FALSE;
    return lead ? 2 : 1;
}

std::wstring AnsiToWide(std::string_view text) {
    if (text.empty()) return std::wstring();
    const int length = static_cast<int>(text.size());
    const int size = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, text.data(), length, &wide[0], size) <= 0) return std::wstring();
    return wide;
}

bool IsDeviceName(std::wstring_view component) {
    // What the system compares: the name before its first dot, without the
    // dots and spaces it ignores at the end.
    std::size_t end = component.size();
    while (end > 0 && (component[end - 1] == L'.' || component[end - 1] == L' ')) --end;
    std::wstring base(component.substr(0, end));
    const std::size_t dot = base.find(L'.');
    if (dot != std::wstring::npos) base.erase(dot);
    while (!base.empty() && base.back() == L' ') base.pop_back();
    for (wchar_t& c : base)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 0x20);
    if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" || base == L"CONIN$" ||
        base == L"CONOUT$")
        return true;
    if (base.size() != 4 || (base.compare(0, 3, L"COM") != 0 && base.compare(0, 3, L"LPT") != 0)) return false;
    const wchar_t digit = base[3];
    return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

// ---------------------------------------------------------------- files

bool PathExists(const std::wstring& path) {
    return !path.empty() && ::GetFileAttributesW(Api(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsReadable(const std::wstring& path) { return !path.empty() && ::_waccess(Api(path).c_str(), 4) == 0; }

bool LookUpEntry(const std::wstring& path, FileStatus& status) {
    status = FileStatus();
    WIN32_FIND_DATAW data;
    if (!FindOne(path, data)) return false;
    status.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A folder's record carries a size of 0.
    status.size = Combine(data.nFileSizeHigh, data.nFileSizeLow);
    status.stamp = StampOf(data.ftLastWriteTime, data.dwFileAttributes);
    return true;
}

bool DirectoryExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(Api(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeDirectory(const std::wstring& path, bool* created) {
    if (created != nullptr) *created = false;
    if (path.empty()) return false;
    if (::CreateDirectoryW(Api(path).c_str(), nullptr) != FALSE) {
        if (created != nullptr) *created = true;
        return true;
    }
    return ::GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(path);
}

bool RemoveEmptyDirectory(const std::wstring& path) {
    return !path.empty() && ::RemoveDirectoryW(Api(path).c_str()) != FALSE;
}

Removal RemoveFile(const std::wstring& path) {
    if (path.empty()) return Removal::Refused;
    if (::DeleteFileW(Api(path).c_str()) != FALSE) return Removal::Removed;
    // A missing folder (ERROR_PATH_NOT_FOUND) is no place for a new archive
    // either; only a missing file in an existing folder is fine.
    return ::GetLastError() == ERROR_FILE_NOT_FOUND ? Removal::Missing : Removal::Refused;
}

Replacement CanReplace(const std::wstring& path) {
    if (path.empty()) return Replacement::Refused;
    const std::wstring api = Api(path);
    const DWORD attributes = ::GetFileAttributesW(api.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (::GetLastError() != ERROR_FILE_NOT_FOUND) return Replacement::Refused; // no such folder, say
        return DirectoryExists(FolderOf(path)) ? Replacement::Free : Replacement::Refused;
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) return Replacement::Refused;
    // Whether it may go is best asked by opening it for deletion, as another
    // program may hold it open without letting it be deleted.
    const FileHandle probe(::CreateFileW(api.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return probe.IsValid() ? Replacement::Possible : Replacement::Refused;
}

TemporaryFile CreateTemporaryBeside(const std::wstring& target) {
    TemporaryFile temporary;
    for (unsigned attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        const std::wstring candidate = TemporaryNameBeside(target, attempt);
        const HANDLE handle = ::CreateFileW(Api(candidate).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                           nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (::GetLastError() == ERROR_FILE_EXISTS) continue;
            return temporary;
        }
        temporary.file = WriteStreamFor(handle, candidate);
        if (temporary.file != nullptr) temporary.path = candidate;
        return temporary;
    }
    return temporary;
}

std::FILE* CreateNewFile(const std::wstring& path, NewFile& outcome) {
    outcome = NewFile::Failed;
    if (path.empty()) return nullptr;
    const HANDLE handle = ::CreateFileW(Api(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // A folder of that name refuses the file with "access denied".
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || PathExists(path)) outcome = NewFile::Exists;
        return nullptr;
    }
    std::FILE* file = WriteStreamFor(handle, path);
    if (file != nullptr) outcome = NewFile::Created;
    return file;
}

bool MoveIntoPlace(const std::wstring& source, const std::wstring& target) {
    return ::MoveFileExW(Api(source).c_str(), Api(target).c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool GetFileIdentity(const std::wstring& path, FileIdentity& identity) {
    identity = FileIdentity();
    // No access rights are needed to read the identity; backup semantics
    // let the same call open a folder.
    const FileHandle file(::CreateFileW(Api(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.IsValid()) return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileInformationByHandle(file.get(), &info) == FALSE) return false;
    identity.volume = info.dwVolumeSerialNumber;
    identity.index_high = info.nFileIndexHigh;
    identity.index_low = info.nFileIndexLow;
    return true;
}

void FileCloser::operator()(std::FILE* file) const noexcept {
    if (file != nullptr) std::fclose(file);
}

std::FILE* OpenForRead(const std::wstring& path) {
    if (path.empty()) return nullptr;
    return ::_wfopen(Api(path).c_str(), L"rb");
}

// What fopen_s does for a read-only open: readers share the file, writers
// are kept out while it is open (_SH_SECURE). Said explicitly with
// _wfsopen, because Wine's fopen_s lets writers in.
std::FILE* OpenForReadDenyWrite(const std::wstring& path) {
    if (path.empty()) return nullptr;
    return ::_wfsopen(Api(path).c_str(), L"rb", _SH_DENYWR);
}

std::FILE* OpenForWrite(const std::wstring& path) {
    if (path.empty()) return nullptr;
    return ::_wfopen(Api(path).c_str(), L"wb");
}

std::FILE* OpenForUpdate(const std::wstring& path) {
    if (path.empty()) return nullptr;
    return ::_wfopen(Api(path).c_str(), L"r+b");
}

bool CloseFile(std::FILE* file) { return file != nullptr && std::fclose(file) == 0; }

bool SeekFile(std::FILE* file, std::int64_t offset, int origin) { return ::_fseeki64(file, offset, origin) == 0; }

std::int64_t TellFile(std::FILE* file) { return ::_ftelli64(file); }

// ---------------------------------------------------------------- files to pack

void SourceFile::Close() noexcept {
    if (IsOpen()) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}

bool SourceFile::IsOpen() const { return reinterpret_cast<HANDLE>(handle_) != INVALID_HANDLE_VALUE; }

SourceFile::Opening SourceFile::Open(const std::wstring& path, bool deny_writers, SourceFile& file) {
    file = SourceFile();
    if (path.empty()) return Opening::Absent;
    const std::wstring api = Api(path);
    // The sharing the C runtime's "rb" opens give: other readers and
    // writers, or (as fopen_s) readers only.
    const DWORD share = deny_writers ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
    const HANDLE handle = ::CreateFileW(api.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        // What was there is asked only now: a path that names nothing is
        // passed over, anything else failed to open.
        return ::_waccess(api.c_str(), 4) == 0 ? Opening::Refused : Opening::Absent;
    }
    file.handle_ = reinterpret_cast<std::intptr_t>(handle);
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(handle) != FILE_TYPE_DISK || ::GetFileInformationByHandle(handle, &info) == FALSE ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        file.Close();
        return Opening::Refused;
    }
    file.size_ = Combine(info.nFileSizeHigh, info.nFileSizeLow);
    return Opening::Opened;
}

std::size_t SourceFile::Read(unsigned char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size && IsOpen()) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        DWORD got = 0;
        if (::ReadFile(reinterpret_cast<HANDLE>(handle_), buffer + done, want, &got, nullptr) == FALSE) {
            failed_ = true;
            break;
        }
        if (got == 0) break;
        done += got;
        position_ += got;
        // Short of what was asked, at the size the file had: its end.
        if (done < size && position_ == size_) break;
    }
    return done;
}

bool SourceFile::Seek(std::uint64_t position) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(position);
    if (!IsOpen() || ::SetFilePointerEx(reinterpret_cast<HANDLE>(handle_), to, nullptr, FILE_BEGIN) == FALSE)
        return false;
    position_ = position;
    failed_ = false;
    return true;
}

// ---------------------------------------------------------------- folders

struct DirectoryListing::State {
    FindHandle find;
    WIN32_FIND_DATAW first {};
    bool first_pending = false;
};

DirectoryListing::DirectoryListing(const std::wstring& directory) : state_(new State) {
    const std::wstring pattern = Api(directory + L"*.*");
    state_->find.Reset(::FindFirstFileW(pattern.c_str(), &state_->first));
    state_->first_pending = state_->find.IsValid();
}

DirectoryListing::~DirectoryListing() = default;

bool DirectoryListing::IsOpen() const { return state_->find.IsValid(); }

bool DirectoryListing::Next(DirectoryEntry& entry) {
    if (!state_->find.IsValid()) return false;
    WIN32_FIND_DATAW data;
    if (state_->first_pending) {
        data = state_->first;
        state_->first_pending = false;
    } else if (::FindNextFileW(state_->find.get(), &data) == FALSE) {
        return false;
    }
    entry = DirectoryEntry();
    entry.name = data.cFileName;
    entry.stamp = StampOf(data.ftLastWriteTime, data.dwFileAttributes);
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        entry.kind = EntryKind::Directory;
    } else {
        entry.kind = EntryKind::File;
        entry.size = Combine(data.nFileSizeHigh, data.nFileSizeLow);
    }
    return true;
}

// ---------------------------------------------------------------- time

bool CurrentLocalTime(SystemTime& now) {
    now = SystemTime();
    __time64_t seconds = 0;
    ::_time64(&seconds);
    std::tm local {};
    if (::_localtime64_s(&local, &seconds) != 0) return false;
    now = FieldsOf(local);
    return true;
}

FileTimeLookup FileLastWriteLocal(const std::wstring& path, SystemTime& local) {
    local = SystemTime();
    WIN32_FIND_DATAW data;
    if (!FindOne(path, data)) return FileTimeLookup::NotFound;
    FILETIME local_time;
    if (::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local_time) == FALSE) return FileTimeLookup::Unconvertible;
    SYSTEMTIME fields;
    if (::FileTimeToSystemTime(&local_time, &fields) == FALSE) return FileTimeLookup::Unconvertible;
    FromSystemTime(fields, local);
    return FileTimeLookup::Found;
}

bool ReadFileAt(std::FILE* file, std::uint64_t offset, void* buffer, std::size_t size) {
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE) return false;
    auto* out = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        // Each read names its own offset, so reads from several threads do
        // not disturb each other.
        OVERLAPPED at {};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD got = 0;
        if (::ReadFile(handle, out, want, &got, &at) == FALSE || got == 0) return false;
        out += got;
        offset += got;
        size -= got;
    }
    return true;
}

bool SystemRandom(unsigned char* out, std::size_t size) {
    while (size > 0) {
        const ULONG piece = size > 0x10000000 ? 0x10000000 : static_cast<ULONG>(size);
        if (BCryptGenRandom(nullptr, out, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) return false; // STATUS_SUCCESS
        out += piece;
        size -= piece;
    }
    return true;
}

bool UtcSecondsToLocalTime(std::int64_t seconds, SystemTime& local) {
    local = SystemTime();
    if (seconds < -kFileTimeEpochSeconds) return false;
    const auto ticks = static_cast<std::uint64_t>(seconds + kFileTimeEpochSeconds) * kTicksPerSecond;
    FILETIME file_time;
    file_time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
    file_time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SYSTEMTIME utc;
    SYSTEMTIME fields;
    // The zone's rules for that date, as the C runtime's localtime applies
    // them (FileTimeToLocalFileTime would apply today's bias).
    if (::FileTimeToSystemTime(&file_time, &utc) == FALSE ||
        ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &fields) == FALSE)
        return false;
    FromSystemTime(fields, local);
    local.milliseconds = 0;
    return true;
}

bool LocalTimeToUtcSeconds(const SystemTime& local, std::int64_t& seconds) {
    SYSTEMTIME fields {};
    fields.wYear = static_cast<WORD>(local.year);
    fields.wMonth = static_cast<WORD>(local.month);
    fields.wDay = static_cast<WORD>(local.day);
    fields.wHour = static_cast<WORD>(local.hour);
    fields.wMinute = static_cast<WORD>(local.minute);
    fields.wSecond = static_cast<WORD>(local.second);
    SYSTEMTIME utc;
    FILETIME file_time;
    if (::TzSpecificLocalTimeToSystemTime(nullptr, &fields, &utc) == FALSE ||
        ::SystemTimeToFileTime(&utc, &file_time) == FALSE)
        return false;
    // 100-nanosecond steps since 1601.
    const std::int64_t ticks = static_cast<std::int64_t>(Combine(file_time.dwHighDateTime, file_time.dwLowDateTime));
    seconds = ticks / 10000000 - 11644473600LL;
    return true;
}

bool SetModificationTime(const std::wstring& path, std::int64_t seconds) {
    if (path.empty()) return false;
    const HANDLE file = ::CreateFileW(Api(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const std::uint64_t ticks = static_cast<std::uint64_t>(seconds + 11644473600LL) * 10000000ULL;
    FILETIME file_time;
    file_time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
    file_time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    const bool set = ::SetFileTime(file, nullptr, &file_time, &file_time) != FALSE;
    ::CloseHandle(file);
    return set;
}

unsigned ProcessorCount() {
    const DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    return count > 0 ? static_cast<unsigned>(count) : 1;
}

// Windows delivers no signals to threads: nothing to hold off.
std::thread StartThread(std::function<void()> body) { return std::thread(std::move(body)); }

} // namespace parcelon::platform

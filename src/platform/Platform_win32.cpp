// Windows backend: the Win32 and C runtime calls, on wide paths. This is
// the only source file of the library that includes <windows.h>.
#include "platform/Platform.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shlwapi.h>

#include <io.h>
#include <share.h>

#include <cstring>
#include <ctime>
#include <vector>

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

// The one record FindFirstFileW gives for path itself; false when nothing is
// found (a missing path, a path ending in a separator, a root).
bool FindOne(const std::wstring& path, WIN32_FIND_DATAW& data) {
    if (path.empty()) return false;
    const FindHandle find(::FindFirstFileW(path.c_str(), &data));
    return find.IsValid();
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

// An empty path stands for the current folder, as it does when it is put
// before a relative name.
const wchar_t* OrCurrent(const std::wstring& path) { return path.empty() ? L"." : path.c_str(); }

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

std::wstring AnsiToWide(std::string_view text) {
    if (text.empty()) return std::wstring();
    const int length = static_cast<int>(text.size());
    const int size = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, text.data(), length, &wide[0], size) <= 0) return std::wstring();
    return wide;
}

// ---------------------------------------------------------------- files

bool PathExists(const std::wstring& path) { return !path.empty() && ::PathFileExistsW(path.c_str()) != FALSE; }

bool IsReadable(const std::wstring& path) { return !path.empty() && ::_waccess(path.c_str(), 4) == 0; }

bool LookUpEntry(const std::wstring& path, FileStatus& status) {
    status = FileStatus();
    WIN32_FIND_DATAW data;
    if (!FindOne(path, data)) return false;
    status.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A folder's record carries a size of 0.
    status.size = Combine(data.nFileSizeHigh, data.nFileSizeLow);
    return true;
}

bool DirectoryExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(OrCurrent(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeDirectory(const std::wstring& path) {
    if (path.empty()) return false;
    if (::CreateDirectoryW(path.c_str(), nullptr) != FALSE) return true;
    return ::GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(path);
}

Removal RemoveFile(const std::wstring& path) {
    if (path.empty()) return Removal::Refused;
    if (::DeleteFileW(path.c_str()) != FALSE) return Removal::Removed;
    // A missing folder (ERROR_PATH_NOT_FOUND) is no place for a new archive
    // either; only a missing file in an existing folder is fine.
    return ::GetLastError() == ERROR_FILE_NOT_FOUND ? Removal::Missing : Removal::Refused;
}

bool GetFileIdentity(const std::wstring& path, FileIdentity& identity) {
    identity = FileIdentity();
    // No access rights are needed to read the identity; backup semantics
    // let the same call open a folder.
    const FileHandle file(::CreateFileW(OrCurrent(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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
    return ::_wfopen(path.c_str(), L"rb");
}

// What fopen_s does for a read-only open: readers share the file, writers
// are kept out while it is open (_SH_SECURE). Said explicitly with
// _wfsopen, because Wine's fopen_s lets writers in.
std::FILE* OpenForReadDenyWrite(const std::wstring& path) {
    if (path.empty()) return nullptr;
    return ::_wfsopen(path.c_str(), L"rb", _SH_DENYWR);
}

std::FILE* OpenForWrite(const std::wstring& path) {
    if (path.empty()) return nullptr;
    return ::_wfopen(path.c_str(), L"wb");
}

bool CloseFile(std::FILE* file) { return file != nullptr && std::fclose(file) == 0; }

bool SeekFile(std::FILE* file, std::int64_t offset, int origin) { return ::_fseeki64(file, offset, origin) == 0; }

std::int64_t TellFile(std::FILE* file) { return ::_ftelli64(file); }

// ---------------------------------------------------------------- folders

struct DirectoryListing::State {
    FindHandle find;
    WIN32_FIND_DATAW first {};
    bool first_pending = false;
};

DirectoryListing::DirectoryListing(const std::wstring& directory) : state_(new State) {
    const std::wstring pattern = directory + L"*.*";
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

} // namespace parcelon::platform

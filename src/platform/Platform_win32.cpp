// Windows backend: the real Win32 and C runtime calls the rest of the
// library was written against. This is the only source file of the library
// that includes <windows.h>.
#include "platform/Platform.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <oleauto.h>
#include <shlwapi.h>

#include <io.h>
#include <share.h>

#include <cstring>
#include <ctime>
#include <limits>
#include <vector>

// <windows.h> maps DeleteFile to DeleteFileA/W; the platform layer's own
// function of that name must keep it.
#ifdef DeleteFile
#undef DeleteFile
#endif

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
bool FindOne(const wchar_t* path, WIN32_FIND_DATAW& data) {
    if (path == nullptr || *path == L'\0') return false;
    const FindHandle find(::FindFirstFileW(path, &data));
    return find.IsValid();
}

bool ToWord(int value, WORD& word) {
    if (value < 0 || value > std::numeric_limits<WORD>::max()) return false;
    word = static_cast<WORD>(value);
    return true;
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

} // namespace

// ---------------------------------------------------------------- text

// CP_ACP is looked up by the system itself at no cost: nothing to keep.
CodePageScope::CodePageScope() : outer_(nullptr) {}
CodePageScope::~CodePageScope() = default;

std::string WideToAnsi(const wchar_t* text) {
    if (text == nullptr) return std::string();
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    // One spare zero byte, so the text always ends within the buffer.
    std::vector<char> buffer(static_cast<std::size_t>(size) + 1, '\0');
    if (::WideCharToMultiByte(CP_ACP, 0, text, -1, buffer.data(), size, nullptr, nullptr) <= 0)
        return std::string();
    return std::string(buffer.data());
}

std::string NativePath(const std::string& ansi_path) { return ansi_path; }

// ---------------------------------------------------------------- files

bool PathExists(const wchar_t* path) { return path != nullptr && ::PathFileExistsW(path) != FALSE; }

bool AccessReadable(const char* ansi_path) {
    return ansi_path != nullptr && *ansi_path != '\0' && ::_access(ansi_path, 4) == 0;
}

bool DirectoryExists(const char* ansi_path) {
    if (ansi_path == nullptr) return false;
    // An empty folder text stands for the current directory, as it does
    // when it is put before a relative name.
    const DWORD attributes = ::GetFileAttributesA(*ansi_path == '\0' ? "." : ansi_path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeDirectory(const char* ansi_path) {
    if (ansi_path == nullptr || *ansi_path == '\0') return false;
    if (::CreateDirectoryA(ansi_path, nullptr) != FALSE) return true;
    return ::GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(ansi_path);
}

bool FindFile(const wchar_t* path, FileRecord& record) {
    record = FileRecord();
    WIN32_FIND_DATAW data;
    if (!FindOne(path, data)) return false;
    record.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A directory's record carries a size of 0.
    record.size = Combine(data.nFileSizeHigh, data.nFileSizeLow);
    return true;
}

void FileCloser::operator()(std::FILE* file) const noexcept {
    if (file != nullptr) std::fclose(file);
}

std::FILE* OpenForRead(const char* ansi_path) {
    if (ansi_path == nullptr) return nullptr;
    return std::fopen(ansi_path, "rb");
}

// What fopen_s does for a read-only open: readers share the file, writers
// are kept out while it is open (_SH_SECURE). Said explicitly with
// _fsopen, because Wine's fopen_s lets writers in.
std::FILE* OpenForReadDenyWrite(const char* ansi_path) {
    if (ansi_path == nullptr) return nullptr;
    return ::_fsopen(ansi_path, "rb", _SH_DENYWR);
}

std::FILE* OpenForWrite(const char* ansi_path) {
    if (ansi_path == nullptr) return nullptr;
    return std::fopen(ansi_path, "wb");
}

bool CloseFile(std::FILE* file) { return file != nullptr && std::fclose(file) == 0; }

std::uint32_t DeleteFile(const wchar_t* path) {
    if (path == nullptr) return kErrorPathNotFound;
    if (::DeleteFileW(path) != FALSE) return 0;
    return static_cast<std::uint32_t>(::GetLastError());
}

bool GetFileIdentity(const wchar_t* path, FileIdentity& identity) {
    identity = FileIdentity();
    if (path == nullptr) return false;
    // No access rights are needed to read the identity; backup semantics
    // let the same call open a directory.
    const FileHandle file(::CreateFileW(*path == L'\0' ? L"." : path, 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.IsValid()) return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileInformationByHandle(file.get(), &info) == FALSE) return false;
    identity.volume = info.dwVolumeSerialNumber;
    identity.index_high = info.nFileIndexHigh;
    identity.index_low = info.nFileIndexLow;
    return true;
}

// ---------------------------------------------------------------- directories

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
    now.year = local.tm_year + 1900;
    now.month = local.tm_mon + 1;
    now.day = local.tm_mday;
    now.hour = local.tm_hour;
    now.minute = local.tm_min;
    now.second = local.tm_sec;
    return true;
}

FileTimeLookup FileLastWriteLocal(const wchar_t* path, SystemTime& local) {
    local = SystemTime();
    WIN32_FIND_DATAW data;
    if (!FindOne(path, data)) return FileTimeLookup::NotFound;
    FILETIME local_time;
    if (::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local_time) == FALSE)
        return FileTimeLookup::Unconvertible;
    SYSTEMTIME fields;
    if (::FileTimeToSystemTime(&local_time, &fields) == FALSE) return FileTimeLookup::Unconvertible;
    FromSystemTime(fields, local);
    return FileTimeLookup::Found;
}

bool SystemTimeToVariantTime(const SystemTime& time, double& days) {
    SYSTEMTIME st {};
    if (!ToWord(time.year, st.wYear) || !ToWord(time.month, st.wMonth) || !ToWord(time.day, st.wDay) ||
        !ToWord(time.hour, st.wHour) || !ToWord(time.minute, st.wMinute) ||
        !ToWord(time.second, st.wSecond) || !ToWord(time.milliseconds, st.wMilliseconds))
        return false;
    DOUBLE result = 0.0;
    if (::SystemTimeToVariantTime(&st, &result) == FALSE) return false;
    days = result;
    return true;
}

bool VariantTimeToSystemTime(double days, SystemTime& time) {
    time = SystemTime();
    SYSTEMTIME st {};
    if (::VariantTimeToSystemTime(days, &st) == FALSE) return false;
    FromSystemTime(st, time);
    return true;
}

} // namespace parcelon::platform

// POSIX backend: gives the rest of the library the Windows behaviour it was
// written against. Both separators name directories, the "ANSI code page" is
// the character set of the environment's locale (read afresh, the host's own
// locale is never changed), and files are found, sized, opened and deleted
// with the answers Windows would give.
#include "platform/Platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <cwchar>

namespace parcelon::platform {

namespace {

// ---------------------------------------------------------------- charset

// The charset of the innermost CodePageScope on this thread, if any.
thread_local const std::string* t_scoped_charset = nullptr;

// The character set that setlocale(LC_CTYPE, "") would select, without
// touching the process's locale. ASCII when the environment names no
// usable locale, as the C locale is.
std::string ReadLocaleCharset() {
    locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) return "ANSI_X3.4-1968";
    std::string charset = nl_langinfo_l(CODESET, locale);
    freelocale(locale);
    return charset.empty() ? std::string("ANSI_X3.4-1968") : charset;
}

// newlocale maps the locale's LC_CTYPE file afresh every time (some 40 us),
// so an operation reads it once, through its CodePageScope.
std::string LocaleCharset() {
    return t_scoped_charset != nullptr ? *t_scoped_charset : ReadLocaleCharset();
}

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts in to out; each input unit that cannot be converted is
    // skipped and replaced by `replacement` (already in the target set).
    void Run(const char* in, std::size_t in_size, std::size_t unit, const std::string& replacement,
             std::string& out) {
        char buffer[512];
        char* src = const_cast<char*>(in);
        std::size_t left = in_size;
        while (left > 0) {
            char* dst = buffer;
            std::size_t room = sizeof buffer;
            const std::size_t rc = iconv(cd_, &src, &left, &dst, &room);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (rc == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG) continue;
                // EILSEQ or EINVAL: one unit that the target lacks or that
                // is malformed.
                out += replacement;
                const std::size_t skip = left < unit ? left : unit;
                src += skip;
                left -= skip;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        char* dst = buffer;
        std::size_t room = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &dst, &room);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
    }

private:
    iconv_t cd_;
};

// Native file-name bytes (in the locale's character set) to wide text.
// Bytes that do not decode become U+FFFD, which no ANSI code page holds,
// so such a name can never be opened again by its converted path.
std::wstring NativeToWide(const std::string& bytes) {
    bool ascii = true;
    for (unsigned char c : bytes) ascii = ascii && c < 0x80;
    if (ascii) return std::wstring(bytes.begin(), bytes.end());
    Converter converter("WCHAR_T", LocaleCharset().c_str());
    if (!converter.ok()) return std::wstring(bytes.size(), L'\xFFFD');
    std::string raw;
    const wchar_t replacement = L'\xFFFD';
    converter.Run(bytes.data(), bytes.size(), 1,
                  std::string(reinterpret_cast<const char*>(&replacement), sizeof replacement), raw);
    std::wstring wide(raw.size() / sizeof(wchar_t), L'\0');
    std::memcpy(&wide[0], raw.data(), wide.size() * sizeof(wchar_t));
    return wide;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string NativeOf(const wchar_t* path) { return NativePath(WideToAnsi(path)); }

// The folder part of a native path ("." when there is none).
std::string NativeParent(const std::string& native) {
    const std::size_t slash = native.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return native.substr(0, slash);
}

// Opens with O_NONBLOCK so that a FIFO never blocks, refuses everything
// that is not a regular file, then restores blocking reads.
std::FILE* OpenRegularForRead(const char* ansi_path) {
    if (ansi_path == nullptr) return nullptr;
    const std::string native = NativePath(ansi_path);
    const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = EISDIR;
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) close(fd);
    return file;
}

// ---------------------------------------------------------------- calendar

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
long long DaysFromCivil(long long y, long long m, long long d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

const long long kOleEpochDays = DaysFromCivil(1899, 12, 30);
constexpr double kOleMin = -657435.0;            // before 1 January 100, 00:00 (exclusive)
constexpr double kOleMax = 2958465.99999999;     // 31 December 9999, 23:59:59
constexpr long long kFileTimeEpochOffset = 11644473600LL; // 1601-01-01 to 1970-01-01 in seconds

void FieldsFromUnixSeconds(long long seconds, int milliseconds, SystemTime& fields) {
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    CivilFromDays(days, fields.year, fields.month, fields.day);
    fields.hour = static_cast<int>(rest / 3600);
    fields.minute = static_cast<int>(rest / 60 % 60);
    fields.second = static_cast<int>(rest % 60);
    fields.milliseconds = milliseconds;
}

} // namespace

// ---------------------------------------------------------------- text

CodePageScope::CodePageScope() : charset_(LocaleCharset()), outer_(t_scoped_charset) {
    t_scoped_charset = &charset_;
}

CodePageScope::~CodePageScope() { t_scoped_charset = outer_; }

std::string WideToAnsi(const wchar_t* text) {
    if (text == nullptr) return std::string();
    const std::size_t length = std::wcslen(text);
    bool ascii = true;
    for (std::size_t i = 0; i < length && ascii; ++i) ascii = static_cast<unsigned>(text[i]) < 0x80;
    if (ascii) {
        std::string out(length, '\0');
        for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<char>(text[i]);
        return out;
    }
    Converter converter(LocaleCharset().c_str(), "WCHAR_T");
    if (!converter.ok()) return std::string();
    std::string out;
    converter.Run(reinterpret_cast<const char*>(text), length * sizeof(wchar_t), sizeof(wchar_t),
                  "?", out);
    // Like the narrow text of a zero-terminated buffer: up to the first zero.
    const std::size_t zero = out.find('\0');
    if (zero != std::string::npos) out.resize(zero);
    return out;
}

std::string NativePath(const std::string& ansi_path) {
    std::string native = ansi_path;
    for (char& c : native)
        if (c == '\\') c = '/';
    return native;
}

// ---------------------------------------------------------------- files

bool PathExists(const wchar_t* path) {
    if (path == nullptr || *path == L'\0') return false;
    struct stat st {};
    return stat(NativeOf(path).c_str(), &st) == 0;
}

bool AccessReadable(const char* ansi_path) {
    if (ansi_path == nullptr || *ansi_path == '\0') return false;
    return access(NativePath(ansi_path).c_str(), R_OK) == 0;
}

bool DirectoryExists(const char* ansi_path) {
    if (ansi_path == nullptr) return false;
    std::string native = NativePath(ansi_path);
    if (native.empty()) native = ".";
    struct stat st {};
    return stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const char* ansi_path) {
    if (ansi_path == nullptr || *ansi_path == '\0') return false;
    if (mkdir(NativePath(ansi_path).c_str(), 0777) == 0) return true;
    return errno == EEXIST && DirectoryExists(ansi_path);
}

bool FindFile(const wchar_t* path, FileRecord& record) {
    record = FileRecord();
    if (path == nullptr || *path == L'\0') return false;
    const std::string ansi = WideToAnsi(path);
    // A search for a path that ends in a separator finds nothing.
    if (ansi.empty() || IsSeparator(ansi.back())) return false;
    struct stat st {};
    if (stat(NativePath(ansi).c_str(), &st) != 0) return false;
    record.is_directory = S_ISDIR(st.st_mode);
    record.size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    return true;
}

void FileCloser::operator()(std::FILE* file) const noexcept {
    if (file != nullptr) std::fclose(file);
}

std::FILE* OpenForRead(const char* ansi_path) { return OpenRegularForRead(ansi_path); }

std::FILE* OpenForReadDenyWrite(const char* ansi_path) { return OpenRegularForRead(ansi_path); }

std::FILE* OpenForWrite(const char* ansi_path) {
    if (ansi_path == nullptr) return nullptr;
    return std::fopen(NativePath(ansi_path).c_str(), "wbe");
}

bool CloseFile(std::FILE* file) { return file != nullptr && std::fclose(file) == 0; }

std::uint32_t DeleteFile(const wchar_t* path) {
    if (path == nullptr) return kErrorPathNotFound;
    const std::string native = NativeOf(path);
    struct stat st {};
    if (lstat(native.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            struct stat parent {};
            const bool folder = stat(NativeParent(native).c_str(), &parent) == 0 && S_ISDIR(parent.st_mode);
            return folder && !native.empty() ? kErrorFileNotFound : kErrorPathNotFound;
        }
        return errno == ENOTDIR ? kErrorPathNotFound : kErrorAccessDenied;
    }
    // A directory is not a file; a file without any write permission bit is
    // read-only, which DeleteFileW refuses whoever asks.
    if (S_ISDIR(st.st_mode)) return kErrorAccessDenied;
    if (!S_ISLNK(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return kErrorAccessDenied;
    if (unlink(native.c_str()) == 0) return 0;
    return errno == ENOENT ? kErrorFileNotFound : kErrorAccessDenied;
}

bool GetFileIdentity(const wchar_t* path, FileIdentity& identity) {
    identity = FileIdentity();
    if (path == nullptr) return false;
    std::string native = NativeOf(path);
    if (native.empty()) native = ".";
    struct stat st {};
    if (stat(native.c_str(), &st) != 0) return false;
    identity.volume = static_cast<std::uint64_t>(st.st_dev);
    identity.index_low = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

// ---------------------------------------------------------------- directories

struct DirectoryListing::State {
    DIR* dir = nullptr;
};

DirectoryListing::DirectoryListing(const std::wstring& directory) : state_(new State) {
    std::string native = NativePath(WideToAnsi(directory.c_str()));
    // An empty directory text lists the current directory, as "*.*" does.
    if (native.empty()) native = ".";
    state_->dir = opendir(native.c_str());
}

DirectoryListing::~DirectoryListing() {
    if (state_->dir != nullptr) closedir(state_->dir);
}

bool DirectoryListing::IsOpen() const { return state_->dir != nullptr; }

bool DirectoryListing::Next(DirectoryEntry& entry) {
    if (state_->dir == nullptr) return false;
    errno = 0;
    const dirent* found = readdir(state_->dir);
    if (found == nullptr) return false;
    entry = DirectoryEntry();
    entry.name = NativeToWide(found->d_name);
    struct stat st {};
    // Links count as what they lead to, as a directory link does on Windows.
    if (fstatat(dirfd(state_->dir), found->d_name, &st, 0) != 0) {
        entry.kind = EntryKind::Other;
    } else if (S_ISDIR(st.st_mode)) {
        entry.kind = EntryKind::Directory;
    } else if (S_ISREG(st.st_mode)) {
        entry.kind = EntryKind::File;
        entry.size = static_cast<std::uint64_t>(st.st_size);
    } else {
        entry.kind = EntryKind::Other; // FIFOs, sockets, devices
    }
    return true;
}

// ---------------------------------------------------------------- time

bool CurrentLocalTime(SystemTime& now) {
    now = SystemTime();
    const std::time_t seconds = std::time(nullptr);
    std::tm local {};
    if (localtime_r(&seconds, &local) == nullptr) return false;
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
    if (path == nullptr || *path == L'\0') return FileTimeLookup::NotFound;
    const std::string ansi = WideToAnsi(path);
    if (ansi.empty() || IsSeparator(ansi.back())) return FileTimeLookup::NotFound;
    struct stat st {};
    if (stat(NativePath(ansi).c_str(), &st) != 0) return FileTimeLookup::NotFound;

    // The bias in force now, whatever the file's own date.
    const std::time_t now = std::time(nullptr);
    std::tm now_local {};
    if (localtime_r(&now, &now_local) == nullptr) return FileTimeLookup::Unconvertible;
    const long long bias = now_local.tm_gmtoff;

    const long long seconds = static_cast<long long>(st.st_mtim.tv_sec);
    // FILETIME counts from 1601 and holds at most year 30827.
    if (seconds < -kFileTimeEpochOffset || seconds > 910692730085LL) return FileTimeLookup::Unconvertible;
    const long long local_seconds = seconds + bias;
    if (local_seconds < -kFileTimeEpochOffset) return FileTimeLookup::Unconvertible;
    FieldsFromUnixSeconds(local_seconds, static_cast<int>(st.st_mtim.tv_nsec / 1000000), local);
    return FileTimeLookup::Found;
}

bool SystemTimeToVariantTime(const SystemTime& time, double& days) {
    if (time.year < 100 || time.year > 9999 || time.month < 1 || time.month > 12 || time.day < 1 ||
        time.day > 31 || time.hour < 0 || time.hour > 23 || time.minute < 0 || time.minute > 59 ||
        time.second < 0 || time.second > 59)
        return false;
    // Day numbers past the month's end roll over into the next month, as
    // the OLE conversion does; callers detect that by converting back.
    const long long day_number = DaysFromCivil(time.year, time.month, 1) + (time.day - 1) - kOleEpochDays;
    const double fraction = (time.hour * 3600 + time.minute * 60 + time.second) / 86400.0;
    days = day_number >= 0 ? static_cast<double>(day_number) + fraction
                           : static_cast<double>(day_number) - fraction;
    return true;
}

bool VariantTimeToSystemTime(double days, SystemTime& time) {
    time = SystemTime();
    if (!(days > kOleMin && days <= kOleMax)) return false;
    long long whole = static_cast<long long>(days); // toward zero
    const double fraction = std::fabs(days - static_cast<double>(whole));
    long long seconds = std::llround(fraction * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++whole;
    }
    CivilFromDays(whole + kOleEpochDays, time.year, time.month, time.day);
    time.hour = static_cast<int>(seconds / 3600);
    time.minute = static_cast<int>(seconds / 60 % 60);
    time.second = static_cast<int>(seconds % 60);
    return true;
}

} // namespace parcelon::platform

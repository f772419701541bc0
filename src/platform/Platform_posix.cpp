// POSIX backend. The "ANSI code page" is the character set of the
// environment's locale, read with newlocale (the process's own locale is
// never changed); file names are that character set's bytes, with '/' as
// the separator the file system knows.
#include "platform/Platform.h"
#include "platform/TemporaryName.h"
#include "text/Utf8.h"

#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/random.h>
#endif

#include <cerrno>
#include <cstring>
#include <ctime>
#include <cwchar>

// Files past 2 GiB need 64-bit offsets, on 32-bit systems too (the build
// defines _FILE_OFFSET_BITS=64 for every POSIX target).
static_assert(sizeof(off_t) >= 8, "64-bit file offsets");

namespace parcelon::platform {

namespace {

// ---------------------------------------------------------------- charset

// The charset of the innermost CodePageScope on this thread, if any.
thread_local const std::string* t_scoped_charset = nullptr;

constexpr const char* kAsciiCharset = "ANSI_X3.4-1968";

// The character set that setlocale(LC_CTYPE, "") would select, without
// touching the process's locale. ASCII when the environment names no
// usable locale, as the C locale is.
std::string ReadLocaleCharset() {
    locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) return kAsciiCharset;
    std::string charset = nl_langinfo_l(CODESET, locale);
    freelocale(locale);
    return charset.empty() ? std::string(kAsciiCharset) : charset;
}

// newlocale maps the locale's LC_CTYPE file afresh every time (some 40 us),
// so an operation reads it once, through its CodePageScope.
std::string LocaleCharset() { return t_scoped_charset != nullptr ? *t_scoped_charset : ReadLocaleCharset(); }

// A byte that does not decode is kept as U+DC80..U+DCFF: a lone surrogate,
// which no character set encodes, so the mapping cannot collide with text.
constexpr wchar_t kEscapeBase = 0xDC00;
bool IsEscapedByte(wchar_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts in[0, size) and appends the result to out. At each input unit
    // (of `unit` bytes) that cannot be converted, calls on_failure(position
    // of that unit, out) and goes on after it. False when the converter
    // could not be opened.
    template <typename OnFailure>
    bool Run(const char* in, std::size_t size, std::size_t unit, std::string& out, OnFailure on_failure) {
        if (!ok()) return false;
        char buffer[512];
        char* src = const_cast<char*>(in);
        std::size_t left = size;
        while (left > 0) {
            char* dst = buffer;
            std::size_t room = sizeof buffer;
            const std::size_t rc = iconv(cd_, &src, &left, &dst, &room);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
            // EILSEQ or EINVAL: one unit the target lacks, or that is
            // malformed or cut short.
            on_failure(static_cast<std::size_t>(src - in), out);
            const std::size_t skip = left < unit ? left : unit;
            src += skip;
            left -= skip;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        char* dst = buffer;
        std::size_t room = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &dst, &room);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        return true;
    }

private:
    iconv_t cd_;
};

bool IsAscii(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

bool IsAscii(std::wstring_view text) {
    for (wchar_t c : text)
        if (static_cast<std::uint32_t>(c) >= 0x80) return false;
    return true;
}

// A character the locale's set lacks, as a UTF-8 system spells it.
void AppendAsUtf8(wchar_t c, std::string& out) { AppendUtf8(static_cast<char32_t>(c), out); }

// Wide text in the locale's character set. Escaped bytes come out as
// themselves; for any other character the set lacks, `missing` decides.
template <typename Missing>
std::string Encode(std::wstring_view text, Missing missing) {
    std::string out;
    if (IsAscii(text)) {
        out.assign(text.begin(), text.end());
        return out;
    }
    Converter converter(LocaleCharset().c_str(), "WCHAR_T");
    std::size_t start = 0;
    auto flush = [&](std::size_t end) {
        if (end == start) return;
        const bool converted = converter.Run(
            reinterpret_cast<const char*>(text.data() + start), (end - start) * sizeof(wchar_t), sizeof(wchar_t),
            out, [&](std::size_t offset, std::string& into) {
                missing(text[start + offset / sizeof(wchar_t)], into);
            });
        if (!converted)
            for (std::size_t i = start; i < end; ++i) missing(text[i], out);
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsEscapedByte(text[i])) continue;
        flush(i);
        out += static_cast<char>(text[i] - kEscapeBase);
        start = i + 1;
    }
    flush(text.size());
    return out;
}

// The bytes the file system knows a path by: '/' for both separators, the
// locale's character set, escaped bytes as themselves, and UTF-8 for a
// character the set lacks (that is how a UTF-8 system spells it). An empty
// path is the current folder.
std::string NativeOf(const std::wstring& path) {
    std::wstring slashed = path;
    for (wchar_t& c : slashed)
        if (c == L'\\') c = L'/';
    std::string native = Encode(slashed, AppendAsUtf8);
    return native.empty() ? std::string(".") : native;
}

// The folder part of a native path ("." when there is none).
std::string NativeParent(const std::string& native) {
    const std::size_t slash = native.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return native.substr(0, slash);
}

// Opens with O_NONBLOCK so that a FIFO never blocks, refuses everything
// that is not a regular file, then restores blocking reads.
std::FILE* OpenRegularForRead(const std::wstring& path) {
    if (path.empty()) return nullptr;
    const int fd = open(NativeOf(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
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

FileStamp StampOf(const struct stat& st) {
    FileStamp stamp;
    stamp.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    stamp.mode = static_cast<std::uint32_t>(st.st_mode);
    return stamp;
}

bool EndsInSeparator(const std::wstring& path) {
    return !path.empty() && (path.back() == L'/' || path.back() == L'\\');
}

} // namespace

// ---------------------------------------------------------------- text

CodePageScope::CodePageScope() : charset_(LocaleCharset()), outer_(t_scoped_charset) {
    t_scoped_charset = &charset_;
}

CodePageScope::~CodePageScope() { t_scoped_charset = outer_; }

std::string WideToAnsi(std::wstring_view text) {
    std::string ansi = Encode(text, [](wchar_t, std::string& out) { out += '?'; });
    // Like the narrow text of a zero-terminated buffer: up to the first zero.
    const std::size_t zero = ansi.find('\0');
    if (zero != std::string::npos) ansi.resize(zero);
    return ansi;
}

std::wstring AnsiToWide(std::string_view text) {
    if (IsAscii(text)) return std::wstring(text.begin(), text.end());
    Converter converter("WCHAR_T", LocaleCharset().c_str());
    std::string raw;
    auto escape = [&](std::size_t offset, std::string& out) {
        const wchar_t escaped = static_cast<wchar_t>(kEscapeBase + static_cast<unsigned char>(text[offset]));
        out.append(reinterpret_cast<const char*>(&escaped), sizeof escaped);
    };
    if (!converter.Run(text.data(), text.size(), 1, raw, escape))
        for (std::size_t i = 0; i < text.size(); ++i) escape(i, raw);
    std::wstring wide(raw.size() / sizeof(wchar_t), L'\0');
    if (!wide.empty()) std::memcpy(&wide[0], raw.data(), wide.size() * sizeof(wchar_t));
    return wide;
}

std::size_t AnsiCharLength(std::string_view text) {
    if (text.empty()) return 0;
    if (static_cast<unsigned char>(text[0]) < 0x80) return 1;
    // iconv converts exactly one character when the output has room for
    // one; what it consumed is that character's length.
    const iconv_t cd = iconv_open("WCHAR_T", LocaleCharset().c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return 1;
    wchar_t one = 0;
    char* src = const_cast<char*>(text.data());
    std::size_t left = text.size();
    char* dst = reinterpret_cast<char*>(&one);
    std::size_t room = sizeof one;
    iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    const std::size_t used = text.size() - left;
    return room == 0 && used > 0 ? used : 1;
}

bool IsDeviceName(std::wstring_view) { return false; }

// ---------------------------------------------------------------- files

bool PathExists(const std::wstring& path) {
    struct stat st {};
    return !path.empty() && stat(NativeOf(path).c_str(), &st) == 0;
}

bool IsReadable(const std::wstring& path) {
    return !path.empty() && access(NativeOf(path).c_str(), R_OK) == 0;
}

bool LookUpEntry(const std::wstring& path, FileStatus& status) {
    status = FileStatus();
    if (path.empty() || EndsInSeparator(path)) return false;
    struct stat st {};
    if (stat(NativeOf(path).c_str(), &st) != 0) return false;
    status.is_directory = S_ISDIR(st.st_mode);
    status.size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    status.stamp = StampOf(st);
    return true;
}

bool DirectoryExists(const std::wstring& path) {
    struct stat st {};
    return stat(NativeOf(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::wstring& path, bool* created) {
    if (created != nullptr) *created = false;
    if (path.empty()) return false;
    if (mkdir(NativeOf(path).c_str(), 0777) == 0) {
        if (created != nullptr) *created = true;
        return true;
    }
    return errno == EEXIST && DirectoryExists(path);
}

bool RemoveEmptyDirectory(const std::wstring& path) { return !path.empty() && rmdir(NativeOf(path).c_str()) == 0; }

Removal RemoveFile(const std::wstring& path) {
    if (path.empty()) return Removal::Refused;
    const std::string native = NativeOf(path);
    struct stat st {};
    if (lstat(native.c_str(), &st) != 0) {
        if (errno != ENOENT) return Removal::Refused;
        // Nothing there: fine, unless the folder it would be in is missing
        // too, which no archive can then be created in either.
        struct stat parent {};
        const bool folder = stat(NativeParent(native).c_str(), &parent) == 0 && S_ISDIR(parent.st_mode);
        return folder ? Removal::Missing : Removal::Refused;
    }
    // A folder is not a file; a file without any write permission bit is
    // read-only, and stays, whoever asks.
    if (S_ISDIR(st.st_mode)) return Removal::Refused;
    if (!S_ISLNK(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return Removal::Refused;
    if (unlink(native.c_str()) == 0) return Removal::Removed;
    return errno == ENOENT ? Removal::Missing : Removal::Refused;
}

Replacement CanReplace(const std::wstring& path) {
    if (path.empty()) return Replacement::Refused;
    const std::string native = NativeOf(path);
    struct stat st {};
    if (lstat(native.c_str(), &st) != 0) {
        if (errno != ENOENT) return Replacement::Refused;
        struct stat parent {};
        const bool folder = stat(NativeParent(native).c_str(), &parent) == 0 && S_ISDIR(parent.st_mode);
        return folder ? Replacement::Free : Replacement::Refused;
    }
    // A folder is not a file; a file without any write permission bit is
    // read-only, and stays, whoever asks; so does one in a folder the
    // process may not change.
    if (S_ISDIR(st.st_mode)) return Replacement::Refused;
    if (!S_ISLNK(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return Replacement::Refused;
    if (access(NativeParent(native).c_str(), W_OK | X_OK) != 0) return Replacement::Refused;
    return Replacement::Possible;
}

TemporaryFile CreateTemporaryBeside(const std::wstring& target) {
    TemporaryFile temporary;
    for (unsigned attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        const std::wstring candidate = TemporaryNameBeside(target, attempt);
        // O_CREAT | O_EXCL | O_CLOEXEC in one call, without fdopen's fcntl.
        temporary.file = std::fopen(NativeOf(candidate).c_str(), "wbxe");
        if (temporary.file == nullptr) {
            if (errno == EEXIST) continue;
            return temporary;
        }
        temporary.path = candidate;
        return temporary;
    }
    return temporary;
}

std::FILE* CreateNewFile(const std::wstring& path, NewFile& outcome) {
    outcome = NewFile::Failed;
    if (path.empty()) return nullptr;
    std::FILE* file = std::fopen(NativeOf(path).c_str(), "wbxe");
    if (file != nullptr) outcome = NewFile::Created;
    else if (errno == EEXIST) outcome = NewFile::Exists;
    return file;
}

bool MoveIntoPlace(const std::wstring& source, const std::wstring& target) {
    return rename(NativeOf(source).c_str(), NativeOf(target).c_str()) == 0;
}

bool GetFileIdentity(const std::wstring& path, FileIdentity& identity) {
    identity = FileIdentity();
    struct stat st {};
    if (stat(NativeOf(path).c_str(), &st) != 0) return false;
    identity.volume = static_cast<std::uint64_t>(st.st_dev);
    identity.index_low = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

void FileCloser::operator()(std::FILE* file) const noexcept {
    if (file != nullptr) std::fclose(file);
}

std::FILE* OpenForRead(const std::wstring& path) { return OpenRegularForRead(path); }

std::FILE* OpenForReadDenyWrite(const std::wstring& path) { return OpenRegularForRead(path); }

std::FILE* OpenForWrite(const std::wstring& path) {
    if (path.empty()) return nullptr;
    return std::fopen(NativeOf(path).c_str(), "wbe");
}

std::FILE* OpenForUpdate(const std::wstring& path) {
    if (path.empty()) return nullptr;
    return std::fopen(NativeOf(path).c_str(), "r+be");
}

bool CloseFile(std::FILE* file) { return file != nullptr && std::fclose(file) == 0; }

bool SeekFile(std::FILE* file, std::int64_t offset, int origin) {
    return fseeko(file, static_cast<off_t>(offset), origin) == 0;
}

std::int64_t TellFile(std::FILE* file) { return static_cast<std::int64_t>(ftello(file)); }

// ---------------------------------------------------------------- files to pack

void SourceFile::Close() noexcept {
    if (handle_ >= 0) close(static_cast<int>(handle_));
    handle_ = -1;
}

bool SourceFile::IsOpen() const { return handle_ >= 0; }

SourceFile::Opening SourceFile::Open(const std::wstring& path, bool, SourceFile& file) {
    file = SourceFile();
    if (path.empty()) return Opening::Absent;
    const std::string native = NativeOf(path);
    // O_NONBLOCK: a FIFO opens at once instead of waiting for a writer (and
    // is then refused); a regular file reads the same either way, so the
    // flag stays.
    const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        // Only now is it asked what was there: a path the process may not
        // read is passed over, anything else failed to open.
        return access(native.c_str(), R_OK) == 0 ? Opening::Refused : Opening::Absent;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return Opening::Refused;
    }
    file.handle_ = fd;
    file.size_ = static_cast<std::uint64_t>(st.st_size);
    return Opening::Opened;
}

std::size_t SourceFile::Read(unsigned char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size && handle_ >= 0) {
        const ssize_t got = read(static_cast<int>(handle_), buffer + done, size - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            failed_ = true;
            break;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
        position_ += static_cast<std::uint64_t>(got);
        // Short of what was asked, at the size the file had: its end.
        if (done < size && position_ == size_) break;
    }
    return done;
}

bool SourceFile::Seek(std::uint64_t position) {
    if (handle_ < 0 || lseek(static_cast<int>(handle_), static_cast<off_t>(position), SEEK_SET) < 0) return false;
    position_ = position;
    failed_ = false;
    return true;
}

// ---------------------------------------------------------------- folders

struct DirectoryListing::State {
    DIR* dir = nullptr;
};

DirectoryListing::DirectoryListing(const std::wstring& directory) : state_(new State) {
    state_->dir = opendir(NativeOf(directory).c_str());
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
    entry.name = AnsiToWide(found->d_name);
    struct stat st {};
    // Links count as what they lead to, as a folder link does on Windows.
    if (fstatat(dirfd(state_->dir), found->d_name, &st, 0) != 0) {
        entry.kind = EntryKind::Other;
    } else if (S_ISDIR(st.st_mode)) {
        entry.kind = EntryKind::Directory;
        entry.stamp = StampOf(st);
    } else if (S_ISREG(st.st_mode)) {
        entry.kind = EntryKind::File;
        entry.size = static_cast<std::uint64_t>(st.st_size);
        entry.stamp = StampOf(st);
    } else {
        entry.kind = EntryKind::Other; // FIFOs, sockets, devices
    }
    return true;
}

// ---------------------------------------------------------------- time

namespace {

constexpr long long kFileTimeEpochOffset = 11644473600LL; // 1601-01-01 to 1970-01-01 in seconds
constexpr long long kLastFileTimeSecond = 910692730085LL; // FILETIME holds at most year 30827

} // namespace

bool CurrentLocalTime(SystemTime& now) {
    now = SystemTime();
    const std::time_t seconds = std::time(nullptr);
    std::tm local {};
    if (localtime_r(&seconds, &local) == nullptr) return false;
    now = FieldsOf(local);
    return true;
}

FileTimeLookup FileLastWriteLocal(const std::wstring& path, SystemTime& local) {
    local = SystemTime();
    if (path.empty() || EndsInSeparator(path)) return FileTimeLookup::NotFound;
    struct stat st {};
    if (stat(NativeOf(path).c_str(), &st) != 0) return FileTimeLookup::NotFound;

    // The bias in force now, whatever the file's own date.
    const std::time_t now = std::time(nullptr);
    std::tm now_local {};
    if (localtime_r(&now, &now_local) == nullptr) return FileTimeLookup::Unconvertible;
    const long long bias = now_local.tm_gmtoff;

    const long long seconds = static_cast<long long>(st.st_mtim.tv_sec);
    if (seconds < -kFileTimeEpochOffset || seconds > kLastFileTimeSecond) return FileTimeLookup::Unconvertible;
    const long long local_seconds = seconds + bias;
    if (local_seconds < -kFileTimeEpochOffset) return FileTimeLookup::Unconvertible;
    // The fields of the UTC calendar at the shifted moment are the local ones.
    const std::time_t shifted = static_cast<std::time_t>(local_seconds);
    std::tm fields {};
    if (gmtime_r(&shifted, &fields) == nullptr) return FileTimeLookup::Unconvertible;
    local = FieldsOf(fields);
    local.milliseconds = static_cast<int>(st.st_mtim.tv_nsec / 1000000);
    return FileTimeLookup::Found;
}

bool ReadFileAt(std::FILE* file, std::uint64_t offset, void* buffer, std::size_t size) {
    const int fd = fileno(file);
    auto* out = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const ssize_t got = pread(fd, out, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        offset += static_cast<std::uint64_t>(got);
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool UtcSecondsToLocalTime(std::int64_t seconds, SystemTime& local) {
    local = SystemTime();
    const std::time_t moment = static_cast<std::time_t>(seconds);
    std::tm fields {};
    if (static_cast<std::int64_t>(moment) != seconds || localtime_r(&moment, &fields) == nullptr) return false;
    local = FieldsOf(fields);
    return true;
}

bool LocalTimeToUtcSeconds(const SystemTime& local, std::int64_t& seconds) {
    std::tm fields {};
    fields.tm_year = local.year - 1900;
    fields.tm_mon = local.month - 1;
    fields.tm_mday = local.day;
    fields.tm_hour = local.hour;
    fields.tm_min = local.minute;
    fields.tm_sec = local.second;
    fields.tm_isdst = -1; // whatever the zone's rules say for that date
    const std::time_t utc = std::mktime(&fields);
    if (utc == static_cast<std::time_t>(-1)) return false; // (one second of 1969 is lost to it)
    seconds = static_cast<std::int64_t>(utc);
    return true;
}

bool SetModificationTime(const std::wstring& path, std::int64_t seconds) {
    if (path.empty()) return false;
    struct timespec times[2] {};
    times[0].tv_sec = static_cast<std::time_t>(seconds);
    times[1].tv_sec = static_cast<std::time_t>(seconds);
    return utimensat(AT_FDCWD, NativeOf(path).c_str(), times, 0) == 0;
}

bool SystemRandom(unsigned char* out, std::size_t size) {
    std::size_t done = 0;
#if defined(__linux__)
    while (done < size) {
        const ssize_t got = getrandom(out + done, size - done, 0);
        if (got > 0) {
            done += static_cast<std::size_t>(got);
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            break; // ENOSYS on an old kernel: the device below
        }
    }
    if (done == size) return true;
#endif
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    while (done < size) {
        const ssize_t got = ::read(fd, out + done, size - done);
        if (got > 0) {
            done += static_cast<std::size_t>(got);
        } else if (!(got < 0 && errno == EINTR)) {
            break;
        }
    }
    ::close(fd);
    return done == size;
}

unsigned ProcessorCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return static_cast<unsigned>(CPU_COUNT(&set));
    const unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? count : 1;
}

std::thread StartThread(std::function<void()> body) {
    // A new thread inherits its creator's signal mask: block everything
    // for the moment of its creation only.
    sigset_t all;
    sigset_t saved;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &saved);
    struct Restore {
        const sigset_t& mask;
        ~Restore() { pthread_sigmask(SIG_SETMASK, &mask, nullptr); }
    } restore{saved};
    return std::thread(std::move(body));
}

} // namespace parcelon::platform

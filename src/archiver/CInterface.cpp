// The C interface (ParcelonC.h): each function runs the operation the class
// member of the same name runs, on the archiver's CParcelon, with
// diagnostics that also keep the outcome for parcelon_last_error and
// parcelon_last_message. No exception leaves a function.
#include "ParcelonC.h"

#include <new>
#include <string>
#include <vector>

#include "Parcelon.h"
#include "archiver/ObjectAccess.h"
#include "create/ZipDirectory.h"
#include "create/ZipFiles.h"
#include "extract/UnzipFile.h"
#include "messages/Messages.h"
#include "text/TextHelpers.h"
#include "text/Utf8.h"

namespace {

int CodeOf(parcelon::PackFailure failure) {
    using parcelon::PackFailure;
    switch (failure) {
    case PackFailure::None: return PARCELON_OK;
    case PackFailure::CannotRemoveOldArchive: return PARCELON_E_CANNOT_REMOVE_OLD_ARCHIVE;
    case PackFailure::CannotCreateArchive: return PARCELON_E_CANNOT_CREATE_ARCHIVE;
    case PackFailure::CannotCloseArchive: return PARCELON_E_CANNOT_CLOSE_ARCHIVE;
    case PackFailure::CannotReplaceArchive: return PARCELON_E_CANNOT_REPLACE_ARCHIVE;
    case PackFailure::CannotAddFolder: return PARCELON_E_CANNOT_ADD_FOLDER;
    case PackFailure::CannotAddEntry: return PARCELON_E_CANNOT_ADD_ENTRY;
    case PackFailure::CannotOpenSource: return PARCELON_E_CANNOT_OPEN_SOURCE;
    case PackFailure::CannotWriteEntry: return PARCELON_E_CANNOT_WRITE_ENTRY;
    case PackFailure::CannotReadSource: return PARCELON_E_CANNOT_READ_SOURCE;
    }
    return PARCELON_E_INVALID_ARGUMENT;
}

int CodeOf(parcelon::UnzipFailure failure) {
    using parcelon::UnzipFailure;
    switch (failure) {
    case UnzipFailure::None: return PARCELON_OK;
    case UnzipFailure::CannotOpenArchive: return PARCELON_E_CANNOT_OPEN_ARCHIVE;
    case UnzipFailure::CannotReadArchiveInfo: return PARCELON_E_CANNOT_READ_ARCHIVE_INFO;
    case UnzipFailure::CannotFindFirstEntry: return PARCELON_E_CANNOT_FIND_FIRST_ENTRY;
    case UnzipFailure::CannotReadEntryInfo: return PARCELON_E_CANNOT_READ_ENTRY_INFO;
    case UnzipFailure::EntryNameUnsafe: return PARCELON_E_ENTRY_NAME_UNSAFE;
    case UnzipFailure::FolderEntryHasData: return PARCELON_E_FOLDER_ENTRY_HAS_DATA;
    case UnzipFailure::DestinationMissing: return PARCELON_E_DESTINATION_MISSING;
    case UnzipFailure::CannotCreateFolder: return PARCELON_E_CANNOT_CREATE_FOLDER;
    case UnzipFailure::CannotCreateOutput: return PARCELON_E_CANNOT_CREATE_OUTPUT;
    case UnzipFailure::CannotOpenEntry: return PARCELON_E_CANNOT_OPEN_ENTRY;
    case UnzipFailure::LocalHeaderMismatch: return PARCELON_E_LOCAL_HEADER_MISMATCH;
    case UnzipFailure::EntryOverlaps: return PARCELON_E_ENTRY_OVERLAPS;
    case UnzipFailure::UnsupportedMethod: return PARCELON_E_UNSUPPORTED_METHOD;
    case UnzipFailure::UnsupportedEncryption: return PARCELON_E_UNSUPPORTED_ENCRYPTION;
    case UnzipFailure::PasswordRequired: return PARCELON_E_PASSWORD_REQUIRED;
    case UnzipFailure::WrongPassword: return PARCELON_E_WRONG_PASSWORD;
    case UnzipFailure::DataCorrupt: return PARCELON_E_DATA_CORRUPT;
    case UnzipFailure::CannotWriteOutput: return PARCELON_E_CANNOT_WRITE_OUTPUT;
    }
    return PARCELON_E_INVALID_ARGUMENT;
}

// Writes the lines as the class does, and keeps the last one.
class OutcomeDiagnostics final : public parcelon::Diagnostics {
public:
    void Report(parcelon::PackFailure failure, std::wstring_view subject) override {
        Diagnostics::Report(failure, subject);
        Keep(CodeOf(failure), parcelon::messages::TextUtf8(failure), parcelon::WideToUtf8(subject));
    }
    void Report(parcelon::UnzipFailure failure) override {
        Diagnostics::Report(failure);
        Keep(CodeOf(failure), parcelon::messages::TextUtf8(failure), std::string());
    }

    int code = PARCELON_OK;
    std::string message;

private:
    void Keep(int failure_code, const char* text, const std::string& subject) {
        code = failure_code;
        // A failure that writes no line (an old archive that stays) has
        // none here either.
        message = text != nullptr ? text + subject : std::string();
    }
};

// Calls fn(value, user_data) for OnProgress.
struct ProgressBridge final : TZipProgressCallback {
    parcelon_progress_fn fn = nullptr;
    void* user_data = nullptr;
    void OnProgress(int nValue) override { fn(nValue, user_data); }
};

} // namespace

struct parcelon_archiver {
    CParcelon object;
    ProgressBridge progress;
    unsigned threads = 1;
    int last_error = PARCELON_OK;
    std::string last_message;
};

namespace {

int OutOfMemory(parcelon_archiver* a) {
    if (a != nullptr) {
        a->last_error = PARCELON_E_OUT_OF_MEMORY;
        a->last_message.clear();
    }
    return 0;
}

int Invalid(parcelon_archiver* a) {
    if (a != nullptr) {
        a->last_error = PARCELON_E_INVALID_ARGUMENT;
        a->last_message.clear();
    }
    return 0;
}

// Runs an operation with fresh diagnostics and keeps its outcome; any
// exception (only running out of memory throws) becomes a code.
template <typename Operation>
int Run(parcelon_archiver* a, Operation operation) {
    if (a == nullptr) return 0;
    try {
        a->last_error = PARCELON_OK;
        a->last_message.clear();
        OutcomeDiagnostics diagnostics;
        const bool ok = operation(diagnostics);
        a->last_error = diagnostics.code;
        a->last_message = std::move(diagnostics.message);
        return ok ? 1 : 0;
    } catch (...) {
        return OutOfMemory(a);
    }
}

// A list the host hands over, as wide strings; false for a null list with
// entries, or a null entry.
template <typename Char, typename Convert>
bool TakeList(const Char* const* items, std::size_t count, std::vector<std::wstring>& list, Convert convert) {
    if (items == nullptr && count > 0) return false;
    list.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (items[i] == nullptr) return false;
        list.push_back(convert(items[i]));
    }
    return true;
}

std::wstring Wide(const wchar_t* text) { return text; }
std::wstring FromUtf8(const char* text) { return parcelon::Utf8ToWide(text); }

// The wide form of an optional path (null stays null, as the class takes it).
struct Path {
    explicit Path(const char* utf8) : is_null(utf8 == nullptr), text(utf8 != nullptr ? FromUtf8(utf8) : L"") {}
    const wchar_t* get() const { return is_null ? nullptr : text.c_str(); }
    bool is_null;
    std::wstring text;
};

int ZipFiles(parcelon_archiver* a, const std::vector<std::wstring>& files, const wchar_t* zip_file, unsigned level,
             const char* password) {
    return Run(a, [&](parcelon::Diagnostics& diagnostics) {
        parcelon::PackingState state = parcelon::ObjectAccess::Packing(a->object);
        state.threads = a->threads;
        return parcelon::ZipFiles(state, files, zip_file, level, password, diagnostics);
    });
}

int ZipDirectory(parcelon_archiver* a, const wchar_t* src_dir, const wchar_t* zip_file, int recursive,
                 unsigned level, const char* password, int minutes, const std::vector<std::wstring>& includes,
                 const std::vector<std::wstring>& excludes) {
    return Run(a, [&](parcelon::Diagnostics& diagnostics) {
        parcelon::PackingState state = parcelon::ObjectAccess::Packing(a->object);
        state.threads = a->threads;
        return parcelon::ZipDirectory(state, src_dir, zip_file, includes, excludes, recursive != 0, level, password,
                                      minutes, diagnostics);
    });
}

int UnzipFile(parcelon_archiver* a, const std::wstring& zip_file, const std::wstring& dest_dir, const char* password) {
    return Run(a, [&](parcelon::Diagnostics& diagnostics) {
        return parcelon::UnzipFile(zip_file, dest_dir, password, diagnostics);
    });
}

} // namespace

extern "C" {

parcelon_archiver* PARCELON_CALL parcelon_new(void) { return new (std::nothrow) parcelon_archiver(); }

void PARCELON_CALL parcelon_free(parcelon_archiver* a) { delete a; }

void PARCELON_CALL parcelon_set_progress(parcelon_archiver* a, parcelon_progress_fn fn, void* user_data) {
    if (a == nullptr) return;
    a->progress.fn = fn;
    a->progress.user_data = user_data;
    a->object.SetCallbacker(fn != nullptr ? &a->progress : nullptr);
}

void PARCELON_CALL parcelon_stop(parcelon_archiver* a) {
    if (a != nullptr) a->object.Stop();
}

int PARCELON_CALL parcelon_set_threads(parcelon_archiver* a, unsigned threads) {
    if (a == nullptr) return 0;
    a->threads = threads;
    return 1;
}

int PARCELON_CALL parcelon_zip_files(parcelon_archiver* a, const wchar_t* const* files, size_t count,
                                     const wchar_t* zip_file, unsigned level, const char* password) {
    std::vector<std::wstring> list;
    try {
        if (a == nullptr || !TakeList(files, count, list, Wide)) return Invalid(a);
    } catch (...) {
        return OutOfMemory(a);
    }
    return ZipFiles(a, list, zip_file, level, password);
}

int PARCELON_CALL parcelon_zip_files_utf8(parcelon_archiver* a, const char* const* files, size_t count,
                                          const char* zip_file, unsigned level, const char* password) {
    std::vector<std::wstring> list;
    try {
        if (a == nullptr || !TakeList(files, count, list, FromUtf8)) return Invalid(a);
        const Path zip(zip_file);
        return ZipFiles(a, list, zip.get(), level, password);
    } catch (...) {
        return OutOfMemory(a);
    }
}

int PARCELON_CALL parcelon_zip_directory(parcelon_archiver* a, const wchar_t* src_dir, const wchar_t* zip_file,
                                         int recursive, unsigned level, const char* password, int minutes,
                                         const wchar_t* const* includes, size_t include_count,
                                         const wchar_t* const* excludes, size_t exclude_count) {
    std::vector<std::wstring> include_list;
    std::vector<std::wstring> exclude_list;
    try {
        if (a == nullptr || !TakeList(includes, include_count, include_list, Wide) ||
            !TakeList(excludes, exclude_count, exclude_list, Wide))
            return Invalid(a);
    } catch (...) {
        return OutOfMemory(a);
    }
    return ZipDirectory(a, src_dir, zip_file, recursive, level, password, minutes, include_list, exclude_list);
}

int PARCELON_CALL parcelon_zip_directory_utf8(parcelon_archiver* a, const char* src_dir, const char* zip_file,
                                              int recursive, unsigned level, const char* password, int minutes,
                                              const char* const* includes, size_t include_count,
                                              const char* const* excludes, size_t exclude_count) {
    std::vector<std::wstring> include_list;
    std::vector<std::wstring> exclude_list;
    try {
        if (a == nullptr || !TakeList(includes, include_count, include_list, FromUtf8) ||
            !TakeList(excludes, exclude_count, exclude_list, FromUtf8))
            return Invalid(a);
        const Path source(src_dir);
        const Path zip(zip_file);
        return ZipDirectory(a, source.get(), zip.get(), recursive, level, password, minutes, include_list,
                            exclude_list);
    } catch (...) {
        return OutOfMemory(a);
    }
}

int PARCELON_CALL parcelon_unzip_file(parcelon_archiver* a, const char* zip_file, const char* dest_dir,
                                      const char* password) {
    if (a == nullptr) return 0;
    try {
        return UnzipFile(a, parcelon::FromAnsi(zip_file), parcelon::FromAnsi(dest_dir), password);
    } catch (...) {
        return OutOfMemory(a);
    }
}

int PARCELON_CALL parcelon_unzip_file_utf8(parcelon_archiver* a, const char* zip_file, const char* dest_dir,
                                           const char* password) {
    if (a == nullptr) return 0;
    try {
        return UnzipFile(a, Path(zip_file).text, Path(dest_dir).text, password);
    } catch (...) {
        return OutOfMemory(a);
    }
}

int PARCELON_CALL parcelon_last_error(const parcelon_archiver* a) {
    return a != nullptr ? a->last_error : PARCELON_E_INVALID_ARGUMENT;
}

const char* PARCELON_CALL parcelon_last_message(const parcelon_archiver* a) {
    return a != nullptr ? a->last_message.c_str() : "";
}

const char* PARCELON_CALL parcelon_error_text(int code) {
    switch (code) {
    case PARCELON_OK: return "no error";
    case PARCELON_E_INVALID_ARGUMENT: return "invalid argument";
    case PARCELON_E_OUT_OF_MEMORY: return "out of memory";
    case PARCELON_E_STOPPED: return "stopped";
    case PARCELON_E_CANNOT_REMOVE_OLD_ARCHIVE: return "the file at the archive's path cannot be replaced";
    case PARCELON_E_CANNOT_CREATE_ARCHIVE: return "the archive cannot be created";
    case PARCELON_E_CANNOT_CLOSE_ARCHIVE: return "the archive cannot be completed";
    case PARCELON_E_CANNOT_REPLACE_ARCHIVE: return "the archive cannot take the place of the file at its path";
    case PARCELON_E_CANNOT_ADD_FOLDER: return "a folder entry cannot be written";
    case PARCELON_E_CANNOT_ADD_ENTRY: return "an entry cannot be added";
    case PARCELON_E_CANNOT_OPEN_SOURCE: return "a file cannot be opened";
    case PARCELON_E_CANNOT_WRITE_ENTRY: return "an entry cannot be written";
    case PARCELON_E_CANNOT_READ_SOURCE: return "a file cannot be read";
    case PARCELON_E_SOURCE_MISSING: return "a file does not exist";
    case PARCELON_E_SOURCE_IS_ARCHIVE: return "a file is the archive being written";
    case PARCELON_E_CANNOT_OPEN_ARCHIVE: return "the archive cannot be opened, or is no ZIP archive";
    case PARCELON_E_CANNOT_READ_ARCHIVE_INFO: return "the archive's end record is damaged";
    case PARCELON_E_CANNOT_FIND_FIRST_ENTRY: return "the archive's central directory is damaged";
    case PARCELON_E_CANNOT_READ_ENTRY_INFO: return "an entry's record is damaged";
    case PARCELON_E_ENTRY_NAME_UNSAFE: return "an entry's name is unsafe";
    case PARCELON_E_FOLDER_ENTRY_HAS_DATA: return "a folder entry carries data";
    case PARCELON_E_DESTINATION_MISSING: return "the destination folder does not exist";
    case PARCELON_E_CANNOT_CREATE_FOLDER: return "a folder cannot be created";
    case PARCELON_E_CANNOT_CREATE_OUTPUT: return "an output file cannot be created";
    case PARCELON_E_CANNOT_OPEN_ENTRY: return "an entry cannot be opened";
    case PARCELON_E_LOCAL_HEADER_MISMATCH: return "an entry's local header disagrees with its record";
    case PARCELON_E_ENTRY_OVERLAPS: return "an entry overlaps another";
    case PARCELON_E_UNSUPPORTED_METHOD: return "an entry uses a compression method the library cannot read";
    case PARCELON_E_UNSUPPORTED_ENCRYPTION: return "an entry uses an encryption the library cannot read";
    case PARCELON_E_PASSWORD_REQUIRED: return "a password is required";
    case PARCELON_E_WRONG_PASSWORD: return "wrong password";
    case PARCELON_E_DATA_CORRUPT: return "an entry's data are damaged";
    case PARCELON_E_CANNOT_WRITE_OUTPUT: return "an output file cannot be written";
    case PARCELON_E_LIMIT: return "an entry exceeds a limit";
    case PARCELON_E_EXISTS: return "a file of the entry's name exists";
    default: return "unknown error";
    }
}

const char* PARCELON_CALL parcelon_version(void) { return PARCELON_C_VERSION; }

} // extern "C"

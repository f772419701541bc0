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
#include "extract/ArchiveReader.h"
#include "extract/EntryTime.h"
#include "extract/Extraction.h"
#include "extract/UnzipFile.h"
#include "messages/Messages.h"
#include "platform/Platform.h"
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
    case PackFailure::SourceMissing: return PARCELON_E_SOURCE_MISSING;
    case PackFailure::SourceUnreadable: return PARCELON_E_CANNOT_OPEN_SOURCE;
    case PackFailure::SourceIsArchive: return PARCELON_E_SOURCE_IS_ARCHIVE;
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
    case UnzipFailure::Stopped: return PARCELON_E_STOPPED;
    case UnzipFailure::LimitExceeded: return PARCELON_E_LIMIT;
    case UnzipFailure::ExistingFile:
    case UnzipFailure::ExistingFileKept: return PARCELON_E_EXISTS;
    }
    return PARCELON_E_INVALID_ARGUMENT;
}

// How an archiver reports: the report function, and whether lines go to
// the standard error stream.
struct Reporting {
    parcelon_report_fn fn = nullptr;
    void* user_data = nullptr;
    bool stderr_lines = true;
};

// Writes the lines as the class does (unless the host turned them off),
// tells the report function of every file or entry that failed, and keeps
// the last failure for parcelon_last_error and parcelon_last_message.
class OutcomeDiagnostics final : public parcelon::Diagnostics {
public:
    // entry_names: the reading calls name each entry in their lines;
    // parcelon_unzip_file's lines are the class's, without a name.
    OutcomeDiagnostics(const Reporting& reporting, bool entry_names)
        : reporting_(reporting), entry_names_(entry_names) {}

    void Report(parcelon::PackFailure failure, std::wstring_view subject) override {
        using parcelon::PackFailure;
        if (reporting_.stderr_lines) Diagnostics::Report(failure, subject);
        const std::string path = parcelon::WideToUtf8(subject);
        const std::string message = Line(parcelon::messages::TextUtf8(failure), path);
        // The archive itself, met in the tree or the list, is left out by
        // design; the report function hears of it all the same.
        if (failure != PackFailure::SourceIsArchive) Keep(CodeOf(failure), message);
        // What concerns the archive as a whole is the call's result; the
        // report function hears of the files.
        const bool whole_archive = failure == PackFailure::CannotRemoveOldArchive ||
                                   failure == PackFailure::CannotCreateArchive ||
                                   failure == PackFailure::CannotCloseArchive ||
                                   failure == PackFailure::CannotReplaceArchive;
        if (!whole_archive) Tell(CodeOf(failure), path, message);
    }

    void Report(parcelon::UnzipFailure failure, std::wstring_view subject) override {
        using parcelon::UnzipFailure;
        // The reading calls name the entry after a colon; the class's
        // lines (parcelon_unzip_file) name nothing.
        const bool named = entry_names_ && !subject.empty();
        const std::string name = named ? u8"：" + parcelon::WideToUtf8(subject) : std::string();
        if (reporting_.stderr_lines) {
            if (named) parcelon::messages::WriteLine(parcelon::messages::Text(failure), "\xA3\xBA" + parcelon::platform::WideToAnsi(subject));
            else Diagnostics::Report(failure, subject);
        }
        const std::string message = Line(parcelon::messages::TextUtf8(failure), name);
        // An entry passed over as the host asked is no failure of the call.
        if (failure != UnzipFailure::ExistingFileKept) Keep(CodeOf(failure), message);
        if (!subject.empty()) Tell(CodeOf(failure), parcelon::WideToUtf8(subject), message);
    }

    int code = PARCELON_OK;
    std::string message;

private:
    static std::string Line(const char* text, const std::string& subject) {
        // A failure that writes no line (an old archive that stays, a stop)
        // has none here either.
        return text != nullptr ? text + subject : std::string();
    }
    void Keep(int failure_code, const std::string& line) {
        code = failure_code;
        message = line;
    }
    void Tell(int failure_code, const std::string& path, const std::string& line) const {
        if (reporting_.fn != nullptr) reporting_.fn(failure_code, path.c_str(), line.c_str(), reporting_.user_data);
    }

    const Reporting& reporting_;
    bool entry_names_;
};

// Calls fn(value, user_data) for OnProgress.
struct ProgressBridge final : TZipProgressCallback {
    parcelon_progress_fn fn = nullptr;
    void* user_data = nullptr;
    void OnProgress(int nValue) override { fn(nValue, user_data); }
};

// What the packing calls write beyond the class's choices.
struct PackingChoices {
    parcelon::Encryption encryption = parcelon::Encryption::Traditional;
    parcelon::EntryStyle style = parcelon::EntryStyle::Classic;
};

} // namespace

struct parcelon_archiver {
    CParcelon object;
    ProgressBridge progress;
    unsigned threads = 1;
    PackingChoices packing;
    Reporting reporting;
    parcelon::ExtractOptions extract; // its patterns come with each call
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
// exception (only running out of memory throws) becomes a code. A packing
// call that a stop cut short says so, though it succeeds.
template <typename Operation>
int Run(parcelon_archiver* a, Operation operation, bool entry_names = false) {
    if (a == nullptr) return 0;
    try {
        a->last_error = PARCELON_OK;
        a->last_message.clear();
        OutcomeDiagnostics diagnostics(a->reporting, entry_names);
        const bool ok = operation(diagnostics);
        a->last_error = diagnostics.code;
        a->last_message = std::move(diagnostics.message);
        return ok ? 1 : 0;
    } catch (...) {
        return OutOfMemory(a);
    }
}

template <typename Operation>
int RunPacking(parcelon_archiver* a, Operation operation) {
    const int result = Run(a, operation);
    if (result == 1 && parcelon::ObjectAccess::Packing(a->object).stop.load(std::memory_order_relaxed)) {
        a->last_error = PARCELON_STOPPED;
        a->last_message.clear();
    }
    return result;
}

// The progress function and the stop flag, for the reading calls.
class ReadingBridge final : public parcelon::ReadingObserver {
public:
    explicit ReadingBridge(parcelon_archiver& a) : a_(a) {}
    void Progress(int percent) override {
        if (a_.progress.fn != nullptr) a_.progress.fn(percent, a_.progress.user_data);
    }
    bool StopRequested() const override {
        return parcelon::ObjectAccess::Packing(a_.object).stop.load(std::memory_order_relaxed);
    }

private:
    parcelon_archiver& a_;
};

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
    return RunPacking(a, [&](parcelon::Diagnostics& diagnostics) {
        parcelon::PackingState state = parcelon::ObjectAccess::Packing(a->object);
        state.threads = a->threads;
        state.encryption = a->packing.encryption;
        state.style = a->packing.style;
        return parcelon::ZipFiles(state, files, zip_file, level, password, diagnostics);
    });
}

int ZipDirectory(parcelon_archiver* a, const wchar_t* src_dir, const wchar_t* zip_file, int recursive,
                 unsigned level, const char* password, int minutes, const std::vector<std::wstring>& includes,
                 const std::vector<std::wstring>& excludes) {
    return RunPacking(a, [&](parcelon::Diagnostics& diagnostics) {
        parcelon::PackingState state = parcelon::ObjectAccess::Packing(a->object);
        state.threads = a->threads;
        state.encryption = a->packing.encryption;
        state.style = a->packing.style;
        return parcelon::ZipDirectory(state, src_dir, zip_file, includes, excludes, recursive != 0, level, password,
                                      minutes, diagnostics);
    });
}

int UnzipFile(parcelon_archiver* a, const std::wstring& zip_file, const std::wstring& dest_dir, const char* password) {
    return Run(a, [&](parcelon::Diagnostics& diagnostics) {
        return parcelon::UnzipFile(zip_file, dest_dir, password, diagnostics);
    });
}


int List(parcelon_archiver* a, const std::wstring& zip_file, parcelon_entry_fn fn, void* user_data) {
    return Run(a, [&](parcelon::Diagnostics& diagnostics) {
        const parcelon::platform::CodePageScope code_page;
        parcelon::ArchiveReader reader(zip_file);
        parcelon::ArchiveEntry entry;
        for (;;) {
            const parcelon::UnzipFailure read = reader.Next(entry);
            if (read != parcelon::UnzipFailure::None) {
                diagnostics.Report(read, {});
                return false;
            }
            if (reader.done()) return true;
            const parcelon::CentralRecord& record = entry.record;
            const std::string name = parcelon::WideToUtf8(entry.name);
            parcelon_entry listed {};
            listed.index = static_cast<std::size_t>(entry.index);
            listed.name = name.c_str();
            listed.size = record.uncompressed_size;
            listed.compressed_size = record.compressed_size;
            listed.crc32 = record.crc;
            listed.method = record.method;
            listed.encrypted = (record.flags & parcelon::zip::kFlagEncrypted) != 0 ? 1 : 0;
            listed.is_folder = entry.is_folder ? 1 : 0;
            listed.mtime = parcelon::ModificationTime(record);
            if (fn(&listed, user_data) != 0) return true;
        }
    });
}

int Test(parcelon_archiver* a, const std::wstring& zip_file, const char* password) {
    return Run(
        a,
        [&](parcelon::Diagnostics& diagnostics) {
            ReadingBridge bridge(*a);
            return parcelon::TestArchive(zip_file, password, parcelon::ReadingThreads(a->threads), &bridge,
                                         diagnostics);
        },
        true);
}

int Extract(parcelon_archiver* a, const std::wstring& zip_file, const std::wstring& dest_dir, const char* password,
            std::vector<std::wstring> patterns) {
    return Run(
        a,
        [&](parcelon::Diagnostics& diagnostics) {
            ReadingBridge bridge(*a);
            parcelon::ExtractOptions options = a->extract;
            options.patterns = std::move(patterns);
            options.threads = parcelon::ReadingThreads(a->threads);
            return parcelon::ExtractArchive(zip_file, dest_dir, password, options, &bridge, diagnostics);
        },
        true);
}

// An option's value as a count or size (limits): none negative.
bool TakeCount(parcelon_i64 value, std::uint64_t& count) {
    if (value < 0) return false;
    count = static_cast<std::uint64_t>(value);
    return true;
}

bool SetOption(parcelon_archiver& a, int option, parcelon_i64 value) {
    const bool flag = value == 0 || value == 1;
    switch (option) {
    case PARCELON_OPT_OVERWRITE:
        if (value == PARCELON_OVERWRITE_REPLACE) a.extract.overwrite = parcelon::Overwrite::Replace;
        else if (value == PARCELON_OVERWRITE_SKIP) a.extract.overwrite = parcelon::Overwrite::Skip;
        else if (value == PARCELON_OVERWRITE_FAIL) a.extract.overwrite = parcelon::Overwrite::Fail;
        else return false;
        return true;
    case PARCELON_OPT_KEEP_GOING:
        if (flag) a.extract.keep_going = value == 1;
        return flag;
    case PARCELON_OPT_MAX_TOTAL_BYTES: return TakeCount(value, a.extract.limits.total_bytes);
    case PARCELON_OPT_MAX_ENTRIES: return TakeCount(value, a.extract.limits.entries);
    case PARCELON_OPT_MAX_RATIO: return TakeCount(value, a.extract.limits.ratio);
    case PARCELON_OPT_RESTORE_TIMES:
        if (flag) a.extract.restore_times = value == 1;
        return flag;
    case PARCELON_OPT_STDERR:
        if (flag) a.reporting.stderr_lines = value == 1;
        return flag;
    case PARCELON_OPT_THREADS:
        if (value < 0 || value > 0xFFFFFFFFLL) return false;
        a.threads = static_cast<unsigned>(value);
        return true;
    case PARCELON_OPT_ENCRYPTION:
        if (value == PARCELON_ENCRYPTION_TRADITIONAL) a.packing.encryption = parcelon::Encryption::Traditional;
        else if (value == PARCELON_ENCRYPTION_AES256) a.packing.encryption = parcelon::Encryption::Aes256;
        else return false;
        return true;
    case PARCELON_OPT_STYLE:
        if (value == PARCELON_STYLE_CLASSIC) a.packing.style = parcelon::EntryStyle::Classic;
        else if (value == PARCELON_STYLE_PORTABLE) a.packing.style = parcelon::EntryStyle::Portable;
        else return false;
        return true;
    default: return false;
    }
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

void PARCELON_CALL parcelon_set_report(parcelon_archiver* a, parcelon_report_fn fn, void* user_data) {
    if (a == nullptr) return;
    a->reporting.fn = fn;
    a->reporting.user_data = user_data;
}

int PARCELON_CALL parcelon_set_option(parcelon_archiver* a, int option, parcelon_i64 value) {
    if (a == nullptr) return 0;
    a->last_error = PARCELON_OK;
    a->last_message.clear();
    return SetOption(*a, option, value) ? 1 : Invalid(a);
}

int PARCELON_CALL parcelon_list(parcelon_archiver* a, const wchar_t* zip_file, parcelon_entry_fn fn,
                                void* user_data) {
    if (a == nullptr || fn == nullptr) return Invalid(a);
    try {
        return List(a, zip_file != nullptr ? zip_file : L"", fn, user_data);
    } catch (...) {
        return OutOfMemory(a);
    }
}

int PARCELON_CALL parcelon_list_utf8(parcelon_archiver* a, const char* zip_file, parcelon_entry_fn fn,
                                     void* user_data) {
    if (a == nullptr || fn == nullptr) return Invalid(a);
    try {
        return List(a, Path(zip_file).text, fn, user_data);
    } catch (...) {
        return OutOfMemory(a);
    }
}

int PARCELON_CALL parcelon_test(parcelon_archiver* a, const wchar_t* zip_file, const char* password) {
    if (a == nullptr) return 0;
    try {
        return Test(a, zip_file != nullptr ? zip_file : L"", password);
    } catch (...) {
        return OutOfMemory(a);
    }
}

int PARCELON_CALL parcelon_test_utf8(parcelon_archiver* a, const char* zip_file, const char* password) {
    if (a == nullptr) return 0;
    try {
        return Test(a, Path(zip_file).text, password);
    } catch (...) {
        return OutOfMemory(a);
    }
}

int PARCELON_CALL parcelon_extract(parcelon_archiver* a, const wchar_t* zip_file, const wchar_t* dest_dir,
                                   const char* password, const wchar_t* const* patterns, size_t pattern_count) {
    try {
        std::vector<std::wstring> list;
        if (a == nullptr || !TakeList(patterns, pattern_count, list, Wide)) return Invalid(a);
        return Extract(a, zip_file != nullptr ? zip_file : L"", dest_dir != nullptr ? dest_dir : L"", password,
                       std::move(list));
    } catch (...) {
        return OutOfMemory(a);
    }
}

int PARCELON_CALL parcelon_extract_utf8(parcelon_archiver* a, const char* zip_file, const char* dest_dir,
                                        const char* password, const char* const* patterns, size_t pattern_count) {
    try {
        std::vector<std::wstring> list;
        if (a == nullptr || !TakeList(patterns, pattern_count, list, FromUtf8)) return Invalid(a);
        return Extract(a, Path(zip_file).text, Path(dest_dir).text, password, std::move(list));
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

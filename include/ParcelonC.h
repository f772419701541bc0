/* Parcelon's C interface: the same library, callable from any language.
 *
 * Parcelon.dll / libParcelon.so export, besides the C++ class CParcelon
 * (Parcelon.h), these functions. They take no C++ types, so a host built by
 * any compiler, or written in C#, Delphi, VB, Python, Go or Rust, can call
 * them. Each call runs one operation of one CParcelon, with the behaviour
 * Parcelon.h documents for that member: the same archives, entry names,
 * progress values, lines on the standard error stream, and Stop().
 *
 * This header is C89, plain ASCII, and the whole contract of the interface.
 *
 * Handles. parcelon_new() makes an archiver: one CParcelon, with its
 * callback, stop flag, last percentage and base folder, plus the record of
 * its last call's outcome. Use an archiver from one thread at a time
 * (parcelon_stop excepted); separate archivers share nothing.
 *
 * Text. wchar_t strings are Unicode (UTF-16 on Windows, UTF-32 elsewhere),
 * as the class takes them. The _utf8 functions take every path and list
 * entry as UTF-8 instead, for languages without wchar_t. Passwords are
 * bytes, used as given (packing trims white space from its password, as the
 * class does; extraction tries the text as given, then trimmed). The paths
 * of parcelon_unzip_file are narrow text in the system ANSI code page, as
 * CParcelon::UnzipFile takes them; on POSIX, bytes that do not decode in
 * the locale's character set travel as wchar_t 0xDC00 + byte.
 *
 * Results. Every operation returns 1 where the class returns true and 0
 * where it returns false. parcelon_last_error() then gives PARCELON_OK or
 * the code of the last failure the call reported, and
 * parcelon_last_message() that failure's line as the library writes it to
 * the standard error stream, in UTF-8 and with its path: GUI hosts have no
 * console to see it. A packing call that returns 1 may still have left
 * files out: then the code and line are those of the last file that
 * failed; and a packing call a stop cut short gives PARCELON_STOPPED (its
 * archive is complete, with the files packed before the stop). A call that
 * reported nothing gives PARCELON_OK and "".
 *
 * Invalid arguments (a null archiver, a null list with a non-zero count, a
 * null entry in a list) give 0 and PARCELON_E_INVALID_ARGUMENT, never a
 * crash. Running out of memory gives 0 and PARCELON_E_OUT_OF_MEMORY; no
 * exception ever leaves these functions.
 */
#ifndef PARCELON_C_H
#define PARCELON_C_H

#include <stddef.h> /* size_t, wchar_t */

/* The one export macro, defined as Parcelon.h defines it. */
#ifndef PARCELON_API
#  if defined(_WIN32)
#    if defined(PARCELON_BUILDING)
#      define PARCELON_API __declspec(dllexport)
#    elif defined(PARCELON_STATIC)
#      define PARCELON_API
#    else
#      define PARCELON_API __declspec(dllimport)
#    endif
#  else
#    define PARCELON_API __attribute__((visibility("default")))
#  endif
#endif

/* The calling convention: __stdcall on 32-bit Windows, the default of C#'s
 * P/Invoke, VB and Delphi's stdcall; the platform's own elsewhere. The
 * exported names are undecorated everywhere (parcelon_new, not
 * _parcelon_new@0). */
#if defined(_WIN32) && !defined(_WIN64)
#  define PARCELON_CALL __stdcall
#else
#  define PARCELON_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define PARCELON_C_VERSION "1.2.0"

/* ---------------------------------------------------------------- codes
 * Stable numbers: a code keeps its number in every later version. */
#define PARCELON_OK 0
#define PARCELON_E_INVALID_ARGUMENT 1       /* a null archiver, list or list entry */
#define PARCELON_E_OUT_OF_MEMORY 2
#define PARCELON_E_STOPPED 3                /* parcelon_stop ended the call */
/* A packing call that a stop cut short still returns 1 (its archive is
 * complete and readable) and sets this, so a host can tell a complete
 * archive from a cut one. */
#define PARCELON_STOPPED PARCELON_E_STOPPED
/* Packing */
#define PARCELON_E_CANNOT_REMOVE_OLD_ARCHIVE 10 /* ZipDirectory: a folder or read-only file at the archive path */
#define PARCELON_E_CANNOT_CREATE_ARCHIVE 11     /* the archive's folder is missing or refuses it */
#define PARCELON_E_CANNOT_CLOSE_ARCHIVE 12      /* its central directory could not be written (disk full) */
#define PARCELON_E_CANNOT_REPLACE_ARCHIVE 13    /* the complete archive could not take its path's place */
#define PARCELON_E_CANNOT_ADD_FOLDER 14         /* a folder entry could not be written */
#define PARCELON_E_CANNOT_ADD_ENTRY 15          /* an entry could not be opened (an invalid level) */
#define PARCELON_E_CANNOT_OPEN_SOURCE 16        /* a file could not be opened (a folder in the list) */
#define PARCELON_E_CANNOT_WRITE_ENTRY 17        /* an entry's data could not be written */
#define PARCELON_E_CANNOT_READ_SOURCE 18        /* reading a file failed */
#define PARCELON_E_SOURCE_MISSING 19            /* a listed file does not exist */
#define PARCELON_E_SOURCE_IS_ARCHIVE 20         /* a listed or walked file is the archive being written */
/* Extraction */
#define PARCELON_E_CANNOT_OPEN_ARCHIVE 30       /* missing, unreadable, or not a ZIP archive */
#define PARCELON_E_CANNOT_READ_ARCHIVE_INFO 31  /* its end record describes no possible directory */
#define PARCELON_E_CANNOT_FIND_FIRST_ENTRY 32   /* its central directory has no first record */
#define PARCELON_E_CANNOT_READ_ENTRY_INFO 33    /* a record is damaged, or fewer than counted */
#define PARCELON_E_ENTRY_NAME_UNSAFE 34         /* absolute, climbing, empty, or a Windows device name */
#define PARCELON_E_FOLDER_ENTRY_HAS_DATA 35
#define PARCELON_E_DESTINATION_MISSING 36
#define PARCELON_E_CANNOT_CREATE_FOLDER 37
#define PARCELON_E_CANNOT_CREATE_OUTPUT 38
#define PARCELON_E_CANNOT_OPEN_ENTRY 39         /* its encryption header cannot be read */
#define PARCELON_E_LOCAL_HEADER_MISMATCH 40     /* its local header names another entry or method */
#define PARCELON_E_ENTRY_OVERLAPS 41            /* its bytes overlap another entry's */
#define PARCELON_E_UNSUPPORTED_METHOD 42        /* a method not read, or beyond the memory bound */
#define PARCELON_E_UNSUPPORTED_ENCRYPTION 43    /* strong encryption */
#define PARCELON_E_PASSWORD_REQUIRED 44
#define PARCELON_E_WRONG_PASSWORD 45
#define PARCELON_E_DATA_CORRUPT 46              /* data that do not inflate or match their CRC and size */
#define PARCELON_E_CANNOT_WRITE_OUTPUT 47       /* the output could not be written (disk full) */
#define PARCELON_E_LIMIT 48                     /* an entry refused by a limit the host set */
#define PARCELON_E_EXISTS 49                    /* a file of the entry's name exists and was kept */

/* ---------------------------------------------------------------- archivers */

typedef struct parcelon_archiver parcelon_archiver; /* opaque; wraps one CParcelon */

/* Called on the thread that runs the operation, from inside it, with the
 * values of TZipProgressCallback::OnProgress (Parcelon.h): 999, whole
 * percentages, 100. */
typedef void(PARCELON_CALL* parcelon_progress_fn)(int value, void* user_data);

/* A new archiver, or NULL when memory runs out. */
PARCELON_API parcelon_archiver* PARCELON_CALL parcelon_new(void);

/* Releases the archiver; NULL is ignored. */
PARCELON_API void PARCELON_CALL parcelon_free(parcelon_archiver* a);

/* Installs fn, called with user_data, as the progress callback, or removes
 * the callback when fn is NULL (CParcelon::SetCallbacker). */
PARCELON_API void PARCELON_CALL parcelon_set_progress(parcelon_archiver* a, parcelon_progress_fn fn,
                                                      void* user_data);

/* CParcelon::Stop: from any thread, while an operation runs or before.
 * Nothing clears it: every later packing call on the archiver writes an
 * archive without entries, and every later extraction or test stops before
 * its first entry. */
PARCELON_API void PARCELON_CALL parcelon_stop(parcelon_archiver* a);

/* How many threads a call may use: 1 (the default) works on the calling
 * thread alone, as the class does, and starts no thread; 0 picks the number
 * of processors; at most 8 are used, whatever is asked.
 * Packing: files are compressed, in chunks of 1 MiB, on that many worker
 * threads while the calling thread reads the files and writes the entries
 * in list order; memory stays near 4 MiB per thread. Whatever the number,
 * the archive is byte for byte the one a single thread writes, OnProgress
 * and the failures reach the host on the calling thread in the same order,
 * and a stop takes effect within one chunk.
 * Reading (parcelon_test, parcelon_extract): entries are decoded, in groups
 * of a few, on the workers (a large one may take a second thread of its
 * own), while the calling thread prepares them and moves each into place in
 * directory order; the files written, the result, the reports and the
 * progress are those of one thread, and a stop is as prompt.
 * Either way the workers take none of the host's signals (POSIX), never
 * call the host, and no thread outlives the call. 0 on a NULL archiver,
 * else 1. */
PARCELON_API int PARCELON_CALL parcelon_set_threads(parcelon_archiver* a, unsigned threads);

/* ---------------------------------------------------------------- operations */

/* CParcelon::ZipFiles: the count files of the list, in order, into a new
 * archive at zip_file. level: 0 to 9, or (unsigned)-1 for the default (6).
 * password: NULL or blank for none. */
PARCELON_API int PARCELON_CALL parcelon_zip_files(parcelon_archiver* a, const wchar_t* const* files, size_t count,
                                                  const wchar_t* zip_file, unsigned level, const char* password);

/* CParcelon::ZipDirectory: the files of src_dir (and its subfolders when
 * recursive is not 0) into a new archive at zip_file. minutes > 0 keeps
 * only files written within that many minutes. With no include and no
 * exclude entry this is the overload without lists; otherwise the lists
 * decide as Parcelon.h describes. */
PARCELON_API int PARCELON_CALL parcelon_zip_directory(parcelon_archiver* a, const wchar_t* src_dir,
                                                      const wchar_t* zip_file, int recursive, unsigned level,
                                                      const char* password, int minutes,
                                                      const wchar_t* const* includes, size_t include_count,
                                                      const wchar_t* const* excludes, size_t exclude_count);

/* CParcelon::UnzipFile: every entry of zip_file into the existing folder
 * dest_dir, both in the ANSI code page. password: NULL for none. */
PARCELON_API int PARCELON_CALL parcelon_unzip_file(parcelon_archiver* a, const char* zip_file, const char* dest_dir,
                                                   const char* password);

/* The same three with every path and list entry in UTF-8. On Windows any
 * Unicode path works, whatever the system's code page. On POSIX a path
 * reaches the file system as the wchar_t one does: in the locale's
 * character set (UTF-8 for a character the set lacks). */
PARCELON_API int PARCELON_CALL parcelon_zip_files_utf8(parcelon_archiver* a, const char* const* files, size_t count,
                                                       const char* zip_file, unsigned level, const char* password);
PARCELON_API int PARCELON_CALL parcelon_zip_directory_utf8(parcelon_archiver* a, const char* src_dir,
                                                           const char* zip_file, int recursive, unsigned level,
                                                           const char* password, int minutes,
                                                           const char* const* includes, size_t include_count,
                                                           const char* const* excludes, size_t exclude_count);
PARCELON_API int PARCELON_CALL parcelon_unzip_file_utf8(parcelon_archiver* a, const char* zip_file,
                                                        const char* dest_dir, const char* password);

/* ---------------------------------------------------------------- reading
 *
 * Listing, testing and extracting with the choices every archiver tool
 * offers, on the same archiver. Archives are read as CParcelon::UnzipFile
 * reads them (Parcelon.h): names decoded the same way, every integrity
 * rule, each file written to a temporary file that takes its name only
 * once its size and CRC (or authentication code) are checked, so a failed
 * or stopped entry leaves nothing behind. Entry names handed to the host
 * are UTF-8. */

/* 64-bit integers, defined here so that the header stays C89. */
#if defined(_MSC_VER)
typedef unsigned __int64 parcelon_u64;
typedef __int64 parcelon_i64;
#elif defined(__GNUC__)
__extension__ typedef unsigned long long parcelon_u64;
__extension__ typedef long long parcelon_i64;
#else
typedef unsigned long long parcelon_u64;
typedef long long parcelon_i64;
#endif

/* One record of the central directory, as parcelon_list gives it. */
typedef struct parcelon_entry {
    size_t index;                       /* position in the central directory, from 0 */
    const char* name;                   /* UTF-8, decoded as extraction decodes it */
    parcelon_u64 size, compressed_size; /* as recorded (compressed_size includes encryption's bytes) */
    unsigned long crc32;                /* as recorded (0 for AES entries that record none) */
    int method;                         /* as stored: 0 Store, 8 Deflate, 9 Deflate64, 12 bzip2, 14 LZMA,
                                           93 Zstandard, 95 xz, 99 AES (which names the real one) */
    int encrypted, is_folder;           /* 1 or 0 */
    parcelon_i64 mtime;                 /* seconds since 1970, UTC: from the extended timestamp field when
                                           present, else the DOS date and time read as local time */
} parcelon_entry;

/* Called for each record, on the calling thread; entry and its strings
 * live until it returns. A non-zero result ends the listing (which still
 * succeeds). */
typedef int(PARCELON_CALL* parcelon_entry_fn)(const parcelon_entry* entry, void* user_data);

/* Called on the operation's thread for every entry that failed, was
 * skipped or refused while extracting or testing, and for every file a
 * packing call left out (cannot be opened or read, missing, the archive
 * itself): its code, its path or entry name in UTF-8, and its message in
 * UTF-8 (the library's line, with the name). */
typedef void(PARCELON_CALL* parcelon_report_fn)(int code, const char* path, const char* message, void* user_data);

/* Installs fn, called with user_data, as the report function; NULL removes it. */
PARCELON_API void PARCELON_CALL parcelon_set_report(parcelon_archiver* a, parcelon_report_fn fn, void* user_data);

/* Options, each set with parcelon_set_option; the defaults are what
 * CParcelon::UnzipFile (and, for the packing options below, the class's
 * packing members) do. They apply to every later call on the archiver. */
#define PARCELON_OPT_OVERWRITE 1       /* a file already where an entry goes: */
#define PARCELON_OVERWRITE_REPLACE 0   /*   the entry replaces it (the default) */
#define PARCELON_OVERWRITE_SKIP 1      /*   it stays; the entry is reported (PARCELON_E_EXISTS) and passed over */
#define PARCELON_OVERWRITE_FAIL 2      /*   it stays; the entry fails (PARCELON_E_EXISTS) */
#define PARCELON_OPT_KEEP_GOING 2      /* 1: a failed entry is reported and the next one done; the call
                                          returns 0 at the end if any failed. 0 (the default): the first
                                          failure ends the call. */
#define PARCELON_OPT_MAX_TOTAL_BYTES 3 /* limits (0, the default: none): the most bytes all extracted */
#define PARCELON_OPT_MAX_ENTRIES 4     /* entries may hold together, the most entries, and the most an */
#define PARCELON_OPT_MAX_RATIO 5       /* entry may expand (its size against its compressed size). An
                                          entry that would pass one is refused before a byte of it is
                                          written (PARCELON_E_LIMIT). */
#define PARCELON_OPT_RESTORE_TIMES 6   /* 1: each file gets its entry's modification time, as unzip does;
                                          0 (the default) leaves the time of writing */
#define PARCELON_OPT_STDERR 7          /* 1 (the default): failures also go to the standard error stream
                                          as lines; 0: no line (for hosts without one); the message still
                                          reaches parcelon_last_message and the report function */
#define PARCELON_OPT_THREADS 8         /* the value parcelon_set_threads sets */

/* Packing options: what parcelon_zip_files and parcelon_zip_directory (and
 * their _utf8 forms) write. The defaults are what CParcelon writes, byte
 * for byte. Whatever is chosen, the archive is the same at every thread
 * count (but for the random bytes of encryption, which differ from call to
 * call). */
#define PARCELON_OPT_ENCRYPTION 9          /* how a password (not NULL or blank) encrypts the entries: */
#define PARCELON_ENCRYPTION_TRADITIONAL 0  /*   the traditional ZIP cipher, as the class (the default) */
#define PARCELON_ENCRYPTION_AES256 1       /*   WinZip AES-256, AE-2 (method 99, version 5.1, its 0x9901
                                                extra field naming Deflate; a salt fresh from the system's
                                                random source for each entry, the password verifier, and
                                                an authentication code after the data, which stands for the
                                                CRC-32: the records hold 0). 7-Zip and WinZip read it;
                                                Windows' own folders and Info-ZIP unzip do not. Folder
                                                entries are not encrypted (they hold no data,
                                                and their names are in plain in every record anyway), as
                                                7-Zip and WinZip write them. The password's bytes are used
                                                as given: ASCII passwords open the same everywhere. */
#define PARCELON_OPT_STYLE 10              /* how entries are named and what they record: */
#define PARCELON_STYLE_CLASSIC 0           /*   as the class (the default): names in the ANSI code page
                                                (UTF-8, flagged, for a name the code page cannot hold) with
                                                backslashes, a folder entry before every file below the
                                                base folder, every file dated 1 January 1980, no
                                                attributes; with the traditional cipher, folder entries
                                                encrypted too */
#define PARCELON_STYLE_PORTABLE 1          /*   what other tools write, so that every reader (Info-ZIP
                                                unzip, 7-Zip, bsdtar, Python's zipfile, Windows) unpacks
                                                the same tree: names with '/', stored as they are when
                                                plain ASCII and else as UTF-8 with general-purpose bit 11
                                                set, whatever the code page; one folder entry per folder
                                                (stored, empty, not encrypted), before its contents: with
                                                parcelon_zip_directory every folder walked, empty ones too,
                                                or, when name filters or minutes leave files out, the
                                                folders of the files packed; with parcelon_zip_files the
                                                folders of the entry names below the base folder; each
                                                file's and folder's last-write time, as a DOS date and time
                                                (local time) and an extended timestamp field (0x5455, UTC
                                                seconds); its attributes: on POSIX the Unix mode (version
                                                made by Unix, so unzip and bsdtar keep an executable file
                                                executable), on Windows the DOS attributes (version made by
                                                NTFS: read-only, hidden, system, archive, folder) */

/* Sets an option: 1, or 0 with PARCELON_E_INVALID_ARGUMENT for an unknown
 * option or a value it does not take. Like every call that returns a
 * result, it replaces the last outcome: read parcelon_last_error() of an
 * operation before setting the next option. */
PARCELON_API int PARCELON_CALL parcelon_set_option(parcelon_archiver* a, int option, parcelon_i64 value);

/* Calls fn for every record of the archive's central directory, in order.
 * 1 when the listing ran to its end or fn ended it; 0 when the archive
 * cannot be read (a damaged directory fails as extraction fails). */
PARCELON_API int PARCELON_CALL parcelon_list(parcelon_archiver* a, const wchar_t* zip_file, parcelon_entry_fn fn,
                                             void* user_data);
PARCELON_API int PARCELON_CALL parcelon_list_utf8(parcelon_archiver* a, const char* zip_file, parcelon_entry_fn fn,
                                                  void* user_data);

/* Reads, decrypts, decodes and checks every entry (size, CRC or
 * authentication code, every integrity rule of extraction) and writes
 * nothing. Each failed entry goes to the report function and the test
 * goes on. 1 only when every entry is sound. password: NULL for none.
 * Progress and stop as for extraction. */
PARCELON_API int PARCELON_CALL parcelon_test(parcelon_archiver* a, const wchar_t* zip_file, const char* password);
PARCELON_API int PARCELON_CALL parcelon_test_utf8(parcelon_archiver* a, const char* zip_file, const char* password);

/* Extracts into the folder dest_dir (which must exist) the entries whose
 * decoded name matches any of the patterns ('*' any run of characters,
 * folders included, as in unzip; '?' any one character; '/' and '\'
 * alike; case counts), or every entry when pattern_count is 0. Progress:
 * whole percentages of the selected entries' sizes through the progress
 * function, each time the value changes, then 100 when the call ends.
 * parcelon_stop (from any thread) ends it after the block in hand: the
 * entry in progress leaves nothing, entries already written stay, and the
 * result is 0 with PARCELON_E_STOPPED. Options: see above. 1 when every
 * selected entry was extracted (or passed over as PARCELON_OPT_OVERWRITE
 * asked); otherwise 0 with the code of the last failure. */
PARCELON_API int PARCELON_CALL parcelon_extract(parcelon_archiver* a, const wchar_t* zip_file,
                                                const wchar_t* dest_dir, const char* password,
                                                const wchar_t* const* patterns, size_t pattern_count);
PARCELON_API int PARCELON_CALL parcelon_extract_utf8(parcelon_archiver* a, const char* zip_file,
                                                     const char* dest_dir, const char* password,
                                                     const char* const* patterns, size_t pattern_count);

/* ---------------------------------------------------------------- outcome */

/* PARCELON_OK or the code of the last failure the last call reported;
 * PARCELON_E_INVALID_ARGUMENT for a NULL archiver. */
PARCELON_API int PARCELON_CALL parcelon_last_error(const parcelon_archiver* a);

/* That failure's line, in UTF-8 with its path, without the line end; ""
 * when the last call reported nothing. Valid until the archiver's next
 * call or its release; never NULL. */
PARCELON_API const char* PARCELON_CALL parcelon_last_message(const parcelon_archiver* a);

/* A short English text for a code ("wrong password"), in static storage;
 * "unknown error" for a number that is no code. Never NULL. */
PARCELON_API const char* PARCELON_CALL parcelon_error_text(int code);

/* The library's version, "1.2.0". */
PARCELON_API const char* PARCELON_CALL parcelon_version(void);

#ifdef __cplusplus
}
#endif

#endif /* PARCELON_C_H */

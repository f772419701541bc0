// Parcelon: pack files or a directory tree into a new ZIP archive, and
// extract an archive into a folder.
//
// This header is the whole contract of the C++ interface. A host makes a
// CParcelon, optionally installs a TZipProgressCallback, and calls one
// operation at a time on its own thread; each operation returns when it is
// done and says with a bool whether it succeeded. Only Stop() may be called
// from another thread while an operation runs. Separate objects share
// nothing and may work on separate threads at once. The library starts no
// threads and holds no locks.
//
// Text. Wide strings (const wchar_t*, std::wstring) are the host's Unicode
// text: UTF-16 on Windows, UTF-32 elsewhere. Narrow strings (UnzipFile's
// paths, every password) are text in the system ANSI code page; on POSIX
// systems that is the character set of the locale the environment names
// (LANG, LC_ALL), read without changing the process's own locale. The
// packing operations convert paths to that code page for the entry names
// they store; a name the code page cannot hold is stored as UTF-8 instead,
// flagged as such. Both '\' and '/' separate path components on every
// platform. On POSIX systems a file name is bytes: a byte that does not
// decode in the locale's character set is passed, and handed back, as the
// code unit 0xDC00 + byte (as Python's surrogateescape does), so that a name
// of any bytes can be named in wide text.
//
// Failures. Each failure writes one line to the standard error stream: a
// Chinese text in GBK bytes (code page 936, whatever the platform, for the
// Chinese console hosts read), then the path or name it concerns in ANSI
// bytes, then a line end; the stream is flushed. docs/messages.md lists the
// lines with their meanings. Nothing but running out of memory
// (std::bad_alloc) leaves an operation as an exception.
//
// This header is plain ASCII, so that compilers reading it in any code page
// see the same text.
//
// Archives written. Every entry uses Deflate; names are the ANSI bytes of
// the paths relative to where packing started, with backslashes, and a
// folder entry ("sub\") before every file below the packed folder; dates
// are fixed, so the same files give the same archive on every platform.
// With a password every entry is encrypted with traditional ZIP encryption.
// Files of 4 GiB - 1 bytes or more, and files close enough below that their
// stored data could pass 4 GiB (within a few megabytes), get ZIP64 entries.
// docs/archives.md has the details.
#ifndef PARCELON_H
#define PARCELON_H

#include <atomic>
#include <string>
#include <vector>

#define PARCELON_VERSION_MAJOR 1
#define PARCELON_VERSION_MINOR 2
#define PARCELON_VERSION_PATCH 0
#define PARCELON_VERSION_STRING "1.2.0"

// The one export macro (ParcelonC.h defines it alike): the class is exported
// whole from Parcelon.dll and libParcelon.so. PARCELON_STATIC is defined by
// builds that link the static library.
#ifndef PARCELON_API
#if defined(_WIN32)
#  if defined(PARCELON_BUILDING)
#    define PARCELON_API __declspec(dllexport)
#  elif defined(PARCELON_STATIC)
#    define PARCELON_API
#  else
#    define PARCELON_API __declspec(dllimport)
#  endif
#else
#  define PARCELON_API __attribute__((visibility("default")))
#endif
#endif

namespace parcelon {
struct ObjectAccess; // the library's own access to CParcelon's members
}

// Implemented by the host to follow a packing operation.
//
// OnProgress is called on the thread that runs the operation, from inside
// it, and only while the callback is installed (CParcelon::SetCallbacker):
// - 999: a ZipDirectory call has created its archive and starts collecting
//   files;
// - a whole percentage of the bytes packed against the total measured
//   before packing began, as each 16 KiB block of a file is packed,
//   whenever it differs from the last percentage the object
//   reported (files that grew after they were measured can push it past
//   100); so at most one call per whole percentage;
// - 100: the operation has ended (also when its archive could not be
//   created). A complete run therefore usually ends with 100 twice.
// The library reads nothing back and relies only on the call returning.
// OnProgress must stay the first virtual function: hosts built against
// this layout call it through the first slot of the table.
struct TZipProgressCallback {
    virtual void OnProgress(int nValue) = 0;
    virtual ~TZipProgressCallback() = default;
};

#if defined(_MSC_VER)
#  pragma warning(push)
#  pragma warning(disable : 4251) // std members of an exported class
#endif

class PARCELON_API CParcelon {
public:
    // A new object has no callback, is not stopped, has reported no
    // percentage yet (so a first 0 is never sent) and has no base folder.
    CParcelon();

    // Copies share the callback pointer, the stop state, the counters, the
    // last percentage and the base folder of their source: a copy of a
    // stopped object is stopped. Copying fails only when memory runs out.
    CParcelon(const CParcelon& other);

    // As a copy, but the base folder moves over: the source keeps
    // everything else and stays usable, with an empty base folder.
    CParcelon(CParcelon&& other);

    // Releases the base folder; the callback is the host's and is left alone.
    ~CParcelon();

    // As the constructors; assigning an object to itself changes nothing.
    CParcelon& operator=(const CParcelon& other);
    CParcelon& operator=(CParcelon&& other);

    // Installs pCallbacker, which the host owns and keeps alive while it is
    // installed, or removes the callback with nullptr. Nothing else changes;
    // without a callback the last percentage is not updated either. Not to
    // be called while an operation runs.
    void SetCallbacker(TZipProgressCallback* pCallbacker);

    // Asks the running packing operation, and every later one on this object
    // (and on copies made from it afterwards), to finish early. It only sets
    // a flag and returns at once; it is safe from any thread and from a
    // signal handler. Packing reads the flag before each file and between
    // blocks: the file being packed keeps a shorter, well-formed entry, the
    // archive is closed, 100 is sent and the result is true. Nothing clears
    // the flag. Extraction does not read it.
    void Stop();

    // Packs the files of vecFiles, in their order, into a new archive at
    // szZipFile (an existing file there is replaced) at compression level
    // nLevel, encrypted when szPassword holds anything but white space.
    //
    // - nLevel: 0 (stored Deflate blocks) to 9 (smallest), or
    //   (unsigned)-1 for the default, 6. Any other level leaves every file
    //   out with the "while adding" line and its path.
    // - szPassword: null, empty or only white space means no encryption; the
    //   password used is the text without leading and trailing spaces, tabs
    //   and line breaks.
    // - Naming: on an object that never ran ZipDirectory each entry is the
    //   file name alone (after the last '/', else the last '\'). After
    //   ZipDirectory(D), a file below D is named by its path relative to D
    //   with a folder entry for its folder, as ZipDirectory would name it.
    // - A path that names nothing is skipped without a word; a file that
    //   fails (a folder in the list, a read error) is reported and left out
    //   or cut short, and the others are still packed.
    // - Progress: percentages, then 100 (before the archive is closed).
    //
    // Returns true once the archive is complete, whatever happened to single
    // files; false when it cannot be created or completed, each with its
    // line and the archive's path.
    bool ZipFiles(const std::vector<std::wstring>& vecFiles, const wchar_t* szZipFile, unsigned int nLevel,
                  const char* szPassword);

    // Packs the files of szSrcDir into a new archive at szZipFile, keeping
    // only those the include or exclude list admits.
    //
    // - The object's base folder becomes szSrcDir (a later ZipFiles names
    //   its files relative to it), before anything else happens.
    // - An existing file at szZipFile is removed first; when it cannot be
    //   (read-only, a folder, a missing folder), the result is false at once,
    //   with no line and no progress.
    // - bRecursive: descend into every subfolder (links included, but never
    //   back into a folder already being walked), or only szSrcDir's own
    //   files. Entries are named by their path below szSrcDir, with
    //   backslashes, each file below a subfolder preceded by a folder entry
    //   for that subfolder. The archive itself is never packed into itself;
    //   FIFOs, sockets and devices are passed over.
    // - vecIncludes / vecExcludes: entries such as "*.txt" or ".txt" name an
    //   extension, "*.tar.gz" a suffix from the first dot of the path, and
    //   an entry without a dot ("docs") a folder anywhere on the path,
    //   including the folders above szSrcDir; ASCII letters match in any
    //   case. When vecIncludes has entries only it counts: a file passes when
    //   an entry names its extension, its suffix or one of its folders (but
    //   once the list holds a "*." entry, a folder entry admits only files
    //   whose "*.ext" is listed too). Otherwise a file is dropped when an
    //   entry of vecExcludes names its extension, suffix or a folder. Two
    //   empty lists admit every file. "*.*" matches nothing.
    // - nMinutes > 0: only files last written at most that many minutes ago
    //   (local time, whole seconds).
    // - nLevel, szPassword: as for ZipFiles.
    // - Progress: 999 once the archive exists, percentages, 100 after the
    //   archive is closed (100 also when it cannot be created).
    //
    // A missing or unreadable szSrcDir gives an archive without entries and
    // true. Returns false when the old archive stays, or the new one cannot
    // be created or completed (with the lines of ZipFiles).
    bool ZipDirectory(const wchar_t* szSrcDir, const wchar_t* szZipFile, const std::vector<std::wstring>& vecIncludes,
                      const std::vector<std::wstring>& vecExcludes, bool bRecursive, unsigned int nLevel,
                      const char* szPassword, int nMinutes);

    // The same with nothing to filter by name.
    bool ZipDirectory(const wchar_t* szSrcDir, const wchar_t* szZipFile, bool bRecursive, unsigned int nLevel,
                      const char* szPassword, int nMinutes);

    // Extracts every entry of the archive szZipFile, in the order of its
    // central directory, into the existing folder szDestDir.
    //
    // - Entries are written under their stored names below szDestDir, with
    //   either separator; missing folders are created, folder entries too.
    //   Names that are absolute, name a drive, or climb with ".." are refused
    //   and nothing is written outside szDestDir. An existing file of an
    //   entry's name is overwritten.
    // - szPassword: null means none. Any other text, the empty one included,
    //   is the password, used as given for every encrypted entry. Plain
    //   entries are read as they are, whatever the password.
    // - Every entry's CRC-32 and size are checked.
    // - It reads neither the stop flag nor the callback, and reports no
    //   progress.
    //
    // Returns true when every entry was written. Stops at the first failure,
    // with one line: the archive cannot be opened or is none; an entry's
    // information cannot be read; its file or folder cannot be created, or
    // its name is unsafe, or szDestDir is missing; it cannot be opened (an
    // unknown method, strong encryption, a missing or wrong password); its
    // data are damaged; the output cannot be written. The entries before it
    // stay.
    bool UnzipFile(const char* szZipFile, const char* szDestDir, const char* szPassword);

private:
    friend struct parcelon::ObjectAccess;

    // The CRC-32 of the file at the ANSI path szFile, read with other
    // writers kept out; of the bytes read so far once Stop() was
    // called; 0 when the file cannot be opened.
    unsigned long GetFileCrc(const char* szFile);

    // Packs the file at szFile into hZip, a minizip archive handle open for
    // writing, named as ZipFiles names it; false after a reported failure.
    bool _AddFileToZipObj(void* hZip, const wchar_t* szFile, unsigned int nLevel, const char* szPassword);

    std::atomic<bool> m_bStop;            // Stop() was called; read and written relaxed
    TZipProgressCallback* m_pCallbacker;  // not owned; may be null
    long long m_nTotalSize;               // bytes the running packing operation will pack
    long long m_nDoneSize;                // bytes packed so far
    int m_nLastPercent;                   // the last percentage reported, kept across calls
    std::wstring m_strBaseDir;            // set by ZipDirectory, used by ZipFiles
};

#if defined(_MSC_VER)
#  pragma warning(pop)
#endif

#endif // PARCELON_H

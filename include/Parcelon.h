// Parcelon: pack files or a directory tree into a ZIP archive, and extract one.
//
// Hosts create a CParcelon, optionally install a TZipProgressCallback, and
// call one operation at a time on their own thread. Only Stop() may be
// called from another thread while an operation runs.
#ifndef PARCELON_H
#define PARCELON_H

#include <atomic>
#include <string>
#include <vector>

#define PARCELON_VERSION_MAJOR 1
#define PARCELON_VERSION_MINOR 0
#define PARCELON_VERSION_PATCH 0
#define PARCELON_VERSION_STRING "1.0.0"

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

namespace parcelon {
struct ObjectAccess; // the library's own access to the members below
}

// Implemented by the host. OnProgress must stay the first virtual function:
// hosts built against this layout call it through the first vtable slot.
struct TZipProgressCallback {
    // 999: a directory operation has created its archive and starts
    // collecting files; 0..100 (or more, for files that grew while being
    // packed): whole percentage of bytes packed; 100 once more at the end.
    virtual void OnProgress(int nValue) = 0;
    virtual ~TZipProgressCallback() = default;
};

#if defined(_MSC_VER)
#  pragma warning(push)
#  pragma warning(disable : 4251) // std members of an exported class
#endif

class PARCELON_API CParcelon {
public:
    CParcelon();
    CParcelon(const CParcelon& other);
    CParcelon(CParcelon&& other);
    ~CParcelon();
    CParcelon& operator=(const CParcelon& other);
    CParcelon& operator=(CParcelon&& other);

    // Installs (or, with nullptr, removes) the progress callback; not owned.
    void SetCallbacker(TZipProgressCallback* pCallbacker);
    // Asks the running and every later packing operation on this object to
    // finish early. Safe to call from any thread.
    void Stop();

    // Packs the listed files into a new archive at szZipFile.
    bool ZipFiles(const std::vector<std::wstring>& vecFiles, const wchar_t* szZipFile,
                  unsigned int nLevel, const char* szPassword);
    // Packs the files of szSrcDir that the include or exclude list admits.
    bool ZipDirectory(const wchar_t* szSrcDir, const wchar_t* szZipFile,
                      const std::vector<std::wstring>& vecIncludes,
                      const std::vector<std::wstring>& vecExcludes, bool bRecursive,
                      unsigned int nLevel, const char* szPassword, int nMinutes);
    // Packs the files of szSrcDir (and of its subdirectories when bRecursive).
    bool ZipDirectory(const wchar_t* szSrcDir, const wchar_t* szZipFile, bool bRecursive,
                      unsigned int nLevel, const char* szPassword, int nMinutes);
    // Extracts every entry of szZipFile into the existing directory szDestDir.
    bool UnzipFile(const char* szZipFile, const char* szDestDir, const char* szPassword);

private:
    friend struct parcelon::ObjectAccess;

    unsigned long GetFileCrc(const char* szFile);
    bool _AddFileToZipObj(void* hZip, const wchar_t* szFile, unsigned int nLevel,
                          const char* szPassword);

    std::atomic<bool> m_bStop;
    TZipProgressCallback* m_pCallbacker;
    long long m_nTotalSize;
    long long m_nDoneSize;
    int m_nLastPercent;
    std::wstring m_strBaseDir;
};

#if defined(_MSC_VER)
#  pragma warning(pop)
#endif

#endif // PARCELON_H

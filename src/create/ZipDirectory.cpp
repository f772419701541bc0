// Packing a directory tree: both overloads take the same road, the one
// without lists simply filters nothing.
#include "Parcelon.h"
#include "archiver/Messages.h"
#include "create/DirectoryWalk.h"
#include "create/ZipWriter.h"
#include "memory/OperationMemory.h"
#include "platform/Platform.h"
#include "text/TextHelpers.h"

bool CParcelon::ZipDirectory(const wchar_t* szSrcDir, const wchar_t* szZipFile,
                             const std::vector<std::wstring>& vecIncludes,
                             const std::vector<std::wstring>& vecExcludes, bool bRecursive,
                             unsigned int nLevel, const char* szPassword, int nMinutes) {
    namespace messages = parcelon::messages;
    namespace platform = parcelon::platform;

    // Every entry's Deflate state is drawn from, and returned to, the
    // blocks this operation keeps; declared first, so it ends last.
    const parcelon::AllocationScope memory;
    // Every name is converted several times; the code page is read once.
    const parcelon::platform::CodePageScope code_page;
    const std::string ansi_zip = parcelon::ToAnsi(szZipFile);
    m_strBaseDir = szSrcDir != nullptr ? szSrcDir : L"";
    parcelon::AppendBackslash(m_strBaseDir);

    const std::uint32_t deleted = platform::DeleteFile(szZipFile);
    if (deleted != 0 && deleted != platform::kErrorFileNotFound) return false;

    parcelon::ZipWriter archive(ansi_zip);
    if (!archive.IsOpen()) {
        messages::Report(messages::kCreateZip, ansi_zip);
        if (m_pCallbacker != nullptr) m_pCallbacker->OnProgress(100);
        return false;
    }

    const std::wstring source = m_strBaseDir;
    if (m_pCallbacker != nullptr) m_pCallbacker->OnProgress(999);

    // The archive exists from here on and may lie inside the walked tree.
    parcelon::WalkGuards guards;
    guards.has_archive = platform::GetFileIdentity(szZipFile, guards.archive);
    platform::FileRecord archive_record;
    if (platform::FindFile(szZipFile, archive_record)) guards.archive_size = archive_record.size;

    std::vector<std::wstring> files;
    m_nDoneSize = 0;
    m_nTotalSize = 0;
    parcelon::CollectFilteredFiles(files, m_nTotalSize, source.c_str(), bRecursive, vecIncludes,
                                   vecExcludes, nMinutes, guards);

    for (const std::wstring& path : files) {
        if (m_bStop.load(std::memory_order_relaxed)) break;
        _AddFileToZipObj(archive.handle(), path.c_str(), nLevel, szPassword);
    }
    files.clear();
    files.shrink_to_fit();

    const bool closed = archive.Close();
    if (!closed) messages::Report(messages::kCloseZip, ansi_zip);
    if (m_pCallbacker != nullptr) m_pCallbacker->OnProgress(100);
    return closed;
}

bool CParcelon::ZipDirectory(const wchar_t* szSrcDir, const wchar_t* szZipFile, bool bRecursive,
                             unsigned int nLevel, const char* szPassword, int nMinutes) {
    const std::vector<std::wstring> no_includes;
    const std::vector<std::wstring> no_excludes;
    return ZipDirectory(szSrcDir, szZipFile, no_includes, no_excludes, bRecursive, nLevel, szPassword,
                        nMinutes);
}

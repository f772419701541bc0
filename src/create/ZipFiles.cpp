// Packing the host's list of files.
#include "Parcelon.h"
#include "archiver/Messages.h"
#include "create/FileLength.h"
#include "create/ZipWriter.h"
#include "memory/OperationMemory.h"
#include "platform/Platform.h"
#include "text/TextHelpers.h"

bool CParcelon::ZipFiles(const std::vector<std::wstring>& vecFiles, const wchar_t* szZipFile,
                         unsigned int nLevel, const char* szPassword) {
    namespace messages = parcelon::messages;

    // Every entry's Deflate state is drawn from, and returned to, the
    // blocks this operation keeps; declared first, so it ends last.
    const parcelon::AllocationScope memory;
    // Every name is converted several times; the code page is read once.
    const parcelon::platform::CodePageScope code_page;
    const std::string ansi_zip = parcelon::ToAnsi(szZipFile);
    parcelon::ZipWriter archive(ansi_zip);
    if (!archive.IsOpen()) {
        messages::Report(messages::kCreateZip, ansi_zip);
        if (m_pCallbacker != nullptr) m_pCallbacker->OnProgress(100);
        return false;
    }

    m_nDoneSize = 0;
    m_nTotalSize = 0;
    for (const std::wstring& path : vecFiles) m_nTotalSize += parcelon::GetFileLength(path.c_str());

    for (const std::wstring& path : vecFiles) {
        if (m_bStop.load(std::memory_order_relaxed)) break;
        if (!parcelon::platform::PathExists(path.c_str())) continue;
        _AddFileToZipObj(archive.handle(), path.c_str(), nLevel, szPassword);
    }

    if (m_pCallbacker != nullptr) m_pCallbacker->OnProgress(100);
    if (!archive.Close()) {
        // The central directory could not be written: the file on disk is
        // no readable archive, whatever the entries.
        messages::Report(messages::kCloseZip, ansi_zip);
        return false;
    }
    return true;
}

// CParcelon's operations: each hands the object's members to the operation
// in src/create or src/extract, with the diagnostics that write to stderr.
#include "Parcelon.h"
#include "archiver/ObjectAccess.h"
#include "create/ChunkReader.h"
#include "create/ZipDirectory.h"
#include "create/ZipFiles.h"
#include "extract/UnzipFile.h"
#include "messages/Messages.h"
#include "platform/Platform.h"
#include "text/TextHelpers.h"

using parcelon::ObjectAccess;

bool CParcelon::ZipFiles(const std::vector<std::wstring>& vecFiles, const wchar_t* szZipFile, unsigned int nLevel,
                         const char* szPassword) {
    parcelon::PackingState state = ObjectAccess::Packing(*this);
    parcelon::Diagnostics diagnostics;
    return parcelon::ZipFiles(state, vecFiles, szZipFile, nLevel, szPassword, diagnostics);
}

bool CParcelon::ZipDirectory(const wchar_t* szSrcDir, const wchar_t* szZipFile,
                             const std::vector<std::wstring>& vecIncludes,
                             const std::vector<std::wstring>& vecExcludes, bool bRecursive, unsigned int nLevel,
                             const char* szPassword, int nMinutes) {
    parcelon::PackingState state = ObjectAccess::Packing(*this);
    parcelon::Diagnostics diagnostics;
    return parcelon::ZipDirectory(state, szSrcDir, szZipFile, vecIncludes, vecExcludes, bRecursive, nLevel,
                                  szPassword, nMinutes, diagnostics);
}

bool CParcelon::ZipDirectory(const wchar_t* szSrcDir, const wchar_t* szZipFile, bool bRecursive,
                             unsigned int nLevel, const char* szPassword, int nMinutes) {
    const std::vector<std::wstring> none;
    return ZipDirectory(szSrcDir, szZipFile, none, none, bRecursive, nLevel, szPassword, nMinutes);
}

bool CParcelon::UnzipFile(const char* szZipFile, const char* szDestDir, const char* szPassword) {
    parcelon::Diagnostics diagnostics;
    return parcelon::UnzipFile(parcelon::FromAnsi(szZipFile), parcelon::FromAnsi(szDestDir), szPassword, diagnostics);
}

unsigned long CParcelon::GetFileCrc(const char* szFile) {
    unsigned long crc = 0;
    if (szFile != nullptr) parcelon::FileCrc(parcelon::platform::AnsiToWide(szFile), m_bStop, crc);
    return crc;
}

bool CParcelon::_AddFileToZipObj(void* hZip, const wchar_t* szFile, unsigned int nLevel, const char* szPassword) {
    parcelon::PackingState state = ObjectAccess::Packing(*this);
    parcelon::Diagnostics diagnostics;
    return parcelon::AddListedFile(state, hZip, szFile, nLevel, szPassword, diagnostics);
}

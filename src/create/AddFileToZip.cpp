// The per-file writer every packing operation uses: one file becomes one
// entry (after a folder entry when names are relative), streamed in 16 KiB
// blocks with percent progress.
#include <zip.h>
#include <zlib.h>

#include <cstdio>

#include "Parcelon.h"
#include "archiver/Messages.h"
#include "create/EntryNames.h"
#include "create/FileLength.h"
#include "create/Progress.h"
#include "create/ZipWriter.h"
#include "platform/Platform.h"
#include "text/TextHelpers.h"

namespace {

constexpr std::size_t kBlockSize = 16384;

} // namespace

unsigned long CParcelon::GetFileCrc(const char* szFile) {
    parcelon::platform::FilePtr file(parcelon::platform::OpenForReadDenyWrite(szFile));
    if (!file) return 0;
    uLong crc = 0;
    unsigned char buffer[kBlockSize] = {};
    while (!m_bStop.load(std::memory_order_relaxed)) {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
        const bool short_read = count < sizeof buffer && !std::feof(file.get());
        if (count > 0) crc = crc32(crc, buffer, static_cast<uInt>(count));
        if (short_read || count == 0) break;
    }
    return crc;
}

bool CParcelon::_AddFileToZipObj(void* hZip, const wchar_t* szFile, unsigned int nLevel,
                                 const char* szPassword) {
    namespace messages = parcelon::messages;
    namespace platform = parcelon::platform;

    const std::string ansi_path = parcelon::ToAnsi(szFile);
    if (!parcelon::IsReadable(ansi_path.c_str())) return true;

    parcelon::EntryOptions options;
    options.level = nLevel;
    options.password = parcelon::TrimSpaces(szPassword);

    const parcelon::EntryNames names = parcelon::MakeEntryNames(m_strBaseDir, szFile, ansi_path);
    zipFile zip = static_cast<zipFile>(hZip);

    if (!names.folder.empty()) {
        parcelon::EntryOptions folder_options = options;
        folder_options.file_entry = false;
        folder_options.crc = 0;
        if (parcelon::OpenEntry(zip, names.folder, folder_options) != ZIP_OK) {
            messages::Report(messages::kAddFolder, names.folder);
            return false;
        }
        if (zipCloseFileInZip(zip) != ZIP_OK) {
            messages::Report(messages::kAddFolder, names.folder);
            return false;
        }
    }

    options.zip64 = static_cast<unsigned long long>(parcelon::GetFileLength(szFile)) >= parcelon::kZip64Threshold;
    if (!options.password.empty()) options.crc = GetFileCrc(ansi_path.c_str());
    if (parcelon::OpenEntry(zip, names.file, options) != ZIP_OK) {
        messages::Report(messages::kAddingEntry, ansi_path);
        return false;
    }

    platform::FilePtr file(platform::OpenForRead(ansi_path.c_str()));
    if (!file) {
        messages::Report(messages::kOpenSource, ansi_path);
        zipCloseFileInZip(zip); // the entry stays, empty
        return false;
    }

    unsigned char buffer[kBlockSize];
    std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
    while (count > 0 && !m_bStop.load(std::memory_order_relaxed)) {
        if (zipWriteInFileInZip(zip, buffer, static_cast<unsigned>(count)) != ZIP_OK) {
            messages::Report(messages::kWriteEntry, ansi_path);
            zipCloseFileInZip(zip);
            return false;
        }
        m_nDoneSize += static_cast<long long>(count);
        const int percent = parcelon::ProgressPercentage(m_nDoneSize, m_nTotalSize);
        if (percent != m_nLastPercent && m_pCallbacker != nullptr) {
            m_pCallbacker->OnProgress(percent);
            m_nLastPercent = percent;
        }
        count = std::fread(buffer, 1, sizeof buffer, file.get());
    }

    // A read error is not the end of the file: the entry keeps what was
    // written, but the file is reported as not packed whole.
    const bool read_failed = std::ferror(file.get()) != 0;
    file.reset();
    const bool closed = zipCloseFileInZip(zip) == ZIP_OK;
    if (read_failed) {
        messages::Report(messages::kReadSource, ansi_path);
        return false;
    }
    if (!closed) {
        messages::Report(messages::kWriteEntry, ansi_path);
        return false;
    }
    return true;
}

#include "create/ZipFiles.h"

#include "create/FilePacker.h"
#include "create/Progress.h"
#include "create/ZipWriter.h"
#include "memory/OperationMemory.h"
#include "platform/Platform.h"
#include "text/PathText.h"
#include "text/TextHelpers.h"

namespace parcelon {

namespace {

std::wstring FileNameOnly(const std::wstring& path) {
    const std::size_t start = FileNameStart(path);
    return start == std::wstring::npos ? path : path.substr(start);
}

std::uint64_t SizeOf(const std::wstring& path) {
    platform::FileStatus status;
    if (!platform::PathExists(path) || !platform::LookUpEntry(path, status)) return 0;
    return status.size;
}

} // namespace

PackItem MakeListItem(const std::wstring& base_dir, const std::wstring& path) {
    PackItem item;
    item.path = path;
    item.size = SizeOf(path);
    item.name = FileNameOnly(path);
    if (base_dir.empty() || path.size() < base_dir.size()) return item;

    std::wstring folder = GetParentDir(path.c_str());
    AppendBackslash(folder);
    if (folder.size() < base_dir.size()) {
        // A base given with a trailing slash ("D:/data/" becomes
        // "D:/data/\"): the parent of a file directly inside it loses the
        // doubled separator and comes out one unit short. Such a file lies in
        // the base itself; anything shorter still lies outside it.
        if (folder.size() > LengthWithoutTrailingSeparators(base_dir)) item.name = path.substr(base_dir.size());
        return item;
    }
    // The base's units are cut off, not compared.
    item.folder = folder.substr(base_dir.size());
    item.name = path.substr(base_dir.size());
    return item;
}

bool AddListedFile(PackingState& state, void* zip, const wchar_t* path, unsigned int level, const char* password,
                   Diagnostics& diagnostics) {
    Progress progress(state);
    const PackItem item = MakeListItem(state.base_dir, path != nullptr ? path : L"");
    const PackFailure failure = PackFile(zip, item, PackSettings{level, TrimSpaces(password)}, progress, state.stop);
    if (failure == PackFailure::None) return true;
    diagnostics.Report(failure, FailureSubject(failure, item));
    return false;
}

bool ZipFiles(PackingState& state, const std::vector<std::wstring>& vecFiles, const wchar_t* szZipFile,
              unsigned int nLevel, const char* szPassword, Diagnostics& diagnostics) {
    // Every entry's Deflate state is drawn from, and returned to, the
    // blocks this operation keeps; declared first, so it ends last.
    const AllocationScope memory;
    // Every name is converted several times; the code page is read once.
    const platform::CodePageScope code_page;
    const std::wstring zip_path = szZipFile != nullptr ? szZipFile : L"";
    Progress progress(state);

    ZipWriter archive(zip_path);
    if (!archive.IsOpen()) {
        diagnostics.Report(PackFailure::CannotCreateArchive, zip_path);
        progress.Signal(kProgressEnded);
        return false;
    }

    progress.Restart();
    std::vector<PackItem> items;
    items.reserve(vecFiles.size());
    for (const std::wstring& path : vecFiles) {
        items.push_back(MakeListItem(state.base_dir, path));
        progress.AddToTotal(items.back().size);
    }

    // A path that names nothing is passed over by the packer without a word.
    PackItems(archive.handle(), items, PackSettings{nLevel, TrimSpaces(szPassword)}, progress, state.stop,
              diagnostics);

    progress.Signal(kProgressEnded);
    if (!archive.Close()) {
        // The central directory could not be written: the file on disk is
        // no readable archive, whatever the entries.
        diagnostics.Report(PackFailure::CannotCloseArchive, zip_path);
        return false;
    }
    return true;
}

} // namespace parcelon

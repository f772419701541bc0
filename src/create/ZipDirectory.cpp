#include "create/ZipDirectory.h"

#include "create/DirectoryWalk.h"
#include "create/FilePacker.h"
#include "create/Progress.h"
#include "create/ZipWriter.h"
#include "memory/OperationMemory.h"
#include "platform/Platform.h"
#include "text/PathText.h"
#include "text/TextHelpers.h"

namespace parcelon {

namespace {

// The archive exists from the moment it is created, and may lie inside the
// walked tree: the walk must not list it.
WalkGuards GuardsFor(const std::wstring& zip_path) {
    WalkGuards guards;
    guards.has_archive = platform::GetFileIdentity(zip_path, guards.archive);
    platform::FileStatus status;
    if (platform::LookUpEntry(zip_path, status)) guards.archive_size = status.size;
    return guards;
}

} // namespace

bool ZipDirectory(PackingState& state, const wchar_t* szSrcDir, const wchar_t* szZipFile,
                  const std::vector<std::wstring>& vecIncludes, const std::vector<std::wstring>& vecExcludes,
                  bool bRecursive, unsigned int nLevel, const char* szPassword, int nMinutes,
                  Diagnostics& diagnostics) {
    // Every entry's Deflate state is drawn from, and returned to, the
    // blocks this operation keeps; declared first, so it ends last.
    const AllocationScope memory;
    // Every name is converted several times; the code page is read once.
    const platform::CodePageScope code_page;
    const std::wstring zip_path = szZipFile != nullptr ? szZipFile : L"";
    Progress progress(state);
    state.base_dir = szSrcDir != nullptr ? szSrcDir : L"";
    AppendBackslash(state.base_dir);

    // An old archive that stays would be appended to, or be mistaken for
    // the new one: give up without a word.
    if (platform::RemoveFile(zip_path) == platform::Removal::Refused) {
        diagnostics.Report(PackFailure::CannotRemoveOldArchive, zip_path);
        return false;
    }

    ZipWriter archive(zip_path);
    if (!archive.IsOpen()) {
        diagnostics.Report(PackFailure::CannotCreateArchive, zip_path);
        progress.Signal(kProgressEnded);
        return false;
    }
    progress.Signal(kProgressStarted);

    std::vector<PackItem> items;
    progress.Restart();
    CollectFilteredFiles(items, state.total_size, state.base_dir, bRecursive, vecIncludes, vecExcludes, nMinutes,
                         GuardsFor(zip_path));

    PackItems(archive.handle(), items, PackSettings{nLevel, TrimSpaces(szPassword)}, progress, state.stop,
              diagnostics);
    items.clear();
    items.shrink_to_fit();

    const bool closed = archive.Close();
    if (!closed) diagnostics.Report(PackFailure::CannotCloseArchive, zip_path);
    progress.Signal(kProgressEnded);
    return closed;
}

} // namespace parcelon

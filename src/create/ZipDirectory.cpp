#include "create/ZipDirectory.h"

#include "create/CompressionPool.h"
#include "create/DirectoryWalk.h"
#include "create/FilePacker.h"
#include "create/Progress.h"
#include "create/ArchiveWriter.h"
#include "platform/Platform.h"
#include "text/PathText.h"
#include "text/TextHelpers.h"

namespace parcelon {

bool ZipDirectory(PackingState& state, const wchar_t* szSrcDir, const wchar_t* szZipFile,
                  const std::vector<std::wstring>& vecIncludes, const std::vector<std::wstring>& vecExcludes,
                  bool bRecursive, unsigned int nLevel, const char* szPassword, int nMinutes,
                  Diagnostics& diagnostics) {
    // Every name is converted several times; the code page is read once.
    const platform::CodePageScope code_page;
    const std::wstring zip_path = szZipFile != nullptr ? szZipFile : L"";
    Progress progress(state);
    state.base_dir = szSrcDir != nullptr ? szSrcDir : L"";
    AppendBackslash(state.base_dir);

    // An old archive that cannot be replaced (a folder, a read-only file):
    // give up without a word, before anything else happens.
    if (platform::CanReplace(zip_path) == platform::Replacement::Refused) {
        diagnostics.Report(PackFailure::CannotRemoveOldArchive, zip_path);
        return false;
    }

    ArchiveWriter archive(zip_path);
    if (!archive.IsOpen()) {
        diagnostics.Report(archive.failure(), zip_path);
        progress.Signal(kProgressEnded);
        return false;
    }
    progress.Signal(kProgressStarted);

    std::vector<PackItem> items;
    progress.Restart();
    WalkGuards guards;
    guards.archives = archive.own_files();
    guards.diagnostics = &diagnostics;
    guards.stop = &state.stop;
    guards.folder_items = state.style == EntryStyle::Portable;
    CollectFilteredFiles(items, state.total_size, state.base_dir, bRecursive, vecIncludes, vecExcludes, nMinutes,
                         guards);

    PackItems(archive, items, PackSettingsOf(state, nLevel, szPassword), progress, state.stop, diagnostics);
    items.clear();
    items.shrink_to_fit();

    // The old archive gives way only to a complete new one.
    const PackFailure finished = archive.Finish();
    if (finished != PackFailure::None) diagnostics.Report(finished, zip_path);
    progress.Signal(kProgressEnded);
    return finished == PackFailure::None;
}

} // namespace parcelon

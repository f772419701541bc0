#include "create/ZipFiles.h"

#include <set>

#include "create/CompressionPool.h"
#include "create/FilePacker.h"
#include "create/Progress.h"
#include "minizip/MinizipEntries.h"
#include "create/ArchiveWriter.h"
#include "platform/Platform.h"
#include "text/PathText.h"
#include "text/TextHelpers.h"

namespace parcelon {

namespace {

std::wstring FileNameOnly(const std::wstring& path) {
    const std::size_t start = FileNameStart(path);
    return start == std::wstring::npos ? path : path.substr(start);
}

bool SameUnit(wchar_t a, wchar_t b) {
    if (IsSeparator(a) && IsSeparator(b)) return true;
    const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 0x20) : c; };
    return lower(a) == lower(b);
}

// Where the part of path below base_dir starts, or npos when path does not
// lie below it. The base is compared without regard to ASCII case and with
// either separator alike, and must end at a separator of the path:
// /data/d holds /data/d/x.txt, not /data/dd/x.txt.
std::size_t RelativeStart(const std::wstring& base_dir, const std::wstring& path) {
    if (base_dir.empty()) return std::wstring::npos;
    const std::size_t base = LengthWithoutTrailingSeparators(base_dir);
    if (path.size() <= base || !IsSeparator(path[base])) return std::wstring::npos;
    for (std::size_t i = 0; i < base; ++i)
        if (!SameUnit(base_dir[i], path[i])) return std::wstring::npos;
    std::size_t start = base;
    while (start < path.size() && IsSeparator(path[start])) ++start;
    return start;
}

std::wstring WithBackslashes(std::wstring text) {
    for (wchar_t& c : text)
        if (c == L'/') c = L'\\';
    return text;
}

// The size and stamp of what is at path; nothing for a path that names
// nothing.
void LookUp(const std::wstring& path, PackItem& item) {
    platform::FileStatus status;
    if (!platform::PathExists(path) || !platform::LookUpEntry(path, status)) return;
    item.size = status.size;
    item.stamp = status.stamp;
}

// The portable style's list: each folder the entry names pass through,
// once, before the first file in it (with the folder's own stamp), and no
// folder entry per file.
std::vector<PackItem> WithFolderItems(std::vector<PackItem> files, const std::wstring& base_dir) {
    std::vector<PackItem> items;
    items.reserve(files.size());
    std::set<std::wstring> listed;
    for (PackItem& file : files) {
        for (std::size_t end = file.folder.find(L'\\'); end != std::wstring::npos;
             end = file.folder.find(L'\\', end + 1)) {
            const std::wstring name = file.folder.substr(0, end + 1);
            if (!listed.insert(name).second) continue;
            PackItem folder;
            folder.path = base_dir;
            AppendBackslash(folder.path);
            folder.path += name;
            folder.name = name;
            folder.is_folder = true;
            platform::FileStatus status;
            if (platform::LookUpEntry(folder.path.substr(0, folder.path.size() - 1), status))
                folder.stamp = status.stamp;
            items.push_back(std::move(folder));
        }
        file.folder.clear();
        items.push_back(std::move(file));
    }
    return items;
}

} // namespace

PackItem MakeListItem(const std::wstring& base_dir, const std::wstring& path) {
    PackItem item;
    item.path = path;
    LookUp(path, item);
    const std::size_t relative = RelativeStart(base_dir, path);
    if (relative == std::wstring::npos) {
        item.name = FileNameOnly(path);
        return item;
    }
    // Named as the walk of ZipDirectory(base) names it: backslashes, and a
    // folder entry for the file's own folder below the base.
    item.name = WithBackslashes(path.substr(relative));
    item.folder = RelativeParent(item.name);
    AppendBackslash(item.folder);
    return item;
}

bool AddListedFile(PackingState& state, void* zip, const wchar_t* path, unsigned int level, const char* password,
                   Diagnostics& diagnostics) {
    Progress progress(state);
    const std::vector<PackItem> items{MakeListItem(state.base_dir, path != nullptr ? path : L"")};
    MinizipEntries archive(zip);
    PackSettings settings;
    settings.level = level;
    settings.password = TrimSpaces(password);
    return PackItems(archive, items, settings, progress, state.stop, diagnostics);
}

bool ZipFiles(PackingState& state, const std::vector<std::wstring>& vecFiles, const wchar_t* szZipFile,
              unsigned int nLevel, const char* szPassword, Diagnostics& diagnostics) {
    // Every name is converted several times; the code page is read once.
    const platform::CodePageScope code_page;
    const std::wstring zip_path = szZipFile != nullptr ? szZipFile : L"";
    Progress progress(state);

    ArchiveWriter archive(zip_path);
    if (!archive.IsOpen()) {
        diagnostics.Report(archive.failure(), zip_path);
        progress.Signal(kProgressEnded);
        return false;
    }

    progress.Restart();
    std::vector<PackItem> items;
    items.reserve(vecFiles.size());
    for (const std::wstring& path : vecFiles) {
        PackItem item = MakeListItem(state.base_dir, path);
        // The archive itself, listed by any name, would grow as it is read.
        if (IsOneOf(item.path, item.size, archive.own_files())) {
            diagnostics.Report(PackFailure::SourceIsArchive, item.path);
            continue;
        }
        progress.AddToTotal(item.size);
        items.push_back(std::move(item));
    }

    // A path that names nothing is passed over by the packer without a word.
    if (state.style == EntryStyle::Portable) items = WithFolderItems(std::move(items), state.base_dir);
    PackItems(archive, items, PackSettingsOf(state, nLevel, szPassword), progress, state.stop, diagnostics);

    progress.Signal(kProgressEnded);
    const PackFailure finished = archive.Finish();
    if (finished == PackFailure::None) return true;
    // The central directory could not be written, or the archive could not
    // take its path's place: whatever was there stays.
    diagnostics.Report(finished, zip_path);
    return false;
}

} // namespace parcelon

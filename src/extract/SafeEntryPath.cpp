#include "extract/SafeEntryPath.h"

#include <cwctype>

#include "platform/Platform.h"
#include "text/PathText.h"

namespace parcelon {

namespace {

// "..", and the spellings Windows turns into it by dropping a component's
// trailing dots and spaces ("...", ".. ", ". ."): only dots and spaces, and
// at least two dots.
bool IsParentComponent(const std::wstring& name, std::size_t begin, std::size_t end) {
    std::size_t dots = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (name[i] == L'.') ++dots;
        else if (name[i] != L' ') return false;
    }
    return dots >= 2;
}

bool IsCurrentComponent(const std::wstring& name, std::size_t begin, std::size_t end) {
    return end - begin == 1 && name[begin] == L'.';
}

} // namespace

EntryPath ClassifyEntryName(const std::wstring& name) {
    EntryPath path;
    if (name.empty()) return path;
    if (name.find(L'\0') != std::wstring::npos) return path;
    // "/x" and "\x" (also "\\server\share"), and "C:x" or "C:\x": a drive.
    if (IsSeparator(name[0]) || RootNameLength(name) > 0) return path;

    path.folder = IsSeparator(name.back());
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !IsSeparator(name[i])) continue;
        if (IsParentComponent(name, begin, i) || platform::IsDeviceName(std::wstring_view(name).substr(begin, i - begin))) {
            path.folder_ends.clear();
            return path;
        }
        // A separator closes a folder component; the end of the name closes
        // the file's own name.
        if (i < name.size() && i > begin && !IsCurrentComponent(name, begin, i))
            path.folder_ends.push_back(i);
        begin = i + 1;
    }
    path.safe = true;
    return path;
}

std::wstring CanonicalEntryName(const std::wstring& name) {
    std::wstring canonical;
    canonical.reserve(name.size());
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !IsSeparator(name[i])) continue;
        if (i > begin && !IsCurrentComponent(name, begin, i)) {
            if (!canonical.empty()) canonical += L'/';
            for (std::size_t j = begin; j < i; ++j) canonical += static_cast<wchar_t>(std::towlower(name[j]));
        }
        begin = i + 1;
    }
    return canonical;
}

} // namespace parcelon

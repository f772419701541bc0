#include "extract/SafeEntryPath.h"

namespace parcelon {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "..", and the spellings Windows turns into it by dropping a component's
// trailing dots and spaces ("...", ".. ", ". ."): only dots and spaces, and
// at least two dots.
bool IsParentComponent(const std::string& name, std::size_t begin, std::size_t end) {
    std::size_t dots = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (name[i] == '.') ++dots;
        else if (name[i] != ' ') return false;
    }
    return dots >= 2;
}

bool IsCurrentComponent(const std::string& name, std::size_t begin, std::size_t end) {
    return end - begin == 1 && name[begin] == '.';
}

} // namespace

EntryPath ClassifyEntryName(const std::string& name) {
    EntryPath path;
    if (name.empty()) return path;
    if (name.find('\0') != std::string::npos) return path;
    // "/x" and "\x" (also "\\server\share"), and "C:x" or "C:\x": a drive.
    if (IsSeparator(name[0])) return path;
    if (name.size() >= 2 && IsAsciiLetter(name[0]) && name[1] == ':') return path;

    path.folder = IsSeparator(name.back());
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !IsSeparator(name[i])) continue;
        if (IsParentComponent(name, begin, i)) {
            path.folders.clear();
            return path;
        }
        // A separator closes a folder component; the end of the name closes
        // the file's own name.
        if (i < name.size() && i > begin && !IsCurrentComponent(name, begin, i))
            path.folders.push_back(name.substr(0, i));
        begin = i + 1;
    }
    path.safe = true;
    return path;
}

} // namespace parcelon

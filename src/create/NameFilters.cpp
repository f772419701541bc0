#include "create/NameFilters.h"

#include <algorithm>

#include "text/PathText.h"

namespace parcelon {

namespace {

// The extension of the path's final component, with its dot, or empty.
std::wstring GetExtension(const std::wstring& path) {
    // A leading root (C:, \\server) never belongs to the final component.
    std::size_t start = RootNameLength(path);
    for (std::size_t i = path.size(); i > start; --i) {
        if (IsSeparator(path[i - 1])) {
            start = i;
            break;
        }
    }
    std::wstring name = path.substr(start);
    // a.txt:stream names a stream of a.txt.
    const std::size_t colon = name.find(L':');
    if (colon != std::wstring::npos) name.erase(colon);
    if (name.size() < 2) return std::wstring();
    if (name.back() == L'.') return name == L".." ? std::wstring() : std::wstring(L".");
    // A dot in first position starts a hidden name (.profile), not an extension.
    for (std::size_t i = name.size() - 1; i-- > 1;) {
        if (name[i] == L'.') return name.substr(i);
    }
    return std::wstring();
}

// From the first dot to the end; the whole text when it has no dot.
std::wstring GetDottedSuffix(const std::wstring& text) {
    const std::size_t dot = text.find(L'.');
    return dot == std::wstring::npos ? text : text.substr(dot);
}

// A copy with A-Z folded to a-z and every other unit unchanged.
std::wstring ToLowerAscii(const std::wstring& text) {
    std::wstring lower = text;
    for (wchar_t& c : lower) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 0x20);
    }
    return lower;
}

// Replaces every occurrence of find, left to right, never searching
// inserted text again.
void ReplaceAll(std::wstring& text, const std::wstring& find, const std::wstring& replacement) {
    if (find.empty()) return; // nothing to find (and no end to finding it)
    std::size_t position = 0;
    while (true) {
        const std::size_t found = text.find(find, position);
        if (found == std::wstring::npos) return;
        text.replace(found, find.size(), replacement);
        position = found + replacement.size();
    }
}

// Splits text at separator into pieces (emptied first): a leading separator
// gives no piece, two in a row an empty one, a trailing one none.
void SplitString(const std::wstring& text, wchar_t separator, std::vector<std::wstring>& pieces) {
    pieces.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == separator) {
            if (i == 0) {
                start = 1;
            } else {
                pieces.push_back(text.substr(start, i - start));
                start = i + 1;
            }
        } else if (i + 1 == text.size()) {
            pieces.push_back(text.substr(start));
        }
    }
}


// What a file offers to be matched with, all in lower-case ASCII.
struct MatchKeys {
    std::wstring extension;             // .txt
    std::wstring dotted_suffix;         // .final.txt, from the first dot of the whole path
    std::vector<std::wstring> folders;  // c:, work, docs: every folder on the path
};

MatchKeys MakeKeys(const std::wstring& path) {
    MatchKeys keys;
    keys.extension = ToLowerAscii(GetExtension(path));
    keys.dotted_suffix = ToLowerAscii(GetDottedSuffix(path));
    SplitString(ToLowerAscii(GetParentDir(path.c_str())), L'\\', keys.folders);
    return keys;
}

// *.TXT and .txt name the same files: fold the case and drop the star.
std::wstring Normalise(const std::wstring& entry) {
    std::wstring normalised = ToLowerAscii(entry);
    ReplaceAll(normalised, L"*.", L".");
    return normalised;
}

bool IsFolderName(const MatchKeys& keys, const std::wstring& name) {
    return std::find(keys.folders.begin(), keys.folders.end(), name) != keys.folders.end();
}

bool PassesIncludes(const std::wstring& path, const std::vector<std::wstring>& includes) {
    const MatchKeys keys = MakeKeys(path);
    // A folder entry admits every file below that folder only while the list
    // names no extension with a star; once it does, only the files whose
    // extension is itself listed as *.ext, exactly as the host wrote it.
    const bool names_star_extension = std::any_of(includes.begin(), includes.end(), [](const std::wstring& entry) {
        return entry.find(L"*.") != std::wstring::npos;
    });
    const std::wstring star_extension = L"*" + keys.extension;
    const bool lists_own_extension =
        std::find(includes.begin(), includes.end(), star_extension) != includes.end();
    for (const std::wstring& entry : includes) {
        const std::wstring normalised = Normalise(entry);
        if (normalised == keys.extension || normalised == keys.dotted_suffix) return true;
        if (IsFolderName(keys, normalised) && (!names_star_extension || lists_own_extension)) return true;
    }
    return false;
}

bool PassesExcludes(const std::wstring& path, const std::vector<std::wstring>& excludes) {
    const MatchKeys keys = MakeKeys(path);
    for (const std::wstring& entry : excludes) {
        const std::wstring normalised = Normalise(entry);
        if (normalised == keys.extension || normalised == keys.dotted_suffix || IsFolderName(keys, normalised))
            return false;
    }
    return true;
}

} // namespace

bool PassesNameFilters(const std::wstring& path, const std::vector<std::wstring>& vecIncludes,
                       const std::vector<std::wstring>& vecExcludes) {
    // The include list, when there is one, decides alone.
    if (!vecIncludes.empty()) return PassesIncludes(path, vecIncludes);
    if (!vecExcludes.empty()) return PassesExcludes(path, vecExcludes);
    // Nothing to filter with: the same files as a walk without lists.
    return true;
}

} // namespace parcelon

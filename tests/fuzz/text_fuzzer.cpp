// libFuzzer target: the text and path helpers, the name filters, entry
// naming on the packing side and the entry-name check on the extracting
// side, over arbitrary paths and lists.
//
// The input is read as UTF-16LE code units and split at line feeds into
// fields: the path, the base directory, a text to find and its
// replacement, then list entries ('+' include, '-' exclude, others
// ignored). Every call must not only survive; its result must keep the
// properties checked below, or the target aborts.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "create/EntryNames.h"
#include "create/NameFilters.h"
#include "extract/SafeEntryPath.h"
#include "text/TextHelpers.h"

// The sanitizers' own report writer, present in every fuzzing build.
extern "C" void __sanitizer_report_error_summary(const char* summary) __attribute__((weak));

namespace {

[[noreturn]] void Violation(const char* what) {
    const std::string text = std::string("text_fuzzer: ") + what;
    // With -close_fd_mask=2 only the sanitizer's report stream still
    // reaches the terminal.
    if (__sanitizer_report_error_summary != nullptr) __sanitizer_report_error_summary(text.c_str());
    std::fprintf(stderr, "%s\n", text.c_str());
    std::abort();
}

void Check(bool condition, const char* what) {
    if (!condition) Violation(what);
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

template <typename S>
bool IsSuffix(const S& suffix, const S& text) {
    return suffix.size() <= text.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

template <typename S>
bool IsPrefix(const S& prefix, const S& text) {
    return prefix.size() <= text.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Leftmost, non-overlapping replacement, written out plainly.
std::wstring ReplacedPlainly(const std::wstring& text, const std::wstring& find, const std::wstring& replacement) {
    if (find.empty()) return text;
    std::wstring out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text.compare(i, find.size(), find) == 0) {
            out += replacement;
            i += find.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

void CheckWideHelpers(const std::wstring& path, const std::wstring& find, const std::wstring& replacement) {
    const std::wstring lower = parcelon::ToLowerAscii(path);
    Check(lower.size() == path.size(), "ToLowerAscii changed the length");
    for (std::size_t i = 0; i < path.size(); ++i) {
        const wchar_t c = path[i];
        const wchar_t expected = c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
        Check(lower[i] == expected, "ToLowerAscii changed more than A-Z");
    }

    const std::wstring extension = parcelon::GetExtension(path);
    if (!extension.empty()) {
        Check(extension[0] == L'.', "an extension without its dot");
        Check(path.find(extension) != std::wstring::npos, "an extension that is not in the path");
        for (wchar_t c : extension) Check(!IsSeparator(c), "an extension across a separator");
    }
    Check(IsSuffix(parcelon::GetDottedSuffix(path), path), "a dotted suffix that does not end the text");

    std::wstring replaced = path;
    parcelon::ReplaceAll(replaced, find, replacement);
    Check(replaced == ReplacedPlainly(path, find, replacement), "ReplaceAll differs from plain replacement");

    std::vector<std::wstring> pieces = {L"left over"};
    parcelon::SplitString(path, L'\\', pieces);
    std::wstring joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) joined += (i ? L"\\" : L"") + pieces[i];
    // The pieces give back the text without one leading and one trailing
    // separator.
    std::wstring trimmed = path;
    if (!trimmed.empty() && trimmed.front() == L'\\') trimmed.erase(0, 1);
    if (!trimmed.empty() && trimmed.back() == L'\\') trimmed.pop_back();
    Check(joined == trimmed, "SplitString lost or invented text");

    std::wstring with_backslash = path;
    parcelon::AppendBackslash(with_backslash);
    Check(with_backslash.empty() == path.empty(), "AppendBackslash on empty text");
    Check(path.empty() || (with_backslash.back() == L'\\' && with_backslash.size() - path.size() <= 1),
          "AppendBackslash");

    Check(IsPrefix(parcelon::GetParentDir(path.c_str()), path), "a parent that does not start the path");
}

void CheckFilters(const std::wstring& path, const std::vector<std::wstring>& includes,
                  const std::vector<std::wstring>& excludes) {
    const bool passes = parcelon::PassesNameFilters(path, includes, excludes);
    Check(passes == parcelon::PassesNameFilters(path, includes, excludes), "the filters are not deterministic");
    Check(parcelon::PassesNameFilters(path, {}, {}), "empty lists refused a file");
    // A file's own extension, listed as *.ext, always lets it in or keeps
    // it out.
    const std::wstring extension = parcelon::GetExtension(path);
    if (!extension.empty() && extension.find(L"*.") == std::wstring::npos) {
        Check(parcelon::PassesNameFilters(path, {L"*" + extension}, excludes), "its own extension did not include it");
        Check(!parcelon::PassesNameFilters(path, {}, {L"*" + extension}), "its own extension did not exclude it");
    }
}

void CheckNarrowHelpers(const std::wstring& path, const std::wstring& base) {
    const std::string ansi = parcelon::ToAnsi(path.c_str());
    const char* name = parcelon::FindFileName(ansi.c_str());
    const bool has_separator = ansi.find_first_of("/\\") != std::string::npos;
    Check((name != nullptr) == has_separator, "FindFileName");
    if (name != nullptr) Check(name >= ansi.c_str() && name <= ansi.c_str() + ansi.size(), "FindFileName outside");

    const std::string trimmed = parcelon::TrimSpaces(ansi.c_str());
    Check(ansi.find(trimmed) != std::string::npos, "TrimSpaces invented text");
    if (!trimmed.empty()) {
        Check(!std::strchr(" \t\n\v\f\r", trimmed.front()) && !std::strchr(" \t\n\v\f\r", trimmed.back()),
              "TrimSpaces left white space");
    }

    const parcelon::EntryNames names = parcelon::MakeEntryNames(base, path.c_str(), ansi);
    Check(IsSuffix(names.file, ansi), "an entry name that is not the end of the path");
    Check(names.folder.empty() || names.folder.back() == '\\', "a folder entry that does not end in a backslash");
}

void CheckEntryName(const std::string& name) {
    const parcelon::EntryPath path = parcelon::ClassifyEntryName(name);
    if (!path.safe) return;
    Check(!name.empty() && name.find('\0') == std::string::npos, "a safe name that is empty or holds a zero");
    Check(name[0] != '/' && name[0] != '\\', "a safe absolute name");
    Check(!(name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]))), "a safe drive");
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] != '/' && name[i] != '\\') continue;
        std::size_t dots = 0;
        bool only_dots_and_spaces = true;
        for (std::size_t j = begin; j < i; ++j) {
            if (name[j] == '.') ++dots;
            else if (name[j] != ' ') only_dots_and_spaces = false;
        }
        Check(!(only_dots_and_spaces && dots >= 2), "a safe name that climbs");
        begin = i + 1;
    }
    for (const std::string& folder : path.folders) Check(IsPrefix(folder, name), "a folder that does not start the name");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::wstring> fields(1);
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const wchar_t unit = static_cast<wchar_t>(data[i] | data[i + 1] << 8);
        if (unit == L'\n') fields.emplace_back();
        else fields.back() += unit;
    }
    const std::wstring& path = fields[0];
    const std::wstring base = fields.size() > 1 ? fields[1] : std::wstring();
    const std::wstring find = fields.size() > 2 ? fields[2] : std::wstring();
    const std::wstring replacement = fields.size() > 3 ? fields[3] : std::wstring();
    std::vector<std::wstring> includes;
    std::vector<std::wstring> excludes;
    for (std::size_t i = 4; i < fields.size(); ++i) {
        if (fields[i].empty()) continue;
        if (fields[i][0] == L'+') includes.push_back(fields[i].substr(1));
        else if (fields[i][0] == L'-') excludes.push_back(fields[i].substr(1));
    }

    // Hosts hand paths over as zero-terminated text.
    const std::wstring host_path(path.c_str());
    CheckWideHelpers(path, find, replacement);
    CheckFilters(path, includes, excludes);
    CheckNarrowHelpers(host_path, std::wstring(base.c_str()));
    CheckEntryName(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}

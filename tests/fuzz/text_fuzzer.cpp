// libFuzzer target: the text and path helpers, the name filters, entry
// naming on the packing side and the entry-name check on the extracting
// side, over arbitrary paths and lists.
//
// The input is read as UTF-16LE code units and split at line feeds into
// fields: the path (also tried as a stored entry name), the base directory,
// two fields no longer read (kept so that old corpora still mean the same),
// then list entries ('+' include, '-' exclude, others ignored). Every call
// must not only survive; its result must keep the properties checked below,
// or the target aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "create/NameFilters.h"
#include "create/ZipFiles.h"
#include "extract/SafeEntryPath.h"
#include "text/PathText.h"
#include "text/TextHelpers.h"
#include "text/Utf8.h"
#include "platform/Platform.h"

// The sanitizers' own report writer, present in every fuzzing build.
extern "C" void __sanitizer_report_error_summary(const char* summary) __attribute__((weak));

namespace {

using parcelon::IsSeparator;

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

template <typename S>
bool IsSuffix(const S& suffix, const S& text) {
    return suffix.size() <= text.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

template <typename S>
bool IsPrefix(const S& prefix, const S& text) {
    return prefix.size() <= text.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// "C:" at the start: a drive, which never belongs to a file's name.
std::size_t GetDrive(const std::wstring& path) {
    const bool letter = !path.empty() && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
    return letter && path.size() >= 2 && path[1] == L':' ? 2 : 0;
}

void CheckPathHelpers(const std::wstring& path) {
    std::wstring with_backslash = path;
    parcelon::AppendBackslash(with_backslash);
    Check(with_backslash.empty() == path.empty(), "AppendBackslash on empty text");
    Check(path.empty() || (with_backslash.back() == L'\\' && with_backslash.size() - path.size() <= 1),
          "AppendBackslash");

    Check(IsPrefix(parcelon::GetParentDir(path.c_str()), path), "a parent that does not start the path");
    const std::size_t name = parcelon::FileNameStart(path);
    Check(name == std::wstring::npos || (name > 0 && name <= path.size() && IsSeparator(path[name - 1])),
          "a file name that does not follow a separator");
}

std::wstring Backslashed(std::wstring text) {
    for (wchar_t& c : text)
        if (c == L'/') c = L'\\';
    return text;
}

std::wstring ToggledAsciiCase(const std::wstring& text) {
    std::wstring out = text;
    for (wchar_t& c : out) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
        else if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    }
    return out;
}

// The text after the path's last dot, when that dot lies in the final
// component, not first in it, and no stream name follows: an extension
// every reading of the rules agrees on.
std::wstring PlainExtension(const std::wstring& path) {
    const std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0 || dot + 1 == path.size()) return std::wstring();
    if (dot < parcelon::RootNameLength(path)) return std::wstring(); // a server's name, not a file's
    if (IsSeparator(path[dot - 1]) || path[dot - 1] == L':') return std::wstring();
    const std::size_t component = path.find_last_of(L"\\/");
    if (component != std::wstring::npos && component > dot) return std::wstring();
    const std::size_t start = component == std::wstring::npos ? 0 : component + 1;
    if (path.find(L':', start) != std::wstring::npos || path.find(L'*', dot) != std::wstring::npos)
        return std::wstring();
    return path.substr(dot);
}

void CheckFilters(const std::wstring& path, const std::vector<std::wstring>& includes,
                  const std::vector<std::wstring>& excludes) {
    const bool passes = parcelon::PassesNameFilters(path, includes, excludes);
    Check(passes == parcelon::PassesNameFilters(path, includes, excludes), "the filters are not deterministic");
    Check(parcelon::PassesNameFilters(path, {}, {}), "empty lists refused a file");
    // Every key is folded to lower case: the path's ASCII case plays no part.
    Check(passes == parcelon::PassesNameFilters(ToggledAsciiCase(path), includes, excludes),
          "the path's ASCII case changed the answer");
    // An entry without "*." admits exactly the files it would keep out.
    for (const std::wstring& entry : includes) {
        if (entry.find(L"*.") != std::wstring::npos) continue;
        Check(parcelon::PassesNameFilters(path, {entry}, {}) != parcelon::PassesNameFilters(path, {}, {entry}),
              "an entry that both admits and keeps, or neither");
    }
    // A file's own extension, listed as *.ext, always lets it in or keeps
    // it out.
    const std::wstring extension = PlainExtension(path);
    if (!extension.empty()) {
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

    // The object's base folder is empty or ends in a backslash.
    std::wstring base_dir = base;
    parcelon::AppendBackslash(base_dir);
    const parcelon::PackItem item = parcelon::MakeListItem(base_dir, path);
    Check(item.path == path, "a listed file read from another path");
    // The name is the end of the path, separators made backslashes; the file
    // lies in its own folder entry.
    Check(IsSuffix(Backslashed(item.name), Backslashed(path)), "an entry name that is not the end of the path");
    Check(IsPrefix(item.folder, item.name), "a file outside its own folder entry");
    Check(item.folder.empty() || item.folder.back() == L'\\', "a folder entry that does not end in a backslash");
}

// Names travel as bytes and wide text both ways without loss: UTF-8 ones
// (flagged entries) and, on POSIX, those of the locale's character set.
void CheckEncodings(const std::string& bytes) {
    Check(parcelon::WideToUtf8(parcelon::Utf8ToWide(bytes)) == bytes, "UTF-8 bytes lost on the way through wide text");
#if !defined(_WIN32)
    const std::string no_zero = bytes.substr(0, bytes.find('\0'));
    Check(parcelon::platform::WideToAnsi(parcelon::platform::AnsiToWide(no_zero)) == no_zero,
          "name bytes lost on the way through wide text");
#endif
}

void CheckEntryName(const std::wstring& name) {
    const parcelon::EntryPath path = parcelon::ClassifyEntryName(name);
    if (!path.safe) return;
    Check(!name.empty() && name.find(L'\0') == std::wstring::npos, "a safe name that is empty or holds a zero");
    Check(!IsSeparator(name[0]), "a safe absolute name");
    Check(GetDrive(name) == 0, "a safe drive");
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !IsSeparator(name[i])) continue;
        std::size_t dots = 0;
        bool only_dots_and_spaces = true;
        for (std::size_t j = begin; j < i; ++j) {
            if (name[j] == L'.') ++dots;
            else if (name[j] != L' ') only_dots_and_spaces = false;
        }
        Check(!(only_dots_and_spaces && dots >= 2), "a safe name that climbs");
        begin = i + 1;
    }
    std::size_t previous = 0;
    for (const std::size_t end : path.folder_ends) {
        Check(end > previous && end <= name.size(), "folders out of order or past the name");
        Check(end == name.size() || IsSeparator(name[end]), "a folder that does not end at a separator");
        previous = end;
    }
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
    std::vector<std::wstring> includes;
    std::vector<std::wstring> excludes;
    for (std::size_t i = 4; i < fields.size(); ++i) {
        if (fields[i].empty()) continue;
        if (fields[i][0] == L'+') includes.push_back(fields[i].substr(1));
        else if (fields[i][0] == L'-') excludes.push_back(fields[i].substr(1));
    }

    // Hosts hand paths over as zero-terminated text.
    const std::wstring host_path(path.c_str());
    CheckPathHelpers(path);
    CheckFilters(path, includes, excludes);
    CheckNarrowHelpers(host_path, std::wstring(base.c_str()));
    CheckEntryName(path);
    CheckEncodings(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}

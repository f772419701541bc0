// list, test and extract: reading an archive.
#include <cmath>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/DestinationFolders.h"
#include "cli/Interrupt.h"
#include "cli/Operation.h"

namespace cli {

namespace {

// The entries a reading command works on, from a listing made before it:
// how many, and their bytes, for the bar and the summary.
struct Selection {
    std::vector<std::wstring> patterns;   // none: every entry
    std::vector<bool> pattern_matched;    // for each pattern
    std::size_t entries = 0;
    std::uint64_t bytes = 0;
    std::unordered_map<std::string, std::uint64_t> sizes; // selected names (UTF-8) and their sizes
};

// A name against an extraction pattern, as ParcelonC.h describes the
// library's matching: '*' any run of characters, folders included; '?' one
// character; '/' and '\' alike; case counts. The tool matches too, only to
// count what will be extracted and to name a pattern that matches nothing.
bool MatchesPattern(const std::wstring& name, const std::wstring& pattern) {
    auto same = [](wchar_t p, wchar_t n) {
        const bool p_separator = p == L'/' || p == L'\\';
        const bool n_separator = n == L'/' || n == L'\\';
        return p == n || (p_separator && n_separator);
    };
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t star = std::wstring::npos;
    std::size_t star_name = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            star_name = n;
        } else if (p < pattern.size() && (pattern[p] == L'?' || same(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (star != std::wstring::npos) {
            p = star + 1;
            n = ++star_name;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

int PARCELON_CALL Select(const parcelon_entry* entry, void* selection_pointer) {
    Selection& selection = *static_cast<Selection*>(selection_pointer);
    bool selected = selection.patterns.empty();
    if (!selected) {
        const std::wstring name = WideOfUtf8(entry->name);
        for (std::size_t i = 0; i < selection.patterns.size(); ++i) {
            if (MatchesPattern(name, selection.patterns[i])) {
                selection.pattern_matched[i] = true;
                selected = true;
            }
        }
    }
    if (selected) {
        ++selection.entries;
        const std::uint64_t size = entry->is_folder ? 0 : entry->size;
        selection.bytes += size;
        selection.sizes[entry->name] = size;
    }
    return 0;
}

// The archive's failure to be read, said as any other.
int CannotRead(parcelon_archiver* archiver, const Argument& archive) {
    ProgressView view(Amount{}, true);
    Reports reports(view, false);
    reports.SayOutcome(archiver, false, Utf8(archive.wide));
    return kExitFailed;
}

// Lists the archive into selection; false when it cannot be read.
bool SelectEntries(parcelon_archiver* archiver, const Argument& archive, Selection& selection) {
    parcelon_set_option(archiver, PARCELON_OPT_STDERR, 0);
    selection.pattern_matched.assign(selection.patterns.size(), false);
    return parcelon_list(archiver, archive.wide.c_str(), Select, &selection) != 0;
}

// --------------------------------------------------------------- list

struct Listing {
    std::string header; // written before the first entry: nothing of it when the archive cannot be read
    std::uint64_t size = 0, compressed = 0;
    std::size_t files = 0, folders = 0, encrypted = 0;
};

// "95%": how much smaller than its size an entry is stored.
std::string Saving(std::uint64_t size, std::uint64_t compressed) {
    if (size == 0) return "0%";
    const double saved = 100.0 * (1.0 - static_cast<double>(compressed) / static_cast<double>(size));
    const long whole = std::lround(saved < -999 ? -999.0 : saved);
    return Format("%ld%%", whole);
}

// "2024-05-01 12:00" in local time.
std::string LocalDate(parcelon_i64 seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
#if defined(_WIN32)
    const bool ok = localtime_s(&local, &time) == 0;
#else
    const bool ok = localtime_r(&time, &local) != nullptr;
#endif
    char text[32];
    if (!ok || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local) == 0) return "---------- -----";
    return text;
}

int PARCELON_CALL ListEntry(const parcelon_entry* entry, void* listing_pointer) {
    Listing& listing = *static_cast<Listing*>(listing_pointer);
    if (!listing.header.empty()) {
        Write(Stream::out, listing.header);
        listing.header.clear();
    }
    listing.size += entry->size;
    listing.compressed += entry->compressed_size;
    ++(entry->is_folder ? listing.folders : listing.files);
    if (entry->encrypted) ++listing.encrypted;
    Write(Stream::out, Format("%10llu  %10llu%c %5s  %s  %s\n", static_cast<unsigned long long>(entry->size),
                              static_cast<unsigned long long>(entry->compressed_size), entry->encrypted ? '*' : ' ',
                              Saving(entry->size, entry->compressed_size).c_str(), LocalDate(entry->mtime).c_str(),
                              Printable(entry->name).c_str()));
    return 0;
}

// "3 files, 1 folder".
std::string Counted(std::size_t count, const char* one, const char* many) {
    return Format("%zu %s", count, count == 1 ? one : many);
}

// --------------------------------------------------------------- test and extract

int Stopped(ProgressView& view, const std::string& what) {
    view.Say("stopped: " + what + "\n");
    return kExitStopped;
}

// The selected entries the reports did not name: those done.
std::pair<std::size_t, std::uint64_t> Done(const Selection& selection, const Reports& reports) {
    std::size_t entries = selection.entries;
    std::uint64_t bytes = selection.bytes;
    std::unordered_set<std::string> named;
    for (const Reported& reported : reports.all()) {
        if (reported.code == PARCELON_E_STOPPED || !named.insert(reported.path).second) continue;
        const auto size = selection.sizes.find(reported.path);
        if (size == selection.sizes.end()) continue;
        --entries;
        bytes -= size->second;
    }
    return {entries, bytes};
}

} // namespace

int List(const Options& options) {
    const Argument& archive = options.positional[0];
    Archiver archiver;
    if (archiver.get() == nullptr) return kExitFailed;
    parcelon_set_option(archiver.get(), PARCELON_OPT_STDERR, 0);
    Listing listing;
    if (!options.quiet)
        listing.header = "Archive: " + Printable(Utf8(archive.wide)) +
                         "\n    Length  Compressed  Saved  Date       Time   Name\n"
                         "----------  ----------  -----  ---------- -----  ----\n";
    if (!parcelon_list(archiver.get(), archive.wide.c_str(), ListEntry, &listing))
        return CannotRead(archiver.get(), archive);
    if (!options.quiet) {
        if (!listing.header.empty()) Write(Stream::out, listing.header); // an archive without entries
        std::string counts = Counted(listing.files, "file", "files");
        if (listing.folders > 0) counts += ", " + Counted(listing.folders, "folder", "folders");
        if (listing.encrypted > 0) counts += Format(" (* %zu encrypted)", listing.encrypted);
        Write(Stream::out, Format("----------  ----------  -----                     ----\n"
                                  "%10llu  %10llu  %5s                     %s\n",
                                  static_cast<unsigned long long>(listing.size),
                                  static_cast<unsigned long long>(listing.compressed),
                                  Saving(listing.size, listing.compressed).c_str(), counts.c_str()));
    }
    return kExitOk;
}

int Test(const Options& options) {
    const Argument& archive = options.positional[0];
    Archiver archiver;
    if (archiver.get() == nullptr) return kExitFailed;
    Selection selection;
    if (!SelectEntries(archiver.get(), archive, selection)) return CannotRead(archiver.get(), archive);
    const Password password = ResolvePassword(options, false);
    if (password.exit_status) return *password.exit_status;

    ProgressView view(Amount{selection.bytes, {}}, options.quiet);
    Reports reports(view, false);
    Connect(archiver.get(), view, reports);
    parcelon_set_threads(archiver.get(), options.threads);
    int ok = 0;
    {
        const StopOnInterrupt stop(archiver.get());
        ok = parcelon_test(archiver.get(), archive.wide.c_str(), password.get());
    }
    view.Finish();
    if (Interrupted()) return Stopped(view, "the test did not reach every entry");
    reports.SayOutcome(archiver.get(), ok != 0, Utf8(archive.wide));
    const std::string name = Printable(Utf8(archive.wide));
    const std::size_t sound = Done(selection, reports).first;
    if (ok) {
        if (!options.quiet)
            Write(Stream::out, Format("No errors: %s, %s in %.2f s.\n", name.c_str(),
                                      Counted(sound, "entry", "entries").c_str(), view.Elapsed()));
        return kExitOk;
    }
    if (!options.quiet && !reports.all().empty())
        Write(Stream::out, Format("%zu of %s in %s failed the test.\n", selection.entries - sound,
                                  Counted(selection.entries, "entry", "entries").c_str(), name.c_str()));
    return kExitFailed;
}

int Extract(const Options& options) {
    const Argument& archive = options.positional[0];
    const Argument& destination = options.positional[1];
    Archiver archiver;
    if (archiver.get() == nullptr) return kExitFailed;
    Selection selection;
    std::vector<const wchar_t*> patterns;
    for (std::size_t i = 2; i < options.positional.size(); ++i)
        selection.patterns.push_back(options.positional[i].wide);
    for (const std::wstring& pattern : selection.patterns) patterns.push_back(pattern.c_str());
    if (!SelectEntries(archiver.get(), archive, selection)) return CannotRead(archiver.get(), archive);
    bool unmatched = false;
    for (std::size_t i = 0; i < selection.patterns.size(); ++i) {
        if (selection.pattern_matched[i]) continue;
        Write(Stream::err, "parcelon: no entry matches " + Printable(Utf8(selection.patterns[i])) + "\n");
        unmatched = true;
    }
    if (!selection.patterns.empty() && selection.entries == 0) return kExitFailed;
    const Password password = ResolvePassword(options, false);
    if (password.exit_status) return *password.exit_status;

    DestinationFolders folders(destination.path);
    std::error_code ec;
    if (!folders.Make(ec)) {
        Write(Stream::err, "parcelon: cannot create the destination folder " + Printable(Utf8(destination.wide)) +
                               ": " + ec.message() + "\n");
        return kExitFailed;
    }
    const int overwrite = options.existing == Existing::overwrite ? PARCELON_OVERWRITE_REPLACE
                          : options.existing == Existing::skip    ? PARCELON_OVERWRITE_SKIP
                                                                  : PARCELON_OVERWRITE_FAIL;
    parcelon_set_option(archiver.get(), PARCELON_OPT_OVERWRITE, overwrite);
    parcelon_set_option(archiver.get(), PARCELON_OPT_KEEP_GOING, options.keep_going ? 1 : 0);
    parcelon_set_option(archiver.get(), PARCELON_OPT_RESTORE_TIMES, 1); // as unzip does

    ProgressView view(Amount{selection.bytes, {}}, options.quiet);
    Reports reports(view, options.existing == Existing::skip);
    Connect(archiver.get(), view, reports);
    parcelon_set_threads(archiver.get(), options.threads);
    int ok = 0;
    {
        const StopOnInterrupt stop(archiver.get());
        ok = parcelon_extract(archiver.get(), archive.wide.c_str(), destination.wide.c_str(), password.get(),
                              patterns.data(), patterns.size());
    }
    view.Finish();
    const std::string into = Printable(Utf8(destination.wide));
    if (Interrupted()) {
        folders.RemoveIfEmpty();
        return Stopped(view, "the files extracted before Ctrl-C are in " + into +
                                 "; the one in hand left nothing behind");
    }
    reports.SayOutcome(archiver.get(), ok != 0, Utf8(archive.wide));
    const auto [done, bytes] = Done(selection, reports);
    const std::size_t kept = options.existing == Existing::skip ? reports.Count(PARCELON_E_EXISTS) : 0;
    if (!ok) {
        folders.RemoveIfEmpty();
        if (options.keep_going && !reports.all().empty())
            view.Say(Format("parcelon: %zu of %s failed; the others are in %s\n", selection.entries - done - kept,
                            Counted(selection.entries, "entry", "entries").c_str(), into.c_str()));
        return kExitFailed;
    }
    if (!options.quiet) {
        std::string line = Format("extracted %s, %s, into %s in %.2f s", Counted(done, "entry", "entries").c_str(),
                                  HumanBytes(static_cast<double>(bytes)).c_str(), into.c_str(), view.Elapsed());
        if (kept > 0) line += Format("; %zu kept as they were", kept);
        Write(Stream::err, line + "\n");
    }
    return unmatched ? kExitFailed : kExitOk;
}

} // namespace cli

// pack and packdir: a new archive of a list of files or of a folder.
#include <filesystem>
#include <system_error>

#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Interrupt.h"
#include "cli/NewArchiveSize.h"
#include "cli/Operation.h"

namespace cli {

namespace fs = std::filesystem;

namespace {

// Files a packing call left out or cut short, sorted by what they mean for
// the exit status: a missing file (forgiven by --allow-missing), one that
// failed (a folder in the list, unreadable, cut short by a read error), and
// the archive itself, which no archive can hold and so is no failure.
struct LeftOut {
    std::size_t missing = 0;
    std::size_t failed = 0;
    std::size_t cut_short = 0; // of failed: in the archive, but shorter than the file
    std::size_t archive_itself = 0;

    static LeftOut Of(const Reports& reports) {
        LeftOut left_out;
        for (const Reported& reported : reports.all()) {
            switch (reported.code) {
            case PARCELON_E_STOPPED: break;
            case PARCELON_E_SOURCE_MISSING: ++left_out.missing; break;
            case PARCELON_E_SOURCE_IS_ARCHIVE: ++left_out.archive_itself; break;
            case PARCELON_E_CANNOT_READ_SOURCE:
            case PARCELON_E_CANNOT_WRITE_ENTRY: ++left_out.cut_short; ++left_out.failed; break;
            default: ++left_out.failed; break;
            }
        }
        return left_out;
    }
    std::size_t left_out() const { return missing + failed - cut_short + archive_itself; }
    // "; 2 left out, 1 cut short" for the summary.
    std::string Note() const {
        std::string note;
        if (left_out() > 0) note += Format("; %zu left out", left_out());
        if (cut_short > 0) note += Format("%s %zu cut short", note.empty() ? ";" : ",", cut_short);
        return note;
    }
    int ExitStatus(bool allow_missing) const {
        return failed > 0 || (missing > 0 && !allow_missing) ? kExitLeftOut : kExitOk;
    }
};

// The archive's encryption and style, as the options ask.
void Choose(parcelon_archiver* archiver, const Options& options) {
    parcelon_set_threads(archiver, options.threads);
    parcelon_set_option(archiver, PARCELON_OPT_ENCRYPTION,
                        options.aes ? PARCELON_ENCRYPTION_AES256 : PARCELON_ENCRYPTION_TRADITIONAL);
    parcelon_set_option(archiver, PARCELON_OPT_STYLE, options.portable ? PARCELON_STYLE_PORTABLE : PARCELON_STYLE_CLASSIC);
}

int Stopped(ProgressView& view, const Argument& archive) {
    view.Say("stopped: " + Printable(Utf8(archive.wide)) + " is closed and holds the files packed before Ctrl-C\n");
    return kExitStopped;
}

std::uint64_t SizeOr0(const fs::path& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : static_cast<std::uint64_t>(size);
}

} // namespace

int Pack(const Options& options) {
    const Argument& archive = options.positional[0];

    // Files that do not exist are named here and not handed on: the
    // library passes over a path that names nothing without a word.
    std::vector<std::wstring> files;
    std::uint64_t total = 0;
    std::size_t missing = 0;
    for (std::size_t i = 1; i < options.positional.size(); ++i) {
        const Argument& file = options.positional[i];
        std::error_code ec;
        if (fs::status(file.path, ec).type() == fs::file_type::not_found) {
            Write(Stream::err, FailureLine(Utf8(file.wide), PARCELON_E_SOURCE_MISSING, std::string(), false));
            ++missing;
            continue;
        }
        files.push_back(file.wide);
        total += SizeOr0(file.path);
    }
    if (files.empty()) {
        Write(Stream::err, "parcelon: nothing to pack: none of the listed files exists\n");
        return kExitFailed;
    }
    std::vector<const wchar_t*> list;
    for (const std::wstring& file : files) list.push_back(file.c_str());
    const Password password = ResolvePassword(options, true);
    if (password.exit_status) return *password.exit_status;

    Archiver archiver;
    if (archiver.get() == nullptr) return kExitFailed;
    ProgressView view(Amount{total, {}}, options.quiet);
    Reports reports(view, false);
    Connect(archiver.get(), view, reports);
    Choose(archiver.get(), options);
    int ok = 0;
    {
        const StopOnInterrupt stop(archiver.get());
        ok = parcelon_zip_files(archiver.get(), list.data(), list.size(), archive.wide.c_str(), options.level,
                                password.get());
    }
    view.Finish();
    reports.SayOutcome(archiver.get(), ok != 0, Utf8(archive.wide));
    if (Interrupted()) return Stopped(view, archive);
    if (!ok) return kExitFailed;

    LeftOut left_out = LeftOut::Of(reports);
    left_out.missing += missing;
    if (!options.quiet) {
        const std::size_t packed = files.size() + missing - left_out.left_out();
        Write(Stream::err, Format("packed %zu file(s), %s, into %s (%s) in %.2f s%s\n", packed,
                                  HumanBytes(static_cast<double>(total)).c_str(), Printable(Utf8(archive.wide)).c_str(),
                                  HumanBytes(static_cast<double>(SizeOr0(archive.path))).c_str(), view.Elapsed(),
                                  left_out.Note().c_str()));
    }
    return left_out.ExitStatus(options.allow_missing);
}

int PackDirectory(const Options& options) {
    const Argument& archive = options.positional[0];
    const Argument& source = options.positional[1];
    std::error_code ec;
    if (!fs::is_directory(source.path, ec)) {
        Write(Stream::err, "parcelon: " + Printable(Utf8(source.wide)) + " is not a folder\n");
        return kExitFailed;
    }
    const Password password = ResolvePassword(options, true);
    if (password.exit_status) return *password.exit_status;
    std::vector<const wchar_t*> includes;
    std::vector<const wchar_t*> excludes;
    for (const std::wstring& filter : options.includes) includes.push_back(filter.c_str());
    for (const std::wstring& filter : options.excludes) excludes.push_back(filter.c_str());

    Archiver archiver;
    if (archiver.get() == nullptr) return kExitFailed;
    // The library measures the folder as it walks it; what it has written
    // so far is the figure to show.
    NewArchiveSize written(archive.path);
    ProgressView view(Amount{0, [&written] { return written(); }}, options.quiet);
    Reports reports(view, false);
    Connect(archiver.get(), view, reports);
    Choose(archiver.get(), options);
    int ok = 0;
    {
        const StopOnInterrupt stop(archiver.get());
        ok = parcelon_zip_directory(archiver.get(), source.wide.c_str(), archive.wide.c_str(),
                                    options.recursive ? 1 : 0, options.level, password.get(), options.minutes,
                                    includes.data(), includes.size(), excludes.data(), excludes.size());
    }
    view.Finish();
    reports.SayOutcome(archiver.get(), ok != 0, Utf8(archive.wide));
    if (Interrupted()) return Stopped(view, archive);
    if (!ok) return kExitFailed;

    const LeftOut left_out = LeftOut::Of(reports);
    if (!options.quiet)
        Write(Stream::err, Format("packed %s into %s (%s) in %.2f s%s\n", Printable(Utf8(source.wide)).c_str(),
                                  Printable(Utf8(archive.wide)).c_str(),
                                  HumanBytes(static_cast<double>(SizeOr0(archive.path))).c_str(), view.Elapsed(),
                                  left_out.Note().c_str()));
    return left_out.ExitStatus(options.allow_missing);
}

} // namespace cli

#include "cli/Reports.h"

#include "cli/Text.h"

namespace cli {

const char* PlainWords(int code) {
    switch (code) {
    case PARCELON_E_INVALID_ARGUMENT: return "an invalid argument reached the library";
    case PARCELON_E_OUT_OF_MEMORY: return "out of memory";
    case PARCELON_E_STOPPED: return "stopped";
    case PARCELON_E_CANNOT_REMOVE_OLD_ARCHIVE:
        return "the file already at the archive path cannot be removed (is it a folder, or read-only?)";
    case PARCELON_E_CANNOT_CREATE_ARCHIVE: return "cannot create the archive (is its folder missing or read-only?)";
    case PARCELON_E_CANNOT_CLOSE_ARCHIVE: return "cannot complete the archive (is the disk full?)";
    case PARCELON_E_CANNOT_REPLACE_ARCHIVE: return "the finished archive cannot replace the file at its path";
    case PARCELON_E_CANNOT_ADD_FOLDER: return "a folder entry could not be written";
    case PARCELON_E_CANNOT_ADD_ENTRY: return "left out: its entry could not be added";
    case PARCELON_E_CANNOT_OPEN_SOURCE: return "left out: it cannot be opened (is it a folder, or unreadable?)";
    case PARCELON_E_CANNOT_WRITE_ENTRY: return "its data could not be written into the archive";
    case PARCELON_E_CANNOT_READ_SOURCE: return "reading it failed; its entry is cut short";
    case PARCELON_E_SOURCE_MISSING: return "left out: no such file";
    case PARCELON_E_SOURCE_IS_ARCHIVE: return "left out: it is the archive being written";
    case PARCELON_E_CANNOT_OPEN_ARCHIVE: return "the archive is missing, unreadable, or not a ZIP archive";
    case PARCELON_E_CANNOT_READ_ARCHIVE_INFO: return "the archive's end record is damaged";
    case PARCELON_E_CANNOT_FIND_FIRST_ENTRY: return "the archive's directory is damaged";
    case PARCELON_E_CANNOT_READ_ENTRY_INFO: return "an entry's record in the archive is damaged";
    case PARCELON_E_ENTRY_NAME_UNSAFE: return "refused: its name points outside the destination folder";
    case PARCELON_E_FOLDER_ENTRY_HAS_DATA: return "a folder entry carries data";
    case PARCELON_E_DESTINATION_MISSING: return "the destination folder does not exist";
    case PARCELON_E_CANNOT_CREATE_FOLDER: return "cannot create a folder in the destination";
    case PARCELON_E_CANNOT_CREATE_OUTPUT: return "cannot create its file (is the destination writable?)";
    case PARCELON_E_CANNOT_OPEN_ENTRY: return "its encryption header cannot be read";
    case PARCELON_E_LOCAL_HEADER_MISMATCH: return "its local header disagrees with the archive's directory";
    case PARCELON_E_ENTRY_OVERLAPS: return "its data overlap another entry's";
    case PARCELON_E_UNSUPPORTED_METHOD: return "compressed with a method this library does not read";
    case PARCELON_E_UNSUPPORTED_ENCRYPTION: return "strong encryption, which is not supported";
    case PARCELON_E_PASSWORD_REQUIRED: return "encrypted: give the password with --password";
    case PARCELON_E_WRONG_PASSWORD: return "wrong password";
    case PARCELON_E_DATA_CORRUPT: return "damaged data (they fail their CRC or size check)";
    case PARCELON_E_CANNOT_WRITE_OUTPUT: return "cannot write its file (is the disk full?)";
    case PARCELON_E_LIMIT: return "refused by a limit";
    case PARCELON_E_EXISTS: return "a file of that name exists (use --overwrite or --skip-existing)";
    default: return "failed";
    }
}

std::string FailureLine(const std::string& subject, int code, const std::string& library_line, bool warning) {
    std::string line = "parcelon: ";
    if (warning) line += "warning: ";
    if (!subject.empty()) line += Printable(subject) + ": ";
    line += PlainWords(code);
    if (!library_line.empty()) line += " [" + Printable(library_line) + "]";
    return line + "\n";
}

void PARCELON_CALL Reports::OnReport(int code, const char* path, const char* message, void* reports) {
    Reports& self = *static_cast<Reports*>(reports);
    self.all_.push_back({code, path != nullptr ? path : ""});
    // --skip-existing asked for these: counted, not said.
    const bool kept_as_asked = code == PARCELON_E_EXISTS && self.skipping_existing_;
    if (code == PARCELON_E_STOPPED || kept_as_asked) return;
    self.last_said_ = message != nullptr ? message : "";
    self.view_.Say(FailureLine(self.all_.back().path, code, self.last_said_, false));
}

std::size_t Reports::Count(int code) const {
    std::size_t count = 0;
    for (const Reported& reported : all_) count += reported.code == code ? 1 : 0;
    return count;
}

void Reports::SayOutcome(parcelon_archiver* archiver, bool ok, const std::string& subject) {
    const int code = parcelon_last_error(archiver);
    if (code == PARCELON_OK || code == PARCELON_E_STOPPED) return;
    const std::string message = parcelon_last_message(archiver);
    if (!message.empty() && message == last_said_) return;
    view_.Say(FailureLine(subject, code, message, ok));
}

} // namespace cli

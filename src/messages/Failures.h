// What can go wrong, by operation. Each step returns one of these kinds, and
// Messages.cpp gives each kind its line: callers name what went wrong, never
// the text. The C interface turns the kinds into its error codes.
#ifndef PARCELON_FAILURES_H
#define PARCELON_FAILURES_H

namespace parcelon {

// Packing (ZipFiles, ZipDirectory and their per-file step).
enum class PackFailure {
    None,
    CannotRemoveOldArchive, // a file at the archive path stays (no line is written)
    CannotCreateArchive,    // the archive file cannot be created
    CannotCloseArchive,     // its central directory cannot be written
    CannotReplaceArchive,   // the finished archive cannot take the place of the file at its path
    CannotAddFolder,        // a folder entry cannot be opened or closed
    CannotAddEntry,         // a file's entry cannot be opened (an invalid level, say)
    CannotOpenSource,       // the file cannot be opened for reading
    CannotWriteEntry,       // the entry's data or its close cannot be written
    CannotReadSource,       // reading the file failed part way
    // Files left out without a line from the class (it passes over them
    // silently); the C interface's report function hears of them.
    SourceMissing,          // a listed or walked file is not there (any more)
    SourceUnreadable,       // it is there, and the process may not read it
    SourceIsArchive,        // it is the archive being written, or the one it replaces
};

// Extraction (UnzipFile and its per-entry step).
enum class UnzipFailure {
    None,
    CannotOpenArchive,      // missing, unreadable, or not a ZIP archive
    CannotReadArchiveInfo,  // the end record cannot be read
    CannotFindFirstEntry,   // the central directory has no first record
    CannotReadEntryInfo,    // a central record cannot be read (the directory is damaged)
    EntryNameUnsafe,        // absolute, climbing, empty, holding a zero, or a Windows device
    FolderEntryHasData,     // a folder entry that carries data, which would be dropped
    DestinationMissing,     // the destination folder does not exist
    CannotCreateFolder,     // a folder the entry lies in cannot be made
    CannotCreateOutput,     // the output file cannot be created
    CannotOpenEntry,        // the entry's encryption header cannot be read
    LocalHeaderMismatch,    // the local header is missing, or names another entry or method
    EntryOverlaps,          // the entry's bytes overlap an earlier entry's, or the directory
    UnsupportedMethod,      // a method the library does not read, or needs more memory than it allows
    UnsupportedEncryption,  // strong encryption
    PasswordRequired,       // an encrypted entry, and no password
    WrongPassword,          // the encryption header's check byte disagrees
    DataCorrupt,            // the data do not read, inflate, or match the CRC and size
    CannotWriteOutput,      // the output file takes fewer bytes, or does not close
    // Only the C interface's reading calls meet these: the class's
    // UnzipFile has no stop, no limits and no choice for existing files.
    Stopped,                // the host asked for a stop (no line)
    LimitExceeded,          // the entry would pass a limit the host set
    ExistingFile,           // a file of the entry's name exists, and the host said fail
    ExistingFileKept,       // a file of the entry's name exists, and the host said skip: a report, not a failure
};

} // namespace parcelon

#endif // PARCELON_FAILURES_H

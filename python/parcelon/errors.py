"""What can go wrong: the library's failure codes, and the exceptions and
warnings this package raises for them."""

import enum


class ErrorCode(enum.IntEnum):
    """The library's failure codes (PARCELON_E_* in ParcelonC.h). A code keeps
    its number in every later version of the library."""

    OK = 0
    INVALID_ARGUMENT = 1
    OUT_OF_MEMORY = 2
    # packing
    CANNOT_REMOVE_OLD_ARCHIVE = 10
    CANNOT_CREATE_ARCHIVE = 11
    CANNOT_CLOSE_ARCHIVE = 12
    CANNOT_REPLACE_ARCHIVE = 13
    CANNOT_ADD_FOLDER = 14
    CANNOT_ADD_ENTRY = 15
    CANNOT_OPEN_SOURCE = 16
    CANNOT_WRITE_ENTRY = 17
    CANNOT_READ_SOURCE = 18
    # extraction
    CANNOT_OPEN_ARCHIVE = 30
    CANNOT_READ_ARCHIVE_INFO = 31
    CANNOT_FIND_FIRST_ENTRY = 32
    CANNOT_READ_ENTRY_INFO = 33
    ENTRY_NAME_UNSAFE = 34
    FOLDER_ENTRY_HAS_DATA = 35
    DESTINATION_MISSING = 36
    CANNOT_CREATE_FOLDER = 37
    CANNOT_CREATE_OUTPUT = 38
    CANNOT_OPEN_ENTRY = 39
    LOCAL_HEADER_MISMATCH = 40
    ENTRY_OVERLAPS = 41
    UNSUPPORTED_METHOD = 42
    UNSUPPORTED_ENCRYPTION = 43
    PASSWORD_REQUIRED = 44
    WRONG_PASSWORD = 45
    DATA_CORRUPT = 46
    CANNOT_WRITE_OUTPUT = 47

    @property
    def description(self):
        """What the code means, in plain English."""
        return _DESCRIPTIONS[self]


_DESCRIPTIONS = {
    ErrorCode.OK: "no failure",
    ErrorCode.INVALID_ARGUMENT: "an invalid argument reached the library",
    ErrorCode.OUT_OF_MEMORY: "the library ran out of memory",
    ErrorCode.CANNOT_REMOVE_OLD_ARCHIVE: "the file already at the archive path could not be removed "
    "(a folder, or read-only)",
    ErrorCode.CANNOT_CREATE_ARCHIVE: "the archive could not be created (is its folder missing or read-only?)",
    ErrorCode.CANNOT_CLOSE_ARCHIVE: "the archive could not be completed (is the disk full?)",
    ErrorCode.CANNOT_REPLACE_ARCHIVE: "the finished archive could not take the place of the file at its path",
    ErrorCode.CANNOT_ADD_FOLDER: "a folder entry could not be written",
    ErrorCode.CANNOT_ADD_ENTRY: "an entry could not be started in the archive",
    ErrorCode.CANNOT_OPEN_SOURCE: "a file to pack could not be opened (is it a folder?)",
    ErrorCode.CANNOT_WRITE_ENTRY: "a file's data could not be written into the archive",
    ErrorCode.CANNOT_READ_SOURCE: "reading a file to pack failed",
    ErrorCode.CANNOT_OPEN_ARCHIVE: "the archive is missing, unreadable, or not a ZIP archive",
    ErrorCode.CANNOT_READ_ARCHIVE_INFO: "the archive's end record is damaged",
    ErrorCode.CANNOT_FIND_FIRST_ENTRY: "the archive's central directory is damaged",
    ErrorCode.CANNOT_READ_ENTRY_INFO: "an entry's record in the archive is damaged",
    ErrorCode.ENTRY_NAME_UNSAFE: "an entry's name would write outside the destination folder",
    ErrorCode.FOLDER_ENTRY_HAS_DATA: "a folder entry carries data",
    ErrorCode.DESTINATION_MISSING: "the destination folder does not exist",
    ErrorCode.CANNOT_CREATE_FOLDER: "a folder could not be created in the destination",
    ErrorCode.CANNOT_CREATE_OUTPUT: "an output file could not be created",
    ErrorCode.CANNOT_OPEN_ENTRY: "an entry's encryption header could not be read",
    ErrorCode.LOCAL_HEADER_MISMATCH: "an entry's local header disagrees with the central directory",
    ErrorCode.ENTRY_OVERLAPS: "an entry's data overlap another entry's",
    ErrorCode.UNSUPPORTED_METHOD: "an entry uses a compression method other than Store or Deflate",
    ErrorCode.UNSUPPORTED_ENCRYPTION: "an entry uses strong encryption, which is not supported",
    ErrorCode.PASSWORD_REQUIRED: "the archive is encrypted and no password was given",
    ErrorCode.WRONG_PASSWORD: "wrong password",
    ErrorCode.DATA_CORRUPT: "an entry's data are damaged (they do not inflate or fail their CRC check)",
    ErrorCode.CANNOT_WRITE_OUTPUT: "an output file could not be written (is the disk full?)",
}


def _code_of(number):
    """The ErrorCode for number, or the plain int for a code newer than this
    package."""
    try:
        return ErrorCode(number)
    except ValueError:
        return number


def _describe(code, message):
    words = code.description if isinstance(code, ErrorCode) else "failure code %d" % code
    return "%s: %s" % (words, message) if message else words


class Error(Exception):
    """A failed operation.

    code: the library's ErrorCode (a plain int for a code this package does
    not know yet); message: the library's own diagnostic line, decoded from
    UTF-8 ("" for a failure that writes no line)."""

    def __init__(self, code, message=""):
        self.code = _code_of(code)
        self.message = message
        super().__init__(_describe(self.code, message))


class FilesLeftOut(UserWarning):
    """A packing call completed its archive but left files out or cut them
    short. The library keeps only the last such failure: code and message are
    that one's; every failure's line went to the standard error stream."""

    def __init__(self, code, message=""):
        self.code = _code_of(code)
        self.message = message
        super().__init__("the archive was written, but files were left out or cut short; the last: "
                         + _describe(self.code, message))


class LibraryError(OSError):
    """The shared library could not be found or loaded, or is of a version
    this package cannot use."""

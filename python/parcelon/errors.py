"""What can go wrong: the library's failure codes, and the exceptions and
warnings this package raises for them.

Every failure of an operation raises a parcelon.Error. Its subclasses also
derive from the built-in kind that fits, so that code written for Python's
own file functions catches them:

    Error
    +-- NotFoundError          FileNotFoundError    missing archive, file or folder
    +-- PermissionDeniedError  PermissionError      read-only archive, folder that refuses a file
    +-- IsAFolderError         IsADirectoryError    a folder where a file is wanted
    +-- NotAFolderError        NotADirectoryError   a file where a folder is wanted
    +-- ExistsError            FileExistsError      a file of an entry's name exists and was kept
    +-- InvalidArgumentError   ValueError           an impossible argument
    +-- OutOfMemoryError       MemoryError
    +-- BadArchiveError                             no ZIP archive, or a damaged or unsafe one
    +-- PasswordError                               no password, or the wrong one
    +-- UnsupportedError                            a method or an encryption the library lacks
    +-- LimitError                                  an entry refused by a limit the host set
    +-- StoppedError                                a call that a stop ended without a result

str(error) is the library's English text for the code (parcelon_error_text),
with the path concerned where the package knows it; .message is the
library's own line; .failures the entries that failed in a reading call.

An EntryFailure is one entry that failed to extract or test: what test()
returns, and what the exceptions of extract carry."""

from __future__ import annotations

import dataclasses
import enum
import errno
from typing import List, Optional, Type, Union

StrOrBytesPath = Union[str, bytes]


class ErrorCode(enum.IntEnum):
    """The library's failure codes (PARCELON_E_* in ParcelonC.h). A code keeps
    its number in every later version of the library."""

    OK = 0
    INVALID_ARGUMENT = 1
    OUT_OF_MEMORY = 2
    STOPPED = 3
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
    SOURCE_MISSING = 19
    SOURCE_IS_ARCHIVE = 20
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
    LIMIT = 48
    EXISTS = 49

    @property
    def description(self) -> str:
        """What the code means, in the library's plain English."""
        from . import _library
        return _library.load().error_text(self.value)


Code = Union[ErrorCode, int]


def code_of(number: int) -> Code:
    """The ErrorCode for number, or the plain int for a code newer than this
    package."""
    try:
        return ErrorCode(number)
    except ValueError:
        return number


class Error(Exception):
    """A failed operation.

    code: the library's ErrorCode (a plain int for a code this package does
    not know yet); message: the library's own line, as it writes it to the
    standard error stream, decoded from UTF-8 ("" when the library wrote
    none: a failure this package found before calling it, or one that
    writes no line); filename: the path concerned, as it was given, where
    the package knows it (else None); failures: the entries of an
    extraction or a test that failed, in archive order (with keep_going every one,
    else the one that ended the call; empty when the archive as a whole
    failed first, or for a packing call). str() is the English text and
    the path."""

    code: Code
    message: str
    filename: Optional[StrOrBytesPath]
    failures: List[EntryFailure]
    # The errno of the built-in OSError kind a subclass also derives from.
    _errno: Optional[int] = None

    def __init__(self, code: int, text: str, message: str = "", filename: Optional[StrOrBytesPath] = None) -> None:
        if isinstance(self, OSError):
            OSError.__init__(self, self._errno, text, filename)
        else:
            Exception.__init__(self, text)
            self.filename = filename
        self.code = code_of(code)
        self.text = text
        self.message = message
        self.failures = []

    def __str__(self) -> str:
        text = self.text if self.filename is None else "%s: %r" % (self.text, self.filename)
        if len(self.failures) > 1:
            text += " (%d entries failed)" % len(self.failures)
        return text

    def __reduce__(self) -> tuple:  # type: ignore[type-arg]
        return (type(self), (int(self.code), self.text, self.message, self.filename), {"failures": self.failures})


class NotFoundError(Error, FileNotFoundError):
    """A missing archive, file or folder."""
    _errno = errno.ENOENT


class PermissionDeniedError(Error, PermissionError):
    """A read-only archive in the way, or a folder that refuses a new file."""
    _errno = errno.EACCES


class IsAFolderError(Error, IsADirectoryError):
    """A folder where a file is wanted (the archive's path)."""
    _errno = errno.EISDIR


class NotAFolderError(Error, NotADirectoryError):
    """A file where a folder is wanted (the destination, a path's parent)."""
    _errno = errno.ENOTDIR


class ExistsError(Error, FileExistsError):
    """A file of an entry's name exists and was kept."""
    _errno = errno.EEXIST


class InvalidArgumentError(Error, ValueError):
    """An argument the operation cannot take (a level of 10, a NUL in a path)."""


class OutOfMemoryError(Error, MemoryError):
    """The library ran out of memory."""


class BadArchiveError(Error):
    """No ZIP archive, or a damaged one, or one whose entry names would write
    outside the destination."""


class PasswordError(Error):
    """The archive is encrypted and no password, or the wrong one, was given."""


class UnsupportedError(Error):
    """An entry uses a compression method or an encryption the library lacks."""


class LimitError(Error):
    """An entry refused by a limit the host set."""


class StoppedError(Error):
    """A call that a stop ended before it had a result (packing calls return
    normally instead: their archive is complete, only shorter)."""


@dataclasses.dataclass(frozen=True)
class EntryFailure:
    """An entry that failed to extract or test.

    name: the entry's name, as entries() gives it; code: the library's
    ErrorCode (DATA_CORRUPT, WRONG_PASSWORD, LIMIT, EXISTS, ...); message:
    the library's line for it, with the name. kind is the exception class
    the failure raises when it ends a call (BadArchiveError,
    PasswordError, ...)."""

    name: str
    code: Code
    message: str

    @property
    def kind(self) -> Type[Error]:
        from ._failures import entry_kind
        return entry_kind(self.code)

    @property
    def text(self) -> str:
        """The library's English text for the code ("wrong password")."""
        from . import _library
        return _library.load().error_text(int(self.code))


class FilesLeftOut(UserWarning):
    """A packing call completed its archive but left files out or cut them
    short. The library keeps only the last such failure: code and message are
    that one's; every failure's line went to the standard error stream."""

    def __init__(self, code: int, text: str, message: str = "") -> None:
        self.code: Code = code_of(code)
        self.text = text
        self.message = message
        super().__init__("the archive was written, but files were left out or cut short; the last: " + text)


class LibraryError(OSError):
    """The shared library could not be found or loaded, or is of a version
    this package cannot use."""

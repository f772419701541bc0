"""Which exception a failure raises: the one place that decides it.

The library's codes are coarser than Python's kinds ("the archive is
missing, unreadable, or not a ZIP archive"), so for a code about a path the
path is looked at once the call has failed: a missing archive raises
NotFoundError, a folder at its place IsAFolderError, and so on."""

from __future__ import annotations

import errno
import os
import stat
from typing import Callable, Dict, Optional, Tuple, Type

from . import _library
from .errors import (BadArchiveError, Error, ErrorCode, ExistsError, InvalidArgumentError, IsAFolderError, LimitError,
                     NotAFolderError, NotFoundError, OutOfMemoryError, PasswordError, PermissionDeniedError,
                     StoppedError, StrOrBytesPath, UnsupportedError)

ErrorKind = Type[Error]

# Codes whose kind does not depend on the file system.
_FIXED: Dict[int, ErrorKind] = {
    ErrorCode.INVALID_ARGUMENT: InvalidArgumentError,
    ErrorCode.OUT_OF_MEMORY: OutOfMemoryError,
    ErrorCode.STOPPED: StoppedError,
    ErrorCode.SOURCE_MISSING: NotFoundError,
    ErrorCode.CANNOT_READ_ARCHIVE_INFO: BadArchiveError,
    ErrorCode.CANNOT_FIND_FIRST_ENTRY: BadArchiveError,
    ErrorCode.CANNOT_READ_ENTRY_INFO: BadArchiveError,
    ErrorCode.ENTRY_NAME_UNSAFE: BadArchiveError,
    ErrorCode.FOLDER_ENTRY_HAS_DATA: BadArchiveError,
    ErrorCode.CANNOT_OPEN_ENTRY: BadArchiveError,
    ErrorCode.LOCAL_HEADER_MISMATCH: BadArchiveError,
    ErrorCode.ENTRY_OVERLAPS: BadArchiveError,
    ErrorCode.DATA_CORRUPT: BadArchiveError,
    ErrorCode.UNSUPPORTED_METHOD: UnsupportedError,
    ErrorCode.UNSUPPORTED_ENCRYPTION: UnsupportedError,
    ErrorCode.PASSWORD_REQUIRED: PasswordError,
    ErrorCode.WRONG_PASSWORD: PasswordError,
    ErrorCode.LIMIT: LimitError,
    ErrorCode.EXISTS: ExistsError,
}


def _status(path: StrOrBytesPath) -> Optional[os.stat_result]:
    try:
        return os.stat(path)
    except OSError:
        return None


def _read_only(path: StrOrBytesPath, status: os.stat_result) -> bool:
    """No write bit (what the library takes for a read-only file), or no
    write access for this process."""
    return not status.st_mode & (stat.S_IWUSR | stat.S_IWGRP | stat.S_IWOTH) or not os.access(path, os.W_OK)


def _parent(path: StrOrBytesPath) -> StrOrBytesPath:
    return os.path.dirname(os.path.abspath(path))


def _archive_to_write(archive: StrOrBytesPath) -> ErrorKind:
    """The archive path could not be replaced or created."""
    status = _status(archive)
    if status is not None:
        if stat.S_ISDIR(status.st_mode):
            return IsAFolderError
        return PermissionDeniedError if _read_only(archive, status) else Error
    folder = _status(_parent(archive))
    if folder is None:
        return NotFoundError
    if not stat.S_ISDIR(folder.st_mode):
        return NotAFolderError
    return PermissionDeniedError if not os.access(_parent(archive), os.W_OK | os.X_OK) else Error


def _archive_to_read(archive: StrOrBytesPath) -> ErrorKind:
    status = _status(archive)
    if status is None:
        return NotFoundError if not os.path.lexists(archive) else Error
    if stat.S_ISDIR(status.st_mode):
        return IsAFolderError
    return PermissionDeniedError if not os.access(archive, os.R_OK) else BadArchiveError


def _destination(dest: StrOrBytesPath) -> ErrorKind:
    status = _status(dest)
    if status is None:
        return NotFoundError
    if not stat.S_ISDIR(status.st_mode):
        return NotAFolderError
    return PermissionDeniedError if not os.access(dest, os.W_OK | os.X_OK) else Error


# Codes about a path: the function that looks at it, and which of the call's
# paths it is.
_BY_PATH: Dict[int, Tuple[Callable[[StrOrBytesPath], ErrorKind], str]] = {
    ErrorCode.CANNOT_REMOVE_OLD_ARCHIVE: (_archive_to_write, "archive"),
    ErrorCode.CANNOT_CREATE_ARCHIVE: (_archive_to_write, "archive"),
    ErrorCode.CANNOT_REPLACE_ARCHIVE: (_archive_to_write, "archive"),
    ErrorCode.CANNOT_OPEN_ARCHIVE: (_archive_to_read, "archive"),
    ErrorCode.DESTINATION_MISSING: (_destination, "dest"),
    ErrorCode.CANNOT_CREATE_FOLDER: (_destination, "dest"),
    ErrorCode.CANNOT_CREATE_OUTPUT: (_destination, "dest"),
}


def failure(code: int, message: str, paths: Dict[str, StrOrBytesPath]) -> Error:
    """The exception for a call that failed with code and the library's line.
    paths: the call's paths by role ("archive", "dest", ...), as given."""
    text = _library.load().error_text(code)
    if code in _BY_PATH:
        look, role = _BY_PATH[code]
        path = paths.get(role)
        if path is not None:
            return look(path)(code, text, message, path)
    return _FIXED.get(code, Error)(code, text, message)


def entry_kind(code: int) -> ErrorKind:
    """The exception class of an entry's failure, without looking at a path."""
    return _FIXED.get(code, Error)


# The built-in OSError kinds by errno, for failures this package meets itself
# (making the destination folder).
_BY_ERRNO: Dict[int, ErrorKind] = {
    errno.ENOENT: NotFoundError,
    errno.EACCES: PermissionDeniedError,
    errno.EPERM: PermissionDeniedError,
    errno.EROFS: PermissionDeniedError,
    errno.EISDIR: IsAFolderError,
    errno.ENOTDIR: NotAFolderError,
    errno.EEXIST: NotAFolderError,  # a file where a folder is to be made
}


def os_failure(code: int, error: OSError, path: StrOrBytesPath) -> Error:
    """The exception for an OSError the package met on the way (code: what
    the library would have reported for it)."""
    kind = _BY_ERRNO.get(error.errno or 0, Error)
    raised = kind(code, _library.load().error_text(code), "", path)
    raised.__cause__ = error
    return raised


def invalid_argument(text: str) -> InvalidArgumentError:
    """An argument refused before the library is called; text says why."""
    return InvalidArgumentError(ErrorCode.INVALID_ARGUMENT, text)


def missing_source(path: StrOrBytesPath, folder: bool = False) -> Error:
    """A file or folder to pack that is not there: the package refuses the
    call before an archive is written (the library would write one without
    it). folder: the folder of zip_directory, which may also be a file."""
    if not folder:
        return NotFoundError(ErrorCode.SOURCE_MISSING, _library.load().error_text(ErrorCode.SOURCE_MISSING), "", path)
    if os.path.exists(path):
        return NotAFolderError(ErrorCode.SOURCE_MISSING, "the folder to pack is a file", "", path)
    return NotFoundError(ErrorCode.SOURCE_MISSING, "the folder to pack does not exist", "", path)

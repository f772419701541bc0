"""Parcelon from Python: pack files or a folder into a ZIP archive, and
list, test and extract one, through the library's C interface (ctypes).

    import parcelon
    parcelon.zip_directory("site", "site.zip", password="s3cret", progress=print)
    parcelon.unzip("site.zip", "restore", password="s3cret")
    with parcelon.ZipReader("site.zip", password="s3cret") as archive:
        names = [entry.name for entry in archive.entries()]
        damaged = archive.test()
        archive.extract("docs", ["docs/*"], overwrite="skip", limits=parcelon.Limits(ratio=100))

Failures raise a parcelon.Error, whose subclasses also derive from the
built-in kind that fits (FileNotFoundError, PermissionError, ValueError,
...), with the library's English text, its code (.code, a
parcelon.ErrorCode) and its own line (.message); an archive written without
some of its files warns with parcelon.FilesLeftOut. Ctrl-C stops a running
call and raises KeyboardInterrupt once the library has returned.

The library is the copy inside the package (a wheel built from the source
carries one), unless the environment variable PARCELON_LIBRARY names
another; without either the system's loader is asked."""

from __future__ import annotations

from typing import List

from . import _library
from .archiver import Archiver
from .entries import Entry
from .errors import (BadArchiveError, EntryFailure, Error, ErrorCode, ExistsError, FilesLeftOut, InvalidArgumentError,
                     IsAFolderError, LibraryError, LimitError, NotAFolderError, NotFoundError, OutOfMemoryError,
                     PasswordError, PermissionDeniedError, StoppedError, UnsupportedError)
from .functions import unzip, zip_directory, zip_files
from .options import Encryption, Limits, Overwrite, Style
from .reader import ZipReader

__version__ = "1.2.0"

__all__: List[str] = [
    "Archiver", "BadArchiveError", "Encryption", "Entry", "EntryFailure", "Error", "ErrorCode", "ExistsError",
    "FilesLeftOut", "InvalidArgumentError", "IsAFolderError", "LibraryError", "Limits", "LimitError", "NotAFolderError",
    "NotFoundError", "OutOfMemoryError", "Overwrite", "PasswordError", "PermissionDeniedError", "StoppedError",
    "Style", "UnsupportedError", "ZipReader", "library_path", "library_version", "unzip", "zip_directory", "zip_files"]


def library_path() -> str:
    """Where the library was loaded from: a path, or the name the system's
    loader was given. Loads it if that has not happened yet."""
    return _library.load().location


def library_version() -> str:
    """The loaded library's version, e.g. "1.2.0"."""
    return _library.load().version

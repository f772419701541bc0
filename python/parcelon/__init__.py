"""Parcelon from Python: pack files or a folder into a ZIP archive and
extract one, through the library's C interface (ctypes; nothing to compile).

    import parcelon
    parcelon.zip_directory("site", "site.zip", password="s3cret", progress=print)
    parcelon.unzip("site.zip", "restore", password="s3cret")

Failures raise parcelon.Error (with .code, a parcelon.ErrorCode, and
.message, the library's line); an archive written without some of its files
warns with parcelon.FilesLeftOut. The library is found through the
environment variable PARCELON_LIBRARY, then beside this package, then by the
system's loader."""

from . import _library
from .archiver import Archiver
from .errors import Error, ErrorCode, FilesLeftOut, LibraryError
from .functions import unzip, zip_directory, zip_files

__version__ = "1.1.0"

__all__ = ["Archiver", "Error", "ErrorCode", "FilesLeftOut", "LibraryError", "library_path", "library_version",
           "unzip", "zip_directory", "zip_files"]


def library_path():
    """Where the library was loaded from: a path, or the name the system's
    loader was given. Loads it if that has not happened yet."""
    return _library.load().location


def library_version():
    """The loaded library's version, e.g. "1.1.0"."""
    return _library.load().version

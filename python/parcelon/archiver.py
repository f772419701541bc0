"""Archiver: one parcelon_archiver of the C interface."""

import contextlib
import os
import sys
import threading
import warnings
import weakref

from . import _library
from ._progress import ProgressRelay
from ._text import password_bytes, path_utf8, text_utf8, utf8_array
from .errors import Error, FilesLeftOut

_DEFAULT_LEVEL = 0xFFFFFFFF  # (unsigned)-1: the library's default, 6
_PACKAGE_FOLDER = os.path.dirname(os.path.abspath(__file__))


def _level(level):
    if level is None:
        return _DEFAULT_LEVEL
    if isinstance(level, bool) or not isinstance(level, int) or not 0 <= level <= 9:
        raise ValueError("level must be 0 to 9, or None for the default; got %r" % (level,))
    return level


def _minutes(minutes):
    if isinstance(minutes, bool) or not isinstance(minutes, int) or not 0 <= minutes <= 0x7FFFFFFF:
        raise ValueError("minutes must be a whole number of minutes, 0 for every file; got %r" % (minutes,))
    return minutes


def _outside_package_stacklevel():
    """The warnings stacklevel of the first frame outside this package, so
    that a warning points at the host's call."""
    frame, level = sys._getframe(1), 1
    while frame is not None and os.path.dirname(os.path.abspath(frame.f_code.co_filename)) == _PACKAGE_FOLDER:
        frame, level = frame.f_back, level + 1
    return level


class Archiver:
    """One archiver of the library: its progress callback, stop flag and base
    folder (a zip_files call after zip_directory(D) names the files below D
    relative to D, as the library documents).

    Call one operation at a time; stop() may be called from any thread while
    one runs. Use it as a context manager, or call close(), to release it at
    a known point; it is released when collected otherwise."""

    def __init__(self, threads=1):
        library = _library.load()
        handle = library.parcelon_new()
        if not handle:
            raise MemoryError("the Parcelon library could not make an archiver")
        self._library = library
        self._handle = handle
        self._release = weakref.finalize(self, library.parcelon_free, handle)
        self._handle_lock = threading.Lock()  # stop() against close()
        self._busy = threading.Lock()  # one operation at a time
        self._running_on = None  # the thread running an operation
        self._stopped = False
        self._threads = 1
        self.threads = threads

    # ------------------------------------------------------------ life
    def close(self):
        """Releases the archiver; waits for an operation another thread runs
        (call stop() first to hurry it). Closing twice is harmless."""
        if self._running_on == threading.get_ident():
            raise RuntimeError("an Archiver cannot be closed from inside its own operation")
        with self._busy:
            with self._handle_lock:
                self._handle = None
                self._release()

    @property
    def closed(self):
        return self._handle is None

    def __enter__(self):
        return self

    def __exit__(self, *exc_info):
        self.close()

    def __repr__(self):
        state = "closed" if self.closed else "stopped" if self._stopped else "open"
        return "<parcelon.Archiver %s, threads=%d>" % (state, self._threads)

    # ------------------------------------------------------------ settings
    def stop(self):
        """Asks the running packing operation, and every later one on this
        archiver, to finish early: the file being packed keeps a shorter
        entry, the archive is closed and the call returns normally. Safe from
        any thread; nothing clears it. Extraction does not stop."""
        with self._handle_lock:
            if self._handle is not None:
                self._library.parcelon_stop(self._handle)
                self._stopped = True

    @property
    def stopped(self):
        """True once stop() was called (or a progress callable raised)."""
        return self._stopped

    @property
    def threads(self):
        """How many threads a packing call may use: 1 (the default) packs on
        the calling thread alone, 0 lets the library pick. The archive is the
        same whatever the number."""
        return self._threads

    @threads.setter
    def threads(self, value):
        if isinstance(value, bool) or not isinstance(value, int) or not 0 <= value <= 0xFFFFFFFF:
            raise ValueError("threads must be 0 (the library picks) or a positive number; got %r" % (value,))
        with self._operation():
            self._library.parcelon_set_threads(self._handle, value)
        self._threads = value

    # ------------------------------------------------------------ operations
    def zip_files(self, files, archive, level=6, password=None, progress=None):
        """Packs the files of the list, in order, into a new archive (a file
        already there is replaced). Raises Error when the archive cannot be
        written; warns with FilesLeftOut when it was written without some."""
        names, count = utf8_array(files, path_utf8, "files")
        zip_file = path_utf8(archive, "archive")
        arguments = (names, count, zip_file, _level(level), password_bytes(password))
        self._run(lambda handle: self._library.parcelon_zip_files_utf8(handle, *arguments), progress, True)

    def zip_directory(self, src, archive, recursive=True, level=6, password=None, minutes=0, include=(),
                      exclude=(), progress=None):
        """Packs the files of the folder src (and its subfolders when
        recursive) into a new archive, named by their paths below src.
        minutes > 0 keeps only files written within that many minutes;
        include and exclude are lists of patterns such as "*.txt", "*.tar.gz"
        or a folder name. Raises and warns as zip_files does."""
        includes, include_count = utf8_array(include, text_utf8, "include")
        excludes, exclude_count = utf8_array(exclude, text_utf8, "exclude")
        arguments = (path_utf8(src, "src"), path_utf8(archive, "archive"), 1 if recursive else 0, _level(level),
                     password_bytes(password), _minutes(minutes), includes, include_count, excludes, exclude_count)
        self._run(lambda handle: self._library.parcelon_zip_directory_utf8(handle, *arguments), progress, True)

    def unzip(self, archive, dest, password=None):
        """Extracts every entry of the archive into the existing folder dest.
        Raises Error at the first failure (the entries before it stay)."""
        arguments = (path_utf8(archive, "archive"), path_utf8(dest, "dest"), password_bytes(password))
        self._run(lambda handle: self._library.parcelon_unzip_file_utf8(handle, *arguments), None, False)

    # ------------------------------------------------------------ running
    @contextlib.contextmanager
    def _operation(self):
        """Holds the archiver for one call into the library, refusing a
        second one (from another thread, or from inside a progress callable)."""
        if not self._busy.acquire(blocking=False):
            raise RuntimeError("this Archiver is running an operation; use one Archiver per thread")
        try:
            if self._handle is None:
                raise ValueError("this Archiver is closed")
            self._running_on = threading.get_ident()
            yield self._handle
        finally:
            self._running_on = None
            self._busy.release()

    def _run(self, call, progress, packing):
        library = self._library
        if progress is not None and not callable(progress):
            raise TypeError("progress must be callable, not %s" % type(progress).__name__)
        relay = ProgressRelay(progress, self.stop) if progress is not None else None
        with self._operation() as handle:
            function = _library.ProgressFunction(relay) if relay is not None else _library.ProgressFunction()
            library.parcelon_set_progress(handle, function, None)
            try:
                ok = call(handle)
                code = library.parcelon_last_error(handle)
                message = (library.parcelon_last_message(handle) or b"").decode("utf-8", "backslashreplace")
            finally:
                library.parcelon_set_progress(handle, _library.ProgressFunction(), None)  # a null function
        if relay is not None:
            relay.raise_kept()
        if not ok:
            raise Error(code, message)
        if packing and code != 0:
            warnings.warn(FilesLeftOut(code, message), stacklevel=_outside_package_stacklevel())

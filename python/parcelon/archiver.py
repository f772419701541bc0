"""Archiver: one parcelon_archiver of the C interface."""

from __future__ import annotations

import contextlib
import os
import sys
import threading
import warnings
import weakref
from types import TracebackType
from typing import Callable, Dict, Iterable, Iterator, List, NamedTuple, Optional, Sequence, Tuple, Type, Union

from . import _library, _running
from ._failures import failure, invalid_argument, missing_source
from ._folders import Destination
from ._reading import Records, Report, Reports, is_skip
from ._text import as_list, given_path, password_bytes, path_utf8, text_utf8, utf8_array
from ._types import Members, Password, Progress, StrPath
from .entries import Entry
from .errors import EntryFailure, Error, ErrorCode, FilesLeftOut, LibraryError
from .options import Encryption, Limits, Overwrite, Style, extract_options, packing_options

_DEFAULT_LEVEL = 0xFFFFFFFF  # (unsigned)-1: the library's default, 6
_PACKAGE_FOLDER = os.path.dirname(os.path.abspath(__file__))


def _level(level: Optional[int]) -> int:
    if level is None:
        return _DEFAULT_LEVEL
    if isinstance(level, bool) or not isinstance(level, int) or not 0 <= level <= 9:
        raise invalid_argument("level must be 0 to 9, or None for the default; got %r" % (level,))
    return level


def _minutes(minutes: int) -> int:
    if isinstance(minutes, bool) or not isinstance(minutes, int) or not 0 <= minutes <= 0x7FFFFFFF:
        raise invalid_argument("minutes must be a whole number of minutes, 0 for every file; got %r" % (minutes,))
    return minutes


def _progress(progress: Optional[Progress]) -> Optional[Progress]:
    if progress is not None and not callable(progress):
        raise TypeError("progress must be callable, not %s" % type(progress).__name__)
    return progress


class _Outcome(NamedTuple):
    """What a reading call left: its result, its last failure, and every
    entry the report function named."""
    ok: bool
    code: int
    message: str
    reports: List[Report]


def _entry_failures(reports: Sequence[Report]) -> List[EntryFailure]:
    return [EntryFailure(report.name, report.code, report.message) for report in reports]


def _call_failure(outcome: _Outcome, paths: Dict[str, Union[str, bytes]],
                  failures: Sequence[EntryFailure]) -> Error:
    error = failure(outcome.code, outcome.message, paths)
    error.failures = list(failures)
    return error


def _outside_package_stacklevel() -> int:
    """The warnings stacklevel of the first frame outside this package, so
    that a warning points at the host's call."""
    frame, level = sys._getframe(1), 1
    while frame is not None and os.path.dirname(os.path.abspath(frame.f_code.co_filename)) == _PACKAGE_FOLDER:
        frame, level = frame.f_back, level + 1  # type: ignore[assignment]
    return level


class Archiver:
    """One archiver of the library: its progress callback, stop flag and base
    folder (a zip_files call after zip_directory(D) names the files below D
    relative to D, as the library documents). It packs, extracts, lists and
    tests; ZipReader is the friendlier way to read one archive.

    Call one operation at a time; stop() may be called from any thread while
    one runs. Use it as a context manager, or call close(), to release it at
    a known point; it is released when collected otherwise."""

    def __init__(self, threads: int = 1) -> None:
        library = _library.load()
        handle = library.new()
        if not handle:
            raise MemoryError("the Parcelon library could not make an archiver")
        self._library = library
        self._handle: Optional[int] = handle
        self._release = weakref.finalize(self, library.free, handle)
        self._handle_lock = threading.Lock()  # stop() against close()
        self._busy = threading.Lock()  # one operation at a time
        self._running_on: Optional[int] = None  # the thread running an operation
        self._stopped = False
        self._threads = 1
        self.threads = threads

    # ------------------------------------------------------------ life
    def close(self) -> None:
        """Releases the archiver; waits for an operation another thread runs
        (call stop() first to hurry it). Closing twice is harmless."""
        if self._running_on == threading.get_ident():
            raise RuntimeError("an Archiver cannot be closed from inside its own operation")
        with self._busy:
            with self._handle_lock:
                self._handle = None
                self._release()

    @property
    def closed(self) -> bool:
        return self._handle is None

    def __enter__(self) -> Archiver:
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], value: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else "stopped" if self._stopped else "open"
        return "<parcelon.Archiver %s, threads=%d>" % (state, self._threads)

    # ------------------------------------------------------------ settings
    def stop(self) -> None:
        """Asks the running operation, and every later one on this archiver,
        to finish early. A packing call keeps a shorter entry for the file
        it was packing, closes the archive and returns normally (later ones
        write archives without entries); a reading call ends after the block
        in hand, the entry it was writing leaving nothing, and raises
        StoppedError (later ones raise it before their first entry). Safe
        from any thread; nothing clears it."""
        with self._handle_lock:
            if self._handle is not None:
                self._stopped = True  # first: a reading call's progress passes nothing on from here
                self._library.stop(self._handle)

    @property
    def stopped(self) -> bool:
        """True once stop() was called (or a progress callable raised, or
        Ctrl-C stopped a call)."""
        return self._stopped

    @property
    def threads(self) -> int:
        """How many threads a packing call may use: 1 (the default) packs on
        the calling thread alone, 0 lets the library pick. The archive is the
        same whatever the number."""
        return self._threads

    @threads.setter
    def threads(self, value: int) -> None:
        if isinstance(value, bool) or not isinstance(value, int) or not 0 <= value <= 0xFFFFFFFF:
            raise invalid_argument("threads must be 0 (the library picks) or a positive number; got %r" % (value,))
        with self._operation() as handle:
            self._library.set_threads(handle, value)
        self._threads = value

    # ------------------------------------------------------------ operations
    def zip_files(self, files: Iterable[StrPath], archive: StrPath, level: Optional[int] = 6,
                  password: Password = None, progress: Optional[Progress] = None, *,
                  encryption: Encryption = "traditional", style: Style = "classic") -> None:
        """Packs the files of the list, in order, into a new archive (a file
        already there is replaced). encryption: how the password encrypts,
        "traditional" (the ZIP cipher every reader opens) or "aes256" (WinZip
        AES-256, which needs a password; 7-Zip and WinZip open it, zipfile
        and unzip do not). style: "classic" (what CParcelon writes) or
        "portable" (names with '/', UTF-8 beyond ASCII, one entry per folder,
        each file's time and permissions: what other tools write, unpacked
        alike by every reader). Raises NotFoundError, before writing
        anything, for a file that does not exist, and an Error when the
        archive cannot be written; warns with FilesLeftOut when it was
        written without some (a folder in the list, an unreadable file)."""
        file_list = as_list(files, "files")
        names, count = utf8_array(file_list, path_utf8, "files")
        secret = password_bytes(password)
        arguments = (names, count, path_utf8(archive, "archive"), _level(level), secret)
        options = packing_options(encryption, style, secret)
        for file in file_list:
            if not os.path.exists(file):
                raise missing_source(given_path(file))
        self._run(lambda handle: self._library.zip_files(handle, *arguments), _progress(progress),
                  {"archive": given_path(archive)}, packing=True, options=options)

    def zip_directory(self, src: StrPath, archive: StrPath, recursive: bool = True, level: Optional[int] = 6,
                      password: Password = None, minutes: int = 0, include: Iterable[Union[str, bytes]] = (),
                      exclude: Iterable[Union[str, bytes]] = (), progress: Optional[Progress] = None, *,
                      encryption: Encryption = "traditional", style: Style = "classic") -> None:
        """Packs the files of the folder src (and its subfolders when
        recursive) into a new archive, named by their paths below src.
        minutes > 0 keeps only files written within that many minutes;
        include and exclude are lists of patterns such as "*.txt", "*.tar.gz"
        or a folder name. encryption and style as for zip_files; the
        portable style gives every folder an entry (empty ones too, unless
        minutes, include or exclude leave files out: then the folders of the
        files packed). Raises NotFoundError (NotAFolderError) when src is
        not there (is a file); else raises and warns as zip_files does."""
        includes, include_count = utf8_array(as_list(include, "include"), text_utf8, "include")
        excludes, exclude_count = utf8_array(as_list(exclude, "exclude"), text_utf8, "exclude")
        secret = password_bytes(password)
        arguments = (path_utf8(src, "src"), path_utf8(archive, "archive"), bool(recursive), _level(level),
                     secret, _minutes(minutes), includes, include_count, excludes, exclude_count)
        options = packing_options(encryption, style, secret)
        if not os.path.isdir(src):
            raise missing_source(given_path(src), folder=True)
        self._run(lambda handle: self._library.zip_directory(handle, *arguments), _progress(progress),
                  {"archive": given_path(archive)}, packing=True, options=options)

    def unzip(self, archive: StrPath, dest: StrPath, password: Password = None, members: Members = (), *,
              overwrite: Overwrite = "replace", keep_going: bool = False, progress: Optional[Progress] = None,
              limits: Optional[Limits] = None, restore_times: bool = True) -> List[str]:
        """Extracts the entries of the archive into the folder dest, made
        with its parents when missing.

        members: patterns of the entries to extract ('*' any run of
        characters, folders included; '?' any one character; '/' and '\\'
        alike; case counts), or every entry when empty. overwrite: what
        happens to a file already where an entry goes: "replace" (the
        default; the file is replaced only once the entry is whole and
        checked), "skip" (it stays and the entry is passed over), "error" (it
        stays and the entry fails with ExistsError). keep_going: a failed
        entry does not end the call; the others are extracted and the
        exception comes at the end. limits: bounds for untrusted archives
        (Limits). restore_times: each file gets its entry's modification
        time, as unzip, 7-Zip and tar do (False leaves the time of writing,
        as zipfile does). progress: called with whole percentages of the
        selected entries' sizes.

        Returns the names of the entries passed over because overwrite="skip"
        kept a file of their name (empty otherwise). Raises an Error for the
        failure that ended the call, or with keep_going for the last one;
        its .failures lists every entry that failed. Each file is written to
        a temporary file that takes its name only once its size and CRC are
        checked: a failed or stopped entry leaves nothing behind, entries
        written before stay. The folders made for dest are taken away again
        when nothing was extracted into them."""
        options = extract_options(overwrite, keep_going, limits, restore_times)
        patterns, count = utf8_array(as_list(members, "members"), text_utf8, "members")
        arguments = (path_utf8(archive, "archive"), path_utf8(dest, "dest"), password_bytes(password), patterns, count)
        paths = {"archive": given_path(archive), "dest": given_path(dest)}
        progress = _progress(progress)
        self._library.require("parcelon_extract_utf8")
        destination = Destination(given_path(dest))
        destination.make()
        try:
            outcome = self._read(lambda handle: self._library.extract(handle, *arguments), progress, options)
        except BaseException:
            destination.remove_empty()
            raise
        skipped = [report.name for report in outcome.reports if is_skip(report, overwrite)]
        failures = _entry_failures([report for report in outcome.reports if not is_skip(report, overwrite)])
        if not outcome.ok:
            destination.remove_empty()
            raise _call_failure(outcome, paths, failures)
        return skipped

    def entries(self, archive: StrPath) -> List[Entry]:
        """The entries of the archive's central directory, in order (see
        Entry). Raises an Error when the archive cannot be read: missing, no
        ZIP archive, or a damaged directory."""
        zip_file = path_utf8(archive, "archive")
        self._library.require("parcelon_list_utf8")
        records = Records(lambda: self._stopped)
        outcome = self._read(lambda handle: self._library.list(handle, zip_file, records.function), None)
        paths = {"archive": given_path(archive)}
        if not outcome.ok:
            raise _call_failure(outcome, paths, [])
        if self._stopped:  # the listing was ended early: what it has is not the archive's
            raise failure(ErrorCode.STOPPED, "", paths)
        return records.entries()

    def test(self, archive: StrPath, password: Password = None,
             progress: Optional[Progress] = None) -> List[EntryFailure]:
        """Reads, decrypts, decodes and checks every entry (size, CRC, every
        rule extraction applies) and writes nothing. Returns the entries
        that failed, in order: empty when the archive is sound. Raises an
        Error, with the failures met so far, when the archive as a whole
        cannot be read (missing, no ZIP archive, a damaged directory) or
        the test was stopped."""
        arguments = (path_utf8(archive, "archive"), password_bytes(password))
        progress = _progress(progress)
        self._library.require("parcelon_test_utf8")
        outcome = self._read(lambda handle: self._library.test(handle, *arguments), progress)
        failures = _entry_failures(outcome.reports)
        if outcome.ok:
            return failures
        last = failures[-1] if failures else None
        if last is not None and (last.code, last.message) == (outcome.code, outcome.message):
            return failures
        # The last failure is the archive's own (or a stop): no entry after it was tested.
        raise _call_failure(outcome, {"archive": given_path(archive)}, failures)

    # ------------------------------------------------------------ running
    @contextlib.contextmanager
    def _operation(self) -> Iterator[int]:
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

    def _run(self, call: Callable[[int], int], progress: Optional[Progress], paths: Dict[str, Union[str, bytes]],
             packing: bool, options: Sequence[Tuple[int, int]] = ()) -> None:
        """Runs one operation (see _running) with options set, and turns its
        outcome into an exception or a warning."""
        library = self._library
        with self._operation() as handle:
            self._set_packing_options(handle, options)
            ok = self._run_on(handle, call, progress)
            code = library.last_error(handle)
            message = library.last_message(handle)
        if not ok:
            raise failure(code, message, paths)
        if packing and code not in (ErrorCode.OK, ErrorCode.STOPPED):
            warnings.warn(FilesLeftOut(code, library.error_text(code), message),
                          stacklevel=_outside_package_stacklevel())

    def _set_packing_options(self, handle: int, options: Sequence[Tuple[int, int]]) -> None:
        """Sets a packing call's options. A library built before them packs
        only as the class does: the defaults pass, anything else raises
        LibraryError."""
        library = self._library
        defaults = all(value == 0 for _, value in options)
        if defaults and not library.has("parcelon_set_option"):
            return
        for option, value in options:
            if (not library.has("parcelon_set_option") or not library.set_option(handle, option, value)) \
                    and not defaults:
                raise LibraryError("%s (Parcelon %s) packs only as CParcelon does (no AES, no portable style); use "
                                   "a newer build of the library" % (library.location, library.version))

    def _read(self, call: Callable[[int], int], progress: Optional[Progress],
              options: Sequence[Tuple[int, int]] = ()) -> _Outcome:
        """Runs one reading call with options set, the report function
        installed, and no lines on the standard error stream (every failure
        reaches Python, as an exception or in a list). The archiver keeps
        options between calls: each reading call sets all of them, and the
        lines are turned on again for the packing calls."""
        library = self._library
        reports = Reports()
        passed_on = progress
        if progress is not None:
            host_progress = progress

            def passed_on(value: int) -> None:
                # A stopped call ends with the library's 100: no percentage of a
                # call that raises StoppedError is passed on after the stop.
                if not self._stopped:
                    host_progress(value)

        with self._operation() as handle:
            for option, value in list(options) + [(_library.OPT_STDERR, 0)]:
                if not library.set_option(handle, option, value):
                    raise failure(library.last_error(handle), library.last_message(handle), {})
            library.set_report(handle, reports.function)
            try:
                ok = self._run_on(handle, call, passed_on)
                outcome = _Outcome(bool(ok), library.last_error(handle), library.last_message(handle),
                                   reports.reports())
            finally:
                library.set_report(handle, None)
                library.set_option(handle, _library.OPT_STDERR, 1)  # clears the outcome: read above
        return outcome

    def _run_on(self, handle: int, call: Callable[[int], int], progress: Optional[Progress]) -> int:
        library = self._library

        def stop() -> None:  # no lock: it may run in a signal handler while the operation runs
            self._stopped = True
            library.stop(handle)

        return _running.run(lambda: call(handle), stop, progress,
                            lambda function: library.set_progress(handle, function))

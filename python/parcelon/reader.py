"""ZipReader: one archive to list, test and extract."""

from __future__ import annotations

import threading
from types import TracebackType
from typing import Callable, List, Optional, Type, TypeVar, Union

from ._text import given_path, password_bytes, path_utf8
from ._types import Members, Password, Progress, StrPath
from .archiver import Archiver
from .entries import Entry
from .errors import EntryFailure
from .options import Limits, Overwrite

_Result = TypeVar("_Result")


class ZipReader:
    """An archive to read, with its password:

        with parcelon.ZipReader("site.zip", password="s3cret") as archive:
            for entry in archive.entries():
                print(entry.name, entry.size, entry.mtime)
            bad = archive.test()
            skipped = archive.extract("restore", ["docs/*"], overwrite="skip")

    The archive is read by each call, not when the reader is made: a
    missing or damaged archive raises from the first call. Calls run one at
    a time (a second one while one runs raises RuntimeError); stop() may
    come from any thread. Ctrl-C stops a running call and raises
    KeyboardInterrupt once the library has returned."""

    def __init__(self, path: StrPath, password: Password = None) -> None:
        # Both are checked now, so that a wrong type fails here.
        path_utf8(path, "path")
        password_bytes(password)
        self._path = given_path(path, "path")
        self._password = password
        self._lock = threading.Lock()  # stop() against the archiver's replacement
        self._archiver: Optional[Archiver] = Archiver()

    @property
    def path(self) -> Union[str, bytes]:
        """The archive's path, as given (os.fspath)."""
        return self._path

    # ------------------------------------------------------------ reading
    def entries(self) -> List[Entry]:
        """The entries of the archive's central directory, in order; see
        Entry. Raises an Error when the archive cannot be read (NotFoundError,
        BadArchiveError for no ZIP archive or a damaged directory)."""
        return self._with_archiver(lambda archiver: archiver.entries(self._path))

    def test(self, *, progress: Optional[Progress] = None) -> List[EntryFailure]:
        """Reads, decrypts and checks every entry, writing nothing. Returns
        the entries that failed (name, code, message, kind), in order: empty
        when the archive is sound. A damaged directory, a missing archive or
        no ZIP archive raises an Error instead (with the entries that failed
        before it in .failures), as extraction does."""
        return self._with_archiver(lambda archiver: archiver.test(self._path, self._password, progress=progress))

    def extract(self, dest: StrPath, members: Members = (), *, overwrite: Overwrite = "replace",
                keep_going: bool = False, progress: Optional[Progress] = None, limits: Optional[Limits] = None,
                restore_times: bool = True) -> List[str]:
        """Extracts the entries that match members (every entry when empty)
        into the folder dest, made when missing. Returns the names of the
        entries passed over because overwrite="skip" kept a file of their
        name. Raises an Error for the failure that ended the call (with
        keep_going, after every entry, for the last one); its .failures
        lists every entry that failed. See Archiver.unzip for each keyword."""
        return self._with_archiver(lambda archiver: archiver.unzip(
            self._path, dest, self._password, members, overwrite=overwrite, keep_going=keep_going,
            progress=progress, limits=limits, restore_times=restore_times))

    def stop(self) -> None:
        """Stops the running call after the block in hand: an extraction or
        a test raises StoppedError (the entry being written leaves nothing;
        the ones written before stay), a listing too. With no call running,
        the next one to start is stopped. After a stopped call the reader
        works again. Safe from any thread."""
        with self._lock:
            if self._archiver is not None:
                self._archiver.stop()

    # ------------------------------------------------------------ life
    def close(self) -> None:
        """Releases the reader; waits for a call another thread runs. Closing
        twice is harmless."""
        while True:
            with self._lock:
                archiver = self._archiver
            if archiver is None:
                return
            archiver.close()  # waits; refuses to be called from inside its own call's progress
            with self._lock:
                if self._archiver is archiver:  # not replaced after a stop meanwhile
                    self._archiver = None
                    return

    @property
    def closed(self) -> bool:
        return self._archiver is None

    def __enter__(self) -> ZipReader:
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], value: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None:
        self.close()

    def __repr__(self) -> str:
        return "<parcelon.ZipReader %r%s>" % (self._path, " closed" if self.closed else "")

    def _with_archiver(self, call: Callable[[Archiver], _Result]) -> _Result:
        """Runs call on the reader's archiver. The library's stop lasts for
        the archiver's life, so an archiver that was stopped is replaced by a
        fresh one once its call is over."""
        with self._lock:
            archiver = self._archiver
        if archiver is None:
            raise ValueError("this ZipReader is closed")
        try:
            return call(archiver)
        finally:
            if archiver.stopped:
                with self._lock:
                    if self._archiver is archiver:
                        self._archiver = Archiver()
                archiver.close()

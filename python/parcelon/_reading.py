"""What the library hands back while it reads an archive, as Python values:
the records of parcelon_list, and the entries the report function names.

Both callbacks run on the worker thread of the call (see _running). They
only copy what they are given, and never raise: an exception inside a
ctypes callback would be printed and lost."""

from __future__ import annotations

import datetime
from typing import Any, List, NamedTuple, Tuple

from . import _library
from .entries import Entry
from .errors import ErrorCode, code_of

_EPOCH = datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc)

# One record as copied from a parcelon_entry: name, size, compressed size,
# crc, method, encrypted, folder, mtime.
_Record = Tuple[bytes, int, int, int, int, int, int, int]


def entry_name(raw: bytes) -> str:
    """A name the library gave as UTF-8. The library writes a byte it could
    not decode as that very byte, which surrogateescape keeps as U+DC80 +
    byte, the way Python keeps such bytes in file names."""
    return raw.decode("utf-8", "surrogateescape")


def _message(raw: bytes) -> str:
    return raw.decode("utf-8", "backslashreplace")


class Records:
    """Collects the records of a listing; ends it early once should_stop()."""

    def __init__(self, should_stop: Any) -> None:
        self._records: List[_Record] = []
        self._should_stop = should_stop
        self.function = _library.EntryFunction(self._on_record)

    def _on_record(self, pointer: Any, _user_data: Any) -> int:
        record = pointer.contents
        self._records.append((record.name or b"", record.size, record.compressed_size, record.crc32, record.method,
                              record.encrypted, record.is_folder, record.mtime))
        return 1 if self._should_stop() else 0

    def entries(self) -> List[Entry]:
        return [Entry(name=entry_name(name), size=size, compressed_size=compressed, crc=crc, method=method,
                      encrypted=bool(encrypted), is_dir=bool(folder),
                      mtime=_EPOCH + datetime.timedelta(seconds=mtime))
                for name, size, compressed, crc, method, encrypted, folder, mtime in self._records]


class Report(NamedTuple):
    """An entry the report function named: failed, refused or passed over."""
    code: int
    name: str
    message: str


class Reports:
    """Collects what the report function tells during one call."""

    def __init__(self) -> None:
        self._raw: List[Tuple[int, bytes, bytes]] = []
        self.function = _library.ReportFunction(self._on_report)

    def _on_report(self, code: int, path: Any, message: Any, _user_data: Any) -> None:
        self._raw.append((code, path or b"", message or b""))

    def reports(self) -> List[Report]:
        return [Report(code_of(code), entry_name(path), _message(message)) for code, path, message in self._raw]


def is_skip(report: Report, overwrite: str) -> bool:
    """Whether the report is an entry passed over because a file of its name
    was kept as asked (overwrite="skip"), rather than a failure."""
    return overwrite == "skip" and report.code == ErrorCode.EXISTS

"""What an extraction may do: the limits a host sets on an untrusted
archive, what happens to files already there, and how the keywords of
extract and unzip become the library's options (the one place that decides
what each keyword means)."""

from __future__ import annotations

import dataclasses
from typing import List, Literal, Optional, Tuple

from . import _library
from ._failures import invalid_argument

# What happens to a file already where an entry goes: the entry replaces
# it, it stays and the entry is passed over, or it stays and the entry fails.
Overwrite = Literal["replace", "skip", "error"]

_OVERWRITE = {"replace": 0, "skip": 1, "error": 2}  # PARCELON_OVERWRITE_*
_LARGEST = 2 ** 63 - 1  # the library takes a signed 64-bit value


@dataclasses.dataclass(frozen=True)
class Limits:
    """Bounds on what an extraction may write, for archives from untrusted
    sources (a "zip bomb" expands a few kilobytes into gigabytes). None,
    the default of each, sets no bound.

    total_bytes: the most bytes all extracted entries may hold together;
    entries: the most entries extracted (folders count);
    ratio: the most an entry may expand, its size against its compressed
    size (a whole number: 100 lets 1 KiB expand to 100 KiB).

    An entry that would pass a bound is refused before a byte of it is
    written: it fails with code LIMIT (LimitError)."""

    total_bytes: Optional[int] = None
    entries: Optional[int] = None
    ratio: Optional[int] = None

    def __post_init__(self) -> None:
        for field in dataclasses.fields(self):
            value = getattr(self, field.name)
            if value is None:
                continue
            if isinstance(value, bool) or not isinstance(value, int):
                raise TypeError("Limits.%s must be an int or None, not %s" % (field.name, type(value).__name__))
            if not 1 <= value <= _LARGEST:
                raise invalid_argument("Limits.%s must be at least 1 (None for no bound); got %r"
                                       % (field.name, value))


def extract_options(overwrite: str, keep_going: bool, limits: Optional[Limits],
                    restore_times: bool) -> List[Tuple[int, int]]:
    """The keywords of an extraction as (option, value) pairs for
    parcelon_set_option, each option set on every call (the archiver keeps
    them). Raises TypeError or InvalidArgumentError for a value none fits."""
    if not isinstance(overwrite, str) or overwrite not in _OVERWRITE:
        raise invalid_argument("overwrite must be \"replace\", \"skip\" or \"error\"; got %r" % (overwrite,))
    if limits is None:
        limits = Limits()
    elif not isinstance(limits, Limits):
        raise TypeError("limits must be a parcelon.Limits, not %s" % type(limits).__name__)
    return [
        (_library.OPT_OVERWRITE, _OVERWRITE[overwrite]),
        (_library.OPT_KEEP_GOING, 1 if keep_going else 0),
        (_library.OPT_MAX_TOTAL_BYTES, limits.total_bytes or 0),
        (_library.OPT_MAX_ENTRIES, limits.entries or 0),
        (_library.OPT_MAX_RATIO, limits.ratio or 0),
        (_library.OPT_RESTORE_TIMES, 1 if restore_times else 0),
    ]

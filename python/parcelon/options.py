"""What a call may choose beyond its arguments: how a packing call
encrypts and what its archive looks like; for an extraction, the limits a
host sets on an untrusted archive and what happens to files already there;
and how these keywords become the library's options (the one place that
decides what each keyword means)."""

from __future__ import annotations

import dataclasses
from typing import List, Literal, Optional, Tuple

from . import _library
from ._failures import invalid_argument

# What happens to a file already where an entry goes: the entry replaces
# it, it stays and the entry is passed over, or it stays and the entry fails.
Overwrite = Literal["replace", "skip", "error"]

# How a password encrypts a packing call's entries: the traditional ZIP
# cipher, which every reader opens, or WinZip AES-256 (AE-2, a fresh salt per
# entry), which 7-Zip and WinZip open but zipfile, Info-ZIP unzip and
# Windows' own folders do not.
Encryption = Literal["traditional", "aes256"]

# What a packing call's archive looks like: "classic", what CParcelon writes
# (backslash names in the code page, a folder entry before every file, fixed
# dates), or "portable", what other tools write (names with '/', UTF-8
# beyond ASCII, one entry per folder, empty ones too, each file's time and
# permissions), which every reader unpacks into the same tree.
Style = Literal["classic", "portable"]

_ENCRYPTION = {"traditional": 0, "aes256": 1}  # PARCELON_ENCRYPTION_*
_STYLE = {"classic": 0, "portable": 1}  # PARCELON_STYLE_*

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


def packing_options(encryption: str, style: str, password: Optional[bytes]) -> List[Tuple[int, int]]:
    """The keywords of a packing call as (option, value) pairs, each set on
    every call (the archiver keeps them). password: as the library gets it.
    Raises InvalidArgumentError for a value none fits, and for AES without
    a password (which would write no encryption at all)."""
    if not isinstance(encryption, str) or encryption not in _ENCRYPTION:
        raise invalid_argument("encryption must be \"traditional\" or \"aes256\"; got %r" % (encryption,))
    if not isinstance(style, str) or style not in _STYLE:
        raise invalid_argument("style must be \"classic\" or \"portable\"; got %r" % (style,))
    if encryption == "aes256" and not (password or b"").strip():
        raise invalid_argument("encryption=\"aes256\" encrypts with a password: give one")
    return [(_library.OPT_ENCRYPTION, _ENCRYPTION[encryption]), (_library.OPT_STYLE, _STYLE[style])]

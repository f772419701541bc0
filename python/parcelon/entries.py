"""Entry: one record of an archive's central directory, as ZipReader.entries()
gives it."""

from __future__ import annotations

import dataclasses
import datetime


@dataclasses.dataclass(frozen=True)
class Entry:
    """One entry of an archive, as its central directory records it.

    name: the name as extraction decodes it (UTF-8 when the entry says so
    or carries an Info-ZIP Unicode Path field, else the system's code page:
    GBK under a Chinese locale), with the separators it was stored with ("/"
    or "\\": the library's own archives use backslashes); a byte that decodes in
    no way is kept as Python keeps such bytes in file names (U+DC80 +
    byte, surrogateescape). size and compressed_size: in bytes, as recorded
    (compressed_size includes the encryption's own bytes); crc: the CRC-32
    as recorded (0 for AES entries that record none); method: as stored (0
    Store, 8 Deflate, 9 Deflate64, 12 bzip2, 14 LZMA, 93 Zstandard, 95 xz,
    99 AES); encrypted, is_dir: flags; mtime: the last modification time,
    timezone-aware in UTC: from the extended timestamp field when the entry
    has one, else the DOS date and time read as the local time of this
    machine."""

    name: str
    size: int
    compressed_size: int
    crc: int
    method: int
    encrypted: bool
    is_dir: bool
    mtime: datetime.datetime

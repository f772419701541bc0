"""The three operations, each on an archiver of its own."""

from __future__ import annotations

from typing import Iterable, Optional, Union

from ._types import Password, Progress, StrPath
from .archiver import Archiver


def zip_files(files: Iterable[StrPath], archive: StrPath, level: Optional[int] = 6, password: Password = None,
              progress: Optional[Progress] = None) -> None:
    """Packs the files of the list into a new archive; see Archiver.zip_files."""
    with Archiver() as archiver:
        archiver.zip_files(files, archive, level=level, password=password, progress=progress)


def zip_directory(src: StrPath, archive: StrPath, recursive: bool = True, level: Optional[int] = 6,
                  password: Password = None, minutes: int = 0, include: Iterable[Union[str, bytes]] = (),
                  exclude: Iterable[Union[str, bytes]] = (), progress: Optional[Progress] = None) -> None:
    """Packs the folder src into a new archive; see Archiver.zip_directory."""
    with Archiver() as archiver:
        archiver.zip_directory(src, archive, recursive=recursive, level=level, password=password, minutes=minutes,
                               include=include, exclude=exclude, progress=progress)


def unzip(archive: StrPath, dest: StrPath, password: Password = None) -> None:
    """Extracts the archive into the folder dest (made when missing); see
    Archiver.unzip."""
    with Archiver() as archiver:
        archiver.unzip(archive, dest, password=password)

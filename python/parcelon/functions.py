"""The three operations, each on an archiver of its own."""

from __future__ import annotations

from typing import Iterable, List, Optional, Union

from ._types import Members, Password, Progress, StrPath
from .archiver import Archiver
from .options import Encryption, Limits, Overwrite, Style


def zip_files(files: Iterable[StrPath], archive: StrPath, level: Optional[int] = 6, password: Password = None,
              progress: Optional[Progress] = None, *, encryption: Encryption = "traditional",
              style: Style = "classic") -> None:
    """Packs the files of the list into a new archive; see Archiver.zip_files."""
    with Archiver() as archiver:
        archiver.zip_files(files, archive, level=level, password=password, progress=progress, encryption=encryption,
                           style=style)


def zip_directory(src: StrPath, archive: StrPath, recursive: bool = True, level: Optional[int] = 6,
                  password: Password = None, minutes: int = 0, include: Iterable[Union[str, bytes]] = (),
                  exclude: Iterable[Union[str, bytes]] = (), progress: Optional[Progress] = None, *,
                  encryption: Encryption = "traditional", style: Style = "classic") -> None:
    """Packs the folder src into a new archive; see Archiver.zip_directory."""
    with Archiver() as archiver:
        archiver.zip_directory(src, archive, recursive=recursive, level=level, password=password, minutes=minutes,
                               include=include, exclude=exclude, progress=progress, encryption=encryption,
                               style=style)


def unzip(archive: StrPath, dest: StrPath, password: Password = None, members: Members = (), *,
          overwrite: Overwrite = "replace", keep_going: bool = False, progress: Optional[Progress] = None,
          limits: Optional[Limits] = None, restore_times: bool = True) -> List[str]:
    """Extracts the archive (the entries matching members, or every one)
    into the folder dest, made when missing; returns the names passed over
    by overwrite="skip". See Archiver.unzip."""
    with Archiver() as archiver:
        return archiver.unzip(archive, dest, password, members, overwrite=overwrite, keep_going=keep_going,
                              progress=progress, limits=limits, restore_times=restore_times)

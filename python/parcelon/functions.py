"""The three operations, each on an archiver of its own."""

from .archiver import Archiver


def zip_files(files, archive, level=6, password=None, progress=None):
    """Packs the files of the list into a new archive; see Archiver.zip_files."""
    with Archiver() as archiver:
        archiver.zip_files(files, archive, level=level, password=password, progress=progress)


def zip_directory(src, archive, recursive=True, level=6, password=None, minutes=0, include=(), exclude=(),
                  progress=None):
    """Packs the folder src into a new archive; see Archiver.zip_directory."""
    with Archiver() as archiver:
        archiver.zip_directory(src, archive, recursive=recursive, level=level, password=password, minutes=minutes,
                               include=include, exclude=exclude, progress=progress)


def unzip(archive, dest, password=None):
    """Extracts the archive into the existing folder dest; see Archiver.unzip."""
    with Archiver() as archiver:
        archiver.unzip(archive, dest, password=password)

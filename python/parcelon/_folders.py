"""The destination of an extraction: made when missing, as `unzip -d` and
the parcelon tool do, and taken away again when the call fails before
anything was extracted into it."""

from __future__ import annotations

import os
from typing import List, Union

from ._failures import os_failure
from .errors import ErrorCode

AnyPath = Union[str, bytes]


def missing_folders(path: AnyPath) -> List[AnyPath]:
    """The folders of path that do not exist yet, outermost first ("out/" is
    "out")."""
    missing: List[AnyPath] = []
    path = os.path.normpath(path)
    while path and not os.path.lexists(path):
        missing.insert(0, path)
        parent = os.path.dirname(path)
        if parent == path:
            break
        path = parent
    return missing


class Destination:
    """The folders made for one extraction."""

    def __init__(self, dest: AnyPath) -> None:
        self._dest = dest
        self._made: List[AnyPath] = []

    def make(self) -> None:
        """Makes the destination and its missing parents; raises the
        package's error (the ones made so far removed) when one cannot be."""
        for folder in missing_folders(self._dest):
            try:
                os.mkdir(folder)
            except OSError as error:
                self.remove_empty()
                raise os_failure(ErrorCode.CANNOT_CREATE_FOLDER, error, folder) from error
            self._made.append(folder)

    def remove_empty(self) -> None:
        """Removes the folders made, innermost first, as long as they are empty."""
        for folder in reversed(self._made):
            try:
                os.rmdir(folder)
            except OSError:
                break
        self._made = []

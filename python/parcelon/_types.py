"""The types of the package's arguments, for hosts' type checkers."""

from __future__ import annotations

import os
from typing import Any, Callable, Iterable, Union

# A path: str, bytes, or what os.fspath takes (pathlib.Path).
StrPath = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
# A password: bytes as given, or text in the library's code page.
Password = Union[str, bytes, bytearray, memoryview, None]
# Called with each percentage of a call; what it returns is ignored.
Progress = Callable[[int], Any]
# Patterns of the entries to extract.
Members = Iterable[Union[str, bytes]]

"""Finding the shared library and declaring its C functions.

The library is looked for, in this order, at the path in the environment
variable PARCELON_LIBRARY, beside this package (the copy a wheel carries),
then by the system's loader. It is loaded on first use, once per process."""

from __future__ import annotations

import ctypes
import ctypes.util
import functools
import glob
import os
import sys
from typing import Any, Callable, Dict, List, Optional, Sequence, Tuple, cast

from .errors import LibraryError

ENVIRONMENT_VARIABLE = "PARCELON_LIBRARY"
SUPPORTED_MAJOR = 1

if sys.platform == "win32":
    _FILE_NAMES: Tuple[str, ...] = ("Parcelon.dll",)
    _VERSIONED_PATTERN: Optional[str] = None
elif sys.platform == "darwin":
    _FILE_NAMES = ("libParcelon.dylib", "libParcelon.1.dylib")
    _VERSIONED_PATTERN = "libParcelon.*.dylib"
else:
    _FILE_NAMES = ("libParcelon.so", "libParcelon.so.1")
    _VERSIONED_PATTERN = "libParcelon.so.*"

# The interface is __stdcall on 32-bit Windows, the platform's own call
# elsewhere (where WinDLL and CDLL are the same).
_STDCALL = sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4
_FunctionType: Callable[..., Any] = ctypes.WINFUNCTYPE if _STDCALL else ctypes.CFUNCTYPE  # type: ignore[attr-defined]

# The progress callback: void (int value, void* user_data).
ProgressFunction: Any = _FunctionType(None, ctypes.c_int, ctypes.c_void_p)
_Strings = ctypes.POINTER(ctypes.c_char_p)

# parcelon_archiver* travels as a plain pointer: an int on the Python side.
_HANDLE = ctypes.c_void_p
_c_int, _c_uint, _c_size_t, _c_char_p = ctypes.c_int, ctypes.c_uint, ctypes.c_size_t, ctypes.c_char_p
_DECLARATIONS: Dict[str, Tuple[Any, List[Any]]] = {
    "parcelon_new": (_HANDLE, []),
    "parcelon_free": (None, [_HANDLE]),
    "parcelon_set_progress": (None, [_HANDLE, ProgressFunction, ctypes.c_void_p]),
    "parcelon_stop": (None, [_HANDLE]),
    "parcelon_set_threads": (_c_int, [_HANDLE, _c_uint]),
    "parcelon_zip_files_utf8": (_c_int, [_HANDLE, _Strings, _c_size_t, _c_char_p, _c_uint, _c_char_p]),
    "parcelon_zip_directory_utf8": (_c_int, [_HANDLE, _c_char_p, _c_char_p, _c_int, _c_uint, _c_char_p, _c_int,
                                             _Strings, _c_size_t, _Strings, _c_size_t]),
    "parcelon_unzip_file_utf8": (_c_int, [_HANDLE, _c_char_p, _c_char_p, _c_char_p]),
    "parcelon_last_error": (_c_int, [_HANDLE]),
    "parcelon_last_message": (_c_char_p, [_HANDLE]),
    "parcelon_error_text": (_c_char_p, [_c_int]),
    "parcelon_version": (_c_char_p, []),
}


class Library:
    """The loaded library: its C functions with Python types, where it came
    from, its version."""

    def __init__(self, dll: ctypes.CDLL, location: str) -> None:
        self.location = location
        self._functions: Dict[str, Any] = {}
        for name, (restype, argtypes) in _DECLARATIONS.items():
            try:
                function = getattr(dll, name)
            except AttributeError:
                raise LibraryError("%s has no %s: not a Parcelon library of version %d.1 or later"
                                   % (location, name, SUPPORTED_MAJOR)) from None
            function.restype = restype
            function.argtypes = argtypes
            self._functions[name] = function
        self.version = self._text("parcelon_version")
        if self.version.split(".", 1)[0] != str(SUPPORTED_MAJOR):
            raise LibraryError("%s is Parcelon %s; this package needs version %d.x"
                               % (location, self.version, SUPPORTED_MAJOR))

    def _call(self, name: str, *arguments: Any) -> Any:
        return self._functions[name](*arguments)

    def _text(self, name: str, *arguments: Any) -> str:
        raw = self._call(name, *arguments)
        return raw.decode("utf-8", "backslashreplace") if isinstance(raw, bytes) else ""

    # ------------------------------------------------------------ archivers
    def new(self) -> Optional[int]:
        handle = self._call("parcelon_new")
        return int(handle) if handle else None

    def free(self, handle: int) -> None:
        self._call("parcelon_free", handle)

    def set_progress(self, handle: int, function: Any) -> None:
        """function: a ProgressFunction, or None to remove the callback."""
        self._call("parcelon_set_progress", handle, function if function is not None else ProgressFunction(), None)

    def stop(self, handle: int) -> None:
        self._call("parcelon_stop", handle)

    def set_threads(self, handle: int, threads: int) -> None:
        self._call("parcelon_set_threads", handle, threads)

    # ------------------------------------------------------------ operations
    def zip_files(self, handle: int, files: Any, count: int, zip_file: bytes, level: int,
                  password: Optional[bytes]) -> int:
        return int(self._call("parcelon_zip_files_utf8", handle, files, count, zip_file, level, password))

    def zip_directory(self, handle: int, src_dir: bytes, zip_file: bytes, recursive: bool, level: int,
                      password: Optional[bytes], minutes: int, includes: Any, include_count: int, excludes: Any,
                      exclude_count: int) -> int:
        return int(self._call("parcelon_zip_directory_utf8", handle, src_dir, zip_file, 1 if recursive else 0,
                              level, password, minutes, includes, include_count, excludes, exclude_count))

    def unzip(self, handle: int, zip_file: bytes, dest_dir: bytes, password: Optional[bytes]) -> int:
        return int(self._call("parcelon_unzip_file_utf8", handle, zip_file, dest_dir, password))

    # ------------------------------------------------------------ outcome
    def last_error(self, handle: int) -> int:
        return int(self._call("parcelon_last_error", handle))

    def last_message(self, handle: int) -> str:
        """The last failure's line; a byte of a name that is no UTF-8 shows as \\xNN."""
        return self._text("parcelon_last_message", handle)

    def error_text(self, code: int) -> str:
        return self._text("parcelon_error_text", code)


def _beside_package() -> List[str]:
    """Copies of the library in the package's own folder, unversioned first."""
    folder = os.path.dirname(os.path.abspath(__file__))
    found = [os.path.join(folder, name) for name in _FILE_NAMES]
    if _VERSIONED_PATTERN is not None:
        found += sorted(glob.glob(os.path.join(folder, _VERSIONED_PATTERN)))
    seen: List[str] = []
    for path in found:
        if os.path.isfile(path) and path not in seen:
            seen.append(path)
    return seen


def _system_names() -> List[str]:
    """Names for the system's loader: what find_library reports, then the
    plain file names (the loader's own search: LD_LIBRARY_PATH, PATH, ...)."""
    names: List[str] = []
    found = ctypes.util.find_library("Parcelon")
    if found:
        names.append(found)
    for name in reversed(_FILE_NAMES):  # the run-time name before the link-time one
        if name not in names:
            names.append(name)
    return names


def _open(candidate: str) -> ctypes.CDLL:
    if _STDCALL:
        return cast(ctypes.CDLL, ctypes.WinDLL(candidate))  # type: ignore[attr-defined]
    return ctypes.CDLL(candidate)


def _first_that_loads(candidates: Sequence[str]) -> Library:
    tried = []
    for candidate in candidates:
        try:
            dll = _open(candidate)
        except OSError as error:
            tried.append("%s (%s)" % (candidate, error))
            continue
        return Library(dll, candidate)
    raise LibraryError("the Parcelon library was not found: set %s to its path, place a copy in %s, or install it "
                       "where the system's loader finds it. Tried: %s"
                       % (ENVIRONMENT_VARIABLE, os.path.dirname(os.path.abspath(__file__)), "; ".join(tried)))


@functools.lru_cache(maxsize=None)
def load() -> Library:
    """The library, loaded once. A failure is not remembered: a later call
    looks again (after PARCELON_LIBRARY was set, say)."""
    explicit = os.environ.get(ENVIRONMENT_VARIABLE)
    if explicit:
        # A path the user named is the one wanted: no falling back to another.
        try:
            dll = _open(explicit)
        except OSError as error:
            raise LibraryError("%s=%s cannot be loaded: %s" % (ENVIRONMENT_VARIABLE, explicit, error)) from None
        return Library(dll, explicit)
    return _first_that_loads(_beside_package() + _system_names())

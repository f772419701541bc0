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
from typing import Any, Callable, Dict, List, NamedTuple, Optional, Sequence, Set, Tuple, cast

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


class EntryRecord(ctypes.Structure):
    """parcelon_entry: one record of the central directory."""
    _fields_ = [
        ("index", ctypes.c_size_t),
        ("name", ctypes.c_char_p),
        ("size", ctypes.c_uint64),
        ("compressed_size", ctypes.c_uint64),
        ("crc32", ctypes.c_ulong),
        ("method", ctypes.c_int),
        ("encrypted", ctypes.c_int),
        ("is_folder", ctypes.c_int),
        ("mtime", ctypes.c_int64),
    ]


# int (const parcelon_entry* entry, void* user_data): non-zero ends the listing.
EntryFunction: Any = _FunctionType(ctypes.c_int, ctypes.POINTER(EntryRecord), ctypes.c_void_p)
# void (int code, const char* path, const char* message, void* user_data).
ReportFunction: Any = _FunctionType(None, ctypes.c_int, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_void_p)

# The options of parcelon_set_option.
OPT_OVERWRITE = 1
OPT_KEEP_GOING = 2
OPT_MAX_TOTAL_BYTES = 3
OPT_MAX_ENTRIES = 4
OPT_MAX_RATIO = 5
OPT_RESTORE_TIMES = 6
OPT_STDERR = 7
OPT_ENCRYPTION = 9
OPT_STYLE = 10

# parcelon_archiver* travels as a plain pointer: an int on the Python side.
_HANDLE = ctypes.c_void_p
_c_int, _c_uint, _c_size_t, _c_char_p = ctypes.c_int, ctypes.c_uint, ctypes.c_size_t, ctypes.c_char_p


class _Declaration(NamedTuple):
    restype: Any
    argtypes: List[Any]
    # A function later than the oldest library this package takes: a library
    # without it still loads, and only calling it raises LibraryError.
    optional: bool = False


_DECLARATIONS: Dict[str, _Declaration] = {
    "parcelon_new": _Declaration(_HANDLE, []),
    "parcelon_free": _Declaration(None, [_HANDLE]),
    "parcelon_set_progress": _Declaration(None, [_HANDLE, ProgressFunction, ctypes.c_void_p]),
    "parcelon_stop": _Declaration(None, [_HANDLE]),
    "parcelon_set_threads": _Declaration(_c_int, [_HANDLE, _c_uint]),
    "parcelon_zip_files_utf8": _Declaration(_c_int, [_HANDLE, _Strings, _c_size_t, _c_char_p, _c_uint, _c_char_p]),
    "parcelon_zip_directory_utf8": _Declaration(_c_int, [_HANDLE, _c_char_p, _c_char_p, _c_int, _c_uint, _c_char_p,
                                                         _c_int, _Strings, _c_size_t, _Strings, _c_size_t]),
    "parcelon_last_error": _Declaration(_c_int, [_HANDLE]),
    "parcelon_last_message": _Declaration(_c_char_p, [_HANDLE]),
    "parcelon_error_text": _Declaration(_c_char_p, [_c_int]),
    "parcelon_version": _Declaration(_c_char_p, []),
    # The reading calls.
    "parcelon_set_report": _Declaration(None, [_HANDLE, ReportFunction, ctypes.c_void_p], optional=True),
    "parcelon_set_option": _Declaration(_c_int, [_HANDLE, _c_int, ctypes.c_int64], optional=True),
    "parcelon_list_utf8": _Declaration(_c_int, [_HANDLE, _c_char_p, EntryFunction, ctypes.c_void_p], optional=True),
    "parcelon_test_utf8": _Declaration(_c_int, [_HANDLE, _c_char_p, _c_char_p], optional=True),
    "parcelon_extract_utf8": _Declaration(_c_int, [_HANDLE, _c_char_p, _c_char_p, _c_char_p, _Strings, _c_size_t],
                                          optional=True),
}


class Library:
    """The loaded library: its C functions with Python types, where it came
    from, its version."""

    def __init__(self, dll: ctypes.CDLL, location: str) -> None:
        self.location = location
        self._functions: Dict[str, Any] = {}
        self._missing: Set[str] = set()  # optional functions this library lacks
        for name, declaration in _DECLARATIONS.items():
            try:
                function = getattr(dll, name)
            except AttributeError:
                if declaration.optional:
                    self._missing.add(name)
                    continue
                raise LibraryError("%s has no %s: not a Parcelon library of version %d.1 or later"
                                   % (location, name, SUPPORTED_MAJOR)) from None
            function.restype = declaration.restype
            function.argtypes = declaration.argtypes
            self._functions[name] = function
        self.version = self._text("parcelon_version")
        if self.version.split(".", 1)[0] != str(SUPPORTED_MAJOR):
            raise LibraryError("%s is Parcelon %s; this package needs version %d.x"
                               % (location, self.version, SUPPORTED_MAJOR))

    def has(self, name: str) -> bool:
        """Whether the library has the C function name (an older build may
        lack the optional ones)."""
        return name not in self._missing

    def require(self, name: str) -> None:
        """Raises LibraryError, saying why, when the library lacks the C
        function name (an older build)."""
        if name in self._missing:
            raise LibraryError("%s (Parcelon %s) has no %s: it was built before the C interface could list, "
                               "test and extract archives; use a newer build of the library"
                               % (self.location, self.version, name))

    def _call(self, name: str, *arguments: Any) -> Any:
        self.require(name)
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

    # ------------------------------------------------------------ reading
    def set_report(self, handle: int, function: Any) -> None:
        """function: a ReportFunction, or None to remove it."""
        self._call("parcelon_set_report", handle, function if function is not None else ReportFunction(), None)

    def set_option(self, handle: int, option: int, value: int) -> int:
        return int(self._call("parcelon_set_option", handle, option, value))

    def list(self, handle: int, zip_file: bytes, function: Any) -> int:
        """function: an EntryFunction."""
        return int(self._call("parcelon_list_utf8", handle, zip_file, function, None))

    def test(self, handle: int, zip_file: bytes, password: Optional[bytes]) -> int:
        return int(self._call("parcelon_test_utf8", handle, zip_file, password))

    def extract(self, handle: int, zip_file: bytes, dest_dir: bytes, password: Optional[bytes], patterns: Any,
                count: int) -> int:
        return int(self._call("parcelon_extract_utf8", handle, zip_file, dest_dir, password, patterns, count))

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

"""Finding the shared library and declaring its C functions.

The library is looked for, in this order, at the path in the environment
variable PARCELON_LIBRARY, beside this package (a copy of the library placed
in the package folder), then by the system's loader. It is loaded on first
use, once per process."""

import ctypes
import ctypes.util
import functools
import glob
import os
import sys

from .errors import LibraryError

ENVIRONMENT_VARIABLE = "PARCELON_LIBRARY"
SUPPORTED_MAJOR = 1

if sys.platform == "win32":
    _FILE_NAMES = ("Parcelon.dll",)
    _VERSIONED_PATTERN = None
elif sys.platform == "darwin":
    _FILE_NAMES = ("libParcelon.dylib", "libParcelon.1.dylib")
    _VERSIONED_PATTERN = "libParcelon.*.dylib"
else:
    _FILE_NAMES = ("libParcelon.so", "libParcelon.so.1")
    _VERSIONED_PATTERN = "libParcelon.so.*"

# The interface is __stdcall on 32-bit Windows, the platform's own call
# elsewhere (where WinDLL and CDLL are the same).
_STDCALL = sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4
_Loader = ctypes.WinDLL if _STDCALL else ctypes.CDLL
_FunctionType = ctypes.WINFUNCTYPE if _STDCALL else ctypes.CFUNCTYPE


class _Archiver(ctypes.Structure):
    """parcelon_archiver: opaque."""


Handle = ctypes.POINTER(_Archiver)
ProgressFunction = _FunctionType(None, ctypes.c_int, ctypes.c_void_p)
_Strings = ctypes.POINTER(ctypes.c_char_p)


class Library:
    """The loaded library: its C functions, where it came from, its version."""

    def __init__(self, dll, location):
        self.location = location
        c_int, c_uint, c_size_t, c_char_p, c_void_p = (ctypes.c_int, ctypes.c_uint, ctypes.c_size_t,
                                                       ctypes.c_char_p, ctypes.c_void_p)
        declarations = {
            "parcelon_new": (Handle, []),
            "parcelon_free": (None, [Handle]),
            "parcelon_set_progress": (None, [Handle, ProgressFunction, c_void_p]),
            "parcelon_stop": (None, [Handle]),
            "parcelon_set_threads": (c_int, [Handle, c_uint]),
            "parcelon_zip_files_utf8": (c_int, [Handle, _Strings, c_size_t, c_char_p, c_uint, c_char_p]),
            "parcelon_zip_directory_utf8": (c_int, [Handle, c_char_p, c_char_p, c_int, c_uint, c_char_p, c_int,
                                                    _Strings, c_size_t, _Strings, c_size_t]),
            "parcelon_unzip_file_utf8": (c_int, [Handle, c_char_p, c_char_p, c_char_p]),
            "parcelon_last_error": (c_int, [Handle]),
            "parcelon_last_message": (c_char_p, [Handle]),
            "parcelon_version": (c_char_p, []),
        }
        for name, (restype, argtypes) in declarations.items():
            try:
                function = getattr(dll, name)
            except AttributeError:
                raise LibraryError("%s has no %s: not a Parcelon library with the C interface" % (location, name))
            function.restype = restype
            function.argtypes = argtypes
            setattr(self, name, function)
        self.version = self.parcelon_version().decode("ascii", "replace")
        major = self.version.split(".", 1)[0]
        if major != str(SUPPORTED_MAJOR):
            raise LibraryError("%s is Parcelon %s; this package needs version %d.x"
                               % (location, self.version, SUPPORTED_MAJOR))


def _beside_package():
    """Copies of the library in the package's own folder, unversioned first."""
    folder = os.path.dirname(os.path.abspath(__file__))
    found = [os.path.join(folder, name) for name in _FILE_NAMES]
    if _VERSIONED_PATTERN is not None:
        found += sorted(glob.glob(os.path.join(folder, _VERSIONED_PATTERN)))
    seen = []
    for path in found:
        if os.path.isfile(path) and path not in seen:
            seen.append(path)
    return seen


def _system_names():
    """Names for the system's loader: what find_library reports, then the
    plain file names (the loader's own search: LD_LIBRARY_PATH, PATH, ...)."""
    names = []
    found = ctypes.util.find_library("Parcelon")
    if found:
        names.append(found)
    for name in reversed(_FILE_NAMES):  # the run-time name before the link-time one
        if name not in names:
            names.append(name)
    return names


@functools.lru_cache(maxsize=None)
def load():
    """The library, loaded once. A failure is not remembered: a later call
    looks again (after PARCELON_LIBRARY was set, say)."""
    explicit = os.environ.get(ENVIRONMENT_VARIABLE)
    if explicit:
        # A path the user named is the one wanted: no falling back to another.
        try:
            dll = _Loader(explicit)
        except OSError as error:
            raise LibraryError("%s=%s cannot be loaded: %s" % (ENVIRONMENT_VARIABLE, explicit, error)) from None
        return Library(dll, explicit)
    tried = []
    for candidate in _beside_package() + _system_names():
        try:
            dll = _Loader(candidate)
        except OSError as error:
            tried.append("%s (%s)" % (candidate, error))
            continue
        return Library(dll, candidate)
    raise LibraryError("the Parcelon library was not found: set %s to its path, place a copy in %s, or install it "
                       "where the system's loader finds it. Tried: %s"
                       % (ENVIRONMENT_VARIABLE, os.path.dirname(os.path.abspath(__file__)), "; ".join(tried)))

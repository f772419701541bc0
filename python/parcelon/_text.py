"""Python values as the bytes the C interface takes.

Paths go through the library's _utf8 functions. The library decodes that
UTF-8 itself and turns every byte that starts no valid sequence into the
code unit 0xDC00 + byte, which it writes back as that very byte when it
names a file. Python's surrogateescape keeps an undecodable file-name byte
as the same code unit (U+DC80..U+DCFF), so a str path is encoded as UTF-8
with surrogateescape: its escaped bytes reach the library as raw bytes and
the file system as themselves. A bytes path is first decoded the way the
library names files: on POSIX with the character set of the environment's
locale (surrogateescape again), on Windows as Python does (UTF-8).

Passwords are bytes to the library. A str password is encoded in the
library's own narrow code page, the one its C++ hosts and the command-line
tool pass passwords in: the locale's character set on POSIX, the ANSI code
page on Windows. bytes are used as given."""

from __future__ import annotations

import codecs
import ctypes
import locale
import os
import sys
from typing import Any, Callable, Iterable, List, Optional, Tuple, Union

from ._failures import invalid_argument
from ._types import Password, StrPath


def library_charset() -> str:
    """The code page the library reads narrow text in, as a Python codec."""
    if sys.platform == "win32":
        return "mbcs"
    getencoding = getattr(locale, "getencoding", None)  # Python 3.11: ignores UTF-8 mode, as the library does
    name: str = getencoding() if getencoding is not None else locale.getpreferredencoding(False)
    try:
        return codecs.lookup(name).name
    except LookupError:
        return sys.getfilesystemencoding()


def _decode_native(raw: bytes) -> str:
    if sys.platform == "win32":
        return os.fsdecode(raw)
    return raw.decode(library_charset(), "surrogateescape")


def _no_zero(encoded: bytes, what: str) -> bytes:
    if b"\0" in encoded:
        raise invalid_argument("embedded null character in %s" % what)
    return encoded


def given_path(path: StrPath, what: str = "path") -> Union[str, bytes]:
    """path as str or bytes (os.fspath), or TypeError naming the argument."""
    try:
        return os.fspath(path)
    except TypeError:
        raise TypeError("%s must be str, bytes or os.PathLike, not %s" % (what, type(path).__name__)) from None


def path_utf8(path: StrPath, what: str = "path") -> bytes:
    """A str, bytes or os.PathLike path as the UTF-8 bytes the library takes."""
    value = given_path(path, what)
    if isinstance(value, bytes):
        value = _decode_native(value)
    return _no_zero(value.encode("utf-8", "surrogateescape"), what)


def text_utf8(text: Union[str, bytes], what: str) -> bytes:
    """A name pattern (str or bytes) as UTF-8 bytes."""
    if isinstance(text, (bytes, bytearray)):
        text = _decode_native(bytes(text))
    if not isinstance(text, str):
        raise TypeError("%s must be str or bytes, not %s" % (what, type(text).__name__))
    return _no_zero(text.encode("utf-8", "surrogateescape"), what)


def as_list(items: Iterable[Any], what: str) -> List[Any]:
    """The items of a list argument. A single path or pattern is refused
    rather than read as a list of its characters."""
    if isinstance(items, (str, bytes, bytearray, os.PathLike)):
        raise TypeError("%s must be a list, not a single %s" % (what, type(items).__name__))
    return list(items)


def utf8_array(items: List[Any], convert: Callable[[Any, str], bytes], what: str) -> Tuple[Any, int]:
    """A list of paths or patterns as a C array of UTF-8 strings and its
    length."""
    encoded = [convert(item, what) for item in items]
    return (ctypes.c_char_p * len(encoded))(*encoded), len(encoded)


def password_bytes(password: Password) -> Optional[bytes]:
    """None, bytes as given, or a str in the library's narrow code page."""
    if password is None:
        return None
    if isinstance(password, (bytes, bytearray, memoryview)):
        raw = bytes(password)
    elif isinstance(password, str):
        charset = library_charset()
        try:
            raw = password.encode(charset)
        except UnicodeEncodeError:
            raise invalid_argument("the password has characters the library's code page (%s) lacks; pass it as "
                                   "bytes" % charset) from None
    else:
        raise TypeError("password must be str or bytes, not %s" % type(password).__name__)
    return _no_zero(raw, "password")

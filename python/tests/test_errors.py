"""Failures as parcelon.Error subclasses of the built-in kind that fits, with
the library's English text, code and own line; files left out of a written
archive as a FilesLeftOut warning; the destination an extraction makes."""

import os
import pathlib
import pickle
import re
import zipfile

import pytest

import parcelon
from conftest import REPOSITORY
from parcelon import ErrorCode

OPEN_ENTRY = "解压错误：无法在ZIP中打开当前文件"
CREATE_OUTPUT = "解压错误：无法创建输出文件"
OPEN_ARCHIVE = "解压错误：打开zip文件失败"
CREATE_ZIP = "压缩错误：创建zip文件： "


class Paths:
    """A tree, archives of every kind, and paths in the way."""

    def __init__(self, tree, tmp):
        self.tree, self.tmp = tree, tmp
        self.encrypted, self.climbing = tmp / "enc.zip", tmp / "climb.zip"
        self.damaged, self.not_zip, self.absent = tmp / "damaged.zip", tmp / "notzip.zip", tmp / "absent.zip"
        self.out, self.file = tmp / "out", tmp / "a-file"
        self.read_only = tmp / "read-only.zip"
        parcelon.zip_directory(tree, self.encrypted, password="right")
        with zipfile.ZipFile(self.climbing, "w") as z:
            z.writestr("../evil.txt", b"outside")
        with zipfile.ZipFile(self.damaged, "w", zipfile.ZIP_STORED) as z:
            z.writestr("data.txt", b"0123456789" * 10)
        self.damaged.write_bytes(self.damaged.read_bytes().replace(b"0123456789", b"0123456780", 1))
        self.not_zip.write_bytes(b"this is no archive" * 10)
        self.out.mkdir()
        self.file.write_bytes(b"in the way")
        self.read_only.write_bytes(b"old")
        self.read_only.chmod(0o444)


@pytest.fixture
def paths(tree, tmp_path):
    return Paths(tree, tmp_path)


E = parcelon
FAILURES = [  # id, call, exception, built-in kind, code, the path it names, the library's line
    ("wrong-password", lambda p: E.unzip(p.encrypted, p.out, password="wrong"),
     E.PasswordError, None, ErrorCode.WRONG_PASSWORD, None, OPEN_ENTRY),
    ("no-password", lambda p: E.unzip(p.encrypted, p.out),
     E.PasswordError, None, ErrorCode.PASSWORD_REQUIRED, None, OPEN_ENTRY),
    ("climbing-name", lambda p: E.unzip(p.climbing, p.out),
     E.BadArchiveError, None, ErrorCode.ENTRY_NAME_UNSAFE, None, CREATE_OUTPUT),
    ("damaged", lambda p: E.unzip(p.damaged, p.out),
     E.BadArchiveError, None, ErrorCode.DATA_CORRUPT, None, "解压错误：读取文件数据失败"),
    ("not-a-zip", lambda p: E.unzip(p.not_zip, p.out),
     E.BadArchiveError, None, ErrorCode.CANNOT_OPEN_ARCHIVE, "not_zip", OPEN_ARCHIVE),
    ("archive-missing", lambda p: E.unzip(p.absent, p.out),
     E.NotFoundError, FileNotFoundError, ErrorCode.CANNOT_OPEN_ARCHIVE, "absent", OPEN_ARCHIVE),
    ("archive-is-a-folder", lambda p: E.unzip(p.out, p.tmp / "dest"),
     E.IsAFolderError, IsADirectoryError, ErrorCode.CANNOT_OPEN_ARCHIVE, "out", OPEN_ARCHIVE),
    ("dest-is-a-file", lambda p: E.unzip(p.encrypted, p.file, password="right"),
     E.NotAFolderError, NotADirectoryError, ErrorCode.DESTINATION_MISSING, "file", CREATE_OUTPUT),
    ("dest-below-a-file", lambda p: E.unzip(p.encrypted, p.file / "sub", password="right"),
     E.NotAFolderError, NotADirectoryError, ErrorCode.CANNOT_CREATE_FOLDER, "file/sub", ""),
    ("archive-folder-missing", lambda p: E.zip_files([p.tree / "a.txt"], p.tmp / "no" / "x.zip"),
     E.NotFoundError, FileNotFoundError, ErrorCode.CANNOT_CREATE_ARCHIVE, "no/x.zip", CREATE_ZIP),
    ("archive-folder-is-a-file", lambda p: E.zip_files([p.tree / "a.txt"], p.file / "x.zip"),
     E.NotAFolderError, NotADirectoryError, ErrorCode.CANNOT_CREATE_ARCHIVE, "file/x.zip", CREATE_ZIP),
    ("read-only-archive-list", lambda p: E.zip_files([p.tree / "a.txt"], p.read_only),
     E.PermissionDeniedError, PermissionError, ErrorCode.CANNOT_CREATE_ARCHIVE, "read_only", CREATE_ZIP),
    ("read-only-archive-folder", lambda p: E.zip_directory(p.tree, p.read_only),
     E.PermissionDeniedError, PermissionError, ErrorCode.CANNOT_REMOVE_OLD_ARCHIVE, "read_only", ""),
    ("archive-is-a-folder-pack", lambda p: E.zip_directory(p.tree, p.tree / "sub"),
     E.IsAFolderError, IsADirectoryError, ErrorCode.CANNOT_REMOVE_OLD_ARCHIVE, "tree/sub", ""),
    ("listed-file-missing", lambda p: E.zip_files([p.tree / "a.txt", p.tmp / "gone.txt"], p.tmp / "new.zip"),
     E.NotFoundError, FileNotFoundError, ErrorCode.SOURCE_MISSING, "gone.txt", ""),
    ("folder-to-pack-missing", lambda p: E.zip_directory(p.tmp / "gone", p.tmp / "new.zip"),
     E.NotFoundError, FileNotFoundError, ErrorCode.SOURCE_MISSING, "gone", ""),
    ("folder-to-pack-is-a-file", lambda p: E.zip_directory(p.file, p.tmp / "new.zip"),
     E.NotAFolderError, NotADirectoryError, ErrorCode.SOURCE_MISSING, "file", ""),
    ("level", lambda p: E.zip_files([p.tree / "a.txt"], p.tmp / "new.zip", level=10),
     E.InvalidArgumentError, ValueError, ErrorCode.INVALID_ARGUMENT, None, ""),
    ("nul-in-path", lambda p: E.unzip(str(p.encrypted) + "\0", p.out),
     E.InvalidArgumentError, ValueError, ErrorCode.INVALID_ARGUMENT, None, ""),
]


def named(paths, name):
    """The path a case names: an attribute of Paths, or a path below tmp."""
    first, _, rest = name.partition("/")
    base = getattr(paths, first, None)
    if base is None:
        return paths.tmp / name
    return base / rest if rest else base


@pytest.mark.parametrize("call,kind,builtin,code,path,line", [f[1:] for f in FAILURES], ids=[f[0] for f in FAILURES])
def test_each_failure_raises_its_kind(paths, call, kind, builtin, code, path, line):
    before = sorted(paths.tmp.rglob("*"))
    with pytest.raises(kind) as raised:
        call(paths)
    error = raised.value
    assert type(error) is kind and isinstance(error, parcelon.Error)
    if builtin is not None:
        assert isinstance(error, builtin)
    assert error.code is code
    assert error.message.startswith(line) if line else error.message == ""
    # The text is English, never the library's Chinese line; it names the path.
    assert str(error).isascii() and str(error)
    if path is not None:
        assert error.filename == str(named(paths, path))
        assert str(error).endswith(": %r" % (error.filename,))
    if error.message:
        assert str(error) == code.description + (": %r" % (error.filename,) if path else "")
    if isinstance(error, OSError):
        assert error.errno and error.strerror == error.text
    copy = pickle.loads(pickle.dumps(error))
    assert (type(copy), copy.code, copy.message, copy.filename, str(copy), copy.failures) == (
        kind, error.code, error.message, error.filename, str(error), error.failures)
    # Nothing new is left behind: no archive, no destination folder.
    assert sorted(paths.tmp.rglob("*")) == before
    assert not (paths.tmp / "evil.txt").exists()


@pytest.mark.skipif(os.geteuid() == 0, reason="root writes into a read-only folder")
def test_a_folder_that_refuses_files_is_a_permission_error(paths):
    locked = paths.tmp / "locked"
    locked.mkdir()
    locked.chmod(0o555)
    try:
        with pytest.raises(parcelon.PermissionDeniedError) as raised:
            parcelon.zip_files([paths.tree / "a.txt"], locked / "x.zip")
        assert raised.value.code is ErrorCode.CANNOT_CREATE_ARCHIVE
        with pytest.raises(PermissionError):
            parcelon.unzip(paths.encrypted, locked, password="right")
        with pytest.raises(PermissionError):
            parcelon.unzip(paths.encrypted, locked / "new", password="right")
    finally:
        locked.chmod(0o755)


def test_codes_are_the_headers_and_their_texts_the_librarys():
    header = (REPOSITORY / "include" / "ParcelonC.h").read_text()
    defined = {name: int(number) for name, number in re.findall(r"#define PARCELON_E_(\w+) (\d+)", header)}
    defined["OK"] = 0
    assert {code.name: code.value for code in ErrorCode} == defined
    texts = {code: code.description for code in ErrorCode}
    assert "unknown error" not in texts.values() and all(t.isascii() for t in texts.values())
    assert len(set(texts.values())) == len(texts)
    # A code newer than the package stays a number, and its error the base kind.
    error = parcelon.Error(99, "newer")
    assert error.code == 99 and not isinstance(error.code, ErrorCode) and str(error) == "newer"


def test_files_left_out_warn_and_the_archive_holds_the_rest(tree, tmp_path):
    archive = tmp_path / "partial.zip"
    with pytest.warns(parcelon.FilesLeftOut) as caught:
        parcelon.zip_files([tree / "a.txt", tree / "sub"], archive)
    warning = caught[0].message
    assert warning.code is ErrorCode.CANNOT_OPEN_SOURCE
    assert warning.message == "文件打开错误：正在添加：" + str(tree / "sub")
    assert str(warning).isascii() and warning.code.description in str(warning)
    assert caught[0].filename == __file__  # points at the host's call
    with zipfile.ZipFile(archive) as z:
        assert z.read("a.txt") == (tree / "a.txt").read_bytes()


def test_unzip_makes_a_missing_destination_and_takes_it_away_when_nothing_was_extracted(tree, tmp_path):
    archive = tmp_path / "tree.zip"
    parcelon.zip_directory(tree, archive)
    parcelon.unzip(archive, tmp_path / "new" / "deep" / "dest")
    assert (tmp_path / "new/deep/dest/sub/c.txt").read_bytes() == (tree / "sub/c.txt").read_bytes()

    # Failing before anything was extracted: every folder made goes again.
    with pytest.raises(parcelon.BadArchiveError):
        parcelon.unzip(pathlib.Path(__file__), tmp_path / "made" / "for" / "nothing")
    assert not (tmp_path / "made").exists()
    assert (tmp_path / "new").is_dir()

    # Failing after an entry was written: the folders keep it.
    damaged = tmp_path / "half.zip"
    with zipfile.ZipFile(damaged, "w", zipfile.ZIP_STORED) as z:
        z.writestr("good.txt", b"good")
        z.writestr("bad.txt", b"0123456789")
    damaged.write_bytes(damaged.read_bytes().replace(b"0123456789", b"0123456780"))
    with pytest.raises(parcelon.BadArchiveError):
        parcelon.unzip(damaged, tmp_path / "kept" / "dest")
    assert (tmp_path / "kept/dest/good.txt").read_bytes() == b"good"

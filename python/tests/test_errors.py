"""Failures as parcelon.Error with the library's code and line, and files
left out of a written archive as a FilesLeftOut warning."""

import zipfile

import pytest

import parcelon
from parcelon import ErrorCode

OPEN_ENTRY = "解压错误：无法在ZIP中打开当前文件"
CREATE_OUTPUT = "解压错误：无法创建输出文件"
OPEN_ARCHIVE = "解压错误：打开zip文件失败"


@pytest.fixture
def archives(tree, tmp_path):
    """An encrypted archive, a crafted one with a climbing name, one with a
    damaged entry, a file that is no archive; and an existing folder."""
    made = {"encrypted": tmp_path / "enc.zip", "climbing": tmp_path / "climb.zip",
            "damaged": tmp_path / "damaged.zip", "not-zip": tmp_path / "notzip.zip"}
    parcelon.zip_directory(tree, made["encrypted"], password="right")
    with zipfile.ZipFile(made["climbing"], "w") as z:
        z.writestr("../evil.txt", b"outside")
    with zipfile.ZipFile(made["damaged"], "w", zipfile.ZIP_STORED) as z:
        z.writestr("data.txt", b"0123456789" * 10)
    raw = made["damaged"].read_bytes()
    made["damaged"].write_bytes(raw.replace(b"0123456789", b"0123456780", 1))
    made["not-zip"].write_bytes(b"this is no archive" * 10)
    (tmp_path / "out").mkdir()
    return made


UNZIP_FAILURES = [  # archive, destination, password, code, line
    ("encrypted", "out", "wrong", ErrorCode.WRONG_PASSWORD, OPEN_ENTRY),
    ("encrypted", "out", None, ErrorCode.PASSWORD_REQUIRED, OPEN_ENTRY),
    ("encrypted", "missing/dest", "right", ErrorCode.DESTINATION_MISSING, CREATE_OUTPUT),
    ("climbing", "out", None, ErrorCode.ENTRY_NAME_UNSAFE, CREATE_OUTPUT),
    ("damaged", "out", None, ErrorCode.DATA_CORRUPT, "解压错误：读取文件数据失败"),
    ("not-zip", "out", None, ErrorCode.CANNOT_OPEN_ARCHIVE, OPEN_ARCHIVE),
    ("absent", "out", None, ErrorCode.CANNOT_OPEN_ARCHIVE, OPEN_ARCHIVE),
]


@pytest.mark.parametrize("name,dest,password,code,line", UNZIP_FAILURES, ids=[str(f[3].name) + "-" + f[0]
                                                                               for f in UNZIP_FAILURES])
def test_extraction_failures(archives, tmp_path, name, dest, password, code, line):
    with pytest.raises(parcelon.Error) as raised:
        parcelon.unzip(archives.get(name, tmp_path / "absent.zip"), tmp_path / dest, password=password)
    assert raised.value.code is code
    assert raised.value.message == line
    assert str(raised.value) == code.description + ": " + line
    assert not (tmp_path / "evil.txt").exists()


def test_packing_failures(tree, tmp_path):
    missing = tmp_path / "no" / "such" / "folder.zip"
    with pytest.raises(parcelon.Error) as raised:
        parcelon.zip_files([tree / "a.txt"], missing)
    assert raised.value.code is ErrorCode.CANNOT_CREATE_ARCHIVE
    assert raised.value.message == "压缩错误：创建zip文件： " + str(missing)
    assert "folder missing" in str(raised.value)

    # A folder where the archive should go stays, and the library says nothing.
    with pytest.raises(parcelon.Error) as raised:
        parcelon.zip_directory(tree, tree / "sub")
    assert raised.value.code is ErrorCode.CANNOT_REMOVE_OLD_ARCHIVE
    assert raised.value.message == ""


def test_files_left_out_warn_and_the_archive_holds_the_rest(tree, tmp_path):
    archive = tmp_path / "partial.zip"
    with pytest.warns(parcelon.FilesLeftOut) as caught:
        parcelon.zip_files([tree / "a.txt", tree / "sub"], archive)
    warning = caught[0].message
    assert warning.code is ErrorCode.CANNOT_OPEN_SOURCE
    assert warning.message == "文件打开错误：正在添加：" + str(tree / "sub")
    assert caught[0].filename == __file__  # points at the host's call
    with zipfile.ZipFile(archive) as z:
        assert z.read("a.txt") == (tree / "a.txt").read_bytes()

"""Archives the package writes, read back by the package and by Python's
zipfile, with every kind of path and password it accepts."""

import os
import pathlib
import time
import zipfile

import pytest

import parcelon
from conftest import compressible, files_below


def zipfile_contents(archive, password=None):
    """{entry name with '/': bytes} of the files, as Python's zipfile reads them."""
    with zipfile.ZipFile(archive) as z:
        if password is not None:
            z.setpassword(password)
        return {i.filename.replace("\\", "/"): z.read(i) for i in z.infolist() if not i.filename.endswith("\\")}


PASSWORDS = [  # (as given to the package, the bytes zipfile needs)
    (None, None),
    ("s3cret", b"s3cret"),
    (b"\x01raw\xffbytes", b"\x01raw\xffbytes"),
]


@pytest.mark.parametrize("password,raw", PASSWORDS, ids=["plain", "str", "bytes"])
@pytest.mark.parametrize("kind", [str, pathlib.Path, os.fsencode], ids=["str", "Path", "bytes"])
def test_directory_round_trip(tree, tmp_path, password, raw, kind):
    archive = tmp_path / "tree.zip"
    parcelon.zip_directory(kind(tree), kind(archive), password=password)
    expected = files_below(tree)
    assert zipfile_contents(archive, raw) == expected
    with zipfile.ZipFile(archive) as z:
        assert "sub\\" in z.namelist()
        assert all(bool(i.flag_bits & 1) == (password is not None) for i in z.infolist() if i.file_size)
    out = tmp_path / "out"
    out.mkdir()
    parcelon.unzip(kind(archive), kind(out), password=password)
    assert files_below(out) == expected


@pytest.mark.parametrize("password,raw", PASSWORDS, ids=["plain", "str", "bytes"])
def test_file_list_round_trip_keeps_order_and_names(tree, tmp_path, password, raw):
    archive = tmp_path / "list.zip"
    files = [tree / "sub" / "c.txt", str(tree / "a.txt")]
    parcelon.zip_files(files, archive, level=9, password=password)
    with zipfile.ZipFile(archive) as z:
        assert z.namelist() == ["c.txt", "a.txt"]
    assert zipfile_contents(archive, raw) == {"c.txt": (tree / "sub" / "c.txt").read_bytes(),
                                              "a.txt": (tree / "a.txt").read_bytes()}


def test_options_reach_the_library(tree, tmp_path):
    """level, recursive, include, exclude and minutes each change what is packed."""
    def names(**options):
        archive = tmp_path / "options.zip"
        parcelon.zip_directory(tree, archive, **options)
        with zipfile.ZipFile(archive) as z:
            return sorted(z.namelist())

    assert names(recursive=False) == ["a.txt", "b.log"]
    assert names(include=["*.txt"]) == ["a.txt", "sub\\", "sub\\c.txt"]
    assert names(exclude=["sub", ".log"]) == ["a.txt"]
    day_ago = time.time() - 86400
    os.utime(tree / "b.log", (day_ago, day_ago))
    assert names(minutes=60) == ["a.txt", "sub\\", "sub\\c.txt"]

    big = tmp_path / "big.txt"
    big.write_bytes(compressible(400000, 1))
    sizes = {}
    for level in (0, 1, 6, None):
        parcelon.zip_files([big], tmp_path / "level.zip", level=level)
        sizes[level] = (tmp_path / "level.zip").stat().st_size
    assert sizes[0] > 400000 > sizes[1] > sizes[6] == sizes[None]


@pytest.mark.parametrize("call", [
    lambda t, z: parcelon.zip_files(str(t / "a.txt"), z),
    lambda t, z: parcelon.zip_directory(t, z, include="*.txt"),
    lambda t, z: parcelon.zip_files([t / "a.txt"], z, password=12),
    lambda t, z: parcelon.zip_files([42], z),
    lambda t, z: parcelon.zip_directory(t, z, progress="print"),
], ids=["single-path-as-list", "single-pattern-as-list", "password-type", "path-type", "progress-type"])
def test_wrong_argument_types_are_refused_before_the_library(tree, tmp_path, call):
    with pytest.raises(TypeError):
        call(tree, tmp_path / "never.zip")
    assert not (tmp_path / "never.zip").exists()


@pytest.mark.parametrize("call", [
    lambda t, z: parcelon.zip_files([t / "a.txt"], z, level=10),
    lambda t, z: parcelon.zip_directory(t, z, minutes=-1),
    lambda t, z: parcelon.zip_files([str(t / "a.txt") + "\0x"], z),
    lambda t, z: parcelon.zip_files([t / "a.txt"], z, password="a\0b"),
    lambda t, z: parcelon.zip_files([t / "a.txt"], z, password="pw", encryption="aes"),
    lambda t, z: parcelon.zip_directory(t, z, password="pw", encryption=1),
    lambda t, z: parcelon.zip_directory(t, z, encryption="aes256"),
    lambda t, z: parcelon.zip_files([t / "a.txt"], z, password=" \t", encryption="aes256"),
    lambda t, z: parcelon.zip_directory(t, z, style="modern"),
    lambda t, z: parcelon.zip_files([t / "a.txt"], z, style=None),
], ids=["level", "minutes", "nul-in-path", "nul-in-password", "encryption", "encryption-type", "aes-no-password",
        "aes-blank-password", "style", "style-type"])
def test_wrong_argument_values_are_refused_before_the_library(tree, tmp_path, call):
    with pytest.raises(ValueError):
        call(tree, tmp_path / "never.zip")
    assert not (tmp_path / "never.zip").exists()

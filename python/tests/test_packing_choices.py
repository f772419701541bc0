"""The packing calls' encryption and style keywords: portable archives that
zipfile reads as a tree with '/' names, folder entries and the files'
times; AES-256 entries as WinZip writes them, which the package reads
where the library reads AES; both set afresh on every call of an
archiver."""

import os
import time
import zipfile

import pytest

import parcelon
from conftest import files_below

MOMENT = 1614834367  # 2021-03-04 05:06:07 UTC: odd seconds, which DOS times cannot hold
AES_FIELD = b"\x01\x99\x07\x00\x02\x00AE\x03\x08\x00"  # 0x9901: AE-2, AES-256, Deflate


def test_a_portable_archive_is_the_tree_with_its_times(tree, tmp_path):
    os.utime(tree / "a.txt", (MOMENT, MOMENT))
    (tree / "empty").mkdir()
    archive = tmp_path / "portable.zip"
    parcelon.zip_directory(tree, archive, style="portable")
    with zipfile.ZipFile(archive) as z:
        names = z.namelist()
        assert sorted(names) == ["a.txt", "b.log", "empty/", "sub/", "sub/c.txt"]
        assert names.index("sub/") < names.index("sub/c.txt")
        assert z.getinfo("empty/").is_dir()
        local = time.localtime(MOMENT)
        assert z.getinfo("a.txt").date_time == tuple(local[:5]) + (local[5] // 2 * 2,)
        z.extractall(tmp_path / "zipfile")
    assert files_below(tmp_path / "zipfile") == files_below(tree)
    assert (tmp_path / "zipfile" / "empty").is_dir()
    # The package restores the exact second, from the extended timestamp.
    parcelon.unzip(archive, tmp_path / "parcelon")
    assert files_below(tmp_path / "parcelon") == files_below(tree)
    assert os.stat(tmp_path / "parcelon" / "a.txt").st_mtime == MOMENT


def test_a_portable_list_names_each_folder_once_before_its_files(tree, tmp_path):
    archive = tmp_path / "list.zip"
    with parcelon.Archiver() as archiver:
        archiver.zip_directory(tree, tmp_path / "base.zip")  # sets the base folder
        archiver.zip_files([tree / "sub" / "c.txt", tree / "a.txt", tree / "sub" / "c.txt"], archive,
                           style="portable")
    with zipfile.ZipFile(archive) as z:
        assert z.namelist() == ["sub/", "sub/c.txt", "a.txt", "sub/c.txt"]


@pytest.mark.parametrize("style", ["classic", "portable"])
def test_aes256_entries_are_winzip_ae2(tree, tmp_path, style):
    """(7-Zip opening them is the native suite's to test.)"""
    archive = tmp_path / "aes.zip"
    parcelon.zip_directory(tree, archive, password="s3cret", encryption="aes256", style=style)
    with zipfile.ZipFile(archive) as z:
        for info in z.infolist():
            if info.filename.endswith(("/", "\\")):
                assert not info.flag_bits & 1, "folder entries stay in plain"
                continue
            assert (info.compress_type, info.flag_bits & 1, info.CRC) == (99, 1, 0), info.filename
            assert AES_FIELD in info.extra, info.filename


def test_the_package_reads_its_own_aes256_entries(tree, tmp_path):
    archive = tmp_path / "aes.zip"
    parcelon.zip_directory(tree, archive, password="s3cret", encryption="aes256", style="portable")
    with parcelon.ZipReader(archive, password="s3cret") as reader:
        failures = reader.test()
    unread = (parcelon.ErrorCode.UNSUPPORTED_METHOD, parcelon.ErrorCode.UNSUPPORTED_ENCRYPTION)
    if failures and all(failure.code in unread for failure in failures):
        pytest.skip("the library this package loaded does not read WinZip AES")
    assert failures == []
    parcelon.unzip(archive, tmp_path / "out", password="s3cret")
    assert files_below(tmp_path / "out") == files_below(tree)


def test_an_archiver_sets_both_on_every_call(tree, tmp_path):
    with parcelon.Archiver(threads=0) as archiver:
        archiver.zip_directory(tree, tmp_path / "chosen.zip", password="pw", encryption="aes256", style="portable")
        archiver.zip_directory(tree, tmp_path / "again.zip")
    parcelon.zip_directory(tree, tmp_path / "default.zip")
    assert (tmp_path / "again.zip").read_bytes() == (tmp_path / "default.zip").read_bytes()
    with zipfile.ZipFile(tmp_path / "again.zip") as z:
        assert "sub\\c.txt" in z.namelist()

"""ZipReader.entries() and test() on archives the library, Python's zipfile,
Info-ZIP zip and 7-Zip write (names in Chinese and Japanese, encrypted
entries, streamed entries with data descriptors, ZIP64 records), each field
compared with what zipfile reads from the same central directory; and
test() on sound, damaged and encrypted archives."""

import datetime
import io
import os
import struct
import subprocess
import time
import zipfile

import pytest

import parcelon
from conftest import compressible
from parcelon import ErrorCode

# Names every locale the suite runs under (UTF-8 and GBK) can spell.
TREE = {
    "a.txt": compressible(20000, 1),
    "中文.txt": "中文内容".encode("utf-8") * 50,
    "sub/café.bin": bytes(range(256)) * 40,
    "sub/空.txt": b"",
    "sub/deeper/日本語.txt": b"nihongo\n" * 30,
}
FOLDERS = ["sub", "sub/deeper"]
BASE_TIME = 1_600_000_001  # an odd second: DOS times keep even ones


@pytest.fixture(scope="module")
def tree(tmp_path_factory):
    root = tmp_path_factory.mktemp("reading") / "tree"
    for i, (name, data) in enumerate(sorted(TREE.items())):
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        os.utime(path, (BASE_TIME + 1000 * i, BASE_TIME + 1000 * i))
    for folder in FOLDERS:
        os.utime(root / folder, (BASE_TIME, BASE_TIME))
    return root


def run(command, cwd):
    done = subprocess.run(command, cwd=cwd, capture_output=True)
    assert done.returncode == 0, done.stderr.decode(errors="replace")


def by_zipfile(root, archive):
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        z.comment = "an archive comment, 中文".encode("utf-8")
        for path in sorted(root.rglob("*")):
            z.write(path, path.relative_to(root).as_posix())


class Unseekable(io.RawIOBase):
    """An output zipfile cannot seek in: it writes data descriptors."""

    def __init__(self, file):
        self.file = file

    def writable(self):
        return True

    def write(self, data):
        return self.file.write(data)


def by_zipfile_streamed(root, archive):
    """Data descriptors after each entry's data, ZIP64 records for each."""
    with open(archive, "wb") as out, zipfile.ZipFile(Unseekable(out), "w", zipfile.ZIP_DEFLATED) as z:
        for path in sorted(root.rglob("*")):
            info = zipfile.ZipInfo.from_file(path, path.relative_to(root).as_posix())
            if path.is_dir():
                z.writestr(info, b"")
                continue
            info.compress_type = zipfile.ZIP_DEFLATED
            with z.open(info, "w", force_zip64=True) as f:
                f.write(path.read_bytes())


WRITERS = {  # id: (write(root, archive), password)
    "parcelon": (lambda root, archive: parcelon.zip_directory(root, archive), None),
    "parcelon-password": (lambda root, archive: parcelon.zip_directory(root, archive, password="pw"), "pw"),
    "zipfile": (by_zipfile, None),
    "zipfile-streamed-zip64": (by_zipfile_streamed, None),
    "info-zip": (lambda root, archive: run(["zip", "-qr", archive, "."], root), None),
    "info-zip-password": (lambda root, archive: run(["zip", "-qr", "-P", "pw", archive, "."], root), "pw"),
    "7-zip": (lambda root, archive: run(["7z", "a", "-tzip", "-bd", archive, "."], root), None),
    "7-zip-password": (lambda root, archive: run(["7z", "a", "-tzip", "-bd", "-ppw", archive, "."], root), "pw"),
}


@pytest.fixture(scope="module", params=sorted(WRITERS))
def written(request, tree, tmp_path_factory):
    write, password = WRITERS[request.param]
    archive = tmp_path_factory.mktemp(request.param) / "archive.zip"
    write(tree, archive)
    return request.param, archive, password


def expected_name(info):
    """The name as the library should decode it: UTF-8 when flagged, else in
    the code page of the system that wrote it, here this one's."""
    if info.flag_bits & 0x800:
        return info.filename
    return os.fsdecode(info.filename.encode("cp437"))


def recorded_mtime(info):
    """The extended timestamp's modification time when the record has one,
    else the DOS date and time as local time (a date of 0, which names no
    day, as 1 January 1980)."""
    extra = info.extra
    while len(extra) >= 4:
        kind, size = struct.unpack("<HH", extra[:4])
        if kind == 0x5455 and size >= 5 and extra[4] & 1:
            return struct.unpack("<i", extra[5:9])[0]
        extra = extra[4 + size:]
    year, month, day = info.date_time[:3]
    return time.mktime((year, max(month, 1), max(day, 1)) + info.date_time[3:] + (0, 0, -1))


def test_entries_match_the_central_directory_as_zipfile_reads_it(written, tree):
    writer, archive, password = written
    with parcelon.ZipReader(archive, password=password) as reader:
        entries = reader.entries()
    with zipfile.ZipFile(archive) as z:
        infos = z.infolist()
    assert len(entries) == len(infos)
    for entry, info in zip(entries, infos):
        assert isinstance(entry, parcelon.Entry)
        assert entry.name == expected_name(info)
        assert (entry.size, entry.compressed_size, entry.crc, entry.method) == (
            info.file_size, info.compress_size, info.CRC, info.compress_type)
        assert entry.encrypted == bool(info.flag_bits & 1)
        assert entry.is_dir == info.filename.endswith(("/", "\\"))
        assert entry.mtime.tzinfo is datetime.timezone.utc
        assert entry.mtime.timestamp() == recorded_mtime(info)

    # Every file and folder of the tree, by its name in this locale.
    separator = "\\" if writer.startswith("parcelon") else "/"
    names = {entry.name.replace(separator, "/").rstrip("/") for entry in entries}
    assert names == set(TREE) | set(FOLDERS)
    files = [entry for entry in entries if not entry.is_dir]
    assert all(entry.encrypted == (password is not None) for entry in files)
    sizes = {entry.name.replace(separator, "/"): entry.size for entry in files}
    assert sizes == {name: len(data) for name, data in TREE.items()}
    if not writer.startswith("parcelon"):  # the library writes the times of 1980
        for entry in files:
            real = (tree / entry.name).stat().st_mtime
            assert abs(entry.mtime.timestamp() - real) <= 2, entry.name


def test_a_sound_archive_tests_clean_and_a_wrong_password_fails_every_file(written):
    writer, archive, password = written
    progress = []
    with parcelon.ZipReader(archive, password=password) as reader:
        assert reader.test(progress=progress.append) == []
        # Folder entries are flagged too when the library writes them, and never decoded.
        files = [entry.name for entry in reader.entries() if entry.encrypted and not entry.is_dir]
    assert progress[-1] == 100 and progress == sorted(set(progress))
    if password is None:
        return
    with parcelon.ZipReader(archive) as reader:
        failures = reader.test()
    assert [f.name for f in failures] == files
    assert {(f.code, f.kind) for f in failures} == {(ErrorCode.PASSWORD_REQUIRED, parcelon.PasswordError)}
    with parcelon.ZipReader(archive, password="wrong") as reader:
        failures = reader.test()
    assert [f.name for f in failures] == files
    # The check byte lets one wrong password in 256 through; its data then fail.
    assert {f.code for f in failures} <= {ErrorCode.WRONG_PASSWORD, ErrorCode.DATA_CORRUPT}


def test_info_zip_streaming_into_a_pipe(tmp_path):
    """Output that cannot seek: an entry named "-" with a data descriptor
    after its data. (With -fz, Info-ZIP writes into a pipe an archive no
    tool reads, unzip and 7-Zip included.)"""
    archive = tmp_path / "piped.zip"
    data = compressible(300000, 3)
    with open(archive, "wb") as out:
        zipper = subprocess.Popen(["zip", "-q", "-", "-"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        copier = subprocess.Popen(["cat"], stdin=zipper.stdout, stdout=out)
        zipper.stdout.close()
        zipper.communicate(data)
        assert zipper.wait() == 0 and copier.wait() == 0
    with zipfile.ZipFile(archive) as z:
        info, = z.infolist()
        assert info.flag_bits & 0x8
    with parcelon.ZipReader(archive) as reader:
        entry, = reader.entries()
        assert (entry.name, entry.size, entry.compressed_size, entry.crc, entry.method) == (
            "-", len(data), info.compress_size, info.CRC, 8)
        assert reader.test() == []
        reader.extract(tmp_path / "out")
    assert (tmp_path / "out" / "-").read_bytes() == data


def stored_archive(path, names):
    """Stored entries of distinct bytes, so that a byte of each is easy to find."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        for name in names:
            z.writestr(name, (name.encode() + b":") * 200)
    return path


def flip(path, marker, offset=0):
    """Changes one byte: the first one of marker's first occurrence, plus offset."""
    data = bytearray(path.read_bytes())
    where = data.index(marker) + offset
    data[where] ^= 0x01
    path.write_bytes(bytes(data))


def test_a_flipped_byte_fails_its_entry_alone(tree, tmp_path):
    stored = stored_archive(tmp_path / "stored.zip", ["a.txt", "b.txt", "c.txt"])
    flip(stored, b"b.txt:")
    deflated = tmp_path / "deflated.zip"
    parcelon.zip_files([tree / "a.txt", tree / "sub" / "café.bin"], deflated)
    with zipfile.ZipFile(deflated) as z:
        first = z.infolist()[0]
        start = first.header_offset + 30 + len(first.filename.encode()) + len(first.extra)
    data = bytearray(deflated.read_bytes())
    data[start + first.compress_size // 2] ^= 0x10
    deflated.write_bytes(bytes(data))

    for archive, bad in ((stored, "b.txt"), (deflated, "a.txt")):
        with parcelon.ZipReader(archive) as reader:
            failure, = reader.test()
            assert len(reader.entries()) == (3 if archive == stored else 2)
        assert (failure.name, failure.code, failure.kind) == (bad, ErrorCode.DATA_CORRUPT, parcelon.BadArchiveError)
        assert failure.message.endswith(bad) and failure.text == ErrorCode.DATA_CORRUPT.description


def test_an_archive_that_cannot_be_read_raises(tmp_path):
    """A damaged directory raises, from test() as from entries() and extract,
    with the entries that failed before it; so does a missing archive or
    one that is no ZIP archive."""
    archive = stored_archive(tmp_path / "cut.zip", ["a.txt", "b.txt", "c.txt"])
    flip(archive, b"a.txt:")
    data = archive.read_bytes()
    records = [i for i in range(len(data)) if data.startswith(b"PK\x01\x02", i)]
    assert len(records) == 3
    broken = bytearray(data)
    broken[records[2]] ^= 0x01  # the third record's signature
    archive.write_bytes(bytes(broken))

    with parcelon.ZipReader(archive) as reader:
        with pytest.raises(parcelon.BadArchiveError) as raised:
            reader.test()
        assert raised.value.code is ErrorCode.CANNOT_READ_ENTRY_INFO
        assert [(f.name, f.code) for f in raised.value.failures] == [("a.txt", ErrorCode.DATA_CORRUPT)]
        with pytest.raises(parcelon.BadArchiveError) as raised:
            reader.entries()
        assert raised.value.code is ErrorCode.CANNOT_READ_ENTRY_INFO and raised.value.failures == []

    for path, kind in ((tmp_path / "absent.zip", parcelon.NotFoundError),
                       (tmp_path, parcelon.IsAFolderError),
                       (pytest.__file__, parcelon.BadArchiveError)):
        with parcelon.ZipReader(path) as reader:
            for call in (reader.entries, reader.test, lambda: reader.extract(tmp_path / "out")):
                with pytest.raises(kind) as raised:
                    call()
                assert raised.value.code is ErrorCode.CANNOT_OPEN_ARCHIVE
                assert raised.value.filename == os.fspath(path)
    assert not (tmp_path / "out").exists()


def test_a_name_byte_that_decodes_in_no_way_is_kept_as_python_keeps_it(tmp_path):
    """A stored name with a byte neither UTF-8 nor the locale's set takes:
    entries() spells it as os.fsdecode spells the file extraction writes,
    so the name serves as a member and as a path."""
    archive = tmp_path / "stray.zip"
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr("cafX.txt", b"stray")
        z.writestr("plain.txt", b"plain")
    archive.write_bytes(archive.read_bytes().replace(b"cafX.txt", b"caf\xe9.txt"))
    with parcelon.ZipReader(archive) as reader:
        stray = reader.entries()[0]
        assert stray.name == os.fsdecode(b"caf\xe9.txt") == "caf\udce9.txt"
        reader.extract(tmp_path / "out", [stray.name])
    assert os.listdir(os.fsencode(tmp_path / "out")) == [b"caf\xe9.txt"]
    assert (tmp_path / "out" / stray.name).read_bytes() == b"stray"

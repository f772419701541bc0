"""Extraction's keywords, each through ZipReader.extract and parcelon.unzip:
members, overwrite, keep_going, limits on a bomb, restore_times, and the
values they refuse."""

import time
import zipfile

import pytest

import parcelon
from conftest import files_below, leftovers
from parcelon import ErrorCode


def through_reader(archive, dest, password=None, **keywords):
    with parcelon.ZipReader(archive, password=password) as reader:
        return reader.extract(dest, **keywords)


def through_unzip(archive, dest, password=None, **keywords):
    return parcelon.unzip(archive, dest, password, **keywords)


@pytest.fixture(params=[through_reader, through_unzip], ids=["ZipReader", "unzip"])
def extract(request):
    return request.param


CONTENTS = {
    "a.txt": b"alpha",
    "b.log": b"bravo",
    "sub/c.txt": b"charlie",
    "sub/deep/d.txt": b"delta",
    "Sub2/e.TXT": b"echo",
}


@pytest.fixture
def archive(tmp_path):
    path = tmp_path / "five.zip"
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in CONTENTS.items():
            z.writestr(name, data)
    return path


MEMBERS = [  # patterns, the files extracted
    ([], sorted(CONTENTS)),
    (["*.txt"], ["a.txt", "sub/c.txt", "sub/deep/d.txt"]),  # '*' crosses folders; case counts
    (["sub/*"], ["sub/c.txt", "sub/deep/d.txt"]),
    (["sub\\*"], ["sub/c.txt", "sub/deep/d.txt"]),  # either separator
    (["?.txt"], ["a.txt"]),
    (["*.TXT", "b.log"], ["Sub2/e.TXT", "b.log"]),
    ([b"sub/deep/*"], ["sub/deep/d.txt"]),
    (("nothing*",), []),
]


@pytest.mark.parametrize("members,extracted", MEMBERS, ids=[repr(m[0]) for m in MEMBERS])
def test_members_are_patterns(extract, archive, tmp_path, members, extracted):
    assert extract(archive, tmp_path / "out", members=members) == []
    assert sorted(files_below(tmp_path / "out")) == sorted(extracted)


OVERWRITE = [  # overwrite, keep_going, what a.txt holds after, skipped, the exception's failures, others extracted
    ("replace", False, b"alpha", [], None, True),
    ("skip", False, b"old", ["a.txt"], None, True),
    ("error", False, b"old", [], ["a.txt"], False),
    ("error", True, b"old", [], ["a.txt"], True),
]


@pytest.mark.parametrize("overwrite,keep_going,content,skipped,failed,others", OVERWRITE,
                         ids=["replace", "skip", "error", "error-keep-going"])
def test_each_overwrite_mode(extract, archive, tmp_path, overwrite, keep_going, content, skipped, failed, others):
    out = tmp_path / "out"
    out.mkdir()
    (out / "a.txt").write_bytes(b"old")
    if failed is None:
        assert extract(archive, out, overwrite=overwrite, keep_going=keep_going) == skipped
    else:
        with pytest.raises(parcelon.ExistsError) as raised:
            extract(archive, out, overwrite=overwrite, keep_going=keep_going)
        error = raised.value
        assert isinstance(error, FileExistsError) and error.code is ErrorCode.EXISTS
        assert [(f.name, f.code, f.kind) for f in error.failures] == [
            (name, ErrorCode.EXISTS, parcelon.ExistsError) for name in failed]
    assert (out / "a.txt").read_bytes() == content
    assert (out / "sub/deep/d.txt").exists() == others
    assert leftovers(out) == []


@pytest.fixture
def damaged_middle(tmp_path):
    """Three stored entries, the middle one's data changed after packing."""
    path = tmp_path / "middle.zip"
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        for name in ("first.txt", "middle.txt", "last.txt"):
            z.writestr(name, name.encode() * 100)
    path.write_bytes(path.read_bytes().replace(b"middle.txtmiddle.txt", b"middle.txtmiddle.txX", 1))
    return path


@pytest.mark.parametrize("keep_going,extracted", [(False, ["first.txt"]), (True, ["first.txt", "last.txt"])],
                         ids=["first-failure-ends", "keep-going"])
def test_keep_going_past_a_damaged_entry(extract, damaged_middle, tmp_path, keep_going, extracted):
    out = tmp_path / "out"
    with pytest.raises(parcelon.BadArchiveError) as raised:
        extract(damaged_middle, out, keep_going=keep_going)
    error = raised.value
    assert error.code is ErrorCode.DATA_CORRUPT
    failure, = error.failures
    assert (failure.name, failure.code) == ("middle.txt", ErrorCode.DATA_CORRUPT)
    assert error.message == failure.message and failure.message.endswith("middle.txt")
    assert sorted(files_below(out)) == sorted(extracted)
    assert leftovers(out) == []


def test_keep_going_raises_the_last_failure_with_every_one(extract, tmp_path):
    """Two damaged entries of different kinds: the exception is the last
    one's (the library's code), its failures both."""
    path = tmp_path / "two.zip"
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        z.writestr("bad.txt", b"0123456789" * 10)
        z.writestr("good.txt", b"good")
        z.writestr("../climbing.txt", b"outside")
    path.write_bytes(path.read_bytes().replace(b"0123456789", b"0123456780", 1))
    with pytest.raises(parcelon.BadArchiveError) as raised:
        extract(path, tmp_path / "out", keep_going=True)
    assert raised.value.code is ErrorCode.ENTRY_NAME_UNSAFE
    assert [(f.name, f.code) for f in raised.value.failures] == [
        ("bad.txt", ErrorCode.DATA_CORRUPT), ("../climbing.txt", ErrorCode.ENTRY_NAME_UNSAFE)]
    assert "(2 entries failed)" in str(raised.value)
    assert files_below(tmp_path / "out") == {"good.txt": b"good"}
    assert not (tmp_path / "climbing.txt").exists()


BOMB_SIZE = 16 << 20


@pytest.fixture(scope="module")
def bomb(tmp_path_factory):
    """readme.txt, then 16 MiB of zeros deflated to a few KiB, then after.txt."""
    path = tmp_path_factory.mktemp("bomb") / "bomb.zip"
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        z.writestr("readme.txt", b"readme")
        with z.open("bomb.bin", "w") as f:
            for _ in range(BOMB_SIZE >> 20):
                f.write(bytes(1 << 20))
        z.writestr("after.txt", b"after")
        assert z.getinfo("bomb.bin").compress_size * 500 < BOMB_SIZE
    return path


LIMITS = [  # limits, keep_going, the entries refused, the files extracted
    (parcelon.Limits(total_bytes=1 << 20), True, ["bomb.bin"], ["readme.txt", "after.txt"]),
    (parcelon.Limits(ratio=100), True, ["bomb.bin"], ["readme.txt", "after.txt"]),
    (parcelon.Limits(ratio=100), False, ["bomb.bin"], ["readme.txt"]),  # the first refusal ends the call
    (parcelon.Limits(entries=2), True, ["after.txt"], ["readme.txt", "bomb.bin"]),
    (parcelon.Limits(total_bytes=BOMB_SIZE + 11, ratio=10000, entries=3), False, [],
     ["readme.txt", "bomb.bin", "after.txt"]),
    # readme's 6 bytes and the bomb's use it up
    (parcelon.Limits(total_bytes=BOMB_SIZE + 10), True, ["after.txt"], ["readme.txt", "bomb.bin"]),
]


@pytest.mark.parametrize("limits,keep_going,refused,extracted", LIMITS,
                         ids=["total-bytes", "ratio", "ratio-ends", "entries", "all-within", "exact"])
def test_each_limit_on_a_bomb(extract, bomb, tmp_path, limits, keep_going, refused, extracted):
    out = tmp_path / "out"
    if not refused:
        assert extract(bomb, out, limits=limits, keep_going=keep_going) == []
    else:
        with pytest.raises(parcelon.LimitError) as raised:
            extract(bomb, out, limits=limits, keep_going=keep_going)
        assert raised.value.code is ErrorCode.LIMIT
        assert [(f.name, f.code, f.kind) for f in raised.value.failures] == [
            (name, ErrorCode.LIMIT, parcelon.LimitError) for name in refused]
    assert sorted(files_below(out)) == sorted(extracted)
    if "bomb.bin" in extracted:
        assert (out / "bomb.bin").stat().st_size == BOMB_SIZE
    assert leftovers(out) == []


@pytest.mark.parametrize("restore_times", [True, False, None], ids=["restore", "keep-time-of-writing", "default"])
def test_restore_times(extract, tmp_path, restore_times):
    path = tmp_path / "times.zip"
    with zipfile.ZipFile(path, "w") as z:
        z.writestr(zipfile.ZipInfo("old.txt", date_time=(2001, 2, 3, 4, 5, 6)), b"old")
    started = time.time()
    extract(path, tmp_path / "out", **({} if restore_times is None else {"restore_times": restore_times}))
    written = (tmp_path / "out" / "old.txt").stat().st_mtime
    if restore_times is not False:
        assert written == time.mktime((2001, 2, 3, 4, 5, 6, 0, 0, -1))
    else:
        assert written >= started - 2


WRONG = [  # keywords, the exception
    ({"overwrite": "never"}, ValueError),
    ({"overwrite": None}, ValueError),
    ({"limits": {"ratio": 100}}, TypeError),
    ({"members": "*.txt"}, TypeError),
    ({"members": [3]}, TypeError),
    ({"members": ["a\0b"]}, ValueError),
    ({"progress": "print"}, TypeError),
]


@pytest.mark.parametrize("keywords,kind", WRONG, ids=[str(w[0]) for w in WRONG])
def test_wrong_keywords_are_refused_before_the_library(extract, archive, tmp_path, keywords, kind):
    with pytest.raises(kind):
        extract(archive, tmp_path / "out", **keywords)
    assert not (tmp_path / "out").exists()


@pytest.mark.parametrize("field,value,kind", [
    ("ratio", 0, ValueError), ("entries", -1, ValueError), ("total_bytes", 2 ** 63, ValueError),
    ("ratio", 1.5, TypeError), ("entries", True, TypeError)])
def test_limits_refuse_what_is_no_bound(field, value, kind):
    with pytest.raises(kind, match=field):
        parcelon.Limits(**{field: value})


def test_an_encrypted_archive_extracts_with_the_reader_s_password(tree, tmp_path):
    path = tmp_path / "secret.zip"
    parcelon.zip_directory(tree, path, password="密码")
    with parcelon.ZipReader(path, password="密码") as reader:
        reader.extract(tmp_path / "out", ["sub*"])
    assert files_below(tmp_path / "out") == {"sub/c.txt": (tree / "sub" / "c.txt").read_bytes()}
    with parcelon.ZipReader(path) as reader:
        with pytest.raises(parcelon.PasswordError) as raised:
            reader.extract(tmp_path / "none", keep_going=True)
    assert raised.value.code is ErrorCode.PASSWORD_REQUIRED
    assert sorted(f.name for f in raised.value.failures) == ["a.txt", "b.log", "sub\\c.txt"]
    # The folder entry is no file to decrypt: it is made, nothing else.
    assert [p.name for p in (tmp_path / "none").rglob("*")] == ["sub"]

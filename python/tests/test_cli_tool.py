"""The example tool `parcelon` (examples/parcelon_cli.cpp): plain words beside
the library's lines, a destination made when missing, the time left, and
Ctrl-C. Run from PARCELON_CLI, or beside the built library."""

import os
import pathlib
import re
import signal
import subprocess
import zipfile

import pytest

from conftest import BUILT_LIBRARY, compressible, locale_environment

TOOL = pathlib.Path(os.environ.get("PARCELON_CLI") or BUILT_LIBRARY.parent / "examples" / "parcelon")
pytestmark = pytest.mark.skipif(not TOOL.is_file(), reason="the example tool was not built: %s" % TOOL)


def _argument(a):
    # The tool runs under C.UTF-8 and reads its arguments as UTF-8; this
    # process may run under another locale (zh_CN.GBK), whose encoding
    # subprocess would give a str. Paths go as the bytes they have on disk.
    return os.fsencode(a) if isinstance(a, os.PathLike) else str(a).encode("utf-8")


def tool(*args, cwd):
    done = subprocess.run([os.fsencode(TOOL)] + [_argument(a) for a in args], cwd=cwd, capture_output=True,
                          timeout=120, env={**os.environ, **locale_environment("C.UTF-8")})
    return done.returncode, done.stderr.decode("utf-8", "replace")


def test_extract_makes_a_missing_destination_and_says_what_went_wrong(tree, tmp_path):
    assert tool("packdir", "tree.zip", tree, "--password", "pw", cwd=tmp_path)[0] == 0

    status, said = tool("extract", "tree.zip", "new/deep/dest", "--password", "pw", cwd=tmp_path)
    assert status == 0, said
    assert (tmp_path / "new/deep/dest/sub/c.txt").read_bytes() == (tree / "sub/c.txt").read_bytes()

    status, said = tool("extract", "tree.zip", "other", "--password", "wrong", cwd=tmp_path)
    assert status == 1
    assert "parcelon: wrong password: 解压错误：无法在ZIP中打开当前文件\n" in said

    # Nothing extracted, nothing left behind: the folders made are taken away.
    status, said = tool("extract", "absent.zip", "made/for/nothing", cwd=tmp_path)
    assert status == 1
    assert "parcelon: the archive is missing, unreadable, or not a ZIP archive: 解压错误：打开zip文件失败\n" in said
    assert not (tmp_path / "made").exists()


def test_packing_failures_in_plain_words_with_the_utf8_path(tree, tmp_path):
    status, said = tool("pack", "缺少/x.zip", tree / "a.txt", cwd=tmp_path)
    assert status == 1
    assert ("parcelon: cannot create the archive (is its folder missing or read-only?): "
            "压缩错误：创建zip文件： 缺少/x.zip\n") in said

    status, said = tool("pack", "partial.zip", tree / "a.txt", tree / "sub", cwd=tmp_path)
    assert status == 0
    assert ("parcelon: warning: a file could not be opened and was left out (is it a folder?): "
            "文件打开错误：正在添加：%s\n" % (tree / "sub")) in said
    with zipfile.ZipFile(tmp_path / "partial.zip") as z:
        assert "a.txt" in z.namelist()


@pytest.fixture(scope="module")
def big_file(tmp_path_factory):
    path = tmp_path_factory.mktemp("big") / "big.txt"
    path.write_bytes(compressible(30_000_000, 5))
    return path


def test_progress_lines_show_the_time_left(big_file, tmp_path):
    status, said = tool("pack", "big.zip", big_file, "--level", "9", cwd=tmp_path)
    assert status == 0, said
    lines = [line for line in said.splitlines() if re.match(r"^ *\d+%", line)]
    assert len(lines) >= 9 and lines[-1].strip() == "100%"
    estimates = [re.fullmatch(r" *\d+%  (\d+):(\d\d) left", line) for line in lines[1:-1]]
    assert all(estimates), lines
    seconds = [int(m.group(1)) * 60 + int(m.group(2)) for m in estimates]
    assert seconds[-1] <= seconds[0]


def test_ctrl_c_stops_packing_with_a_closed_archive(big_file, tmp_path):
    process = subprocess.Popen([str(TOOL), "pack", "big.zip", str(big_file), "--level", "9"], cwd=tmp_path,
                               stderr=subprocess.PIPE, env={**os.environ, **locale_environment("C.UTF-8")})
    try:
        first = b""
        while not re.match(rb" *\d+%", first):
            first = process.stderr.readline()
            assert first, "the tool ended before its first progress line"
        process.send_signal(signal.SIGINT)
        rest = process.stderr.read().decode()
        assert process.wait(60) == 130
    finally:
        if process.poll() is None:
            process.kill()
        process.stderr.close()
    assert "stopped: big.zip is closed" in rest
    with zipfile.ZipFile(tmp_path / "big.zip") as z:
        assert z.testzip() is None
        assert 0 < z.infolist()[0].file_size < big_file.stat().st_size

"""The tool `parcelon` (examples/parcelon_cli.cpp and examples/cli/) as a user
meets it: list, test and extract, packing's left-out files and exit codes,
filters it refuses, mistakes on the command line, the bar, Ctrl-C, and the
password typed at a terminal. The everyday cases run under LANG unset, C.UTF-8
and zh_CN.GBK. Run from PARCELON_CLI, or beside the built library."""

import os
import pathlib
import pty
import re
import signal
import subprocess
import time
import zipfile

import pytest

from conftest import BUILT_LIBRARY, compressible, locale_environment

TOOL = pathlib.Path(os.environ.get("PARCELON_CLI") or BUILT_LIBRARY.parent / "examples" / "parcelon")
pytestmark = pytest.mark.skipif(not TOOL.is_file(), reason="the example tool was not built: %s" % TOOL)

LOCALE_VARIABLES = ("LANG", "LANGUAGE", "LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LOCPATH")


class Tool:
    """The tool under one locale: arguments go in that locale's bytes, and
    its output (UTF-8 on POSIX, whatever the locale) comes back as text."""

    def __init__(self, env, encoding):
        self.env = env
        self.encoding = encoding

    def arg(self, value):
        if isinstance(value, bytes):
            return value
        return str(value).encode(self.encoding)

    def __call__(self, *args, cwd, stdin=subprocess.DEVNULL):
        done = subprocess.run([bytes(TOOL)] + [self.arg(a) for a in args], cwd=cwd, stdin=stdin,
                              capture_output=True, timeout=300, env=self.env)
        return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


def environment(name, locpath=None):
    env = {k: v for k, v in os.environ.items() if k not in LOCALE_VARIABLES}
    if name is not None:
        env.update(locale_environment(name, locpath))
    return env


@pytest.fixture(params=["LANG unset", "C.UTF-8", "zh_CN.GBK"])
def cli(request):
    if request.param == "zh_CN.GBK":
        return Tool(environment("zh_CN.GBK", request.getfixturevalue("gbk_locpath")), "gbk")
    if request.param == "C.UTF-8":
        return Tool(environment("C.UTF-8"), "utf-8")
    return Tool(environment(None), "utf-8")


@pytest.fixture
def utf8_cli():
    return Tool(environment("C.UTF-8"), "utf-8")


STAMP = (2021, 3, 4, 5, 6, 8)  # DOS times have two-second steps


@pytest.fixture
def sample(tmp_path):
    """An archive written by Python's zipfile, with what it holds."""
    files = {"a.txt": b"alpha\n" * 100, "sub/c.bin": bytes(range(256)) * 40, "sub/d.log": b"delta\n",
             "文件.txt": "中文内容\n".encode("utf-8")}
    archive = tmp_path / "sample.zip"
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr(zipfile.ZipInfo("sub/", STAMP), b"")
        for name, data in files.items():
            info = zipfile.ZipInfo(name, STAMP)
            info.compress_type = zipfile.ZIP_STORED if name.endswith(".bin") else zipfile.ZIP_DEFLATED
            z.writestr(info, data)
    return archive, files


def damaged_copy(archive, name, out):
    """A copy of archive with one byte of name's data flipped."""
    data = bytearray(archive.read_bytes())
    with zipfile.ZipFile(archive) as z:
        info = z.getinfo(name)
    local_name_length = int.from_bytes(data[info.header_offset + 26:info.header_offset + 28], "little")
    local_extra_length = int.from_bytes(data[info.header_offset + 28:info.header_offset + 30], "little")
    start = info.header_offset + 30 + local_name_length + local_extra_length
    data[start + info.compress_size // 2] ^= 0x55
    out.write_bytes(bytes(data))
    return out


def on_disk(cli, folder, name):
    """A file name as the library writes it under the tool's locale."""
    return pathlib.Path(os.fsdecode(os.path.join(os.fsencode(folder), name.encode(cli.encoding))))


# ---------------------------------------------------------------- list and test


def test_list_shows_sizes_dates_names_and_totals(cli, sample, tmp_path):
    archive, files = sample
    status, out, err = cli("list", archive, cwd=tmp_path)
    assert (status, err) == (0, "")
    with zipfile.ZipFile(archive) as z:
        infos = z.infolist()
    rows = out.splitlines()
    assert rows[0] == "Archive: %s" % archive
    for info in infos:
        row = next(line for line in rows if line.endswith("  " + info.filename))
        size, compressed, saved, date, clock = row.split()[:5]
        assert (int(size), int(compressed)) == (info.file_size, info.compress_size), row
        assert (date, clock) == ("2021-03-04", "05:06"), row
    total = rows[-1].split()
    assert int(total[0]) == sum(i.file_size for i in infos)
    assert int(total[1]) == sum(i.compress_size for i in infos)
    assert rows[-1].endswith("4 files, 1 folder")

    status, quiet, _ = cli("list", archive, "-q", cwd=tmp_path)
    assert status == 0 and len(quiet.splitlines()) == len(infos)

    (tmp_path / "not.zip").write_bytes(b"no archive here" * 10)
    status, out, err = cli("list", "not.zip", cwd=tmp_path)
    assert status == 1 and out == ""
    assert err.startswith("parcelon: not.zip: the archive is missing, unreadable, or not a ZIP archive [")


def test_test_names_each_damaged_entry_and_fails(cli, sample, tmp_path):
    archive, files = sample
    status, out, err = cli("test", archive, cwd=tmp_path)
    assert status == 0, err
    assert out.startswith("No errors: %s, 5 entries" % archive)

    bad = damaged_copy(archive, "sub/c.bin", tmp_path / "bad.zip")
    assert subprocess.run(["unzip", "-tqq", str(bad)], capture_output=True).returncode != 0
    status, out, err = cli("test", bad, cwd=tmp_path)
    assert status == 1
    failures = [line for line in err.splitlines() if line.startswith("parcelon: ")]
    assert len(failures) == 1 and failures[0].startswith("parcelon: sub/c.bin: damaged data"), err
    assert out == "1 of 5 entries in %s failed the test.\n" % bad
    assert not any(tmp_path.glob("**/c.bin")), "test writes nothing"


def test_test_reads_a_password(cli, tree, tmp_path):
    assert cli("packdir", "secret.zip", tree, "--password", "pw", cwd=tmp_path)[0] == 0
    status, _, err = cli("test", "secret.zip", cwd=tmp_path)
    assert status == 1 and "a.txt: encrypted: give the password with --password" in err
    status, _, err = cli("test", "secret.zip", "--password", "wrong", cwd=tmp_path)
    assert status == 1 and "a.txt: wrong password" in err
    assert cli("test", "secret.zip", "-P", "pw", "-q", cwd=tmp_path)[:3] == (0, "", "")


# ---------------------------------------------------------------- extract


def test_extract_selects_by_pattern_and_restores_times(cli, sample, tmp_path):
    archive, files = sample
    status, _, err = cli("extract", archive, "out", "sub/*.bin", "*.txt", cwd=tmp_path)
    assert status == 0, err
    out = tmp_path / "out"
    assert (out / "sub/c.bin").read_bytes() == files["sub/c.bin"]
    assert (out / "a.txt").read_bytes() == files["a.txt"]
    assert on_disk(cli, out, "文件.txt").read_bytes() == files["文件.txt"]
    assert not (out / "sub/d.log").exists()
    assert "extracted 3 entries" in err
    # The entries' times, read as local time, as unzip restores them.
    assert time.localtime((out / "a.txt").stat().st_mtime)[:6] == STAMP

    status, _, err = cli("extract", archive, "more", "*.log", "nothing*", cwd=tmp_path)
    assert status == 1
    assert "parcelon: no entry matches nothing*" in err
    assert (tmp_path / "more/sub/d.log").read_bytes() == files["sub/d.log"]

    status, _, err = cli("extract", archive, "none", "nothing*", cwd=tmp_path)
    assert status == 1 and not (tmp_path / "none").exists()


@pytest.mark.parametrize("option, status, a_txt, kept_words", [
    ([], 1, b"mine", "a file of that name exists (use --overwrite or --skip-existing)"),
    (["--skip-existing"], 0, b"mine", "kept as they were"),
    (["--overwrite"], 0, b"alpha\n" * 100, "extracted 5 entries"),
])
def test_extract_into_files_that_exist(cli, sample, tmp_path, option, status, a_txt, kept_words):
    archive, files = sample
    (tmp_path / "out").mkdir()
    (tmp_path / "out/a.txt").write_bytes(b"mine")
    got, _, err = cli("extract", archive, "out", *option, cwd=tmp_path)
    assert got == status, err
    assert kept_words in err
    assert (tmp_path / "out/a.txt").read_bytes() == a_txt
    if status == 0:
        assert (tmp_path / "out/sub/d.log").read_bytes() == files["sub/d.log"]


def test_extract_keeps_going_past_a_damaged_entry_when_asked(cli, sample, tmp_path):
    archive, files = sample
    bad = damaged_copy(archive, "sub/c.bin", tmp_path / "bad.zip")
    status, _, err = cli("extract", bad, "first", cwd=tmp_path)
    assert status == 1 and "parcelon: sub/c.bin: damaged data" in err
    assert not (tmp_path / "first/sub/d.log").exists(), "without --keep-going the first failure ends it"
    assert not (tmp_path / "first/sub/c.bin").exists()

    status, _, err = cli("extract", bad, "all", "--keep-going", cwd=tmp_path)
    assert status == 1
    assert "parcelon: 1 of 5 entries failed; the others are in all" in err
    assert (tmp_path / "all/sub/d.log").read_bytes() == files["sub/d.log"]
    assert on_disk(cli, tmp_path / "all", "文件.txt").read_bytes() == files["文件.txt"]
    assert not (tmp_path / "all/sub/c.bin").exists()


def test_extract_makes_a_missing_destination_and_says_what_went_wrong(cli, tree, tmp_path):
    assert cli("packdir", "tree.zip", tree, "--password", "pw", cwd=tmp_path)[0] == 0

    status, _, err = cli("extract", "tree.zip", "new/deep/dest", "--password", "pw", cwd=tmp_path)
    assert status == 0, err
    assert (tmp_path / "new/deep/dest/sub/c.txt").read_bytes() == (tree / "sub/c.txt").read_bytes()

    status, _, err = cli("extract", "tree.zip", "other", "--password", "wrong", cwd=tmp_path)
    assert status == 1
    assert re.search(r"^parcelon: .*: wrong password \[解压错误：无法在ZIP中打开当前文件.*\]$", err, re.M), err

    # Nothing extracted, nothing left behind: the folders made are taken away.
    status, _, err = cli("extract", "absent.zip", "made/for/nothing", cwd=tmp_path)
    assert status == 1
    assert err == ("parcelon: absent.zip: the archive is missing, unreadable, or not a ZIP archive "
                   "[解压错误：打开zip文件失败]\n")
    assert not (tmp_path / "made").exists()


def test_quiet_says_only_failures(cli, sample, tmp_path):
    archive, _ = sample
    assert cli("extract", archive, "out", "-q", cwd=tmp_path) == (0, "", "")
    status, out, err = cli("extract", archive, "out", "-q", cwd=tmp_path)
    assert status == 1 and out == ""
    assert err.splitlines() == ["parcelon: a.txt: a file of that name exists (use --overwrite or --skip-existing) "
                                "[解压错误：文件已存在：a.txt]"]
    assert cli("pack", "q.zip", archive, "-q", cwd=tmp_path) == (0, "", "")


def test_extract_of_a_deep_tree_keeps_memory_flat(utf8_cli, tmp_path):
    with zipfile.ZipFile(tmp_path / "deep.zip", "w") as z:
        z.writestr("d/" * 2000 + "f.txt", b"deep\n")
    process = subprocess.Popen([str(TOOL), "extract", "deep.zip", "out"], cwd=tmp_path, env=utf8_cli.env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    try:
        assert process.returncode == 0
        assert usage.ru_maxrss < 64 * 1024, "peak %d KiB" % usage.ru_maxrss
    finally:
        subprocess.run(["rm", "-rf", str(tmp_path / "out")])  # deeper than Python's rmtree recursion


# ---------------------------------------------------------------- packing


@pytest.mark.parametrize("extra, status", [
    ([], 3),
    (["--allow-missing"], 0),
    (["FOLDER"], 3),  # a folder cannot be packed as a file: a failure, missing or not
    (["FOLDER", "--allow-missing"], 3),
])
def test_packing_names_each_file_left_out_and_exits_accordingly(cli, tree, tmp_path, extra, status):
    folder = tree / "sub"
    got, _, err = cli("pack", "out.zip", tree / "a.txt", "absent.txt",
                      *[folder if e == "FOLDER" else e for e in extra], cwd=tmp_path)
    assert got == status, err
    lines = err.splitlines()
    assert "parcelon: absent.txt: left out: no such file" in lines
    if "FOLDER" in extra:
        assert any(line.startswith("parcelon: %s: " % folder) for line in lines), err
    assert re.search(r"; 1 left out(, 1 cut short)?$|; 2 left out$", lines[-1]), lines[-1]
    with zipfile.ZipFile(tmp_path / "out.zip") as z:
        assert z.namelist()[0] == "a.txt" and "absent.txt" not in z.namelist()


def test_packing_nothing_that_exists_writes_no_archive(cli, tmp_path):
    status, _, err = cli("pack", "none.zip", "absent.txt", "--allow-missing", cwd=tmp_path)
    assert status == 1 and "nothing to pack" in err
    assert not (tmp_path / "none.zip").exists()


def test_packing_failures_in_plain_words_with_the_utf8_path(cli, tree, tmp_path):
    status, _, err = cli("pack", "缺少/x.zip", tree / "a.txt", cwd=tmp_path)
    assert status == 1
    assert err.endswith("parcelon: 缺少/x.zip: cannot create the archive (is its folder missing or read-only?) "
                        "[压缩错误：创建zip文件： 缺少/x.zip]\n"), err


@pytest.mark.parametrize("option, value, accepted, names", [
    ("--exclude", "big.bin", False, None),
    ("--exclude", "file00*.txt", False, None),
    ("--include", "*.*", False, None),
    ("--exclude", "sub/c.txt", False, None),
    ("--include", "", False, None),
    ("--include", "*.TXT", True, ["a.txt", "sub\\", "sub\\c.txt"]),
    ("--include", ".log", True, ["b.log"]),
    ("--exclude", "sub", True, ["a.txt", "b.log"]),
])
def test_filters_the_library_cannot_match_are_refused(cli, tree, tmp_path, option, value, accepted, names):
    status, out, err = cli("packdir", "f.zip", tree, option, value, cwd=tmp_path)
    if not accepted:
        assert status == 2
        first = err.splitlines()[0]
        assert first.startswith("parcelon: %s '%s': " % (option, value)) and "an extension (*.txt or .txt)" in first
        assert not (tmp_path / "f.zip").exists()
        return
    assert status == 0, err
    with zipfile.ZipFile(tmp_path / "f.zip") as z:
        assert sorted(z.namelist()) == names


@pytest.mark.parametrize("command", ["pack", "packdir"])
@pytest.mark.parametrize("options, names, aes", [
    ([], ["a.txt", "b.log", "sub\\", "sub\\c.txt"], False),
    (["--portable"], ["a.txt", "b.log", "empty/", "sub/", "sub/c.txt"], False),
    (["--aes", "--password", "pw"], ["a.txt", "b.log", "sub\\", "sub\\c.txt"], True),
    (["--portable", "--aes", "--password=pw"], ["a.txt", "b.log", "empty/", "sub/", "sub/c.txt"], True),
], ids=["classic", "portable", "aes", "portable-aes"])
def test_portable_and_aes_archives(cli, tree, tmp_path, command, options, names, aes):
    (tree / "empty").mkdir()
    os.utime(tree / "a.txt", (1614834367, 1614834367))
    if command == "pack":
        # Below the base folder no list has: each file by its own name.
        args = [tree / "a.txt", tree / "b.log", tree / "sub" / "c.txt"]
        names = ["a.txt", "b.log", "c.txt"]
    else:
        args = [tree]
    status, _, err = cli(command, "out.zip", *args, *options, cwd=tmp_path)
    assert status == 0, err
    with zipfile.ZipFile(tmp_path / "out.zip") as z:
        assert sorted(z.namelist()) == names
        for info in z.infolist():
            folder = info.filename.endswith(("/", "\\"))
            assert info.compress_type == (99 if aes and not folder else 0 if folder and "/" in info.filename else 8)
            assert bool(info.flag_bits & 1) == (aes and not folder)
        portable = "--portable" in options
        assert (z.getinfo("a.txt").date_time[0] == 2021) == portable
        assert all((info.create_system == 3) == portable for info in z.infolist())


# ---------------------------------------------------------------- the command line


@pytest.mark.parametrize("args, words", [
    ([], "parcelon: no command given"),
    (["frobnicate"], "parcelon: no such command: frobnicate"),
    (["--level", "3"], "parcelon: a command comes first, not the option --level"),
    (["list"], "parcelon: list takes one archive"),
    (["list", "a.zip", "b.zip"], "parcelon: list takes one archive"),
    (["extract", "a.zip"], "parcelon: extract needs an archive and a destination folder"),
    (["list", "a.zip", "--level", "3"], "parcelon: --level does not apply to list"),
    (["pack", "a.zip", "f", "--level", "12"], "parcelon: --level takes 0 to 9"),
    (["pack", "a.zip", "f", "--bogus"], "parcelon: no such option: --bogus"),
    (["extract", "a.zip", "d", "--overwrite", "--skip-existing"], "exclude each other"),
    (["pack", "a.zip", "f", "--aes"], "parcelon: --aes encrypts with a password: give --password too"),
    (["list", "a.zip", "--portable"], "parcelon: --portable does not apply to list"),
    (["extract", "a.zip", "d", "--aes", "--password", "pw"], "parcelon: --aes does not apply to extract"),
])
def test_a_mistake_gets_one_line_and_the_short_usage(cli, tmp_path, args, words):
    status, out, err = cli(*args, cwd=tmp_path)
    assert status == 2 and out == ""
    lines = err.splitlines()
    assert lines[0].startswith(words) or words in lines[0], err
    assert lines[1].startswith("usage: parcelon ")
    assert lines[-1] == "see parcelon --help"
    assert len(lines) <= 4 and "examples:" not in err


def test_help_and_version(cli, tmp_path):
    status, out, err = cli("--help", cwd=tmp_path)
    assert status == 0 and err == ""
    for words in ("parcelon list ARCHIVE", "parcelon test ARCHIVE", "--skip-existing", "--keep-going",
                  "--allow-missing", "--aes", "--portable", "-q, --quiet", "Exit status"):
        assert words in out
    status, out, err = cli("--version", cwd=tmp_path)
    assert (status, err) == (0, "")
    assert out == "parcelon 1.2.0 (Parcelon library 1.2.0)\n"


# ---------------------------------------------------------------- progress and Ctrl-C


@pytest.fixture(scope="module")
def big_file(tmp_path_factory):
    path = tmp_path_factory.mktemp("big") / "big.txt"
    path.write_bytes(compressible(30_000_000, 5))
    return path


def test_progress_lines_show_the_bytes_and_the_time_left(utf8_cli, big_file, tmp_path):
    status, _, err = utf8_cli("pack", "big.zip", big_file, "--level", "9", cwd=tmp_path)
    assert status == 0, err
    lines = [line for line in err.splitlines() if re.match(r"^ *\d+%", line)]
    assert len(lines) >= 9 and lines[-1].startswith("100%  28.6 MiB of 28.6 MiB")
    estimates = [re.fullmatch(r" *\d+%  [\d.]+ \w+ of 28\.6 MiB  [\d.]+ \w+/s  (\d+):(\d\d) left", line)
                 for line in lines[1:-1]]
    assert all(estimates), lines
    seconds = [int(m.group(1)) * 60 + int(m.group(2)) for m in estimates]
    assert seconds[-1] <= seconds[0]


def run_in_terminal(args, env, cwd, typed=()):
    """Runs the tool on a pseudo-terminal of its own; answers each prompt
    with the next of typed; returns the exit status and all it showed."""
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(cwd)
        os.execve(str(TOOL), [str(TOOL)] + [str(a) for a in args], env)
    shown = b""
    answers = list(typed)
    try:
        while True:
            try:
                chunk = os.read(fd, 4096)
            except OSError:  # the child is gone
                break
            if not chunk:
                break
            shown += chunk
            if answers and shown.endswith(b": "):  # a prompt, waiting
                os.write(fd, answers.pop(0))
    finally:
        os.close(fd)
    _, status = os.waitpid(pid, 0)
    return os.waitstatus_to_exitcode(status), shown.decode("utf-8")


@pytest.mark.parametrize("command", ["pack", "packdir"])
def test_the_bar_measures_the_new_archive_not_the_one_it_replaces(utf8_cli, big_file, tmp_path, command):
    old = tmp_path / "big.zip"
    with open(old, "wb") as f:
        f.truncate(3 << 30)  # an old archive of 3 GiB, sparse
    source = big_file if command == "pack" else big_file.parent
    status, shown = run_in_terminal([command, "big.zip", source, "--level", "9"], utf8_cli.env, tmp_path)
    assert status == 0, shown
    frames = [f for f in re.split(r"[\r\n]+", shown) if f.startswith("[")]
    assert frames and "GiB" not in shown, frames
    new_size = old.stat().st_size
    assert new_size < 30_000_000
    units = {"B": 1, "KiB": 1 << 10, "MiB": 1 << 20}
    for frame in frames:
        figure = re.search(r"\| ([\d.]+) (B|KiB|MiB) (of|written)", frame)
        assert figure, frame
        done = float(figure.group(1)) * units[figure.group(2)]
        limit = big_file.stat().st_size if command == "pack" else new_size
        assert done <= limit * 1.001, frame


def test_password_typed_at_the_terminal_is_not_shown(utf8_cli, tree, tmp_path):
    status, shown = run_in_terminal(["pack", "typed.zip", tree / "a.txt", "--password"], utf8_cli.env, tmp_path,
                                    typed=[b"s3cret word\n", b"s3cret word\n"])
    assert status == 0, shown
    assert "Password: " in shown and "Password again: " in shown
    assert "s3cret" not in shown
    with zipfile.ZipFile(tmp_path / "typed.zip") as z:
        assert z.read("a.txt", pwd=b"s3cret word") == (tree / "a.txt").read_bytes()

    status, shown = run_in_terminal(["extract", "typed.zip", "out", "-P", "-"], utf8_cli.env, tmp_path,
                                    typed=[b"s3cret word\n"])
    assert status == 0 and "s3cret" not in shown, shown
    assert (tmp_path / "out/a.txt").read_bytes() == (tree / "a.txt").read_bytes()

    status, shown = run_in_terminal(["pack", "differ.zip", tree / "a.txt", "--password"], utf8_cli.env, tmp_path,
                                    typed=[b"one\n", b"two\n"])
    assert status == 2 and "the two passwords differ" in shown
    assert not (tmp_path / "differ.zip").exists()


def test_ctrl_c_stops_packing_with_a_closed_archive(utf8_cli, big_file, tmp_path):
    process = subprocess.Popen([str(TOOL), "pack", "big.zip", str(big_file), "--level", "9"], cwd=tmp_path,
                               stderr=subprocess.PIPE, env=utf8_cli.env)
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


@pytest.fixture(scope="module")
def big_archive(tmp_path_factory, big_file):
    """Eight files of 30 MB, deflated: long enough to stop in the middle."""
    folder = tmp_path_factory.mktemp("many")
    data = big_file.read_bytes()
    originals = {}
    with zipfile.ZipFile(folder / "many.zip", "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        for i in range(8):
            name = "part%d.txt" % i
            originals[name] = b"%d" % i + data
            z.writestr(name, originals[name])
    return folder / "many.zip", originals


def test_ctrl_c_stops_extraction_leaving_whole_files_only(utf8_cli, big_archive, tmp_path):
    archive, originals = big_archive
    process = subprocess.Popen([str(TOOL), "extract", str(archive), "out"], cwd=tmp_path, stderr=subprocess.PIPE,
                               env=utf8_cli.env)
    try:
        # Entries are moved into place whole, so the second one's final name
        # means two are done; progress alone cannot say so, since with threads
        # several entries are part-decoded at once.
        second = tmp_path / "out" / sorted(originals)[1]
        while not second.exists():
            assert process.poll() is None, "the tool ended before its second file"
            time.sleep(0.002)
        process.send_signal(signal.SIGINT)
        rest = process.stderr.read().decode()
        assert process.wait(60) == 130, rest
    finally:
        if process.poll() is None:
            process.kill()
        process.stderr.close()
    assert "stopped: the files extracted before Ctrl-C are in out" in rest
    left = sorted(p.name for p in (tmp_path / "out").iterdir())
    assert not [name for name in left if name.startswith(".parcelon")], left
    assert 2 <= len(left) < len(originals), left
    assert left == sorted(originals)[:len(left)], "only the entries before the stop"
    for name in left:
        assert (tmp_path / "out" / name).read_bytes() == originals[name], name

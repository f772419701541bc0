"""Progress of the reading calls, stop() from another thread, and Ctrl-C (a
child Python sent SIGINT) during a large extraction: the entry in hand
leaves nothing, not even the library's temporary file."""

import json
import shutil
import signal
import subprocess
import sys
import threading
import time
import zipfile

import pytest

import parcelon
from conftest import compressible, files_below, leftovers, zeros_archive
from parcelon import ErrorCode

PART = 32 << 20


@pytest.fixture(scope="module")
def four_parts(tmp_path_factory):
    """Four entries of 32 MiB of zeros: each is a quarter of the progress."""
    return zeros_archive(tmp_path_factory.mktemp("parts") / "parts.zip", 4, PART)


@pytest.fixture(scope="module")
def text_archive(tmp_path_factory):
    path = tmp_path_factory.mktemp("text") / "text.zip"
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for i in range(8):
            z.writestr("text%d.txt" % i, compressible(1_000_000, i))
    return path


CALLS = {  # each reading call that reports progress, as a host makes it
    "ZipReader.extract": lambda archive, out, **kw: parcelon.ZipReader(archive).extract(out, **kw),
    "unzip": lambda archive, out, **kw: parcelon.unzip(archive, out, **kw),
    "ZipReader.test": lambda archive, out, **kw: parcelon.ZipReader(archive).test(**kw),
}


@pytest.mark.parametrize("call", sorted(CALLS))
def test_progress_is_percentages_on_the_calling_thread(four_parts, text_archive, tmp_path, call):
    seen, threads = [], set()

    def progress(value):
        seen.append(value)
        threads.add(threading.get_ident())

    CALLS[call](four_parts, tmp_path / "out", progress=progress)
    assert seen[-1] == 100 and seen == sorted(set(seen)) and all(0 <= v <= 100 for v in seen)
    assert len(seen) > 90  # 128 MiB in blocks of 256 KiB
    assert threads == {threading.get_ident()}

    # Entries the library inflates whole (up to 4 MiB) each count at their end.
    seen.clear()
    CALLS[call](text_archive, tmp_path / "text", progress=progress)
    assert seen == [12, 25, 37, 50, 62, 75, 87, 100]


@pytest.mark.parametrize("operation", ["extract", "test"])
def test_stop_from_another_thread(four_parts, tmp_path, operation):
    """The callable holds the library at 40 % (in the second entry) until
    the other thread has called stop(): deterministic, whatever the speed."""
    out = tmp_path / "out"
    reached, stopped = threading.Event(), threading.Event()
    seen = []

    def progress(value):
        seen.append(value)
        if value >= 40 and not reached.is_set():
            reached.set()
            assert stopped.wait(30)

    reader = parcelon.ZipReader(four_parts)
    busy = []

    def stopper():
        assert reached.wait(30)
        try:
            reader.entries()  # one call at a time
        except RuntimeError as error:
            busy.append(error)
        reader.stop()
        stopped.set()

    other = threading.Thread(target=stopper)
    other.start()
    with pytest.raises(parcelon.StoppedError) as raised:
        if operation == "extract":
            reader.extract(out, progress=progress)
        else:
            reader.test(progress=progress)
    other.join(30)
    assert raised.value.code is ErrorCode.STOPPED and raised.value.failures == []
    assert len(busy) == 1
    assert max(seen) < 100 and seen[-1] == max(seen)  # nothing after the stop, no 100
    if operation == "extract":
        # The first entry whole; the second, in hand, left nothing.
        assert {p.name: p.stat().st_size for p in out.iterdir()} == {"part0.bin": PART}
        assert leftovers(out) == []

    # A stopped reader works again.
    with reader:
        assert len(reader.entries()) == 4
        assert reader.test() == []


def test_stop_before_a_call_stops_that_call_alone(text_archive, tmp_path):
    with parcelon.ZipReader(text_archive) as reader:
        for call in (reader.entries, reader.test, lambda: reader.extract(tmp_path / "out")):
            reader.stop()
            with pytest.raises(parcelon.StoppedError):
                call()
        assert not (tmp_path / "out").exists()
        reader.extract(tmp_path / "out")
    assert len(files_below(tmp_path / "out")) == 8

    # An Archiver's stop lasts, as the library's does.
    with parcelon.Archiver() as archiver:
        archiver.stop()
        for _ in range(2):
            with pytest.raises(parcelon.StoppedError):
                archiver.test(text_archive)


LARGE_PART = 128 << 20


@pytest.fixture(scope="module")
def large(tmp_path_factory):
    """2 GiB of zeros in 16 entries (9 MB of archive): seconds to extract."""
    return zeros_archive(tmp_path_factory.mktemp("large") / "large.zip", 16, LARGE_PART)


CHILD = r"""
import json, sys, time
import parcelon

archive, out, mode = sys.argv[1:4]
seen = []
progress = None
if mode != "no-progress":  # Ctrl-C lands while the host's callable runs
    progress = lambda value: (seen.append(value), time.sleep(0.2))
print("reading", flush=True)
try:
    if mode == "test":
        parcelon.ZipReader(archive).test(progress=progress)
    else:
        parcelon.unzip(archive, out, progress=progress)
except BaseException as error:
    print(json.dumps({"raised": type(error).__name__, "seen": seen}), flush=True)
    sys.exit(130)
print(json.dumps({"raised": None}), flush=True)
"""


@pytest.mark.skipif(sys.platform == "win32", reason="sends SIGINT")
@pytest.mark.parametrize("mode", ["no-progress", "slow-progress", "test"])  # test: with a slow progress
def test_ctrl_c_stops_a_large_extraction_within_a_second(large, tmp_path, mode):
    out = tmp_path / "out"
    child = subprocess.Popen([sys.executable, "-c", CHILD, str(large), str(out), mode],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=tmp_path)
    try:
        assert child.stdout.readline() == b"reading\n"
        time.sleep(0.4)
        assert child.poll() is None, "the child ended before it was interrupted"
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        output, errors = child.communicate(timeout=60)
        elapsed = time.monotonic() - sent
    finally:
        if child.poll() is None:
            child.kill()
            child.communicate()
    assert child.returncode == 130, errors.decode(errors="replace")
    report = json.loads(output)
    assert elapsed < 1.0, "the call took %.2f s to end after Ctrl-C" % elapsed
    assert report["raised"] == "KeyboardInterrupt"
    assert errors == b""  # no line from the library, no traceback
    assert all(0 <= v < 100 for v in report["seen"])
    assert leftovers(tmp_path) == []
    if out.exists():  # else taken away again: the stop came in the first entry
        written = {p.name: p.stat().st_size for p in out.iterdir()}
        assert 0 < len(written) < 16 and set(written.values()) == {LARGE_PART}
        shutil.rmtree(out)

"""Ctrl-C: SIGINT sent to a child Python that packs a large tree ends the
call within a second, with KeyboardInterrupt raised once the library has
returned and the archive closed as a stop leaves it."""

import json
import os
import signal
import subprocess
import sys
import time
import zipfile

import pytest

import parcelon
from conftest import compressible

pytestmark = pytest.mark.skipif(sys.platform == "win32", reason="sends SIGINT")

CHILD = r"""
import json, signal, sys, time, zipfile
import parcelon

source, archive, mode = sys.argv[1:4]
seen = []
progress = None
if mode == "progress":
    progress = seen.append
elif mode == "slow-progress":  # Ctrl-C lands while the host's callable runs
    progress = lambda value: (seen.append(value), time.sleep(0.2))
elif mode == "host-handler":  # a host whose own handler raises its own exception
    class HostStop(Exception):
        pass
    def handler(signum, frame):
        raise HostStop()
    signal.signal(signal.SIGINT, handler)
print("packing", flush=True)
try:
    parcelon.zip_directory(source, archive, level=9, progress=progress)
except BaseException as error:
    raised = type(error).__name__
    with zipfile.ZipFile(archive) as z:  # the library has returned: the archive is complete
        bad, packed = z.testzip(), sum(len(z.read(i)) for i in z.infolist())
    print(json.dumps({"raised": raised, "bad": bad, "packed": packed, "seen": seen}), flush=True)
    sys.exit(130)
print(json.dumps({"raised": None}), flush=True)
"""


@pytest.fixture(scope="module")
def large_tree(tmp_path_factory):
    """64 MB that level 9 packs in several seconds on one thread."""
    root = tmp_path_factory.mktemp("large")
    block = compressible(4_000_000, 7)
    for i in range(16):
        (root / ("part%02d.txt" % i)).write_bytes(block[i:] + block[:i])
    return root


MODES = [  # mode, the exception the call raises
    ("no-progress", "KeyboardInterrupt"),
    ("progress", "KeyboardInterrupt"),
    ("slow-progress", "KeyboardInterrupt"),
    ("host-handler", "HostStop"),
]


@pytest.mark.parametrize("mode,raised", MODES, ids=[m[0] for m in MODES])
def test_ctrl_c_stops_packing_within_a_second(large_tree, tmp_path, mode, raised):
    archive = tmp_path / "large.zip"
    child = subprocess.Popen([sys.executable, "-c", CHILD, str(large_tree), str(archive), mode],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=tmp_path)
    try:
        assert child.stdout.readline() == b"packing\n"
        time.sleep(0.8)
        assert child.poll() is None, "the child ended before it was interrupted"
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=60)
        elapsed = time.monotonic() - sent
    finally:
        if child.poll() is None:
            child.kill()
            child.communicate()
    assert child.returncode == 130, err.decode(errors="replace")
    report = json.loads(out)
    assert elapsed < 1.0, "the call took %.2f s to end after Ctrl-C" % elapsed
    assert report["raised"] == raised
    assert report["bad"] is None
    total = sum(path.stat().st_size for path in large_tree.iterdir())
    assert 0 < report["packed"] < total
    seen = report["seen"]
    if mode in ("progress", "slow-progress"):
        # Percentages only, and none after the interrupt (no 100 of a stopped call).
        assert seen and seen == sorted(set(seen)) and all(0 <= v < 100 for v in seen)


def test_after_a_call_ctrl_c_is_python_s_again(tree, tmp_path):
    """The handler a call installs is gone when it returns, also when the
    progress callable raised."""
    parcelon.zip_directory(tree, tmp_path / "a.zip", progress=lambda value: None)
    assert signal.getsignal(signal.SIGINT) is signal.default_int_handler

    def fail(value):
        raise OSError("from progress")

    with pytest.raises(OSError, match="from progress"):
        parcelon.zip_directory(tree, tmp_path / "b.zip", progress=fail)
    assert signal.getsignal(signal.SIGINT) is signal.default_int_handler
    with pytest.raises(KeyboardInterrupt):
        os.kill(os.getpid(), signal.SIGINT)
        time.sleep(1)
    with zipfile.ZipFile(tmp_path / "b.zip") as z:
        assert z.testzip() is None

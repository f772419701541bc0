"""Progress reaching a Python callable, stopping from another thread, an
exception inside the callable, and the archiver's life."""

import gc
import threading
import warnings
import zipfile

import pytest

import parcelon
from conftest import compressible


@pytest.fixture
def big_tree(tmp_path):
    """Three files of 6 MB: hundreds of 16 KiB blocks, so many percentages."""
    root = tmp_path / "big"
    root.mkdir()
    for i in range(3):
        (root / ("part%d.txt" % i)).write_bytes(compressible(6_000_000, i))
    return root


def packed_bytes(archive):
    """What the archive's entries hold; zipfile checks each CRC on the way."""
    with zipfile.ZipFile(archive) as z:
        assert z.testzip() is None
        return sum(len(z.read(i)) for i in z.infolist())


def assert_percentages(values):
    """Percentages only (never the library's 999), each once, rising to 100."""
    assert values[-1] == 100
    assert all(0 <= v <= 100 for v in values)
    assert values == sorted(set(values)), "percentages must increase"


def test_progress_of_a_directory_and_of_a_list(big_tree, tmp_path):
    values = []
    parcelon.zip_directory(big_tree, tmp_path / "d.zip", progress=values.append)
    assert_percentages(values)
    assert len(values) > 50

    values = []
    with parcelon.Archiver() as archiver:
        archiver.zip_files(sorted(big_tree.iterdir()), tmp_path / "f.zip", progress=values.append)
        # A call that ran to its end leaves the archiver as it was.
        assert not archiver.stopped
        archiver.zip_files(sorted(big_tree.iterdir()), tmp_path / "again.zip")
    assert_percentages(values)
    assert packed_bytes(tmp_path / "again.zip") == 18_000_000


def test_stop_from_another_thread_ends_packing_early_with_a_valid_archive(big_tree, tmp_path):
    archive = tmp_path / "stopped.zip"
    started, stopped = threading.Event(), threading.Event()
    seen = []

    def progress(value):
        seen.append(value)
        if not started.is_set():
            started.set()
            assert stopped.wait(30)  # the operation goes on only once stop() was called

    def pack():
        with warnings.catch_warnings():
            warnings.simplefilter("error")  # a stop is no failure: no FilesLeftOut
            outcome.append(archiver.zip_directory(big_tree, archive, progress=progress))

    archiver = parcelon.Archiver()
    outcome = []
    worker = threading.Thread(target=pack)
    worker.start()
    assert started.wait(30)
    with pytest.raises(RuntimeError):  # the archiver is busy: one operation at a time
        archiver.unzip(archive, tmp_path)
    archiver.stop()
    stopped.set()
    worker.join(60)
    assert not worker.is_alive() and outcome == [None]
    assert archiver.stopped
    assert seen[-1] == 100 and max(seen[:-1]) < 50
    assert 0 < packed_bytes(archive) < 18_000_000 // 2
    archiver.close()


class Interrupted(Exception):
    pass


@pytest.mark.parametrize("exception", [Interrupted, KeyboardInterrupt])
def test_an_exception_in_progress_stops_packing_and_is_raised_after(big_tree, tmp_path, exception):
    archive = tmp_path / "raised.zip"
    seen = []

    def progress(value):
        seen.append(value)
        raise exception("from progress")

    archiver = parcelon.Archiver()
    with pytest.raises(exception, match="from progress"):
        archiver.zip_directory(big_tree, archive, progress=progress)
    assert len(seen) == 1  # the first percentage; nothing after the exception
    assert archiver.stopped
    assert 0 < packed_bytes(archive) < 18_000_000 // 2
    # The archiver stays stopped, as after stop(): later packing writes no entries.
    archiver.zip_directory(big_tree, tmp_path / "after.zip")
    assert packed_bytes(tmp_path / "after.zip") == 0


def test_archiver_release_and_settings(tree, tmp_path):
    with parcelon.Archiver(threads=0) as archiver:
        assert archiver.threads == 0
        archiver.threads = 4
        archiver.zip_directory(tree, tmp_path / "t.zip")
        release = archiver._release
        assert release.alive
    assert archiver.closed and not release.alive
    with pytest.raises(ValueError, match="closed"):
        archiver.zip_directory(tree, tmp_path / "t.zip")
    archiver.stop()  # harmless once closed
    archiver.close()

    # Closing from inside its own operation is refused, not a deadlock.
    archiver = parcelon.Archiver()
    with pytest.raises(RuntimeError, match="inside its own operation"):
        archiver.zip_directory(tree, tmp_path / "t.zip", progress=lambda value: archiver.close())
    assert not archiver.closed
    archiver.close()

    forgotten = parcelon.Archiver()
    release = forgotten._release
    del forgotten
    gc.collect()
    assert not release.alive

    for wrong in (-1, 2 ** 32, 1.5, True):
        with pytest.raises(ValueError):
            parcelon.Archiver(threads=wrong)

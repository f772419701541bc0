"""Installing as a user does: pip with no package index into a fresh virtual
environment, from the tree and from the sdist, then packing and extracting
with nothing else set up. The library is built with CMake in
build/python-wheel (where scripts/test.sh's own installation built it) and,
from the sdist, in the unpacked sdist; the tests marked `install` take
minutes when nothing is built yet (`pytest -m "not install"` leaves them
out)."""

import importlib.util
import json
import os
import subprocess
import sys
import tarfile

import pytest

from conftest import BUILT_LIBRARY, REPOSITORY

pytestmark = pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads ELF headers; runs pip")

# What the wheel's library may need from the system: the C and C++ runtimes.
RUNTIMES = {"libc.so.6", "libm.so.6", "libstdc++.so.6", "libgcc_s.so.1", "libpthread.so.0", "libdl.so.2",
            "ld-linux-x86-64.so.2", "ld-linux-aarch64.so.1", "ld-linux.so.2"}

USE = r"""
import json, os, pathlib, sys, zipfile
import parcelon
work = pathlib.Path(sys.argv[1])
(work / "src" / "sub").mkdir(parents=True)
(work / "src" / "a.txt").write_text("alpha " * 1000)
(work / "src" / "sub" / "b.txt").write_text("bravo")
parcelon.zip_directory(work / "src", work / "a.zip", password="pw")
parcelon.unzip(work / "a.zip", work / "out" / "new", password="pw")
with zipfile.ZipFile(work / "a.zip") as z:
    names = sorted(z.namelist())
print(json.dumps({"library": parcelon.library_path(), "names": names,
                  "same": (work / "out/new/sub/b.txt").read_text() == "bravo"}))
"""

# A host that type-checks against the installed package: mypy finds its
# types only through the py.typed marker the wheel must carry.
HOST = """
import pathlib
import parcelon

def pack(folder: pathlib.Path) -> None:
    percentages: list[int] = []
    try:
        parcelon.zip_directory(folder, folder.with_suffix(".zip"), level=9, progress=percentages.append)
    except FileNotFoundError as error:
        print(error.filename)
    except parcelon.Error as error:
        code: parcelon.ErrorCode | int = error.code
        print(code, error.message)
"""


def run(command, cwd, env=None):
    done = subprocess.run([str(part) for part in command], cwd=cwd, env=env, capture_output=True, timeout=1800)
    assert done.returncode == 0, "%s\n%s\n%s" % (command, done.stdout.decode(errors="replace"),
                                                   done.stderr.decode(errors="replace"))
    return done


def clean_environment():
    """The user's environment: no developer's library, nothing on the paths."""
    env = dict(os.environ)
    for name in ("PARCELON_LIBRARY", "LD_LIBRARY_PATH", "PYTHONPATH", "PIP_FIND_LINKS", "PIP_INDEX_URL"):
        env.pop(name, None)
    return env


def fresh_venv(folder):
    """A virtual environment with the interpreter's standard library alone."""
    run([sys.executable, "-m", "venv", folder], cwd=folder.parent)
    return folder / "bin" / "python"


def use_installed(python, tmp_path):
    """Packs and extracts in the environment; returns what it reports."""
    work = tmp_path / "work"
    work.mkdir()
    report = json.loads(run([python, "-c", USE, work], cwd=work, env=clean_environment()).stdout)
    assert report["names"] == ["a.txt", "sub\\", "sub\\b.txt"] and report["same"]
    return report["library"]


def needed(library):
    """The shared objects an ELF file names as NEEDED."""
    dynamic = run(["readelf", "-d", library], cwd=os.path.dirname(library)).stdout.decode()
    return {line.split("[", 1)[1].rstrip("]") for line in dynamic.splitlines() if "(NEEDED)" in line}


@pytest.mark.install
@pytest.mark.parametrize("isolation", [True, False], ids=["isolated", "no-build-isolation"])
def test_pip_install_from_the_tree_builds_a_library_that_needs_nothing_else(tmp_path, isolation):
    python = fresh_venv(tmp_path / "venv")
    # Started in the repository: ./python and the relative build folder are
    # both taken from there.
    command = [python, "-m", "pip", "install", "--no-index", "--config-settings", "build-dir=build/python-wheel",
               "./python"]
    if not isolation:
        command.insert(4, "--no-build-isolation")
    run(command, cwd=REPOSITORY, env=clean_environment())
    assert (REPOSITORY / "build" / "python-wheel" / "CMakeCache.txt").is_file()

    library = use_installed(python, tmp_path)
    assert library.startswith(str(tmp_path / "venv")) and library.endswith("/parcelon/libParcelon.so")
    assert needed(library) <= RUNTIMES, "the wheel's library needs more than the runtimes"

    if isolation:  # the types reach a host through py.typed
        (tmp_path / "host.py").write_text(HOST)
        run([sys.executable, "-m", "mypy", "--strict", "--no-incremental", "--python-executable", python,
             tmp_path / "host.py"], cwd=tmp_path, env=clean_environment())


def load_backend():
    spec = importlib.util.spec_from_file_location("parcelon_backend",
                                                  REPOSITORY / "python" / "build_backend" / "parcelon_backend.py")
    backend = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(backend)
    return backend


def files_below(folder, prefix):
    return {prefix + path.relative_to(folder).as_posix() for path in folder.rglob("*")
            if path.is_file() and "__pycache__" not in path.parts}


@pytest.mark.install
def test_the_sdist_carries_the_sources_and_installs_with_no_index(tmp_path):
    name = load_backend().build_sdist(str(tmp_path))
    with tarfile.open(tmp_path / name) as sdist:
        members = {member.name.split("/", 1)[1] for member in sdist.getmembers() if member.isfile()}
    native = {"native/CMakeLists.txt"}
    for folder in ("cmake", "include", "src"):
        native |= files_below(REPOSITORY / folder, "native/%s/" % folder)
    assert native <= members
    assert files_below(REPOSITORY / "python" / "parcelon", "parcelon/") <= members
    assert not [m for m in members if m.startswith(("native/third_party", "native/build", "native/tests"))]

    python = fresh_venv(tmp_path / "venv")
    env = dict(clean_environment(), PARCELON_THIRD_PARTY=str(REPOSITORY / "third_party"))
    # The build folder is the default one, inside the unpacked sdist.
    run([python, "-m", "pip", "install", "--no-index", tmp_path / name], cwd=tmp_path, env=env)
    library = use_installed(python, tmp_path)
    assert needed(library) <= RUNTIMES


def test_a_relative_library_setting_is_taken_from_where_pip_was_started(tmp_path):
    relative = os.path.relpath(BUILT_LIBRARY, tmp_path)
    run([sys.executable, "-m", "pip", "wheel", "--no-index", "--no-deps", "--config-settings",
         "library=" + relative, "-w", "wheels", REPOSITORY / "python"], cwd=tmp_path)
    built = list((tmp_path / "wheels").iterdir())
    assert [path.name for path in built] == ["parcelon-1.2.0-py3-none-linux_%s.whl" % os.uname().machine]


def test_a_build_folder_kept_from_another_source_is_configured_afresh(tmp_path):
    """An sdist unpacks somewhere new each time; CMake refuses a cache made
    for another source tree, so the backend drops it (and only then)."""
    backend = load_backend()
    build = tmp_path / "build"
    (build / "CMakeFiles").mkdir(parents=True)
    for source, kept in ((REPOSITORY, True), (tmp_path / "old-unpacked-sdist" / "native", False)):
        (build / "CMakeCache.txt").write_text("CMAKE_HOME_DIRECTORY:INTERNAL=%s\n" % source)
        backend._forget_other_source(str(build), str(REPOSITORY))
        assert (build / "CMakeCache.txt").exists() is kept and (build / "CMakeFiles").exists() is kept

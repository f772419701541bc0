"""The three places the package finds the library, in their order, and what
it says when none has it. Each case runs a child Python with a copy of the
package and reports which file the process mapped."""

import importlib.util
import os
import pathlib
import shutil
import sys
import zipfile

import pytest

import parcelon
from conftest import BUILT_LIBRARY, REPOSITORY, run_python

pytestmark = pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc/self/maps")

REPORT = r"""
import json, parcelon
try:
    where = parcelon.library_path()
except parcelon.LibraryError as error:
    print(json.dumps({"error": str(error)}))
else:
    mapped = sorted({line.split()[-1] for line in open("/proc/self/maps") if "libParcelon" in line})
    print(json.dumps({"where": where, "mapped": mapped, "version": parcelon.library_version(),
                      "package": parcelon.__file__}))
"""


def package_copy(folder, with_library):
    """A copy of the package under test in folder/site, optionally with the
    built library beside it; returns the site folder."""
    site = folder / "site"
    shutil.copytree(os.path.dirname(parcelon.__file__), site / "parcelon",
                    ignore=shutil.ignore_patterns("__pycache__", "*.so*", "*.dll"))
    if with_library:
        shutil.copy(BUILT_LIBRARY, site / "parcelon" / "libParcelon.so")
    return site


def locate(site, tmp_path, **env):
    import json
    env = {"PYTHONPATH": str(site), **env}
    done = run_python(REPORT, env=env, unset=("PARCELON_LIBRARY", "LD_LIBRARY_PATH"), cwd=tmp_path)
    assert done.returncode == 0, done.stderr.decode(errors="replace")
    report = json.loads(done.stdout)
    if "package" in report:
        assert report["package"].startswith(str(site))
    return report


def test_the_variable_comes_first(tmp_path):
    site = package_copy(tmp_path, with_library=True)
    found = locate(site, tmp_path, PARCELON_LIBRARY=str(BUILT_LIBRARY))
    assert found["where"] == str(BUILT_LIBRARY)
    assert found["mapped"] == [os.path.realpath(BUILT_LIBRARY)]
    assert found["version"] == "1.2.0"


def test_a_named_library_that_does_not_load_is_not_replaced_by_another(tmp_path):
    site = package_copy(tmp_path, with_library=True)
    found = locate(site, tmp_path, PARCELON_LIBRARY=str(tmp_path / "missing.so"))
    assert "PARCELON_LIBRARY=" + str(tmp_path / "missing.so") in found["error"]


def test_a_copy_beside_the_package_comes_next(tmp_path):
    site = package_copy(tmp_path, with_library=True)
    found = locate(site, tmp_path, LD_LIBRARY_PATH=str(BUILT_LIBRARY.parent))
    assert found["where"] == str(site / "parcelon" / "libParcelon.so")
    assert found["mapped"] == [found["where"]]


def test_the_system_loader_comes_last(tmp_path):
    site = package_copy(tmp_path, with_library=False)
    found = locate(site, tmp_path, LD_LIBRARY_PATH=str(BUILT_LIBRARY.parent))
    assert os.path.basename(found["where"]) == found["where"]  # a name for the loader, not a path
    assert found["mapped"] == [os.path.realpath(BUILT_LIBRARY)]


def test_nowhere_is_a_library_error_that_says_where_to_put_it(tmp_path):
    site = package_copy(tmp_path, with_library=False)
    found = locate(site, tmp_path)
    assert "not found" in found["error"] and "PARCELON_LIBRARY" in found["error"]
    assert str(site / "parcelon") in found["error"]


def test_a_wheel_built_with_the_library_setting_carries_it(tmp_path):
    loader = importlib.util.spec_from_file_location(
        "parcelon_backend", REPOSITORY / "python" / "build_backend" / "parcelon_backend.py")
    backend = importlib.util.module_from_spec(loader)
    loader.loader.exec_module(backend)

    plain = backend.build_wheel(str(tmp_path), {"library": "none"})
    assert plain == "parcelon-1.2.0-py3-none-any.whl"
    with zipfile.ZipFile(tmp_path / plain) as wheel:
        assert "parcelon/py.typed" in wheel.namelist()
        assert not [name for name in wheel.namelist() if "libParcelon" in name]
    name = backend.build_wheel(str(tmp_path), {"library": str(BUILT_LIBRARY)})
    assert name.startswith("parcelon-1.2.0-py3-none-linux_")
    site = tmp_path / "site"
    with zipfile.ZipFile(tmp_path / name) as wheel:
        assert "parcelon/libParcelon.so" in wheel.namelist()
        assert wheel.testzip() is None
        wheel.extractall(site)
    record = (site / "parcelon-1.2.0.dist-info" / "RECORD").read_text().splitlines()
    assert sorted(line.split(",")[0] for line in record) == sorted(
        str(p.relative_to(site)) for p in site.rglob("*") if p.is_file())
    found = locate(site, tmp_path)
    assert found["where"] == str(site / "parcelon" / "libParcelon.so")
    with pytest.raises(backend.BuildError):
        backend.build_wheel(str(tmp_path), {"library": str(tmp_path / "nothing.so")})


# The C functions the reading calls added, by the start of their names.
READING_CALLS = [b"parcelon_set_report", b"parcelon_set_option", b"parcelon_list", b"parcelon_test",
                 b"parcelon_extract"]

OLDER = r"""
import json, pathlib, sys
import parcelon
work = pathlib.Path(sys.argv[1])
(work / "a.txt").write_text("alpha")
parcelon.zip_files([work / "a.txt"], work / "a.zip")
refused = {}
calls = {"entries": lambda: parcelon.ZipReader(work / "a.zip").entries(),
         "test": lambda: parcelon.ZipReader(work / "a.zip").test(),
         "extract": lambda: parcelon.ZipReader(work / "a.zip").extract(work / "out"),
         "unzip": lambda: parcelon.unzip(work / "a.zip", work / "out")}
for name, call in calls.items():
    try:
        call()
    except parcelon.LibraryError as error:
        refused[name] = str(error)
print(json.dumps({"where": parcelon.library_path(), "refused": refused, "out": (work / "out").exists()}))
"""


def test_a_library_without_the_reading_calls_loads_and_packs(tmp_path):
    """A build from before the reading calls, made here by renaming them in
    a copy's dynamic symbol table: the package loads it and packs with it,
    and each reading call raises LibraryError naming what is missing."""
    import ctypes
    import json
    older = tmp_path / "libParcelon.so"
    data = BUILT_LIBRARY.read_bytes()
    for name in READING_CALLS:
        data = data.replace(name, b"parcelox" + name[len(b"parcelon"):])
    older.write_bytes(data)
    dll = ctypes.CDLL(str(older))
    assert hasattr(dll, "parcelon_zip_files_utf8") and not hasattr(dll, "parcelon_extract_utf8")

    done = run_python(OLDER, tmp_path, env={"PARCELON_LIBRARY": str(older)})
    assert done.returncode == 0, done.stderr.decode(errors="replace")
    report = json.loads(done.stdout)
    assert report["where"] == str(older)
    with zipfile.ZipFile(tmp_path / "a.zip") as z:
        assert z.read("a.txt") == b"alpha"
    needed = {"entries": "parcelon_list_utf8", "test": "parcelon_test_utf8", "extract": "parcelon_extract_utf8",
              "unzip": "parcelon_extract_utf8"}
    assert sorted(report["refused"]) == sorted(needed)
    for call, function in needed.items():
        assert "%s (Parcelon 1.2.0) has no %s" % (older, function) in report["refused"][call]
    assert not report["out"]  # refused before the destination was made

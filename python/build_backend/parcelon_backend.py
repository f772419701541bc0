"""The package's own PEP 517 build backend, written with the standard library
alone, so that installing needs no package index.

A wheel carries the package and a copy of the Parcelon library inside the
package folder, where the package looks for it first, and is tagged for
this platform. The library comes from one of:

- (the default) this repository's C++ sources, built with the system's CMake
  and linked with PARCELON_STATIC_DEPENDENCIES=ON, so that the copy needs
  only the C and C++ runtimes at run time: no libdeflate.so, no libz.so;
- --config-settings library=PATH: a library built beforehand, copied as it
  is (it brings whatever it was linked with);
- --config-settings library=none: no copy; a pure-Python wheel that finds the
  library through PARCELON_LIBRARY or the system's loader.

Other settings: build-dir=PATH (the CMake build folder; by default build/python
in the native source tree, kept for the next build), cmake-args="-DX=Y ..."
(more arguments for CMake's configuration). A relative PATH is taken from
the folder pip was started in, not from python/, where pip runs the backend.

An sdist carries the C++ sources in native/. The third-party sources compiled
in (zlib's minizip and infback9, bzip2) are not in it: the build looks for
them where scripts/setup.sh puts them (third_party/ beside the sources), then
in the folder the environment variable PARCELON_THIRD_PARTY names, and
otherwise fetches them with `apt-get source`, as scripts/setup.sh does."""

from __future__ import annotations

import base64
import glob
import hashlib
import io
import os
import re
import shlex
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import zipfile
from typing import Any, Callable, Dict, List, Mapping, Optional, Tuple, Union

_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
_PACKAGE = "parcelon"
_LIBRARY_NAMES = re.compile(r"^(lib)?Parcelon(\.dll|\.dylib|\.so(\.\d+)*|\.\d+(\.\d+)*\.dylib)$")
_NATIVE_FOLDERS = ("cmake", "include", "src")  # with CMakeLists.txt: what the library's build reads
_NO_LIBRARY = "none"

ConfigSettings = Optional[Mapping[str, Union[str, List[str]]]]
Files = List[Tuple[str, bytes]]


class BuildError(Exception):
    """The wheel cannot be built; the text says what the machine lacks."""


# ---------------------------------------------------------------- settings
def _invocation_directory() -> str:
    """The folder pip (or another frontend) was started in. pip runs the
    backend in the project's folder, so that is read from the frontend's
    process, the backend's parent, where the system shows it (/proc); the
    shell's PWD is preferred when it names the same folder (it keeps the
    user's spelling through symbolic links), and is the answer where the
    parent's folder cannot be read."""
    shell = os.environ.get("PWD")
    try:
        parent = os.readlink("/proc/%d/cwd" % os.getppid())
    except OSError:
        return shell if shell and os.path.isdir(shell) else os.getcwd()
    if shell and os.path.isdir(shell) and os.path.samefile(shell, parent):
        return shell
    return parent


def _setting(config_settings: ConfigSettings, name: str) -> Optional[str]:
    value = (config_settings or {}).get(name)
    if isinstance(value, list):  # given more than once: the last counts
        value = value[-1] if value else None
    return value


def _given_path(value: str) -> str:
    return os.path.abspath(os.path.join(_invocation_directory(), os.path.expanduser(value)))


def _library_setting(config_settings: ConfigSettings) -> Optional[str]:
    """A library's path, _NO_LIBRARY, or None to build one."""
    library = _setting(config_settings, "library")
    if library is None or library == _NO_LIBRARY:
        return library
    path = _given_path(library)
    if not os.path.isfile(path) or not _LIBRARY_NAMES.match(os.path.basename(path)):
        raise BuildError("library=%s (%s): expected the path of Parcelon.dll or libParcelon.so, or %r"
                         % (library, path, _NO_LIBRARY))
    return path


# ---------------------------------------------------------------- the native library
def _native_source() -> str:
    """The C++ sources: the repository around python/, or native/ in an sdist."""
    for folder in (os.path.join(_ROOT, "native"), os.path.dirname(_ROOT)):
        if os.path.isfile(os.path.join(folder, "CMakeLists.txt")) and \
                os.path.isfile(os.path.join(folder, "include", "ParcelonC.h")):
            return folder
    raise BuildError("the library's C++ sources are not here (neither %s/native nor the repository around it); "
                     "build from the repository or its sdist, or give library=PATH" % _ROOT)


def _newest(pattern: str) -> Optional[str]:
    found = sorted(glob.glob(pattern))
    return found[-1] if found else None


def _run(command: List[str], cwd: Optional[str] = None) -> None:
    print("parcelon_backend: " + " ".join(shlex.quote(part) for part in command), file=sys.stderr, flush=True)
    try:
        subprocess.run(command, cwd=cwd, check=True, stdout=sys.stderr)
    except FileNotFoundError:
        raise BuildError("%s is not installed (scripts/setup.sh installs what the build needs)" % command[0]) from None
    except subprocess.CalledProcessError as error:
        raise BuildError("%s failed with status %d (its output is above)" % (command[0], error.returncode)) from None


def _source_versions(package: str) -> List[str]:
    try:
        listing = subprocess.run(["apt-cache", "showsrc", package], capture_output=True, text=True).stdout
    except FileNotFoundError:
        listing = ""
    return sorted(set(re.findall(r"^Version: (\S+)", listing, re.M)), reverse=True)


def _fetch_source(package: str, folder: str, download_only: bool = False) -> bool:
    """apt-get source package into folder, newest version first, as
    scripts/setup.sh does (a mirror may lack the newest version's source)."""
    os.makedirs(folder, exist_ok=True)
    command = ["apt-get", "source", "-qq"] + (["--download-only"] if download_only else [])
    for version in _source_versions(package):
        if subprocess.run(command + [package + "=" + version], cwd=folder,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0:
            return True
    return False


def _fetch_infback9(folder: str) -> None:
    """zlib's contrib/infback9 (the Deflate64 decoder) from the copy of zlib
    in binutils' source, which Debian's zlib source leaves out: only that
    folder is unpacked from the downloaded tarball."""
    scratch = os.path.join(folder, "binutils-download")
    if _fetch_source("binutils", scratch, download_only=True):
        tarball = _newest(os.path.join(scratch, "binutils_*.orig.tar.*"))
        if tarball is not None:
            with tarfile.open(tarball) as archive:
                wanted = [member for member in archive.getmembers()
                          if "/zlib/contrib/infback9/" in member.name and member.isfile()]
                for member in wanted:
                    archive.extract(member, folder)
    shutil.rmtree(scratch, ignore_errors=True)


def _fetched(folder: str, pattern: str, fetch: Callable[[], object], given: bool) -> Optional[str]:
    """The newest folder/pattern, fetched first when it is missing and no
    folder was given."""
    found = _newest(os.path.join(folder, pattern))
    if found is None and not given:
        fetch()
        found = _newest(os.path.join(folder, pattern))
    return found


def _third_party_definitions(source: str, build_dir: str) -> List[str]:
    """CMake definitions naming the sources compiled in (zlib's minizip and
    infback9, bzip2, libdeflate) when the native tree has no third_party/
    of its own."""
    if _newest(os.path.join(source, "third_party", "zlib-*", "contrib", "minizip", "zip.c")):
        return []  # CMake finds them there itself
    given = os.environ.get("PARCELON_THIRD_PARTY")
    folder = _given_path(given) if given else os.path.join(build_dir, "third_party")
    hint = ("Run scripts/setup.sh in the repository, or set PARCELON_THIRD_PARTY to a folder holding "
            "zlib-*/contrib/minizip, bzip2-* and */zlib/contrib/infback9 (is there a deb-src entry for apt-get source?)")
    zip_c = _fetched(folder, "zlib-*/contrib/minizip/zip.c", lambda: _fetch_source("zlib", folder), bool(given))
    bzlib = _fetched(folder, "bzip2-*/bzlib.c", lambda: _fetch_source("bzip2", folder), bool(given))
    infback9 = _newest(os.path.join(folder, "zlib-*", "contrib", "infback9", "infback9.c")) or \
        _fetched(folder, "*/zlib/contrib/infback9/infback9.c", lambda: _fetch_infback9(folder), bool(given))
    for name, found in (("zlib's minizip", zip_c), ("bzip2", bzlib), ("zlib's infback9", infback9)):
        if found is None:
            raise BuildError("the source of %s is needed and is not in %s. %s" % (name, folder, hint))
    assert zip_c is not None and bzlib is not None and infback9 is not None
    minizip = os.path.dirname(zip_c)
    definitions = ["-DPARCELON_MINIZIP_SOURCE_DIR=" + minizip,
                   "-DPARCELON_ZLIB_SOURCE_DIR=" + os.path.dirname(os.path.dirname(minizip)),
                   "-DPARCELON_BZIP2_SOURCE_DIR=" + os.path.dirname(bzlib),
                   "-DPARCELON_INFBACK9_SOURCE_DIR=" + os.path.dirname(infback9)]
    libdeflate = _newest(os.path.join(folder, "libdeflate-*", "lib", "deflate_compress.c"))
    if libdeflate is not None:
        definitions.append("-DPARCELON_LIBDEFLATE_SOURCE_DIR=" + os.path.dirname(os.path.dirname(libdeflate)))
    return definitions


def _forget_other_source(build_dir: str, source: str) -> None:
    """A kept build folder configured for another source tree (an earlier
    sdist's, unpacked elsewhere) is configured afresh: CMake refuses it."""
    try:
        with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8", errors="replace") as file:
            cached = re.search(r"^CMAKE_HOME_DIRECTORY:INTERNAL=(.*)$", file.read(), re.M)
    except OSError:
        return
    if cached is not None and os.path.normcase(os.path.realpath(cached.group(1))) != \
            os.path.normcase(os.path.realpath(source)):
        os.remove(os.path.join(build_dir, "CMakeCache.txt"))
        shutil.rmtree(os.path.join(build_dir, "CMakeFiles"), ignore_errors=True)


def _build_library(config_settings: ConfigSettings) -> str:
    """Builds the library with CMake; returns the path of the file built."""
    cmake = shutil.which("cmake")
    if cmake is None:
        raise BuildError("CMake is needed to build the Parcelon library (scripts/setup.sh installs it, with a C++ "
                         "compiler and libdeflate-dev), or give library=PATH of a library built beforehand")
    source = _native_source()
    given = _setting(config_settings, "build-dir")
    build_dir = _given_path(given) if given else os.path.join(source, "build", "python")
    configure = [cmake, "-S", source, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
                 "-DPARCELON_STATIC_DEPENDENCIES=ON", "-DPARCELON_BUILD_TESTS=OFF",
                 "-DPARCELON_BUILD_EXAMPLES=OFF", "-DPARCELON_BUILD_BENCH=OFF"]
    configure += _third_party_definitions(source, build_dir)
    configure += shlex.split(_setting(config_settings, "cmake-args") or "")
    _forget_other_source(build_dir, source)
    _run(configure)
    build = [cmake, "--build", build_dir, "--config", "Release"]
    if "CMAKE_BUILD_PARALLEL_LEVEL" not in os.environ:
        build += ["--parallel", str(os.cpu_count() or 2)]
    _run(build)
    stage = os.path.join(build_dir, "wheel-stage")
    shutil.rmtree(stage, ignore_errors=True)
    _run([cmake, "--install", build_dir, "--config", "Release", "--prefix", stage])
    built = [os.path.join(folder, name) for folder, _, names in os.walk(stage) for name in names
             if _LIBRARY_NAMES.match(name) and not os.path.islink(os.path.join(folder, name))]
    if len(built) != 1:
        raise BuildError("expected one Parcelon library in %s, found %s" % (stage, built or "none"))
    _check_loads(built[0])
    return built[0]


def _check_loads(library: str) -> None:
    """The library loads into this Python (its architecture, its
    dependencies) and is the one this package is for."""
    import ctypes
    try:
        dll = ctypes.CDLL(library)
        version_function = dll.parcelon_version
        version_function.restype = ctypes.c_char_p
        version = version_function().decode("ascii")
    except (OSError, AttributeError) as error:
        raise BuildError("the library built, %s, does not load into this Python: %s" % (library, error)) from None
    if version.split(".")[0] != _project()["version"].split(".")[0]:
        raise BuildError("the library built is version %s; the package is %s" % (version, _project()["version"]))


# ---------------------------------------------------------------- metadata
def _project() -> Dict[str, Any]:
    """The [project] table of pyproject.toml."""
    with open(os.path.join(_ROOT, "pyproject.toml"), "rb") as file:
        text = file.read().decode("utf-8")
    if sys.version_info >= (3, 11):
        import tomllib
        project: Dict[str, Any] = tomllib.loads(text)["project"]
        return project
    # Before Python 3.11: the table holds simple strings only.
    section = re.search(r"^\[project\]\s*$(.*?)(?=^\[|\Z)", text, re.M | re.S)
    assert section is not None, "pyproject.toml has no [project] table"
    return dict(re.findall(r'^(\w[\w-]*)\s*=\s*"([^"]*)"', section.group(1), re.M))


def _metadata() -> Tuple[Dict[str, Any], str]:
    project = _project()
    lines = ["Metadata-Version: 2.1", "Name: " + project["name"], "Version: " + project["version"],
             "Summary: " + project["description"], "Requires-Python: " + project["requires-python"]]
    readme = os.path.join(_ROOT, "README.md")
    body = ""
    if os.path.isfile(readme):
        lines.append("Description-Content-Type: text/markdown")
        with open(readme, encoding="utf-8") as file:
            body = "\n" + file.read()
    return project, "\n".join(lines) + "\n" + body


def _dist_info(project: Dict[str, Any]) -> str:
    return "%s-%s.dist-info" % (project["name"], project["version"])


# ---------------------------------------------------------------- wheels
def _package_files(library: Optional[str]) -> Files:
    """(path in the wheel, bytes) of the package's modules and marker, and of
    the library's copy when there is one."""
    files: Files = []
    folder = os.path.join(_ROOT, _PACKAGE)
    for name in sorted(os.listdir(folder)):
        if name.endswith(".py") or name == "py.typed":
            with open(os.path.join(folder, name), "rb") as file:
                files.append((_PACKAGE + "/" + name, file.read()))
    if library is not None:
        with open(library, "rb") as file:
            files.append((_PACKAGE + "/" + _installed_name(library), file.read()))
    return files


def _installed_name(library: str) -> str:
    """The name the package looks for first (libParcelon.so.1.2.0 goes in
    as libParcelon.so)."""
    name = os.path.basename(library)
    if name.endswith(".dll"):
        return "Parcelon.dll"
    return "libParcelon.dylib" if name.endswith(".dylib") else "libParcelon.so"


def _tag(files: Files) -> str:
    """py3-none-any for pure Python; this platform's tag once the wheel
    carries the compiled library (any Python 3 loads it through ctypes)."""
    if not any(_LIBRARY_NAMES.match(name.rsplit("/", 1)[-1]) for name, _ in files):
        return "py3-none-any"
    return "py3-none-" + re.sub(r"[^A-Za-z0-9]", "_", sysconfig.get_platform())


def _record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode("ascii")
    return "%s,sha256=%s,%d" % (name, digest, len(data))


def _write_wheel(wheel_directory: str, files: Files, project: Dict[str, Any], metadata: str) -> str:
    tag = _tag(files)
    info = _dist_info(project)
    wheel_text = "Wheel-Version: 1.0\nGenerator: parcelon_backend\nRoot-Is-Purelib: %s\nTag: %s\n" % (
        "true" if tag.endswith("-any") else "false", tag)
    files = files + [(info + "/METADATA", metadata.encode("utf-8")), (info + "/WHEEL", wheel_text.encode("ascii"))]
    record = "".join(_record_line(name, data) + "\n" for name, data in files) + info + "/RECORD,,\n"
    files.append((info + "/RECORD", record.encode("utf-8")))
    filename = "%s-%s-%s.whl" % (project["name"], project["version"], tag)
    with zipfile.ZipFile(os.path.join(wheel_directory, filename), "w", zipfile.ZIP_DEFLATED) as wheel:
        for name, data in files:
            entry = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
            entry.external_attr = (0o755 if _LIBRARY_NAMES.match(name.rsplit("/", 1)[-1]) else 0o644) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(entry, data)
    return filename


# ---------------------------------------------------------------- sdists
def _add_tree(sdist: tarfile.TarFile, folder: str, name: str, keep: Any) -> None:
    for current, folders, names in os.walk(folder):
        folders[:] = sorted(f for f in folders if f != "__pycache__")
        for file_name in sorted(names):
            path = os.path.join(current, file_name)
            if keep(file_name):
                sdist.add(path, name + "/" + os.path.relpath(path, folder).replace(os.sep, "/"), recursive=False)


# ---------------------------------------------------------------- PEP 517 / 660
def get_requires_for_build_wheel(config_settings: ConfigSettings = None) -> List[str]:
    return []


def get_requires_for_build_sdist(config_settings: ConfigSettings = None) -> List[str]:
    return []


def get_requires_for_build_editable(config_settings: ConfigSettings = None) -> List[str]:
    return []


def prepare_metadata_for_build_wheel(metadata_directory: str, config_settings: ConfigSettings = None) -> str:
    project, metadata = _metadata()
    info = os.path.join(metadata_directory, _dist_info(project))
    os.makedirs(info, exist_ok=True)
    with open(os.path.join(info, "METADATA"), "w", encoding="utf-8") as file:
        file.write(metadata)
    return _dist_info(project)


prepare_metadata_for_build_editable = prepare_metadata_for_build_wheel


def build_wheel(wheel_directory: str, config_settings: ConfigSettings = None,
                metadata_directory: Optional[str] = None) -> str:
    project, metadata = _metadata()
    library = _library_setting(config_settings)
    if library is None:
        library = _build_library(config_settings)
    elif library == _NO_LIBRARY:
        library = None
    return _write_wheel(wheel_directory, _package_files(library), project, metadata)


def build_editable(wheel_directory: str, config_settings: ConfigSettings = None,
                   metadata_directory: Optional[str] = None) -> str:
    """A wheel holding only a .pth file that puts this folder on sys.path; the
    library comes from PARCELON_LIBRARY or the system (a developer's setup)."""
    project, metadata = _metadata()
    files = [(_PACKAGE + ".pth", (_ROOT + "\n").encode(sys.getfilesystemencoding()))]
    return _write_wheel(wheel_directory, files, project, metadata)


def build_sdist(sdist_directory: str, config_settings: ConfigSettings = None) -> str:
    """The package, its backend and tests, and in native/ the C++ sources and
    CMake files the library's build reads (not third_party/: see above)."""
    project, metadata = _metadata()
    base = "%s-%s" % (project["name"], project["version"])
    filename = base + ".tar.gz"
    source = _native_source()
    with tarfile.open(os.path.join(sdist_directory, filename), "w:gz", format=tarfile.PAX_FORMAT) as sdist:
        for folder in (_PACKAGE, "build_backend", "tests"):
            _add_tree(sdist, os.path.join(_ROOT, folder), base + "/" + folder,
                      lambda name: name.endswith((".py", ".md")) or name == "py.typed")
        for name in ("pyproject.toml", "README.md"):
            if os.path.isfile(os.path.join(_ROOT, name)):
                sdist.add(os.path.join(_ROOT, name), base + "/" + name)
        sdist.add(os.path.join(source, "CMakeLists.txt"), base + "/native/CMakeLists.txt")
        for folder in _NATIVE_FOLDERS:
            _add_tree(sdist, os.path.join(source, folder), base + "/native/" + folder, lambda name: True)
        info = tarfile.TarInfo(base + "/PKG-INFO")
        data = metadata.encode("utf-8")
        info.size = len(data)
        info.mtime = 0
        sdist.addfile(info, io.BytesIO(data))
    return filename

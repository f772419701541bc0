"""The package's own PEP 517 build backend: a wheel of the parcelon folder,
written with the standard library alone, so that installing needs no
package index.

With the config setting library=PATH (pip install --config-settings library=PATH ./python)
the wheel carries a copy of the shared library inside the package folder,
where the package looks for it, and is tagged for this platform."""

import base64
import hashlib
import io
import os
import re
import sys
import sysconfig
import tarfile
import zipfile

_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
_PACKAGE = "parcelon"
_LIBRARY_NAMES = re.compile(r"^(lib)?Parcelon(\.dll|\.dylib|\.so(\.\d+)*|\.\d+\.dylib)$")


# ---------------------------------------------------------------- metadata
def _project():
    """The [project] table of pyproject.toml."""
    with open(os.path.join(_ROOT, "pyproject.toml"), "rb") as file:
        text = file.read().decode("utf-8")
    try:
        import tomllib
    except ImportError:  # before Python 3.11: the table holds simple strings only
        section = re.search(r"^\[project\]\s*$(.*?)(?=^\[|\Z)", text, re.M | re.S).group(1)
        return {key: value for key, value in re.findall(r'^(\w[\w-]*)\s*=\s*"([^"]*)"', section, re.M)}
    return tomllib.loads(text)["project"]


def _metadata():
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


def _dist_info(project):
    return "%s-%s.dist-info" % (project["name"], project["version"])


# ---------------------------------------------------------------- files
def _package_files(library):
    """(path in the wheel, bytes) of every file of the package, the library's
    copy included when one is given."""
    files = []
    folder = os.path.join(_ROOT, _PACKAGE)
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if name.endswith(".py") or (library is None and _LIBRARY_NAMES.match(name)):
            with open(path, "rb") as file:
                files.append((_PACKAGE + "/" + name, file.read()))
    if library is not None:
        with open(library, "rb") as file:
            files.append((_PACKAGE + "/" + _installed_name(library), file.read()))
    return files


def _installed_name(library):
    """The name the package looks for first (libParcelon.so.1.1.0 goes in
    as libParcelon.so)."""
    name = os.path.basename(library)
    if name.endswith(".dll"):
        return "Parcelon.dll"
    return "libParcelon.dylib" if ".dylib" in name else "libParcelon.so"


def _library_setting(config_settings):
    library = (config_settings or {}).get("library")
    if library is None:
        return None
    library = os.path.abspath(library)
    if not os.path.isfile(library) or not _LIBRARY_NAMES.match(os.path.basename(library)):
        raise ValueError("library=%s: expected the path of Parcelon.dll or libParcelon.so" % library)
    return library


def _tag(files):
    """py3-none-any for pure Python; this platform's tag once the wheel
    carries the compiled library."""
    if not any(_LIBRARY_NAMES.match(name.rsplit("/", 1)[-1]) for name, _ in files):
        return "py3-none-any"
    return "py3-none-" + re.sub(r"[^A-Za-z0-9]", "_", sysconfig.get_platform())


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode("ascii")
    return "%s,sha256=%s,%d" % (name, digest, len(data))


def _write_wheel(wheel_directory, files, project, metadata):
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


# ---------------------------------------------------------------- PEP 517 / 660
def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    project, metadata = _metadata()
    info = os.path.join(metadata_directory, _dist_info(project))
    os.makedirs(info, exist_ok=True)
    with open(os.path.join(info, "METADATA"), "w", encoding="utf-8") as file:
        file.write(metadata)
    return _dist_info(project)


prepare_metadata_for_build_editable = prepare_metadata_for_build_wheel


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    project, metadata = _metadata()
    return _write_wheel(wheel_directory, _package_files(_library_setting(config_settings)), project, metadata)


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    """A wheel holding only a .pth file that puts this folder on sys.path."""
    project, metadata = _metadata()
    files = [(_PACKAGE + ".pth", (_ROOT + "\n").encode(sys.getfilesystemencoding()))]
    return _write_wheel(wheel_directory, files, project, metadata)


def build_sdist(sdist_directory, config_settings=None):
    project, metadata = _metadata()
    base = "%s-%s" % (project["name"], project["version"])
    filename = base + ".tar.gz"
    with tarfile.open(os.path.join(sdist_directory, filename), "w:gz", format=tarfile.PAX_FORMAT) as sdist:
        for folder in (_PACKAGE, "build_backend", "tests"):
            for current, folders, names in os.walk(os.path.join(_ROOT, folder)):
                folders[:] = sorted(f for f in folders if f != "__pycache__")
                for name in sorted(names):
                    if name.endswith((".py", ".md")):
                        path = os.path.join(current, name)
                        sdist.add(path, base + "/" + os.path.relpath(path, _ROOT).replace(os.sep, "/"))
        for name in ("pyproject.toml", "README.md"):
            if os.path.isfile(os.path.join(_ROOT, name)):
                sdist.add(os.path.join(_ROOT, name), base + "/" + name)
        info = tarfile.TarInfo(base + "/PKG-INFO")
        data = metadata.encode("utf-8")
        info.size = len(data)
        info.mtime = 0
        sdist.addfile(info, io.BytesIO(data))
    return filename

"""What the tests share: the freshly built library, sample trees, and a way
to run Python in a child process under another environment."""

import os
import pathlib
import subprocess
import sys

import pytest

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]


def _built_library():
    named = os.environ.get("PARCELON_LIBRARY")
    if named:
        return pathlib.Path(os.path.abspath(named))
    default = REPOSITORY / "build" / "native" / "libParcelon.so"
    if default.is_file():
        return default
    pytest.exit("set PARCELON_LIBRARY to the freshly built libParcelon.so (or build build/native first)", 2)


BUILT_LIBRARY = _built_library()
# The tests in this process use the built library through the variable; the
# location tests set up their own children.
os.environ["PARCELON_LIBRARY"] = str(BUILT_LIBRARY)

import parcelon  # noqa: E402  (after the variable is set)


def pytest_configure(config):
    config.addinivalue_line("markers", "install: builds and installs the package with pip (minutes the first time)")


def pytest_report_header(config):
    return "parcelon package: %s\nParcelon library: %s (%s)" % (
        os.path.dirname(parcelon.__file__), parcelon.library_path(), parcelon.library_version())


@pytest.fixture
def tree(tmp_path):
    """A small folder: two text files, a subfolder with a larger file."""
    root = tmp_path / "tree"
    (root / "sub").mkdir(parents=True)
    (root / "a.txt").write_bytes(b"alpha\n" * 100)
    (root / "b.log").write_bytes(b"bravo\n" * 10)
    (root / "sub" / "c.txt").write_bytes(bytes(range(256)) * 400)
    return root


def compressible(size, seed):
    """size bytes that Deflate shrinks but does not make trivial."""
    import random
    rng = random.Random(seed)
    words = [bytes(rng.choice(b"abcdefghij") for _ in range(rng.randint(2, 9))) for _ in range(200)]
    return b" ".join(rng.choices(words, k=size // 4))[:size].ljust(size, b".")


def run_python(code, *args, env=None, unset=(), cwd=None):
    """Runs code with args in a child Python with the environment changed;
    returns the completed process (bytes output)."""
    environment = dict(os.environ)
    for name in unset:
        environment.pop(name, None)
    environment.update(env or {})
    # The code goes in on standard input: source is UTF-8 whatever the
    # locale, where a command-line argument would be decoded with it.
    return subprocess.run([sys.executable, "-"] + [str(a) for a in args], input=code.encode("utf-8"), env=environment,
                          cwd=cwd, capture_output=True, timeout=120)


def locale_environment(name, locpath=None):
    """The variables that make a child run under the locale name (and its
    Python not coerce it to UTF-8)."""
    env = {"LC_ALL": name, "LANG": name, "PYTHONUTF8": "0", "PYTHONCOERCECLOCALE": "0"}
    if locpath is not None:
        env["LOCPATH"] = str(locpath)
    return env


@pytest.fixture(scope="session")
def gbk_locpath(tmp_path_factory):
    """A folder holding the zh_CN.GBK locale: scripts/test.sh's (through
    PARCELON_TEST_LOCPATH), or one compiled here."""
    given = os.environ.get("PARCELON_TEST_LOCPATH")
    if given and (pathlib.Path(given) / "zh_CN.GBK" / "LC_CTYPE").is_file():
        return pathlib.Path(given)
    folder = tmp_path_factory.mktemp("locale")
    subprocess.run(["localedef", "-i", "zh_CN", "-f", "GBK", str(folder / "zh_CN.GBK")], capture_output=True)
    assert (folder / "zh_CN.GBK" / "LC_CTYPE").is_file(), "localedef could not compile zh_CN.GBK"
    return folder


def zeros_archive(path, count, size, prefix="part"):
    """An archive of count entries of size zero bytes each, deflated: a few
    KiB per 16 MiB, so a small file that extracts into a great deal."""
    import zipfile
    block = bytes(1 << 20)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        for n in range(count):
            with z.open("%s%d.bin" % (prefix, n), "w", force_zip64=True) as f:
                for _ in range(size // len(block)):
                    f.write(block)
    return path


def leftovers(folder):
    """The library's temporary files below folder: none may outlive a call."""
    return sorted(str(p) for p in pathlib.Path(folder).rglob(".parcelon.*.tmp"))


def files_below(root):
    """{relative path with '/': bytes} of every file below root."""
    found = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = pathlib.Path(folder, name)
            found[path.relative_to(root).as_posix()] = path.read_bytes()
    return found

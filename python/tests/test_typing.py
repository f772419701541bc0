"""The package and its build backend type-check under mypy --strict, for
the oldest Python the package supports and for this one."""

import subprocess
import sys

import pytest

from conftest import REPOSITORY


@pytest.mark.parametrize("version", ["3.8", "%d.%d" % sys.version_info[:2]])
def test_mypy_strict_is_clean(version):
    try:
        import mypy  # noqa: F401  (Debian's mypy; scripts/setup.sh installs it)
    except ImportError:
        pytest.fail("mypy is not installed: run scripts/setup.sh")
    python = REPOSITORY / "python"
    done = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-incremental", "--python-version", version,
                           python / "parcelon", python / "build_backend"], capture_output=True, text=True,
                          cwd=python)
    assert done.returncode == 0, done.stdout + done.stderr

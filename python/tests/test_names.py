"""Names and passwords in other scripts and code pages. Each case runs in a
child Python under a chosen locale, since Python and the library both take
their character set from the environment at start."""

import json
import os

from conftest import locale_environment, run_python

# In the child: the raw bytes of each entry name, the archive's own name, and
# what extraction wrote, as JSON of latin-1 strings.
REPORT = r"""
import json, os, zipfile
def raw(info):
    return info.filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")
def report(archive, out):
    with zipfile.ZipFile(os.fsdecode(archive)) as z:
        names = sorted(raw(i) for i in z.infolist())
    extracted = sorted(os.path.relpath(os.path.join(f, n), out) for f, _, ns in os.walk(out) for n in ns)
    return {"entries": [n.decode("latin-1") for n in names],
            "extracted": [os.fsencode(e).decode("latin-1") for e in extracted]}
"""


def run_child(code, tmp_path, env):
    done = run_python(REPORT + code, os.fsencode(tmp_path).decode("latin-1"), env=env)
    assert done.returncode == 0, done.stderr.decode("utf-8", "replace")
    return json.loads(done.stdout.splitlines()[-1])


def test_latin1_file_names_under_utf8_keep_their_bytes(tmp_path):
    """A name that is not UTF-8 reaches the file and the archive byte for byte,
    given as bytes or as the str Python's surrogateescape makes of it."""
    result = run_child(r"""
import sys, parcelon
base = sys.argv[1].encode("latin-1")
folder = os.path.join(base, b"caf\xe9")
os.makedirs(folder)
with open(os.path.join(folder, b"na\xefve.txt"), "wb") as f:
    f.write(b"latin")
as_str = os.fsdecode(folder)
assert "\udce9" in as_str
parcelon.zip_directory(as_str, os.fsdecode(os.path.join(base, b"dir\xe9.zip")))
parcelon.zip_files([os.path.join(folder, b"na\xefve.txt")], os.path.join(base, b"list\xe9.zip"))
results = {}
for name in (b"dir\xe9.zip", b"list\xe9.zip"):
    out = os.path.join(base, b"out-" + name)
    os.mkdir(out)
    parcelon.unzip(os.fsdecode(os.path.join(base, name)), out)
    results[name.decode("latin-1")] = report(os.path.join(base, name), out)
print(json.dumps(results))
""", tmp_path, locale_environment("C.UTF-8"))
    assert result == {"dir\xe9.zip": {"entries": ["na\xefve.txt"], "extracted": ["na\xefve.txt"]},
                      "list\xe9.zip": {"entries": ["na\xefve.txt"], "extracted": ["na\xefve.txt"]}}


UNICODE_NAMES = ["中文.txt", "café.txt", "📦 box.txt"]


def test_unicode_names_under_utf8(tmp_path):
    result = run_child(r"""
import sys, pathlib, parcelon
base = pathlib.Path(os.fsdecode(sys.argv[1].encode("latin-1")))
src = base / "源"
src.mkdir()
for name in %r:
    (src / name).write_text(name)
parcelon.zip_directory(src, base / "名字.zip", password="pässwörd")
with zipfile.ZipFile(base / "名字.zip") as z:
    assert all(z.read(i, pwd="pässwörd".encode("utf-8")) == raw(i) for i in z.infolist())
(base / "出").mkdir()
parcelon.unzip(base / "名字.zip", base / "出", password="pässwörd".encode("utf-8"))
print(json.dumps(report(base / "名字.zip", base / "出")))
""" % (UNICODE_NAMES,), tmp_path, locale_environment("C.UTF-8"))
    expected = sorted(n.encode("utf-8").decode("latin-1") for n in UNICODE_NAMES)
    assert result == {"entries": expected, "extracted": expected}


def test_gbk_locale_names_and_password(tmp_path, gbk_locpath):
    """Under GBK a str path is text (the library writes it in GBK, as Python
    does), a bytes path is GBK bytes, and a str password is GBK bytes."""
    result = run_child(r"""
import sys, parcelon
assert sys.getfilesystemencoding() == "gbk", sys.getfilesystemencoding()
base = os.fsdecode(sys.argv[1].encode("latin-1"))
with open(os.path.join(base, "中文.txt"), "w") as f:
    f.write("text")
parcelon.zip_files([os.fsencode(os.path.join(base, "中文.txt"))], os.path.join(base, "档案.zip"), password="密码")
with zipfile.ZipFile(os.path.join(base, "档案.zip")) as z:
    assert z.read(z.infolist()[0], pwd="密码".encode("gbk")) == b"text"
os.mkdir(os.path.join(base, "出"))
for wrong in ("密码".encode("utf-8"),):
    try:
        parcelon.unzip(os.path.join(base, "档案.zip"), os.path.join(base, "出"), password=wrong)
    except parcelon.Error as e:
        assert e.code == parcelon.ErrorCode.WRONG_PASSWORD
    else:
        raise AssertionError("the UTF-8 bytes of the password opened the archive")
parcelon.unzip(os.path.join(base, "档案.zip"), os.fsencode(os.path.join(base, "出")), password="密码")
print(json.dumps(report(os.path.join(base, "档案.zip"), os.path.join(base, "出"))))
""", tmp_path, locale_environment("zh_CN.GBK", gbk_locpath))
    gbk = "中文.txt".encode("gbk").decode("latin-1")
    assert result == {"entries": [gbk], "extracted": [gbk]}
    assert "档案.zip".encode("gbk") in os.listdir(os.fsencode(tmp_path))

#!/usr/bin/env bash
# Writes the seed corpora of the fuzz targets, afresh (nothing of them is
# committed):
#   OUT/unzip/  archives, each behind the target's first byte, which picks
#               the password (0 none, 1 the empty text, 2 "secret"):
#               - made by the library itself, through the example host when
#                 its path is given (plain and with a password, a list and a
#                 directory with folder entries);
#               - made by Info-ZIP zip: deflated, stored, with -P secret,
#                 with and without folder entries;
#               - made by Python's zipfile: stored, deflated, ZIP64 records,
#                 and crafted names: "..", absolute, drive, backslashes,
#                 "." components, long ones (255, 256 and 300 bytes).
#   OUT/text/   paths, base directories and filter lists for text_fuzzer, as
#               UTF-16LE lines.
#   OUT/deflate_scan/  raw Deflate streams by zlib (stored, fixed, dynamic,
#               Huffman-only, run-length blocks), whole and cut short.
# Usage: tests/fuzz/make_seeds.sh OUT [PARCELON_HOST]
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 OUT [PARCELON_HOST]" >&2
  exit 2
fi
out=$1
host=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$out/unzip" "$out/text" "$out/deflate_scan"
mkdir -p "$out/unzip" "$out/text" "$out/deflate_scan"

# A small tree: text, a compressible file, random bytes, an empty file.
python3 - "$work/tree" <<'PY'
import os, random, sys
root = sys.argv[1]
os.makedirs(os.path.join(root, "sub", "deep"))
open(os.path.join(root, "a.txt"), "w").write("alpha\n")
open(os.path.join(root, "sub", "b.txt"), "w").write("parcel archive deflate entry " * 200)
rnd = random.Random(7)
open(os.path.join(root, "sub", "deep", "c.bin"), "wb").write(bytes(rnd.randrange(256) for _ in range(3000)))
open(os.path.join(root, "sub", "deep", "empty.bin"), "wb").close()
PY

# seed NAME SELECTOR ARCHIVE: the archive behind its password byte.
seed() {
  { printf "\\$(printf %03o "$2")"; cat "$3"; } > "$out/unzip/$1"
}

if [ -n "$host" ] && [ -x "$host" ]; then
  "$host" pack "$work/lib-list.zip" "$work/tree/a.txt" "$work/tree/sub/b.txt" >/dev/null 2>&1
  "$host" packdir "$work/lib-dir.zip" "$work/tree" >/dev/null 2>&1
  "$host" packdir "$work/lib-dir-pw.zip" "$work/tree" --password secret >/dev/null 2>&1
  "$host" pack "$work/lib-store.zip" "$work/tree/sub/deep/c.bin" --level 0 --password secret >/dev/null 2>&1
  seed lib-list-0 0 "$work/lib-list.zip"
  seed lib-dir-1 1 "$work/lib-dir.zip"
  seed lib-dir-pw-2 2 "$work/lib-dir-pw.zip"
  seed lib-dir-pw-0 0 "$work/lib-dir-pw.zip"
  seed lib-store-pw-2 2 "$work/lib-store.zip"
else
  echo "make_seeds: no example host given; no archives from the library itself" >&2
fi

if command -v zip >/dev/null; then
  (cd "$work/tree" && zip -q -r -X "$work/iz-deflate.zip" .)
  (cd "$work/tree" && zip -q -r -X -0 "$work/iz-store.zip" .)
  (cd "$work/tree" && zip -q -r -X -P secret "$work/iz-pw.zip" .)
  (cd "$work/tree" && zip -q -r -X -D -P secret -0 "$work/iz-pw-store.zip" .)
  seed iz-deflate-0 0 "$work/iz-deflate.zip"
  seed iz-store-1 1 "$work/iz-store.zip"
  seed iz-pw-2 2 "$work/iz-pw.zip"
  seed iz-pw-1 1 "$work/iz-pw.zip"
  seed iz-pw-store-2 2 "$work/iz-pw-store.zip"
else
  echo "make_seeds: Info-ZIP zip is not installed" >&2
fi

python3 - "$work" <<'PY'
import os, sys, zipfile
work = sys.argv[1]

def write(name, entries, method=zipfile.ZIP_DEFLATED, zip64=False):
    with zipfile.ZipFile(os.path.join(work, name), "w", method) as z:
        for entry_name, data in entries:
            info = zipfile.ZipInfo(entry_name, (2024, 1, 2, 3, 4, 6))
            info.compress_type = method
            with z.open(info, "w", force_zip64=zip64) as f:
                f.write(data)

text = b"parcel " * 300
write("py-store.zip", [("a.txt", b"alpha\n"), ("sub/", b""), ("sub/b.txt", text)], zipfile.ZIP_STORED)
write("py-deflate.zip", [("a.txt", b"alpha\n"), ("sub\\b.txt", text), ("empty", b"")])
write("py-zip64.zip", [("a.txt", b"alpha\n"), ("b.txt", text)], zip64=True)
crafted = ["../evil.txt", "..\\evil.txt", "/abs.txt", "\\abs.txt", "C:evil.txt", "c:\\evil.txt",
           "a/../../evil.txt", "ok/./x.txt", "./y.txt", "... /z.txt", ".. /z.txt", "dir/../..",
           "x" * 255, "y" * 256, "z" * 300, "d/" * 100 + "f.txt", "sub\\deep\\", "sub/deep/"]
for i, name in enumerate(crafted):
    write("py-name-%02d.zip" % i, [("first.txt", b"first\n"), (name, b"payload\n")])
write("py-names-all.zip", [(name, b"payload\n") for name in crafted], zipfile.ZIP_STORED)
PY
for f in "$work"/py-*.zip; do
  base=$(basename "$f" .zip)
  seed "$base-0" 0 "$f"
done
seed py-deflate-2 2 "$work/py-deflate.zip"

# Text seeds: path, base directory, find, replacement, then +include and
# -exclude entries, one per line, UTF-16LE.
python3 - "$out/text" <<'PY'
import os, sys
out = sys.argv[1]
cases = [
    ["C:\\data\\sub\\deep\\a.txt", "C:\\data\\", "*.", ".", "+*.txt", "+docs", "-*.log"],
    ["C:\\data\\a.TAR.GZ", "C:\\data\\", "\\", "/", "+.tar.gz", "-*.gz"],
    ["\\\\server\\share\\x.final.txt", "\\\\server\\share\\", "a", "aa", "+*.final.txt", "-share"],
    ["\\\\?\\C:\\long\\name.bin", "\\\\?\\C:\\", "", "x", "-*.bin"],
    ["/tmp/work/sub/file.txt", "/tmp/work/", "/", "\\", "+sub", "-*.TXT"],
    ["D:\\docs\\.profile", "", " ", "", "+*.profile", "-.profile"],
    ["E:\\x\\a.txt:stream", "E:\\x/", "..", ".", "+*.txt"],
    ["C:", "C:\\", "*.*", "", "+*.", "-."],
    ["..\\..\\up.txt", "..\\", "..", "", "+..", "-*.txt"],
    ["C:\\data/\\mixed/sep\\f.tx t", "C:\\data/\\", "x", "y", "+f", "- ", "+*.tx t"],
    ["caf\u00e9\\\u6587\u4ef6.txt", "caf\u00e9\\", "\u00e9", "e", "+*.txt", "-\u6587"],
    ["  trim me \t", "", "", "", ""],
]
for i, fields in enumerate(cases):
    with open(os.path.join(out, "case-%02d" % i), "wb") as f:
        f.write("\n".join(fields).encode("utf-16-le", "surrogatepass"))
PY

python3 - "$out/deflate_scan" <<'PY'
import os, random, sys, zlib
out = sys.argv[1]
rnd = random.Random(11)
text = b" ".join(rnd.choice([b"parcel", b"archive", b"deflate", b"entry", b"\n"]) for _ in range(4000))
noise = bytes(rnd.randrange(256) for _ in range(3000))
samples = {"text": text, "noise": noise, "tiny": b"x", "empty": b"", "zeros": bytes(20000)}
strategies = {"default": zlib.Z_DEFAULT_STRATEGY, "huffman": zlib.Z_HUFFMAN_ONLY, "rle": zlib.Z_RLE,
              "fixed": zlib.Z_FIXED}
for name, data in samples.items():
    for level in (0, 1, 9):
        for sname, strategy in strategies.items():
            c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
            stream = c.compress(data) + c.flush()
            base = "%s-%d-%s" % (name, level, sname)
            open(os.path.join(out, base), "wb").write(stream)
            if len(stream) > 4:
                open(os.path.join(out, base + "-cut"), "wb").write(stream[: len(stream) * 2 // 3])
PY

echo "make_seeds: $(ls "$out/unzip" | wc -l) archives, $(ls "$out/text" | wc -l) text cases," \
     "$(ls "$out/deflate_scan" | wc -l) Deflate streams in $out"

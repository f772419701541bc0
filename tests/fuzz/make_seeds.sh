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
#               - made by 7-Zip with Deflate64, bzip2 and LZMA, and by
#                 Python's zipfile with bzip2 and LZMA.
#   OUT/decoders/  real streams of Deflate64 (from 7-Zip), bzip2, LZMA, zstd
#               and xz (from their tools and Python's lzma), each behind the
#               six bytes decoders_fuzzer reads first: the method, the flags,
#               the size, the input's step.
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
rm -rf "$out/unzip" "$out/text" "$out/deflate_scan" "$out/decoders"
mkdir -p "$out/unzip" "$out/text" "$out/deflate_scan" "$out/decoders"

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

# Archives and streams of the other methods the reader decodes.
if command -v 7z >/dev/null; then
  for m in Deflate64 BZip2 LZMA; do
    (cd "$work/tree" && 7z a -bd -tzip -mm=$m "$work/7z-$m.zip" . >/dev/null)
    seed "7z-$m-0" 0 "$work/7z-$m.zip"
  done
else
  echo "make_seeds: 7-Zip is not installed" >&2
fi
python3 - "$work" "$out/decoders" <<'PY'
import lzma, os, shutil, struct, subprocess, sys, zipfile
work, out = sys.argv[1], sys.argv[2]
samples = {"text": open(os.path.join(work, "tree", "sub", "b.txt"), "rb").read(),
           "random": open(os.path.join(work, "tree", "sub", "deep", "c.bin"), "rb").read(),
           "empty": b""}
selector = {9: 0, 12: 1, 14: 2, 93: 3, 95: 4}

def seed(name, method, flags, size, stored, step=0):
    with open(os.path.join(out, name), "wb") as f:
        f.write(bytes([selector[method], flags]) + struct.pack("<I", size)[:3] + bytes([step]) + stored)

with zipfile.ZipFile(os.path.join(work, "py-bzip2.zip"), "w", zipfile.ZIP_BZIP2) as z:
    for name, data in samples.items():
        z.writestr(name, data)
with zipfile.ZipFile(os.path.join(work, "py-lzma.zip"), "w", zipfile.ZIP_LZMA) as z:
    for name, data in samples.items():
        z.writestr(name, data)
for name, data in samples.items():
    # LZMA as ZIP stores it: version, properties size, properties, stream
    # (Python's raw LZMA1 ends with the end marker: flag bit 1).
    filters = [{"id": lzma.FILTER_LZMA1, "dict_size": 1 << 16}]
    props = lzma._encode_filter_properties(filters[0])
    stored = b"\x09\x14" + struct.pack("<H", len(props)) + props + lzma.compress(data, lzma.FORMAT_RAW, filters=filters)
    seed("lzma-%s" % name, 14, 2, len(data), stored)
    seed("lzma-%s-step" % name, 14, 2, len(data), stored, 7)
    for method, tool in ((12, ["bzip2", "-c"]), (93, ["zstd", "-q", "-c"]), (95, ["xz", "-c"])):
        if shutil.which(tool[0]):
            stored = subprocess.run(tool, input=data, stdout=subprocess.PIPE, check=True).stdout
            seed("%s-%s" % (tool[0], name), method, 0, len(data), stored)
            seed("%s-%s-step" % (tool[0], name), method, 0, len(data), stored, 13)
# Deflate64 as 7-Zip stores it: the entries' raw bytes.
archive = os.path.join(work, "7z-Deflate64.zip")
if os.path.exists(archive):
    raw = open(archive, "rb").read()
    for info in zipfile.ZipFile(archive).infolist():
        if info.compress_type == 9:
            at = info.header_offset
            name_size, extra_size = struct.unpack("<HH", raw[at + 26:at + 30])
            start = at + 30 + name_size + extra_size
            stored = raw[start:start + info.compress_size]
            base = "deflate64-" + info.filename.replace("/", "_")
            seed(base, 9, 0, info.file_size, stored)
            seed(base + "-step", 9, 0, info.file_size, stored, 5)
PY
for f in "$work"/py-bzip2.zip "$work"/py-lzma.zip; do
  seed "$(basename "$f" .zip)-0" 0 "$f"
done

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

echo "make_seeds: $(ls "$out/unzip" | wc -l) archives, $(ls "$out/decoders" | wc -l) streams," \
     "$(ls "$out/text" | wc -l) text cases, $(ls "$out/deflate_scan" | wc -l) Deflate streams in $out"

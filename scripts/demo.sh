#!/usr/bin/env bash
# Shows the example host end to end on a generated sample: packing a list of
# files and a directory tree with a live progress bar and the time left, a
# wrong password told in plain words, extraction into a folder the tool
# makes (checked against the originals), and a Ctrl-C stop that leaves a
# closed archive.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/setup.sh
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DPARCELON_BUILD_TESTS=OFF >/dev/null
cmake --build build/demo -j"$(nproc)" --target parcelon-cli >/dev/null
tool="$root/build/demo/examples/parcelon"

work="$root/build/demo/sample"
rm -rf "$work"
mkdir -p "$work/site/docs/guide" "$work/site/img" "$work/site/tmp"
python3 - "$work/site" <<'PY'
import os, random, sys
base = sys.argv[1]
rng = random.Random(7)
words = "parcel archive folder entry deflate block stream progress stop extract".split()
def text(n):
    return " ".join(rng.choice(words) for _ in range(n)).encode()
for i in range(40):
    open(os.path.join(base, "docs", f"page{i:02}.txt"), "wb").write(text(3000))
open(os.path.join(base, "docs", "guide", "manual.txt"), "wb").write(text(2_000_000))
for i in range(5):
    open(os.path.join(base, "img", f"photo{i}.bin"), "wb").write(rng.randbytes(3_000_000))
open(os.path.join(base, "tmp", "scratch.tmp"), "wb").write(b"scratch")
open(os.path.join(base, "index.html"), "wb").write(b"<h1>sample</h1>\n")
PY

say() { printf '\n\033[1m$ %s\033[0m\n' "$*"; }

cd "$work"
say parcelon pack notes.zip site/index.html site/docs/page00.txt
"$tool" pack notes.zip site/index.html site/docs/page00.txt

say parcelon packdir site.zip site --exclude tmp --password ' s3cret '
"$tool" packdir site.zip site --exclude tmp --password ' s3cret '

say parcelon extract site.zip check --password wrong
set +e
"$tool" extract site.zip check --password wrong
echo "exit status $? (1 means failed)"
set -e

say parcelon extract site.zip restore --password s3cret   # restore/ does not exist yet
"$tool" extract site.zip restore --password s3cret
diff -r --exclude tmp site restore && echo "restore/ matches site/ (tmp/ was excluded)"

# Ctrl-C while a large tree is being packed: the handler only calls Stop,
# the library closes the archive with what it has packed so far.
python3 - "$work/big" <<'PY'
import os, random, sys
os.makedirs(sys.argv[1], exist_ok=True)
rng = random.Random(1)
for i in range(6):
    open(os.path.join(sys.argv[1], f"part{i}.bin"), "wb").write(rng.randbytes(40_000_000))
PY
say "parcelon packdir big.zip big --level 9   # Ctrl-C after a second"
set +e
"$tool" packdir big.zip big --level 9 &
pid=$!
sleep 1
kill -INT "$pid"
wait "$pid"
status=$?
set -e
echo "exit status $status (130 means stopped)"
if command -v unzip >/dev/null; then
  say unzip -l big.zip
  unzip -l big.zip | tail -n +1
fi

#!/usr/bin/env bash
# Shows that the working tree behaves as an earlier revision does: builds
# both, runs scripts/archive_sampler.cpp against each on the same sample
# tree, and compares the archives (byte for byte; encrypted entries after
# decryption, since their headers are random), the progress values and
# results (log.txt), the messages on stderr and the extracted files.
#
#   scripts/compare-with-revision.sh [REV]      (default: HEAD)
#
# Run scripts/setup.sh first. LANG decides the code page of both runs.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
rev="${1:-HEAD}"
work=$(mktemp -d "${TMPDIR:-/tmp}/parcelon-compare.XXXXXX")
trap 'git -C "$root" worktree remove --force "$work/old" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

build() { # <source> <build folder>
  cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DPARCELON_BUILD_TESTS=OFF \
    -DPARCELON_BUILD_EXAMPLES=OFF -DPARCELON_ZLIB_SOURCE_DIR="$(ls -d "$root"/third_party/zlib-*/ | tail -1)" \
    -DPARCELON_MINIZIP_SOURCE_DIR="$(ls -d "$root"/third_party/zlib-*/contrib/minizip | tail -1)" >/dev/null
  cmake --build "$2" -j2 --target Parcelon >/dev/null
  c++ -std=c++17 -O1 -I"$1/include" "$root/scripts/archive_sampler.cpp" -L"$2" -lParcelon \
    -Wl,-rpath,"$2" -o "$2/archive_sampler"
}

echo "compare: building $rev and the working tree"
git -C "$root" worktree add --detach "$work/old" "$rev" >/dev/null 2>&1
build "$work/old" "$work/build-old"
build "$root" "$work/build-new"

echo "compare: sample tree"
tree="$work/tree"
mkdir -p "$tree/sub/deep" "$tree/other"
python3 - "$tree" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(7)
words = [b"alpha", b"beta", b"gamma", b"delta", b"zeta", b"theta", b"\n"]
def text(n):
    return b" ".join(rng.choice(words) for _ in range(n // 5))[:n]
files = {
    "a.txt": text(100_000), "b.bin": bytes(rng.getrandbits(8) for _ in range(50_000)),
    "empty.txt": b"", "sub/c.txt": text(20_000), "sub/deep/d.txt": text(3_000),
    "sub/deep/e.dat": bytes(rng.getrandbits(8) for _ in range(70_000)), "other/f.log": text(5_000),
    ".hidden": b"dot", "name with spaces.txt": b"spaces", "big.bin": text(1_638_400),
}
for name, data in files.items():
    with open(os.path.join(root, name), "wb") as f:
        f.write(data)
PY

# Both runs write to the same folder, so the paths in messages agree.
run() { # <build folder> <kept as>
  mkdir -p "$work/out/unzipped"/{1,2,3,4,5,6,7}
  "$1/archive_sampler" "$tree" "$work/out" 2>"$work/out/stderr.txt"
  mv "$work/out" "$2"
}
run "$work/build-old" "$work/out-old"
run "$work/build-new" "$work/out-new"

failed=0
for a in "$work"/out-old/*.zip; do
  name=$(basename "$a")
  b="$work/out-new/$name"
  args=()
  case "$name" in
    dir-password.zip) args=(--password s3cret) ;;
    *password*) args=(--password pw) ;;
  esac
  if [ ! -f "$b" ]; then echo "compare: $name missing in the working tree"; failed=1; continue; fi
  if python3 "$root/scripts/compare_archives.py" "$a" "$b" "${args[@]}"; then
    echo "same   $name"
  else
    echo "DIFFER $name"; failed=1
  fi
done
for f in log.txt stderr.txt; do
  if cmp -s "$work/out-old/$f" "$work/out-new/$f"; then echo "same   $f"; else
    echo "DIFFER $f"; diff "$work/out-old/$f" "$work/out-new/$f" | head -20 || true; failed=1; fi
done
if diff -r "$work/out-old/unzipped" "$work/out-new/unzipped" >/dev/null; then echo "same   extracted files"; else
  echo "DIFFER extracted files"; failed=1; fi
echo "compare: $(ls "$work"/out-old/*.zip | wc -l) archives against $rev: $([ $failed = 0 ] && echo identical || echo DIFFERENT)"
exit $failed

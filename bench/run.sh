#!/usr/bin/env bash
# The benchmark, in one command:
#
#   bench/run.sh [--reps N] [--no-memory] [--only-small]
#   bench/run.sh --methods [--reps N]
#   bench/run.sh --ciphers      the ciphers alone (parcelon_cipher_speed):
#                               per byte and per entry, no files
#
# (--reps 0 runs the peak-memory and stop checks alone; --no-memory skips
# them.)
# Installs what it compares against when missing (zip, unzip, p7zip-full,
# python3, and GNU time for the figures), builds the library and the
# benchmark programs in build/bench (Release), writes the corpus once into
# build/bench/corpus and the 1 GiB file for the memory check (and a 2 GiB
# one for the stop check) into build/bench/big, then packs and unpacks the
# corpus with every tool N times (default 3) and prints the table. Scratch archives and output go to
# build/bench/work. Nothing here is part of the test suite.
#
# --methods times instead the extraction of Deflate64, bzip2, LZMA, Zstandard
# and xz: a one-entry archive of the corpus's text.txt (128 MiB) against
# `7z x`, `bunzip2`, `xz -d`, `zstd -d` and `xz -d` on the same compressed
# data (bench/methods.py; work in build/bench/methods).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/bench"
reps=3
memory=1
methods=0
extra=()
ciphers=0
while [ $# -gt 0 ]; do
  case "$1" in
    --reps) reps="$2"; shift 2 ;;
    --no-memory) memory=0; shift ;;
    --only-small) extra+=(--only-small); shift ;;
    --methods) methods=1; shift ;;
    --ciphers) ciphers=1; shift ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

need=()
command -v zip >/dev/null || need+=(zip)
command -v unzip >/dev/null || need+=(unzip)
command -v 7z >/dev/null || need+=(p7zip-full)
command -v python3 >/dev/null || need+=(python3)
command -v bzip2 >/dev/null || need+=(bzip2)
command -v xz >/dev/null || need+=(xz-utils)
command -v zstd >/dev/null || need+=(zstd)
[ -x /usr/bin/time ] || need+=(time)
command -v cmake >/dev/null || need+=(cmake build-essential)
if [ "${#need[@]}" -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  echo "bench: installing ${need[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

echo "bench: building in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPARCELON_BUILD_BENCH=ON \
  -DPARCELON_BUILD_TESTS=OFF -DPARCELON_BUILD_EXAMPLES=OFF >/dev/null
if [ "$ciphers" = 1 ]; then
  cmake --build "$build" -j2 --target parcelon_cipher_speed >/dev/null
  exec "$build/bench/parcelon_cipher_speed"
fi
cmake --build "$build" -j2 --target parcelon_bench_host parcelon_floor >/dev/null

python3 "$root/bench/make_corpus.py" "$build/corpus"
if [ "$methods" = 1 ]; then
  exec python3 "$root/bench/methods.py" --build "$build" --data "$build/corpus/text.txt" \
    --work "$build/methods" --reps "$reps"
fi
big_args=()
if [ "$memory" = 1 ]; then
  python3 "$root/bench/make_corpus.py" --big "$build/big/big.txt" 1024
  # The stop check's 2 GiB file: the 1 GiB one twice.
  if [ "$(stat -c %s "$build/big/big2.txt" 2>/dev/null || echo 0)" != $((2 * $(stat -c %s "$build/big/big.txt"))) ]; then
    cat "$build/big/big.txt" "$build/big/big.txt" >"$build/big/big2.txt"
  fi
  big_args=(--big "$build/big/big.txt" --stop-file "$build/big/big2.txt")
fi

exec python3 "$root/bench/run.py" --build "$build" --corpus "$build/corpus" \
  --work "$build/work" --reps "$reps" "${big_args[@]}" "${extra[@]}"

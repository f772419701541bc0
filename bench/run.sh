#!/usr/bin/env bash
# The benchmark, in one command:
#
#   bench/run.sh [--reps N] [--no-memory] [--only-PART ...] [--only-small] [--tmpfs]
#   bench/run.sh --methods [--reps N]
#   bench/run.sh --ciphers      the ciphers alone (parcelon_cipher_speed):
#                               per byte and per entry, no files
#
# The parts, each of which can run alone (several --only-* run together):
#   --only-packing     the corpus and its small files packed, with and without a password
#   --only-reading     the corpus and its small files extracted (with and without
#                      a password) and tested, and a 100,000-entry archive listed
#   --only-tiny        100,000 files of 0 to 200 bytes packed and extracted
#   --only-listing     the listing alone
#   --only-memory      peak memory packing and extracting a 1 GiB file
#   --only-stop        the time a stop takes inside a 2 GiB file, packing and extracting
# Without any, everything runs (--no-memory leaves out the last two).
# --tmpfs writes the archives and extracted trees into /dev/shm (memory)
# instead of build/bench/work, and removes each tree after its run: the
# tools' own work, without this machine's disk (whose inode allocation
# charges a tool for the files the tools before it wrote).
# --only-small keeps the corpus's small files alone (with --only-packing or
# --only-reading; alone it means both); --reps 0 runs the memory and stop
# checks alone.
#
# Installs what it compares against when missing (zip, unzip, p7zip-full,
# python3, bzip2, xz-utils, zstd, and GNU time for the figures), builds the
# library and the benchmark programs in build/bench (Release), writes what
# the parts need once: the corpus into build/bench/corpus, the tiny-file set
# into build/bench/tiny (and its listing archive beside it), the 1 GiB file
# for the memory check and a 2 GiB one (and its archives) for the stop check
# into build/bench/big. Then it runs every tool N times (default 3) and
# prints the table. Scratch archives and output go to build/bench/work.
# Nothing here is part of the test suite.
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
ciphers=0
small=0
tmpfs=0
only=()
while [ $# -gt 0 ]; do
  case "$1" in
    --reps) reps="$2"; shift 2 ;;
    --no-memory) memory=0; shift ;;
    --only-small) small=1; shift ;;
    --tmpfs) tmpfs=1; shift ;;
    --only-packing) only+=(packing); shift ;;
    --only-reading) only+=(extraction listing); shift ;;
    --only-tiny) only+=(tiny); shift ;;
    --only-listing) only+=(listing); shift ;;
    --only-memory) only+=(memory); shift ;;
    --only-stop) only+=(stop); shift ;;
    --methods) methods=1; shift ;;
    --ciphers) ciphers=1; shift ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
if [ "${#only[@]}" -eq 0 ]; then
  if [ "$small" = 1 ]; then
    only=(packing extraction)
  elif [ "$reps" = 0 ]; then
    only=(memory stop)
  else
    only=(packing extraction listing tiny memory stop)
  fi
  if [ "$memory" = 0 ]; then
    only=("${only[@]/memory/}")
    only=("${only[@]/stop/}")
  fi
fi
parts=""
for part in "${only[@]}"; do
  [ -n "$part" ] && parts="${parts:+$parts,}$part"
done
[ -n "$parts" ] || { echo "run.sh: nothing to run" >&2; exit 2; }
has() { case ",$parts," in *",$1,"*) return 0 ;; *) return 1 ;; esac; }

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

if [ "$methods" = 1 ]; then
  python3 "$root/bench/make_corpus.py" "$build/corpus"
  exec python3 "$root/bench/methods.py" --build "$build" --data "$build/corpus/text.txt" \
    --work "$build/methods" --reps "$reps"
fi
args=(--parts "$parts")
if has packing || has extraction; then
  python3 "$root/bench/make_corpus.py" "$build/corpus"
fi
if [ "$small" = 1 ]; then args+=(--only-small); fi
if has tiny || has listing; then
  python3 "$root/bench/make_corpus.py" --tiny "$build/tiny"
  args+=(--tiny "$build/tiny")
fi
if has memory || has stop; then
  python3 "$root/bench/make_corpus.py" --big "$build/big/big.txt" 1024
  args+=(--big "$build/big/big.txt")
fi
if has stop; then
  # The stop check's 2 GiB file: the 1 GiB one twice.
  if [ "$(stat -c %s "$build/big/big2.txt" 2>/dev/null || echo 0)" != $((2 * $(stat -c %s "$build/big/big.txt"))) ]; then
    cat "$build/big/big.txt" "$build/big/big.txt" >"$build/big/big2.txt"
  fi
  args+=(--stop-file "$build/big/big2.txt")
fi

work="$build/work"
if [ "$tmpfs" = 1 ]; then
  work=/dev/shm/parcelon-bench
  args+=(--discard-output)
fi
exec python3 "$root/bench/run.py" --build "$build" --corpus "$build/corpus" \
  --work "$work" --reps "$reps" "${args[@]}"

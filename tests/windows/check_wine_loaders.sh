#!/usr/bin/env bash
# The Windows suites on a machine whose kernel runs no 32-bit programs:
#   - scripts/check-32bit-wine.sh tells such a machine (the loader, or a
#     wrapper that starts it, fails with "Exec format error") from one where
#     the loader starts, and both from a missing or broken Wine;
#   - the x64 toolchain file runs the tests with the 64-bit loader even when
#     a `wine` comes first (Debian's /usr/bin/wine starts the 32-bit one),
#     and the x86 one keeps `wine`.
# The refusing loader is a file with an ELF header no kernel runs, so the
# refusal is the kernel's own ENOEXEC, as for an i386 program there.
# Usage: tests/windows/check_wine_loaders.sh   (CMAKE=<cmake> to name one)
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work=$(mktemp -d "${TMPDIR:-/tmp}/parcelon-wine-loaders.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# ---- the fakes
mkdir -p "$work/bin"
printf '#!/bin/sh\necho wine-8.0\n' >"$work/starts"
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\000\000' >"$work/refused"
printf '#!/bin/sh -e\nexec %s "$@"\n' "$work/refused" >"$work/wrapper"
printf '#!/bin/sh\necho "wine: error while loading shared libraries: libc.so.6" >&2\nexit 127\n' >"$work/broken"
cp "$work/starts" "$work/bin/wine"
cp "$work/starts" "$work/bin/wine64"
chmod +x "$work"/starts "$work"/refused "$work"/wrapper "$work"/broken "$work"/bin/*

# ---- the probe: <loader> <expected status> <text expected in its output or "">
while read -r loader expected text; do
  said=$("$root/scripts/check-32bit-wine.sh" "$work/$loader" 2>&1)
  status=$?
  if [ "$status" != "$expected" ]; then
    fail "check-32bit-wine.sh on the $loader loader: status $status, expected $expected ($said)"
  elif [ "$text" != "-" ] && ! grep -qF "$text" <<<"$said"; then
    fail "check-32bit-wine.sh on the $loader loader says \"$said\", without \"$text\""
  fi
done <<'TABLE'
starts  0 -
refused 1 Exec format error
wrapper 1 cannot run 32-bit programs
missing 2 wine32:i386
broken  2 status 127
TABLE

# ---- the toolchain files' emulator: <toolchain> <loader expected>
while read -r toolchain expected; do
  printf 'include("%s")\nmessage("${CMAKE_CROSSCOMPILING_EMULATOR}")\n' "$root/cmake/$toolchain" >"$work/emulator.cmake"
  found=$(PATH="$work/bin:$PATH" "${CMAKE:-cmake}" -P "$work/emulator.cmake" 2>&1 | tail -n 1)
  if [ "$found" != "$work/bin/$expected" ]; then
    fail "$toolchain runs its tests with $found, not $work/bin/$expected"
  fi
done <<'TABLE'
mingw-w64-x86_64.cmake wine64
mingw-w64-i686.cmake   wine
TABLE

if [ "$failures" != 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "wine loaders: the probe and both toolchain files choose as they should"

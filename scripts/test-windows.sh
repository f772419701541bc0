#!/usr/bin/env bash
# Builds the 64- and 32-bit Parcelon.dll, their import libraries and the
# test programs with the mingw-w64 cross compilers, then runs the CTest
# suite under Wine: the 64-bit build four times,
#   1. ANSI code page 1252 (LANG=C.UTF-8: Wine's default, western code page);
#   2. ANSI code page 936 with file names kept in GBK (LANG=zh_CN.GBK);
#   3. ANSI code page 936 with file names kept in UTF-8 (LANG=zh_CN.UTF-8),
#      where names GBK lacks (Korean, say) can exist, as on Windows;
#   4. ANSI code page 932, Shift-JIS (LANG=ja_JP.UTF-8);
# and the 32-bit build at 1252 and 936 (GBK), the two its hosts meet most.
# Each suite includes the MSVC-style host linked against Parcelon.lib
# (msvc_import_library_host). Then the example tool of each build packs the
# same files as the Linux build's, which must give the same archive. Last,
# scripts/package-windows.sh assembles the release from the same two
# builds, and its zip is checked.
# Wine takes the code page from the locale's language; the C-library locales
# it needs are compiled into a temporary folder (LOCPATH), so the machine's
# own locales stay as they are.
# One throw-away Wine prefix, 64-bit with 32-bit support, serves every run
# and is removed at the end. Each build runs its programs with the loader
# its toolchain file chose: wine64 for x64, the 32-bit loader for x86. On a
# machine whose kernel runs no 32-bit programs the 32-bit DLL is still built
# (and its export table checked), but its suite cannot run: the output says
# so, and everything else runs.
# Usage: scripts/test-windows.sh [--build-only] [x64 build folder, default build-win] [x86 build folder, default build-win32]
#   --build-only  the set-up and the two cross builds alone (scripts/test.sh
#                 runs them early, in the background)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
build_only=0
if [ "${1:-}" = "--build-only" ]; then build_only=1; shift; fi
build64="${1:-build-win}"
build32="${2:-build-win32}"
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 2 ] && jobs=2
started=$SECONDS
step() { printf '\n---- %s (%ss)\n' "$1" "$((SECONDS - started))"; }

step "set-up (mingw-w64 for x64 and x86, zlib for Windows, Wine, LLVM, locales)"
scripts/setup.sh --windows

cross_build() { # <build folder> <toolchain file>
  cmake -S . -B "$1" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$1" -j"$jobs"
}
step "x64 cross build in $build64"
cross_build "$build64" mingw-w64-x86_64.cmake
step "x86 cross build in $build32"
cross_build "$build32" mingw-w64-i686.cmake
[ "$build_only" = 1 ] && exit 0

# The loader each build runs its tests with (CMAKE_CROSSCOMPILING_EMULATOR,
# as its toolchain file found it).
emulator_of() { sed -n 's/^PARCELON_WINE:FILEPATH=//p' "$1/CMakeCache.txt"; }
wine64=$(emulator_of "$build64")
wine32=$(emulator_of "$build32")
if [ -z "$wine64" ] || [ ! -x "$wine64" ]; then
  echo "test-windows: no 64-bit Wine loader found (Debian package wine64)" >&2
  exit 1
fi
wineserver=$(command -v wineserver || { [ -x /usr/lib/wine/wineserver64 ] && echo /usr/lib/wine/wineserver64; } \
             || echo /usr/lib/wine/wineserver)

step "can this machine run 32-bit programs?"
x86_skipped=""
if ! why=$(scripts/check-32bit-wine.sh "$wine32"); then
  [ -n "$why" ] || exit 1 # no 32-bit Wine, or a broken one: the set-up failed (its reason is above)
  x86_skipped="the 32-bit Parcelon.dll is built in $build32 and its tables checked, but its suite under Wine cannot run: $why"
  echo "SKIPPED: $x86_skipped"
else
  echo "yes: $wine32 starts"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/parcelon-windows.XXXXXX")
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
# No Mono or Gecko: the suite needs neither, and looking for them is slow.
export WINEDLLOVERRIDES="mscoree=;mshtml="
cleanup() {
  "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

step "Chinese and Japanese locales for Wine in $work/locale"
mkdir -p "$work/locale"
for locale in zh_CN:GBK zh_CN:UTF-8 ja_JP:UTF-8; do
  name="${locale%%:*}.${locale##*:}"
  # localedef returns 1 for mere warnings; the compiled locale is what counts.
  localedef -i "${locale%%:*}" -f "${locale##*:}" "$work/locale/$name" >"$work/localedef.log" 2>&1 || true
  if [ ! -f "$work/locale/$name/LC_CTYPE" ]; then
    cat "$work/localedef.log" >&2
    echo "test-windows: could not compile the $name locale" >&2
    exit 1
  fi
done

step "Wine prefix"
# wineboot through the 64-bit loader makes a prefix for both kinds of
# program.
if ! env -u LC_ALL LANG=C.UTF-8 "$wine64" wineboot -i >"$work/wineboot.log" 2>&1; then
  cat "$work/wineboot.log" >&2
  echo "test-windows: wineboot failed" >&2
  exit 1
fi
if [ -z "$x86_skipped" ] && [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
  echo "test-windows: the Wine prefix cannot run 32-bit programs (no syswow64)" >&2
  exit 1
fi

failed=0
run_suite() { # <build folder> <label> <expected ANSI code page> <env assignments...>
  local build=$1 label=$2 code_page=$3
  shift 3
  step "suite of $build under Wine, $label"
  if ! (cd "$build" && env -u LC_ALL -u LC_CTYPE -u LANGUAGE "$@" PARCELON_EXPECT_ACP="$code_page" \
          ctest --output-on-failure -j"$jobs" --timeout 900); then
    echo "test-windows: the suite of $build failed under Wine with $label" >&2
    failed=1
  fi
  # The unit suite's own count, from the log CTest keeps of the run.
  local log="$build/Testing/Temporary/LastTest.log"
  printf 'parcelon_tests: %s passed, %s skipped (peers Wine cannot start, cases of other code pages)\n' \
    "$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log" | head -n 1)" \
    "$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\?,.*/\1/p' "$log" | head -n 1)"
}
run_suite "$build64" "code page 1252" 1252 LANG=C.UTF-8
run_suite "$build64" "code page 936 (zh_CN.GBK)" 936 LANG=zh_CN.GBK LOCPATH="$work/locale"
run_suite "$build64" "code page 936 (zh_CN.UTF-8)" 936 LANG=zh_CN.UTF-8 LOCPATH="$work/locale"
run_suite "$build64" "code page 932 (ja_JP.UTF-8)" 932 LANG=ja_JP.UTF-8 LOCPATH="$work/locale"
if [ -z "$x86_skipped" ]; then
  run_suite "$build32" "code page 1252" 1252 LANG=C.UTF-8
  run_suite "$build32" "code page 936 (zh_CN.GBK)" 936 LANG=zh_CN.GBK LOCPATH="$work/locale"
else
  step "what in $build32's suite needs no Wine: the DLL's and libraries' tables"
  (cd "$build32" && ctest --output-on-failure -L no-wine) || failed=1
  echo "SKIPPED: $x86_skipped"
fi

step "the same archive from the Linux and both Windows builds"
# Files of one, several and exactly one chunk, packed with two threads by
# the tool of each build: the bytes depend on the files and the level only.
[ -x build/native/examples/parcelon ] || {
  cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build/native -j"$jobs" --target parcelon-cli >/dev/null
}
same="$work/same"
mkdir -p "$same"
python3 - "$same" <<'PY'
import random, sys
rng = random.Random(2026)
words = [b"parcel ", b"archive ", b"deflate ", b"entry ", b"\n", b"2026 "]
def text(size):
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words)
    return bytes(out[:size])
files = {"a.txt": text(5000), "b.bin": bytes(rng.getrandbits(8) for _ in range(70000)),
         "c.txt": text(3 * 1048576 + 777), "d.txt": text(1048576), "e.txt": b""}
for name, data in files.items():
    open(sys.argv[1] + "/" + name, "wb").write(data)
PY
names=(a.txt b.bin c.txt d.txt e.txt)
(cd "$same" && "$root/build/native/examples/parcelon" pack linux.zip "${names[@]}" --threads 2 >/dev/null 2>&1)
for build in "$build64" "$build32"; do
  loader="$wine64"
  if [ "$build" = "$build32" ]; then
    loader="$wine32"
    if [ -n "$x86_skipped" ]; then
      echo "$build: SKIPPED (this machine cannot run 32-bit programs)"
      continue
    fi
  fi
  (cd "$same" && env -u LC_ALL LANG=C.UTF-8 WINEPATH="Z:$(echo "$root/$build" | tr / '\\\\')" \
     "$loader" "$root/$build/examples/parcelon.exe" pack windows.zip "${names[@]}" --threads 2 >/dev/null 2>&1) || true
  if cmp -s "$same/linux.zip" "$same/windows.zip"; then
    echo "$build: the same archive as the Linux build"
  else
    echo "test-windows: the archive of $build differs from the Linux build's" >&2
    failed=1
  fi
  rm -f "$same/windows.zip"
done

step "release package from $build64 and $build32"
if ! PARCELON_X64_BUILD="$build64" PARCELON_X86_BUILD="$build32" scripts/package-windows.sh "$work/package"; then
  echo "test-windows: scripts/package-windows.sh failed" >&2
  failed=1
else
  tests/windows/check_package.sh "$work/package" "$build64" "$build32" || failed=1
fi

if [ "$failed" != 0 ]; then
  step "Windows suites FAILED"
  exit 1
fi
if [ -n "$x86_skipped" ]; then
  step "Windows suites and package passed; the x86 suite was SKIPPED: $x86_skipped"
else
  step "Windows suites and package passed"
fi

#!/usr/bin/env bash
# Builds Parcelon.dll, its import library and the test programs with the
# mingw-w64 cross compiler, then runs them under Wine four times:
#   1. ANSI code page 1252 (LANG=C.UTF-8: Wine's default, western code page);
#   2. ANSI code page 936 with file names kept in GBK (LANG=zh_CN.GBK);
#   3. ANSI code page 936 with file names kept in UTF-8 (LANG=zh_CN.UTF-8),
#      where names GBK lacks (Korean, say) can exist, as on Windows;
#   4. ANSI code page 932, Shift-JIS (LANG=ja_JP.UTF-8).
# Wine takes the code page from the locale's language; the C-library locales
# it needs are compiled into a temporary folder (LOCPATH), so the machine's
# own locales stay as they are.
# Wine runs in a throw-away prefix that is removed at the end.
# Usage: scripts/test-windows.sh [build folder, default build-win]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
build="${1:-build-win}"
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 2 ] && jobs=2
started=$SECONDS
step() { printf '\n---- %s (%ss)\n' "$1" "$((SECONDS - started))"; }

step "set-up (mingw-w64, zlib for Windows, Wine, locales)"
scripts/setup.sh --windows

step "cross build in $build"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$jobs"

wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || { [ -x /usr/lib/wine/wineserver64 ] && echo /usr/lib/wine/wineserver64; } \
             || echo /usr/lib/wine/wineserver)
[ -x "$wine" ] || { echo "test-windows: no Wine loader found" >&2; exit 1; }

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
for spec in zh_CN:GBK zh_CN:UTF-8 ja_JP:UTF-8; do
  name="${spec%%:*}.${spec##*:}"
  # localedef returns 1 for mere warnings; the compiled locale is what counts.
  localedef -i "${spec%%:*}" -f "${spec##*:}" "$work/locale/$name" >"$work/localedef.log" 2>&1 || true
  if [ ! -f "$work/locale/$name/LC_CTYPE" ]; then
    cat "$work/localedef.log" >&2
    echo "test-windows: could not compile the $name locale" >&2
    exit 1
  fi
done

step "Wine prefix"
if ! env -u LC_ALL LANG=C.UTF-8 "$wine" wineboot -i >"$work/wineboot.log" 2>&1; then
  cat "$work/wineboot.log" >&2
  echo "test-windows: wineboot failed" >&2
  exit 1
fi

failed=0
run_suite() { # <label> <expected ANSI code page> <env assignments...>
  local label=$1 code_page=$2
  shift 2
  step "suite under Wine, $label"
  if ! (cd "$build" && env -u LC_ALL -u LC_CTYPE -u LANGUAGE "$@" PARCELON_EXPECT_ACP="$code_page" \
          ctest --output-on-failure -j"$jobs" --timeout 900); then
    echo "test-windows: the suite failed under Wine with $label" >&2
    failed=1
  fi
}
run_suite "code page 1252" 1252 LANG=C.UTF-8
run_suite "code page 936 (zh_CN.GBK)" 936 LANG=zh_CN.GBK LOCPATH="$work/locale"
run_suite "code page 936 (zh_CN.UTF-8)" 936 LANG=zh_CN.UTF-8 LOCPATH="$work/locale"
run_suite "code page 932 (ja_JP.UTF-8)" 932 LANG=ja_JP.UTF-8 LOCPATH="$work/locale"

if [ "$failed" != 0 ]; then
  step "Windows suites FAILED"
  exit 1
fi
step "Windows suites passed"

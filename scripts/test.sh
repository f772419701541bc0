#!/usr/bin/env bash
# The whole test run, as CI runs it: installs what it needs, then
#   1. the native suite (CTest),
#   2. the native suite again under AddressSanitizer + UBSan,
#   3. the Windows DLL and its suite under Wine (code pages 1252 and 936).
# Usage: scripts/test.sh [--native-only]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
native_only=0
[ "${1:-}" = "--native-only" ] && native_only=1

jobs=$(nproc 2>/dev/null || echo 2)
started=$SECONDS
step() { printf '\n==== %s (%ss)\n' "$1" "$((SECONDS - started))"; }

step "set-up"
if [ "$native_only" = 1 ]; then scripts/setup.sh --fuzz; else scripts/setup.sh --windows --fuzz; fi

step "native build and suite"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j"$jobs"
(cd build/native && ctest --output-on-failure -j"$jobs" --timeout 600 -LE slow)

step "native suite under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DPARCELON_SANITIZE=ON -DPARCELON_BUILD_EXAMPLES=OFF >/dev/null
cmake --build build/asan -j"$jobs"
(cd build/asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
   ctest --output-on-failure -j"$jobs" --timeout 600 -LE slow)

if [ "$native_only" = 0 ]; then
  step "Windows DLL under Wine"
  scripts/test-windows.sh
fi

step "all suites passed"

#!/usr/bin/env bash
# The whole test run, as CI runs it: installs what it needs, then
#   1. the native suite (CTest) under the environment's locale, the POSIX
#      locale (no LANG, as in most containers) and a GBK locale (zh_CN.GBK);
#      the Python package installed into a throw-away virtual environment
#      with pip and no index, and its tests (the example tool's, pip
#      installations, mypy --strict) against the built library, under the
#      same three locales (the installations once),
#   2. the native suite again under AddressSanitizer + UBSan,
#   3. the concurrency and worker-thread tests under ThreadSanitizer,
#   4. the fuzz targets (libFuzzer), each for a bounded time, and beside
#      them the core suite under valgrind's memcheck,
#   5. the slow tests (a 4.5 GiB ZIP64 round trip) when the disk has room,
#      in the background from the end of step 1 on (waited for last),
#   6. the 64- and 32-bit Windows DLLs and their suites under Wine (x64 at
#      code pages 1252, 936 and 932, x86 at 1252 and 936), and the package;
#      on a machine that runs no 32-bit programs the x86 suite is skipped,
#      and the output says so.
# Each step's time is listed at the end.
# Usage: scripts/test.sh [--native-only]
#   PARCELON_FUZZ_SECONDS=N  time per fuzz target (default 30)
#   PARCELON_SLOW=0          skip the slow tests whatever the disk
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
native_only=0
[ "${1:-}" = "--native-only" ] && native_only=1

jobs=$(nproc 2>/dev/null || echo 2)
started=$SECONDS
step_names=()
step_starts=()
step() {
  step_names+=("$1")
  step_starts+=("$SECONDS")
  printf '\n==== %s (%ss)\n' "$1" "$((SECONDS - started))"
}
timings() {
  local i end
  printf '\n==== step times\n'
  for i in "${!step_names[@]}"; do
    end=${step_starts[$((i + 1))]:-$SECONDS}
    printf '%6ss  %s\n' "$((end - step_starts[i]))" "${step_names[i]}"
  done
}
background=() # pids of the steps running beside the others
finish() {
  local pid
  for pid in "${background[@]}"; do kill "$pid" 2>/dev/null || true; done
  timings
}
trap finish EXIT

step "set-up"
if [ "$native_only" = 1 ]; then scripts/setup.sh --fuzz; else scripts/setup.sh --windows --fuzz; fi

step "native build and suite"
# The slow test is enabled here (ctest -L slow) and run on its own below.
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARCELON_SLOW_TESTS=ON >/dev/null
cmake --build build/native -j"$jobs"
(cd build/native && ctest --output-on-failure -j"$jobs" --timeout 600 -LE slow)

# The slow tests (a 4.5 GiB file through ZIP64) keep one processor busy for
# minutes and need nothing but build/native: they run in the background
# beside the steps below, and the run waits for them at its end.
slow_dir=${TMPDIR:-/tmp}
free_kib=$(df -Pk "$slow_dir" | awk 'NR == 2 { print $4 }')
need_kib=$((12 * 1024 * 1024))
slow_skipped=""
if [ "${PARCELON_SLOW:-1}" = 0 ]; then
  slow_skipped="SKIPPED: the slow tests (PARCELON_SLOW=0)"
elif [ "$free_kib" -lt "$need_kib" ]; then
  slow_skipped="SKIPPED: the slow tests need 12 GiB free in $slow_dir; it has $((free_kib / 1024 / 1024)) GiB"
else
  # The program itself rather than `ctest -L slow`, so that two CTest runs
  # never share build/native/Testing.
  build/native/tests/parcelon_slow_tests >build/native/slow.log 2>&1 &
  slow_pid=$!
  background+=("$slow_pid")
  echo "-- the slow tests run in the background (build/native/slow.log)"
fi

# The Windows cross builds are minutes of compiling: they start now, at a
# lower priority, and take the processor time the steps below leave idle
# (most of them keep one processor busy). The Windows step finds them built.
if [ "$native_only" = 0 ]; then
  nice -n 10 scripts/test-windows.sh --build-only >build/windows-build.log 2>&1 &
  windows_build_pid=$!
  background+=("$windows_build_pid")
  echo "-- the Windows DLLs build in the background (build/windows-build.log)"
fi

step "native suite under the POSIX locale (no LANG, LC_ALL or LC_CTYPE)"
# What a fresh container has: every name beyond ASCII is one the locale's
# character set lacks, which the library spells in UTF-8 on disk.
(cd build/native && env -u LANG -u LC_ALL -u LC_CTYPE \
   ctest --output-on-failure -j"$jobs" --timeout 600 -LE slow)

step "native suite under a GBK locale (zh_CN.GBK)"
# Names in GBK, whose double-byte characters may end in 0x5C. The locale is
# compiled into a scratch folder; the machine's own locales stay as they are.
mkdir -p build/locale
[ -f build/locale/zh_CN.GBK/LC_CTYPE ] || localedef -i zh_CN -f GBK build/locale/zh_CN.GBK >/dev/null 2>&1 || true
[ -f build/locale/zh_CN.GBK/LC_CTYPE ] || { echo "test: could not compile the zh_CN.GBK locale" >&2; exit 1; }
(cd build/native && env -u LC_ALL -u LC_CTYPE LANG=zh_CN.GBK LOCPATH="$root/build/locale" \
   ctest --output-on-failure -j"$jobs" --timeout 600 -LE slow -E '^consumer_')

step "Python package under three locales: pip install with no index, its tests, mypy --strict"
# Debian's Python, whose python3-pytest and mypy setup.sh installed; the
# environment sees them through --system-site-packages and gets the package
# from ./python alone: its build backend is in the tree and needs nothing
# from an index. The wheel's library is built with CMake in build/python-wheel,
# the folder the installation tests (marked `install`) build in too, so they
# find it built.
venv="$root/build/python-venv"
rm -rf "$venv"
/usr/bin/python3 -m venv --system-site-packages "$venv"
"$venv/bin/pip" install --quiet --no-index --no-cache-dir --config-settings build-dir=build/python-wheel \
  "$root/python"
# Run from build/, so that the installed package is the one imported; the
# suite uses the library of build/native through PARCELON_LIBRARY, and the
# GBK tests find their zh_CN.GBK in build/locale. The test process itself
# runs under each locale: no LANG (which Python turns into C.UTF-8 for
# itself), C.UTF-8, and zh_CN.GBK, whose encoding Python then gives every
# str it hands to the operating system. The installations (a minute each)
# run once, under C.UTF-8.
for locale in POSIX C.UTF-8 zh_CN.GBK; do
  case "$locale" in
    POSIX) locale_env=(-u LANG) ;;
    zh_CN.GBK) locale_env=(LANG="$locale" LOCPATH="$root/build/locale") ;; # LOCPATH hides the machine's own
    *) locale_env=(LANG="$locale") ;;
  esac
  selection=(-m "not install")
  [ "$locale" = C.UTF-8 ] && selection=()
  echo "-- pytest under $locale"
  (cd build && env -u PYTHONPATH -u LC_ALL -u LC_CTYPE "${locale_env[@]}" \
     PARCELON_LIBRARY="$root/build/native/libParcelon.so" PARCELON_CLI="$root/build/native/examples/parcelon" \
     PARCELON_TEST_LOCPATH="$root/build/locale" "$venv/bin/python" -m pytest -p no:cacheprovider -q \
     "${selection[@]}" "$root/python/tests")
done
rm -rf "$venv"

step "native suite under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DPARCELON_SANITIZE=ON -DPARCELON_BUILD_EXAMPLES=OFF >/dev/null
cmake --build build/asan -j"$jobs"
# The consumer test builds an uninstrumented host against the installed
# library, which cannot load an AddressSanitizer build; the native run has it.
(cd build/asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
   ctest --output-on-failure -j"$jobs" --timeout 600 -LE slow -E '^consumer_')

step "concurrency and worker-thread tests under ThreadSanitizer"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARCELON_TSAN=ON -DPARCELON_BUILD_EXAMPLES=OFF >/dev/null
cmake --build build/tsan -j"$jobs" --target parcelon_tsan_tests
# Under the GBK locale, so that every operation's code-page scope loads
# locale data (newlocale) while the others do the same.
env -u LC_ALL -u LC_CTYPE LANG=zh_CN.GBK LOCPATH="$root/build/locale" \
  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan/suppressions.txt" \
  build/tsan/tests/parcelon_tsan_tests --gtest_brief=1

step "C# and Pascal bindings (Mono, Free Pascal) against the native library"
# Their tests and examples, under three locales, against build/native.
scripts/test-bindings.sh build/native

# The core suite under valgrind memcheck, in the background beside the
# fuzz targets: each keeps one processor busy.
# What valgrind adds to the sanitizers is reads of uninitialised memory,
# and every code path those could hide in runs in the quick tests. Left
# out: the peers' interoperability tests (their time goes to python3, unzip
# and 7z, which valgrind does not follow) and the tests that repeat those
# paths over many megabytes, thread counts or entries: under valgrind
# they would cost most of the run's time and find nothing more.
heavy='PackInteropTest.*:UnzipPeerTest.*:Writers/PeerMethodTest.*:Writers/UnzipNamesTest.*'
heavy+=':UnzipLargeEntryTest.*:UnzipStreamedInflateTest.*:UnzipMemoryTest.*'
heavy+=':ThreadsTest.*:ReadingThreadsTest.*:NoLockTest.*:StopGranularityTest.*'
heavy+=':EncryptedSourceTest.*:ChangingSourceTest.*:ArchiveWriterTest.MoreThan65534*'
valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect,possible \
  --suppressions=tests/valgrind/suppressions.supp -q \
  build/native/tests/parcelon_tests --gtest_brief=1 --gtest_filter="-$heavy" >build/native/valgrind.log 2>&1 &
valgrind_pid=$!
background+=("$valgrind_pid")

fuzz_seconds=${PARCELON_FUZZ_SECONDS:-30}
step "fuzz targets (libFuzzer, ${fuzz_seconds}s each), valgrind memcheck of the core suite beside them"
cmake -S . -B build/fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPARCELON_FUZZ=ON -DPARCELON_BUILD_TESTS=OFF -DPARCELON_BUILD_EXAMPLES=OFF >/dev/null
cmake --build build/fuzz -j"$jobs" --target unzip_fuzzer text_fuzzer deflate_scan_fuzzer decoders_fuzzer
tests/fuzz/make_seeds.sh build/fuzz/seeds build/native/examples/parcelon
mkdir -p build/fuzz/findings
for target in unzip:20000 text:4096 deflate_scan:65536 decoders:65536; do
  name=${target%%:*}
  mkdir -p "build/fuzz/corpus/$name"
  # -rss_limit_mb: a reader that lets memory grow with a name's depth or an
  # entry's claims fails here (a run needs about 210 MB under ASan; the
  # decoders, with their 64 MiB windows, about 320 MB). The decoders keep
  # within their window and small blocks: one allocation of more than
  # 256 MiB is a fault of its own.
  limits=(-rss_limit_mb=512)
  if [ "$name" = decoders ]; then limits=(-rss_limit_mb=768 -malloc_limit_mb=256); fi
  # -close_fd_mask=2: the library's own diagnostic lines would drown the
  # fuzzer's; sanitizer reports still come through.
  if ! "build/fuzz/tests/fuzz/${name}_fuzzer" "build/fuzz/corpus/$name" "build/fuzz/seeds/$name" \
       -max_total_time="$fuzz_seconds" -max_len="${target##*:}" -timeout=20 "${limits[@]}" \
       -close_fd_mask=2 -artifact_prefix="build/fuzz/findings/$name-" >"build/fuzz/$name.log" 2>&1; then
    tail -n 80 "build/fuzz/$name.log"
    echo "fuzz: ${name}_fuzzer failed; its input is in build/fuzz/findings/" >&2
    exit 1
  fi
  echo "${name}_fuzzer: $(grep -E '^Done [0-9]+ runs' "build/fuzz/$name.log"), no crash;" \
       "corpus $(ls "build/fuzz/corpus/$name" | wc -l) inputs"
done

step "core suite under valgrind memcheck (the rest of its run)"
if ! wait "$valgrind_pid"; then
  tail -n 80 build/native/valgrind.log
  echo "test: valgrind memcheck failed (build/native/valgrind.log)" >&2
  exit 1
fi
tail -n 3 build/native/valgrind.log

if [ "$native_only" = 0 ]; then
  step "Windows DLL under Wine"
  if ! wait "$windows_build_pid"; then
    tail -n 80 build/windows-build.log
    echo "test: the Windows cross builds failed (build/windows-build.log)" >&2
    exit 1
  fi
  scripts/test-windows.sh
fi

step "slow tests (a 4.5 GiB file through ZIP64; the rest of their run)"
if [ -n "$slow_skipped" ]; then
  echo "$slow_skipped"
else
  if ! wait "$slow_pid"; then
    tail -n 80 build/native/slow.log
    echo "test: the slow tests failed (build/native/slow.log)" >&2
    exit 1
  fi
  grep -E 'peak memory|PASSED|tests? ran' build/native/slow.log
fi

step "all suites passed"

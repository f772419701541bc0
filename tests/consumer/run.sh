#!/usr/bin/env bash
# Installs the build into a scratch prefix, then builds the minimal host
# against the installed package twice (find_package and pkg-config), and the
# C host once (pkg-config, strict C89), and runs them. Usage: run.sh BUILD_DIR SOURCE_DIR WORK_DIR
set -euo pipefail
build="$1"; source="$2"; work="$3"
rm -rf "$work"; mkdir -p "$work/in" "$work/out-cmake" "$work/out-pc"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

printf 'first file\n' > "$work/in/a.txt"
head -c 50000 /dev/zero | tr '\0' 'p' > "$work/in/b.txt"

cmake -S "$source/tests/consumer" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DEXAMPLE_SOURCE="$source/examples/minimal_host.cpp" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
(cd "$work" && "$work/cmake-build/minimal_host" in/a.txt in/b.txt out-cmake)
cmp "$work/in/b.txt" "$work/out-cmake/b.txt"

# The README's host with a name outside ASCII (its arguments decoded with
# the locale), and with a listed file that does not exist, which it must
# learn of rather than pack the rest and say it is done.
printf 'accented name\n' > "$work/in/café.txt"
mkdir -p "$work/out-names" "$work/out-missing"
(cd "$work" && LC_ALL=C.UTF-8 "$work/cmake-build/minimal_host" in/café.txt in/a.txt out-names >/dev/null)
cmp "$work/in/café.txt" "$work/out-names/café.txt"
if (cd "$work" && LC_ALL=C.UTF-8 "$work/cmake-build/minimal_host" in/a.txt in/absent.txt out-missing \
      >"$work/missing.out" 2>&1); then
  echo "consumer: minimal_host packed a list with a missing file and called it done" >&2
  exit 1
fi
grep -q 'no such file: in/absent.txt' "$work/missing.out"

libdir=$(dirname "$(find "$prefix" -name parcelon.pc | head -1)")
export PKG_CONFIG_PATH="$libdir"
c++ -std=c++17 -o "$work/pc-host" "$source/examples/minimal_host.cpp" $(pkg-config --cflags --libs parcelon)
(cd "$work" && LD_LIBRARY_PATH="$(pkg-config --variable=libdir parcelon)" "$work/pc-host" in/a.txt in/b.txt out-pc)
cmp "$work/in/a.txt" "$work/out-pc/a.txt"

mkdir -p "$work/out-c"
cc -std=c89 -pedantic-errors -o "$work/c-host" "$source/examples/c_host.c" $(pkg-config --cflags --libs parcelon)
(cd "$work" && LD_LIBRARY_PATH="$(pkg-config --variable=libdir parcelon)" "$work/c-host" in/a.txt in/b.txt out-c >/dev/null)
cmp "$work/in/b.txt" "$work/out-c/b.txt"
echo "consumer: built and ran against the installed package (CMake and pkg-config, C++ and C)"

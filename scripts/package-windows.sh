#!/usr/bin/env bash
# Builds (or reuses) the 64- and 32-bit Parcelon.dll and assembles the
# Windows release:
#   Parcelon-<version>-windows/
#     x64/  Parcelon.dll  Parcelon.dll.a (MinGW)  Parcelon.lib (MSVC, C interface)
#     x86/  the same for 32-bit hosts
#     include/Parcelon.h  include/ParcelonC.h
#     Parcelon.def  README.md  examples/c_host.c
#   Parcelon-<version>-windows.zip, the same folder packed.
# Each DLL carries its C and C++ runtimes and zlib: nothing else to ship.
# Usage: scripts/package-windows.sh [output folder, default build-package]
#   PARCELON_X64_BUILD, PARCELON_X86_BUILD: the build folders to build in or
#   reuse (default build-win and build-win32, as scripts/test-windows.sh).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
out="${1:-build-package}"
build64="${PARCELON_X64_BUILD:-build-win}"
build32="${PARCELON_X86_BUILD:-build-win32}"
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 2 ] && jobs=2

scripts/setup.sh --windows >/dev/null

# Only the DLL and its import libraries are built here; a folder the test
# script has already built is reused as it stands.
build_dll() { # <build folder> <toolchain file>
  cmake -S . -B "$1" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$1" -j"$jobs" --target Parcelon >/dev/null
}
build_dll "$build64" mingw-w64-x86_64.cmake
build_dll "$build32" mingw-w64-i686.cmake

# The folders must hold what their names say: a build folder configured
# for the other architecture would otherwise ship under the wrong name.
check_machine() { # <dll> <objdump format>
  local format
  format=$(x86_64-w64-mingw32-objdump -f "$1" | sed -n 's/.*file format //p')
  if [ "$format" != "$2" ]; then
    echo "package-windows: $1 is $format, not $2" >&2
    exit 1
  fi
}
check_machine "$build64/Parcelon.dll" pei-x86-64
check_machine "$build32/Parcelon.dll" pei-i386

version=$(sed -n 's/^project(Parcelon VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package-windows: no version in CMakeLists.txt" >&2; exit 1; }
name="Parcelon-$version-windows"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
rm -rf "${out:?}/$name" "$out/$name.zip"
folder="$out/$name"

for arch in x64:"$build64" x86:"$build32"; do
  mkdir -p "$folder/${arch%%:*}"
  for file in Parcelon.dll Parcelon.dll.a Parcelon.lib; do
    if [ ! -f "${arch#*:}/$file" ]; then
      echo "package-windows: ${arch#*:}/$file is missing (Parcelon.lib needs llvm-dlltool)" >&2
      exit 1
    fi
    cp "${arch#*:}/$file" "$folder/${arch%%:*}/"
  done
done
mkdir -p "$folder/include" "$folder/examples"
cp include/Parcelon.h include/ParcelonC.h "$folder/include/"
cp cmake/Parcelon.def README.md "$folder/"
cp examples/c_host.c "$folder/examples/"

# -X: no Unix owners or extra times, only what Windows tools read.
(cd "$out" && zip -q -r -X "$name.zip" "$name")
echo "package-windows: $folder"
echo "package-windows: $out/$name.zip ($(stat -c %s "$out/$name.zip") bytes)"

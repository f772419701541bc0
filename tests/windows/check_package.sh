#!/usr/bin/env bash
# Checks the zip scripts/package-windows.sh wrote: intact (unzip -t), the
# files of the release and nothing else, each with the bytes of its source
# (the DLLs and import libraries those of the two builds, the x64 folder's
# a 64-bit DLL and the x86 folder's a 32-bit one).
# Usage: tests/windows/check_package.sh <package folder> <x64 build folder> <x86 build folder>
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
[ $# = 3 ] || { echo "usage: $0 <package folder> <x64 build folder> <x86 build folder>" >&2; exit 2; }
out=$1 build64=$2 build32=$3
version=$(sed -n 's/^project(Parcelon VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name="Parcelon-$version-windows"
zip="$out/$name.zip"
problems=0
problem() { echo "package: $*" >&2; problems=$((problems + 1)); }

[ -f "$zip" ] || { echo "package: no $zip" >&2; exit 1; }
unzip -tq "$zip" >/dev/null || problem "unzip -t finds $zip damaged"

# Each file of the release and where its bytes come from.
sources=(
  "x64/Parcelon.dll=$build64/Parcelon.dll"
  "x64/Parcelon.dll.a=$build64/Parcelon.dll.a"
  "x64/Parcelon.lib=$build64/Parcelon.lib"
  "x86/Parcelon.dll=$build32/Parcelon.dll"
  "x86/Parcelon.dll.a=$build32/Parcelon.dll.a"
  "x86/Parcelon.lib=$build32/Parcelon.lib"
  "include/Parcelon.h=$root/include/Parcelon.h"
  "include/ParcelonC.h=$root/include/ParcelonC.h"
  "Parcelon.def=$root/cmake/Parcelon.def"
  "README.md=$root/README.md"
  "examples/c_host.c=$root/examples/c_host.c"
)
expected=$(for entry in "${sources[@]}"; do echo "$name/${entry%%=*}"; done | sort)
actual=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
if [ "$expected" != "$actual" ]; then
  problem "the files differ from the release's (< expected, > in the zip):"
  diff <(echo "$expected") <(echo "$actual") >&2 || true
fi
for entry in "${sources[@]}"; do
  path="$name/${entry%%=*}"
  if ! unzip -p "$zip" "$path" | cmp -s - "${entry#*=}"; then
    problem "$path is not ${entry#*=}"
  fi
done

for pair in x64:pei-x86-64 x86:pei-i386; do
  dll=$(mktemp)
  unzip -p "$zip" "$name/${pair%%:*}/Parcelon.dll" >"$dll"
  format=$(x86_64-w64-mingw32-objdump -f "$dll" | sed -n 's/.*file format //p')
  rm -f "$dll"
  [ "$format" = "${pair#*:}" ] || problem "${pair%%:*}/Parcelon.dll is $format, not ${pair#*:}"
done

if [ "$problems" != 0 ]; then
  echo "package: $problems problem(s) with $zip" >&2
  exit 1
fi
echo "package: $zip holds the ${#sources[@]} files of the release, as built"

#!/usr/bin/env bash
# The C# and Pascal bindings (bindings/) against a built libParcelon.so:
#   1. prints C's layout of parcelon_entry (bindings/layout/entry_layout.c),
#      which both bindings' tests compare their own records with;
#   2. builds Parcelon.Net.dll, its test program and its example with Mono's
#      mcs (warnings as errors) and the ParcelonC unit's test program and
#      example with Free Pascal in Delphi mode (-Mdelphi, warnings as errors);
#   3. runs both test programs with LANG unset, under C.UTF-8 and under
#      zh_CN.GBK, and both examples once.
# scripts/test.sh runs it after the native suites; setup.sh installs mono
# and fpc.
# Usage: scripts/test-bindings.sh [folder of libParcelon.so]   (default: build/native)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
lib_dir="$(cd "${1:-$root/build/native}" && pwd)"
if [ ! -f "$lib_dir/libParcelon.so" ]; then
  echo "test-bindings: no libParcelon.so in $lib_dir; build the library first" >&2
  exit 1
fi
out="$root/build/bindings"
rm -rf "$out"
mkdir -p "$out/dotnet" "$out/pascal" "$out/scratch"
cd "$root"

echo "-- layout of parcelon_entry in C"
cc -std=c89 -Wall -Wextra -pedantic -Werror -I"$root/include" bindings/layout/entry_layout.c -o "$out/entry_layout"
"$out/entry_layout" >"$out/entry_layout.txt"
tr '\n' ' ' <"$out/entry_layout.txt"; echo

echo "-- building the C# binding, tests and example (mcs $(mcs --version | awk '{ print $NF }'))"
mcs_flags=(-warn:4 -warnaserror -langversion:6 -nologo)
mcs "${mcs_flags[@]}" -nowarn:1591 -target:library -doc:"$out/dotnet/Parcelon.Net.xml" -out:"$out/dotnet/Parcelon.Net.dll" \
  bindings/dotnet/src/*.cs
cp bindings/dotnet/src/Parcelon.Net.dll.config "$out/dotnet/"
mcs "${mcs_flags[@]}" -r:"$out/dotnet/Parcelon.Net.dll" -out:"$out/dotnet/ParcelonTests.exe" bindings/dotnet/tests/*.cs
mcs "${mcs_flags[@]}" -r:"$out/dotnet/Parcelon.Net.dll" -out:"$out/dotnet/PackExtractExample.exe" \
  bindings/dotnet/examples/*.cs

echo "-- building the Pascal unit's tests and example (fpc $(fpc -iV), Delphi mode)"
fpc_flags=(-Mdelphi -vwn -Sew -FU"$out/pascal" -FE"$out/pascal" -Fu"$root/bindings/pascal" -Fl"$lib_dir")
for program in bindings/pascal/tests/ParcelonCTest.dpr bindings/pascal/examples/ParcelonExample.dpr; do
  if ! fpc "${fpc_flags[@]}" "$program" >"$out/pascal/fpc.log" 2>&1; then
    cat "$out/pascal/fpc.log"
    exit 1
  fi
done

# The GBK locale is compiled into build/locale, as the native GBK run does;
# the machine's own locales stay as they are.
mkdir -p "$root/build/locale"
[ -f "$root/build/locale/zh_CN.GBK/LC_CTYPE" ] ||
  localedef -i zh_CN -f GBK "$root/build/locale/zh_CN.GBK" >/dev/null 2>&1 || true
[ -f "$root/build/locale/zh_CN.GBK/LC_CTYPE" ] || { echo "test-bindings: could not compile zh_CN.GBK" >&2; exit 1; }

# Mono finds libParcelon.so through Parcelon.Net.dll.config and the loader's
# path; the Pascal programs are linked against it and find it the same way.
in_locale() {
  local locale=$1; shift
  case "$locale" in
    unset) env -u LANG -u LC_ALL -u LC_CTYPE LD_LIBRARY_PATH="$lib_dir" "$@" ;;
    *) env -u LC_ALL -u LC_CTYPE LANG="$locale" LOCPATH="$root/build/locale" LD_LIBRARY_PATH="$lib_dir" "$@" ;;
  esac
}
for locale in unset C.UTF-8 zh_CN.GBK; do
  echo "-- C# tests, LANG=$locale"
  in_locale "$locale" mono "$out/dotnet/ParcelonTests.exe" "$out/entry_layout.txt" "$out/scratch/dotnet-$locale"
  echo "-- Pascal tests, LANG=$locale"
  in_locale "$locale" "$out/pascal/ParcelonCTest" "$out/entry_layout.txt" "$out/scratch/pascal-$locale"
done

echo "-- C# example"
in_locale C.UTF-8 mono "$out/dotnet/PackExtractExample.exe" "$out/scratch/dotnet-example"
echo "-- Pascal example"
in_locale C.UTF-8 "$out/pascal/ParcelonExample" "$out/scratch/pascal-example"

rm -rf "$out/scratch"
echo "bindings: all tests and examples passed"

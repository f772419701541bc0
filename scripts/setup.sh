#!/usr/bin/env bash
# Prepares a Debian machine for building and testing Parcelon:
#   - installs the compilers, zlib, libdeflate, mbed TLS (its crypto library
#     serves WinZip AES), GoogleTest, the independent
#     ZIP peers the tests compare against (Python's zipfile, Info-ZIP,
#     7-Zip), and what the Python package's tests need (venv, pip, pytest);
#   - fetches the minizip source (zlib's contrib/minizip) with
#     `apt-get source zlib` into third_party/ (ignored by git), and with
#     --windows libdeflate's source too (`apt-get source libdeflate`), which
#     the Windows build compiles.
# Usage: scripts/setup.sh [--windows] [--fuzz]
#   --windows  also the mingw-w64 cross compilers (x64, x86), zlib for Windows,
#              64- and 32-bit Wine, and LLVM's lld-link and llvm-dlltool
#   --fuzz     also clang and its runtimes for libFuzzer and the sanitizers
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
want_windows=0
want_fuzz=0
for arg in "$@"; do
  case "$arg" in
    --windows) want_windows=1 ;;
    --fuzz) want_fuzz=1 ;;
    *) echo "setup.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

packages=(build-essential cmake pkg-config zlib1g-dev libdeflate-dev libmbedtls-dev libgtest-dev googletest
          python3 zip unzip p7zip-full libarchive-tools dpkg-dev valgrind locales
          python3-venv python3-pip python3-pytest)
if [ "$want_windows" = 1 ]; then
  # Both DLLs (x64 and x86), 64- and 32-bit Wine, and clang, lld-link and
  # llvm-dlltool for Parcelon.lib and the MSVC-style host that links it.
  packages+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
             g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
             libz-mingw-w64-dev wine64 wine32:i386 llvm lld clang)
  # wine32 is an i386 package.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
fi
if [ "$want_fuzz" = 1 ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# Source packages to fetch into third_party/: zlib always (for minizip),
# libdeflate for the Windows build.
sources=()
if ! ls "$root"/third_party/zlib-*/contrib/minizip/zip.c >/dev/null 2>&1; then
  sources+=(zlib)
fi
if [ "$want_windows" = 1 ] && ! ls "$root"/third_party/libdeflate-*/lib/deflate_compress.c >/dev/null 2>&1; then
  sources+=(libdeflate)
fi
need_source=0
if [ "${#sources[@]}" -gt 0 ]; then need_source=1; fi

# apt-get source needs a deb-src entry; add one for the machine's own suites
# when there is none (deb822 sources on bookworm, one-line lists elsewhere).
has_deb_src() {
  grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null
}
added_src=0
if [ "$need_source" = 1 ] && ! has_deb_src; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -E 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      | "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/parcelon-src.sources >/dev/null
  elif [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed -E 's/^deb /deb-src /' \
      | "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/parcelon-src.list >/dev/null
  fi
  added_src=1
fi

if [ "${#missing[@]}" -gt 0 ] || [ "$added_src" = 1 ] || [ "$need_source" = 1 ]; then
  "${sudo_cmd[@]}" apt-get update -qq
fi
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

for package in "${sources[@]}"; do
  echo "setup: fetching the $package source package"
  mkdir -p "$root/third_party"
  # The newest version listed may live only on a mirror that keeps no
  # sources (security updates); try every listed version, newest first.
  fetched=0
  for version in $(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | sort -ru); do
    if (cd "$root/third_party" && apt-get source -qq "$package=$version" >/dev/null 2>&1); then
      fetched=1; break
    fi
  done
  if [ "$fetched" = 0 ]; then
    echo "setup: could not fetch the $package source package" >&2; exit 1
  fi
done
ls -d "$root"/third_party/zlib-*/contrib/minizip >/dev/null
echo "setup: ready"

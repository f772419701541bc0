#!/usr/bin/env bash
# Prepares a Debian machine for building and testing Parcelon:
#   - installs the compilers, zlib, libdeflate, libbz2, liblzma, libzstd,
#     mbed TLS (its crypto library serves WinZip AES),
#     GoogleTest, the independent ZIP peers the tests compare against
#     (Python's zipfile, Info-ZIP, 7-Zip), the compressors whose streams the
#     tests store in archives (bzip2, xz, zstd), and what the Python
#     package's tests need (venv, pip, pytest,
#     mypy);
#   - fetches the minizip source (zlib's contrib/minizip) with
#     `apt-get source zlib` into third_party/ (ignored by git), bzip2's
#     (which the Python wheel compiles in), and with
#     --windows the sources the Windows DLLs compile in: libdeflate,
#     xz-utils (liblzma), libzstd and mbedtls (libmbedcrypto). Each is the
#     version Debian's -dev package of it was built from, so that the Linux
#     and Windows builds hold the same code.
#   - fetches zlib's contrib/infback9 (the Deflate64 decoder) from the copy
#     of zlib inside binutils' source: Debian's zlib source package leaves
#     that folder out. Only that folder is unpacked, into
#     third_party/binutils-VERSION/zlib/contrib/infback9.
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
          libbz2-dev liblzma-dev libzstd-dev bzip2 xz-utils zstd
          python3 zip unzip p7zip-full libarchive-tools dpkg-dev valgrind locales
          python3-venv python3-pip python3-pytest mypy)
# The C# and Pascal bindings' tests (scripts/test-bindings.sh): Mono's mcs
# and mono, and fpc with its run-time units; the compilers and runtimes
# alone, not the full sets of mono-devel and fpc.
packages+=(mono-mcs mono-runtime fp-compiler fp-units-rtl)
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
# bzip2 always (Debian's libbz2.a is not position-independent, so the
# Python wheel's self-contained library compiles bzip2 in), and for the
# Windows builds what they compile from source.
sources=()
want_source() { # <source package> <a file of its unpacked tree> <its -dev package>
  if ! ls "$root"/third_party/"$1"-*/"$2" >/dev/null 2>&1; then sources+=("$1:$3"); fi
}
want_source zlib contrib/minizip/zip.c zlib1g-dev
want_source bzip2 bzlib.c libbz2-dev
if [ "$want_windows" = 1 ]; then
  want_source libdeflate lib/deflate_compress.c libdeflate-dev
  want_source xz-utils src/liblzma/common/common.c liblzma-dev
  want_source libzstd lib/zstd.h libzstd-dev
  want_source mbedtls library/aes.c libmbedtls-dev
fi
need_infback9=0
if ! ls "$root"/third_party/*/zlib/contrib/infback9/infback9.c >/dev/null 2>&1 &&
   ! ls "$root"/third_party/zlib-*/contrib/infback9/infback9.c >/dev/null 2>&1; then
  need_infback9=1
fi
need_source=0
if [ "${#sources[@]}" -gt 0 ] || [ "$need_infback9" = 1 ]; then need_source=1; fi

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

# The version of the source a binary package was built from: the installed
# one's, else the candidate's (a binNMU such as libbz2-dev 1.0.8-5+b1 comes
# from source 1.0.8-5).
source_version_of() { # <binary package>
  local version
  version=$(dpkg-query -W -f='${db:Status-Status} ${source:Version}' "$1" 2>/dev/null | sed -n 's/^installed //p')
  if [ -z "$version" ]; then
    version=$(apt-cache show --no-all-versions "$1" 2>/dev/null | awk '
      /^Source:/ && $3 != "" { gsub(/[()]/, "", $3); source = $3 }
      /^Version:/ { binary = $2 }
      END { print (source != "" ? source : binary) }')
  fi
  echo "$version"
}

for entry in "${sources[@]}"; do
  package=${entry%%:*}
  dev_version=$(source_version_of "${entry#*:}")
  echo "setup: fetching the $package source package${dev_version:+ ($dev_version, as ${entry#*:})}"
  mkdir -p "$root/third_party"
  # The -dev package's version first. Failing that (the newest version may
  # live only on a mirror that keeps no sources, as security updates do),
  # every listed version, newest first.
  fetched=""
  for version in $dev_version $(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | sort -ruV); do
    if (cd "$root/third_party" && apt-get source -qq "$package=$version" >/dev/null 2>&1); then
      fetched=$version; break
    fi
  done
  if [ -z "$fetched" ]; then
    echo "setup: could not fetch the $package source package" >&2; exit 1
  fi
  if [ -n "$dev_version" ] && [ "$fetched" != "$dev_version" ]; then
    echo "setup: warning: fetched $package $fetched, not $dev_version as ${entry#*:} is" >&2
  fi
done

if [ "$need_infback9" = 1 ]; then
  # binutils' orig tarball (about 25 MB) is downloaded into a scratch
  # folder, not unpacked whole: only zlib/contrib/infback9 is taken out.
  echo "setup: fetching zlib's contrib/infback9 from the binutils source package"
  scratch=$(mktemp -d)
  fetched=0
  for version in $(apt-cache showsrc binutils | sed -n 's/^Version: //p' | sort -ru); do
    if (cd "$scratch" && apt-get source -qq --download-only "binutils=$version" >/dev/null 2>&1); then
      fetched=1; break
    fi
  done
  tarball=$(ls "$scratch"/binutils_*.orig.tar.* 2>/dev/null | head -n 1)
  if [ "$fetched" = 0 ] || [ -z "$tarball" ]; then
    rm -rf "$scratch"
    echo "setup: could not fetch the binutils source package" >&2; exit 1
  fi
  mkdir -p "$root/third_party"
  tar -xf "$tarball" -C "$root/third_party" --wildcards '*/zlib/contrib/infback9/*'
  rm -rf "$scratch"
fi
ls -d "$root"/third_party/zlib-*/contrib/minizip >/dev/null
if ! ls "$root"/third_party/*/zlib/contrib/infback9/infback9.c >/dev/null 2>&1 &&
   ! ls "$root"/third_party/zlib-*/contrib/infback9/infback9.c >/dev/null 2>&1; then
  echo "setup: no infback9 source in third_party/" >&2; exit 1
fi
echo "setup: ready"

#!/usr/bin/env bash
# Tells whether this machine can start Wine's 32-bit loader, and so run the
# x86 DLL's suite. Some kernels are built without 32-bit support: there the
# loader that wine32:i386 installs is in place but cannot start at all, and
# every attempt ends in "Exec format error". That is a property of the
# machine, not a fault of the set-up; a loader that is missing, or that
# fails in any other way (no i386 C library, say), is a fault of the set-up.
# Usage: scripts/check-32bit-wine.sh <32-bit Wine loader>
# Exit status: 0 it starts; 1 the kernel refuses it (why, on standard
# output); 2 it is missing or fails otherwise (why, on standard error).
set -uo pipefail

if [ $# != 1 ] || [ -z "$1" ]; then
  echo "usage: scripts/check-32bit-wine.sh <32-bit Wine loader>" >&2
  exit 2
fi
loader=$1
if [ ! -e "$loader" ]; then
  echo "check-32bit-wine: no 32-bit Wine loader at $loader (Debian package wine32:i386)" >&2
  exit 2
fi
# Started by the shell itself (execve), which reports the kernel's refusal
# as it is; `env` and other execvp callers would hand the file to /bin/sh
# instead. LC_ALL=C: the shell says "Exec format error" in English then,
# whatever locale the suites run under.
export LC_ALL=C
said=$("$loader" --version 2>&1)
status=$?
if [ "$status" = 0 ]; then
  exit 0
fi
if grep -q "Exec format error" <<<"$said"; then
  echo "this machine cannot run 32-bit programs: $loader fails with \"Exec format error\"" \
       "(a kernel built without 32-bit support)"
  exit 1
fi
echo "check-32bit-wine: $loader --version failed (status $status): $said" >&2
exit 2

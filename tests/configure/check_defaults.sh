#!/usr/bin/env bash
# What a newcomer's plain configure gives, configured (not built) in scratch
# folders: an optimised build with debug information unless a type is
# chosen (and none forced on multi-config generators); the tests under
# CTest's BUILD_TESTING, PARCELON_BUILD_TESTS overriding it, and none when
# Parcelon is a subproject of a host; the slow test left out of a plain
# `ctest` unless PARCELON_SLOW_TESTS is on.
# Usage: check_defaults.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source="$1"; work="$2"
rm -rf "$work"; mkdir -p "$work"
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

configure() { # <folder> <cmake arguments...>
  local folder="$work/$1"; shift
  if ! cmake "$@" -B "$folder" >"$folder.log" 2>&1; then
    cat "$folder.log" >&2
    fail "configure $folder"
  fi
}
cached() { # <folder> <variable>: its value in the cache, empty when unset
  sed -n "s/^$2:[A-Z]*=//p" "$work/$1/CMakeCache.txt" | head -n 1
}
tests_of() { # <folder>: the names CTest knows (without building)
  (cd "$work/$1" && ctest -N 2>/dev/null | sed -n 's/^ *Test *#[0-9]*: //p')
}

# Whole outputs into variables, then grep: grep -q leaving a pipe early
# would fail the pipeline under pipefail.
has_line() { grep -qx -- "$2" <<<"$1"; }

configure plain -S "$source"
[ "$(cached plain CMAKE_BUILD_TYPE)" = RelWithDebInfo ] || fail "plain configure: build type '$(cached plain CMAKE_BUILD_TYPE)'"
plain_tests=$(tests_of plain)
has_line "$plain_tests" 'c_host_roundtrip' || fail "plain configure: no tests"
has_line "$plain_tests" 'large_file_zip64_roundtrip (Disabled)' || fail "plain configure: the slow test is not disabled"
slow_listed=$(cd "$work/plain" && ctest -N -L slow)
grep -q 'large_file_zip64_roundtrip (Disabled)' <<<"$slow_listed" ||
  fail "plain configure: ctest -L slow does not list the slow test"

configure chosen -S "$source" -DCMAKE_BUILD_TYPE=Debug -DPARCELON_SLOW_TESTS=ON
[ "$(cached chosen CMAKE_BUILD_TYPE)" = Debug ] || fail "a chosen build type was replaced"
has_line "$(tests_of chosen)" 'large_file_zip64_roundtrip' || fail "PARCELON_SLOW_TESTS=ON: the slow test is still disabled"

configure no-testing -S "$source" -DBUILD_TESTING=OFF
[ -z "$(tests_of no-testing)" ] || fail "BUILD_TESTING=OFF still gives tests"

configure override -S "$source" -DBUILD_TESTING=ON -DPARCELON_BUILD_TESTS=OFF
[ -z "$(tests_of override)" ] || fail "PARCELON_BUILD_TESTS=OFF still gives tests"

if command -v ninja >/dev/null; then
  configure multi -S "$source" -G "Ninja Multi-Config"
  [ -z "$(cached multi CMAKE_BUILD_TYPE)" ] || fail "a multi-config generator got CMAKE_BUILD_TYPE"
fi

# A host's project with Parcelon inside: the host's tests only.
mkdir -p "$work/host-source"
cat >"$work/host-source/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.16)
project(Host LANGUAGES C CXX)
enable_testing()
add_subdirectory("$source" parcelon)
add_test(NAME host_own_test COMMAND \${CMAKE_COMMAND} -E true)
CMAKE
configure host -S "$work/host-source"
[ "$(tests_of host)" = host_own_test ] || fail "a host's project got Parcelon's tests: $(tests_of host | tr '\n' ' ')"
[ -z "$(cached host CMAKE_BUILD_TYPE)" ] || fail "Parcelon chose the host's build type"

[ "$failed" = 0 ] && echo "build defaults: as a newcomer and a host expect them"
exit "$failed"

# Cross-compiling Parcelon.dll for 64-bit Windows on Debian with mingw-w64
# (posix threads variant) and running what it builds under Wine.
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# Packages: g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
# libz-mingw-w64-dev wine64 (scripts/setup.sh --windows installs them).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PARCELON_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PARCELON_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PARCELON_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PARCELON_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${PARCELON_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${PARCELON_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${PARCELON_MINGW_TRIPLE}-objdump CACHE FILEPATH "")

# Headers and libraries come from the mingw-w64 tree only; programs (wine,
# python, objdump) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PARCELON_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# zlib from libz-mingw-w64-dev: the static libz.a rather than the import
# library, so that Parcelon.dll needs no zlib1.dll beside it.
if(EXISTS /usr/${PARCELON_MINGW_TRIPLE}/lib/libz.a)
  set(ZLIB_LIBRARY /usr/${PARCELON_MINGW_TRIPLE}/lib/libz.a CACHE FILEPATH "zlib for Windows (static)")
  set(ZLIB_INCLUDE_DIR /usr/${PARCELON_MINGW_TRIPLE}/include CACHE PATH "zlib headers for Windows")
endif()

# Test programs run under Wine's 64-bit loader, wine64 (Debian's wine64
# package installs it outside the PATH, in /usr/lib/wine). Not `wine`:
# /usr/lib/wine/wine is wine32's 32-bit loader, and the wine package's
# /usr/bin/wine starts that one whenever wine32 is installed, so on a
# machine whose kernel runs no 32-bit programs ("Exec format error") every
# 64-bit test would fail with it. `wine` is the fallback only, for a Wine
# that has a single loader.
find_program(PARCELON_WINE NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(NOT PARCELON_WINE)
  find_program(PARCELON_WINE NAMES wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
endif()
if(PARCELON_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PARCELON_WINE})
endif()

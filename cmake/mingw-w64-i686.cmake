# Cross-compiling Parcelon.dll for 32-bit Windows on Debian with mingw-w64
# (posix threads variant) and running what it builds under 32-bit Wine.
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
#
# Packages: g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
# binutils-mingw-w64-i686 libz-mingw-w64-dev wine32:i386 (with the i386
# architecture added; scripts/setup.sh --windows does both).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(PARCELON_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${PARCELON_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PARCELON_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PARCELON_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${PARCELON_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${PARCELON_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${PARCELON_MINGW_TRIPLE}-objdump CACHE FILEPATH "")

# Doubles in SSE2 registers, as on x64 and as MSVC's x86 default
# (/arch:SSE2) computes them: the x87 unit's extra precision would give
# other results where the library truncates a quotient (29 bytes of 100
# are 28 percent in double arithmetic, 29 on the x87). Every x86 processor
# Windows 8 and later runs on has SSE2.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

# Headers and libraries come from the mingw-w64 tree only; programs (wine,
# objdump, llvm-dlltool) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PARCELON_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# zlib from libz-mingw-w64-dev, static, so that Parcelon.dll needs no
# zlib1.dll beside it.
if(EXISTS /usr/${PARCELON_MINGW_TRIPLE}/lib/libz.a)
  set(ZLIB_LIBRARY /usr/${PARCELON_MINGW_TRIPLE}/lib/libz.a CACHE FILEPATH "zlib for Windows (static)")
  set(ZLIB_INCLUDE_DIR /usr/${PARCELON_MINGW_TRIPLE}/include CACHE PATH "zlib headers for Windows")
endif()

# Test programs run under Wine. Debian's wine32 package puts its 32-bit
# loader at /usr/lib/wine/wine; the wine package adds /usr/bin/wine, which
# picks the loader a program needs.
find_program(PARCELON_WINE NAMES wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(PARCELON_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PARCELON_WINE})
endif()

# zlib, libdeflate and minizip.
#
# zlib: see ParcelonZlib.cmake (the installed one by default;
# PARCELON_SYSTEM_ZLIB=OFF compiles it from the same source tree).
# libdeflate: see ParcelonLibdeflate.cmake.
#
# minizip's writer is compiled from zlib's own contrib/minizip (ioapi.c,
# zip.c) into a static library inside the build tree; archives are read by
# the library's own reader (src/extract). scripts/setup.sh
# fetches that source with `apt-get source zlib` into third_party/, where it
# is found by default. Debian's separate libminizip-dev is not used: its
# crypt.h reads zlib's CRC table with the wrong element size on 64-bit
# machines, and every peer rejects the archives it encrypts.
#
#   PARCELON_MINIZIP_SOURCE_DIR  a folder holding ioapi.c and zip.c
#   PARCELON_SYSTEM_MINIZIP=ON   use an installed minizip instead (vcpkg and
#                                other systems): pkg-config, else
#                                find_path/find_library.

#
# PARCELON_STATIC_DEPENDENCIES=ON links the static archives of the installed
# libraries (see ParcelonStaticDependencies.cmake): the library then needs
# none of them at run time.

option(PARCELON_SYSTEM_MINIZIP "Use an installed minizip instead of compiling zlib's contrib/minizip" OFF)
include(ParcelonStaticDependencies)
include(ParcelonThirdPartySource) # parcelon_newest_fetched
include(ParcelonZlib)
include(ParcelonLibdeflate)

if(NOT PARCELON_SYSTEM_MINIZIP)
  parcelon_newest_fetched(_parcelon_minizip_default zip.c "zlib-*/contrib/minizip")
  set(PARCELON_MINIZIP_SOURCE_DIR "${_parcelon_minizip_default}" CACHE PATH
      "Folder with minizip's ioapi.c and zip.c (zlib's contrib/minizip)")
  if(NOT EXISTS "${PARCELON_MINIZIP_SOURCE_DIR}/zip.c")
    message(FATAL_ERROR
      "minizip source not found. Run scripts/setup.sh (it fetches zlib's source "
      "into third_party/), set PARCELON_MINIZIP_SOURCE_DIR to a contrib/minizip "
      "folder, or set PARCELON_SYSTEM_MINIZIP=ON to use an installed minizip.")
  endif()
  # Entries are written raw (compressed, and encrypted, by the library
  # itself): zip.c is compiled without its encryption, whose headers would
  # draw on the host's rand().
  add_library(parcelon_minizip STATIC
    "${PARCELON_MINIZIP_SOURCE_DIR}/ioapi.c"
    "${PARCELON_MINIZIP_SOURCE_DIR}/zip.c")
  target_compile_definitions(parcelon_minizip PRIVATE NOCRYPT)
  target_include_directories(parcelon_minizip SYSTEM PUBLIC "${PARCELON_MINIZIP_SOURCE_DIR}")
  target_link_libraries(parcelon_minizip PUBLIC parcelon::zlib)
  set_target_properties(parcelon_minizip PROPERTIES POSITION_INDEPENDENT_CODE ON
    C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden)
  if(MSVC)
    target_compile_options(parcelon_minizip PRIVATE /w)
    target_compile_definitions(parcelon_minizip PRIVATE _CRT_SECURE_NO_WARNINGS)
  else()
    target_compile_options(parcelon_minizip PRIVATE -w)
  endif()
  add_library(parcelon::minizip ALIAS parcelon_minizip)
else()
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(PARCELON_PC_MINIZIP QUIET IMPORTED_TARGET minizip)
  endif()
  add_library(parcelon_minizip INTERFACE)
  if(PARCELON_STATIC_DEPENDENCIES)
    find_path(PARCELON_MINIZIP_INCLUDE_DIR NAMES zip.h PATH_SUFFIXES minizip HINTS ${PARCELON_PC_MINIZIP_INCLUDE_DIRS})
    parcelon_find_static_archive(PARCELON_MINIZIP_STATIC_LIBRARY minizip minizip unzip
                                 HINTS ${PARCELON_PC_MINIZIP_LIBRARY_DIRS})
    target_include_directories(parcelon_minizip INTERFACE "${PARCELON_MINIZIP_INCLUDE_DIR}")
    target_link_libraries(parcelon_minizip INTERFACE "${PARCELON_MINIZIP_STATIC_LIBRARY}")
  elseif(PARCELON_PC_MINIZIP_FOUND)
    target_link_libraries(parcelon_minizip INTERFACE PkgConfig::PARCELON_PC_MINIZIP)
  else()
    find_path(PARCELON_MINIZIP_INCLUDE_DIR NAMES zip.h PATH_SUFFIXES minizip)
    find_library(PARCELON_MINIZIP_LIBRARY NAMES minizip unzip)
    if(NOT PARCELON_MINIZIP_INCLUDE_DIR OR NOT PARCELON_MINIZIP_LIBRARY)
      message(FATAL_ERROR "PARCELON_SYSTEM_MINIZIP=ON but no installed minizip was found")
    endif()
    target_include_directories(parcelon_minizip INTERFACE "${PARCELON_MINIZIP_INCLUDE_DIR}")
    target_link_libraries(parcelon_minizip INTERFACE "${PARCELON_MINIZIP_LIBRARY}")
  endif()
  target_link_libraries(parcelon_minizip INTERFACE parcelon::zlib)
  add_library(parcelon::minizip ALIAS parcelon_minizip)
endif()

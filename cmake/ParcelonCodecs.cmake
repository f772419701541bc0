# The libraries behind the compression methods the reader decodes besides
# Store and Deflate (src/extract/decoders/):
#
#   parcelon::bzip2     libbz2 (bzip2, method 12)
#   parcelon::lzma      liblzma (LZMA, method 14, and xz, method 95)
#   parcelon::zstd      libzstd (Zstandard, method 93)
#   parcelon::infback9  zlib's contrib/infback9 (Deflate64, method 9),
#                       compiled from source on every platform
#
# Linux and other systems with packages link the installed libraries
# (Debian's libbz2-dev, liblzma-dev, libzstd-dev: pkg-config, else
# find_path/find_library). Windows builds compile them from their Debian
# source packages (cmake/ParcelonCodecsFromSource.cmake).
#
# infback9 is not in Debian's zlib source package (its repacking leaves
# contrib/infback9 out); scripts/setup.sh takes that one folder from the
# copy of zlib inside binutils' source into third_party/. It includes
# zlib's internal zutil.h, taken from the zlib source tree beside it.
#
#   PARCELON_STATIC_DEPENDENCIES    link the static archives (.a) of the
#                                   installed libraries where there are any
#                                   that a shared library can take (PIC)
#   PARCELON_INFBACK9_SOURCE_DIR    a folder holding infback9.c and inftree9.c
#   PARCELON_INFBACK9_ZLIB_DIR      a zlib source folder holding zutil.h

include(ParcelonThirdPartySource) # parcelon_newest_fetched

if(NOT DEFINED PARCELON_STATIC_DEPENDENCIES)
  option(PARCELON_STATIC_DEPENDENCIES "Link the static archives of the installed dependencies" OFF)
endif()

# parcelon_static_archive_links(RESULT ARCHIVE SYMBOL): whether a shared
# library that calls SYMBOL links with ARCHIVE, that is, whether the archive
# was compiled as position-independent code (Debian's libbz2.a is not).
function(parcelon_static_archive_links result archive symbol)
  string(MAKE_C_IDENTIFIER "${symbol}" _id)
  set(_dir "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/parcelon_pic_${_id}")
  file(WRITE "${_dir}/check.c" "extern int ${symbol}();\nint parcelon_pic_check(void) { return ${symbol}(); }\n")
  file(WRITE "${_dir}/CMakeLists.txt"
    "cmake_minimum_required(VERSION 3.16)\nproject(parcelon_pic_check C)\n"
    "add_library(check SHARED check.c)\ntarget_link_libraries(check PRIVATE \"${archive}\")\n")
  try_compile(_links "${_dir}/build" "${_dir}" parcelon_pic_check)
  set(${result} ${_links} PARENT_SCOPE)
endfunction()

# parcelon_installed_codec(NAME PC_MODULE HEADER SYMBOL LIBRARY...): the
# INTERFACE target parcelon_NAME over the installed library: its static
# archive when PARCELON_STATIC_DEPENDENCIES asks for one and there is one
# that a shared library can take (SYMBOL is one of its functions), else
# pkg-config's answer, else what find_library finds.
function(parcelon_installed_codec name pc_module header symbol)
  set(_names ${ARGN})
  set(_target parcelon_${name})
  add_library(${_target} INTERFACE)
  string(TOUPPER "${name}" _upper)
  find_path(PARCELON_${_upper}_INCLUDE_DIR NAMES ${header})
  if(PARCELON_STATIC_DEPENDENCIES)
    set(_static_names)
    foreach(_n IN LISTS _names)
      list(APPEND _static_names ${CMAKE_STATIC_LIBRARY_PREFIX}${_n}${CMAKE_STATIC_LIBRARY_SUFFIX})
    endforeach()
    find_library(PARCELON_${_upper}_STATIC_LIBRARY NAMES ${_static_names})
    set(_links FALSE)
    if(PARCELON_${_upper}_STATIC_LIBRARY)
      parcelon_static_archive_links(_links "${PARCELON_${_upper}_STATIC_LIBRARY}" ${symbol})
    endif()
    if(_links AND PARCELON_${_upper}_INCLUDE_DIR)
      target_include_directories(${_target} INTERFACE "${PARCELON_${_upper}_INCLUDE_DIR}")
      target_link_libraries(${_target} INTERFACE "${PARCELON_${_upper}_STATIC_LIBRARY}")
      add_library(parcelon::${name} ALIAS ${_target})
      return()
    endif()
    message(STATUS "Parcelon: no static ${name} archive a shared library can take; linking the shared ${name}")
  endif()
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND AND pc_module)
    pkg_check_modules(PARCELON_PC_${_upper} QUIET IMPORTED_TARGET ${pc_module})
  endif()
  if(PARCELON_PC_${_upper}_FOUND)
    target_link_libraries(${_target} INTERFACE PkgConfig::PARCELON_PC_${_upper})
  else()
    find_library(PARCELON_${_upper}_LIBRARY NAMES ${_names})
    if(NOT PARCELON_${_upper}_INCLUDE_DIR OR NOT PARCELON_${_upper}_LIBRARY)
      message(FATAL_ERROR
        "${name} not found (${header} and the library ${_names}). Run scripts/setup.sh: it installs "
        "libbz2-dev, liblzma-dev and libzstd-dev.")
    endif()
    target_include_directories(${_target} INTERFACE "${PARCELON_${_upper}_INCLUDE_DIR}")
    target_link_libraries(${_target} INTERFACE "${PARCELON_${_upper}_LIBRARY}")
  endif()
  add_library(parcelon::${name} ALIAS ${_target})
endfunction()

if(WIN32)
  include(ParcelonCodecsFromSource OPTIONAL RESULT_VARIABLE _parcelon_codecs_from_source)
  if(NOT _parcelon_codecs_from_source)
    message(FATAL_ERROR
      "cmake/ParcelonCodecsFromSource.cmake is missing: Windows builds compile libbz2, liblzma "
      "and libzstd from their Debian source packages with it.")
  endif()
else()
  # Debian's libbz2.a is not position-independent: a library that should
  # need nothing else at run time compiles bzip2 in from the source that
  # scripts/setup.sh fetches. libbz2 ships no pkg-config file on Debian 12.
  parcelon_newest_fetched(_parcelon_bzip2_fetched bzlib.c "bzip2-*")
  if(PARCELON_STATIC_DEPENDENCIES AND (PARCELON_BZIP2_SOURCE_DIR OR _parcelon_bzip2_fetched))
    include(ParcelonBzip2FromSource)
  else()
    parcelon_installed_codec(bzip2 bzip2 bzlib.h BZ2_bzDecompressInit bz2)
  endif()
  parcelon_installed_codec(lzma liblzma lzma.h lzma_code lzma)
  parcelon_installed_codec(zstd libzstd zstd.h ZSTD_decompressStream zstd)
endif()

# ---------------------------------------------------------------- infback9
parcelon_newest_fetched(_parcelon_infback9_default infback9.c
  "zlib-*/contrib/infback9" "*/zlib/contrib/infback9")
set(PARCELON_INFBACK9_SOURCE_DIR "${_parcelon_infback9_default}" CACHE PATH
    "Folder with zlib's contrib/infback9 (infback9.c, inftree9.c)")
if(NOT EXISTS "${PARCELON_INFBACK9_SOURCE_DIR}/infback9.c")
  message(FATAL_ERROR
    "infback9 source not found. Run scripts/setup.sh (it takes zlib's contrib/infback9 from "
    "the binutils source package into third_party/), or set PARCELON_INFBACK9_SOURCE_DIR.")
endif()

# zutil.h: from the zlib source the build compiles, else the one
# scripts/setup.sh fetches for minizip.
if(PARCELON_ZLIB_SOURCE_DIR AND EXISTS "${PARCELON_ZLIB_SOURCE_DIR}/zutil.h")
  set(_parcelon_zutil_default "${PARCELON_ZLIB_SOURCE_DIR}")
else()
  parcelon_newest_fetched(_parcelon_zutil_default zutil.h "zlib-*")
endif()
set(PARCELON_INFBACK9_ZLIB_DIR "${_parcelon_zutil_default}" CACHE PATH
    "zlib source folder whose zutil.h infback9 is compiled with")
if(NOT EXISTS "${PARCELON_INFBACK9_ZLIB_DIR}/zutil.h")
  message(FATAL_ERROR
    "zlib's zutil.h not found for infback9. Run scripts/setup.sh (it fetches zlib's source "
    "into third_party/), or set PARCELON_INFBACK9_ZLIB_DIR.")
endif()

# zlib keeps its default allocator (zcalloc, zcfree) inside libz; infback9
# falls back on the same two names, which Infback9Defaults.c gives it.
add_library(parcelon_infback9 STATIC
  "${PARCELON_INFBACK9_SOURCE_DIR}/infback9.c"
  "${PARCELON_INFBACK9_SOURCE_DIR}/inftree9.c"
  "${CMAKE_CURRENT_SOURCE_DIR}/src/extract/decoders/Infback9Defaults.c")
target_include_directories(parcelon_infback9 SYSTEM PUBLIC "${PARCELON_INFBACK9_SOURCE_DIR}")
target_include_directories(parcelon_infback9 PRIVATE "${PARCELON_INFBACK9_ZLIB_DIR}")
target_compile_definitions(parcelon_infback9 PRIVATE
  zcalloc=infback9_default_zcalloc zcfree=infback9_default_zcfree)
target_link_libraries(parcelon_infback9 PUBLIC parcelon::zlib)
set_target_properties(parcelon_infback9 PROPERTIES POSITION_INDEPENDENT_CODE ON C_VISIBILITY_PRESET hidden)
if(MSVC)
  target_compile_options(parcelon_infback9 PRIVATE /w)
else()
  target_compile_options(parcelon_infback9 PRIVATE -w)
endif()
add_library(parcelon::infback9 ALIAS parcelon_infback9)

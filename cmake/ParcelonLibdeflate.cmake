# libdeflate, as the target parcelon::libdeflate: the Deflate that packing
# compresses with (whole chunks of a file at a time), the fast CRC-32, and
# the Inflate that extraction uses for entries that fit a bounded buffer.
#
# Linux and other systems with a package link the installed library
# (Debian's libdeflate-dev: pkg-config, else find_path/find_library).
# Windows builds compile it from its source, fetched with
# `apt-get source libdeflate` into third_party/ by scripts/setup.sh
# --windows, into a private static library. Both come from the same
# version in one Debian release, so the two builds write the same bytes.
# With PARCELON_STATIC_DEPENDENCIES=ON (ParcelonStaticDependencies.cmake)
# the installed library's static archive (libdeflate.a) is linked instead of
# libdeflate.so.0.
#
#   PARCELON_SYSTEM_LIBDEFLATE=OFF  compile from source everywhere
#   PARCELON_LIBDEFLATE_SOURCE_DIR  a folder holding libdeflate's lib/ and
#                                   libdeflate.h

include(ParcelonThirdPartySource) # parcelon_newest_fetched

if(WIN32)
  set(_parcelon_system_libdeflate_default OFF)
else()
  set(_parcelon_system_libdeflate_default ON)
endif()
option(PARCELON_SYSTEM_LIBDEFLATE "Link the installed libdeflate instead of compiling its source"
       ${_parcelon_system_libdeflate_default})

if(PARCELON_SYSTEM_LIBDEFLATE)
  add_library(parcelon_libdeflate INTERFACE)
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(PARCELON_PC_LIBDEFLATE QUIET IMPORTED_TARGET libdeflate)
  endif()
  if(PARCELON_STATIC_DEPENDENCIES)
    find_path(PARCELON_LIBDEFLATE_INCLUDE_DIR NAMES libdeflate.h HINTS ${PARCELON_PC_LIBDEFLATE_INCLUDE_DIRS})
    parcelon_find_static_archive(PARCELON_LIBDEFLATE_STATIC_LIBRARY libdeflate deflatestatic deflate libdeflate
                                 HINTS ${PARCELON_PC_LIBDEFLATE_LIBRARY_DIRS})
    if(NOT PARCELON_LIBDEFLATE_INCLUDE_DIR)
      message(FATAL_ERROR "libdeflate.h not found. Run scripts/setup.sh (it installs libdeflate-dev).")
    endif()
    target_include_directories(parcelon_libdeflate INTERFACE "${PARCELON_LIBDEFLATE_INCLUDE_DIR}")
    target_link_libraries(parcelon_libdeflate INTERFACE "${PARCELON_LIBDEFLATE_STATIC_LIBRARY}")
  elseif(PARCELON_PC_LIBDEFLATE_FOUND)
    target_link_libraries(parcelon_libdeflate INTERFACE PkgConfig::PARCELON_PC_LIBDEFLATE)
  else()
    find_path(PARCELON_LIBDEFLATE_INCLUDE_DIR NAMES libdeflate.h)
    find_library(PARCELON_LIBDEFLATE_LIBRARY NAMES deflate libdeflate)
    if(NOT PARCELON_LIBDEFLATE_INCLUDE_DIR OR NOT PARCELON_LIBDEFLATE_LIBRARY)
      message(FATAL_ERROR
        "libdeflate not found. Run scripts/setup.sh (it installs libdeflate-dev), or set "
        "PARCELON_SYSTEM_LIBDEFLATE=OFF and PARCELON_LIBDEFLATE_SOURCE_DIR to its source.")
    endif()
    target_include_directories(parcelon_libdeflate INTERFACE "${PARCELON_LIBDEFLATE_INCLUDE_DIR}")
    target_link_libraries(parcelon_libdeflate INTERFACE "${PARCELON_LIBDEFLATE_LIBRARY}")
  endif()
else()
  parcelon_newest_fetched(_parcelon_libdeflate_default libdeflate.h "libdeflate-*")
  set(PARCELON_LIBDEFLATE_SOURCE_DIR "${_parcelon_libdeflate_default}" CACHE PATH
      "Folder with libdeflate's source (libdeflate.h, lib/)")
  if(NOT EXISTS "${PARCELON_LIBDEFLATE_SOURCE_DIR}/lib/deflate_compress.c")
    message(FATAL_ERROR
      "libdeflate source not found. Run scripts/setup.sh --windows (it fetches the source "
      "into third_party/), or set PARCELON_LIBDEFLATE_SOURCE_DIR.")
  endif()
  # Raw Deflate and the CRC-32 only: the zlib and gzip wrappers are unused.
  set(_parcelon_libdeflate_files lib/deflate_compress.c lib/deflate_decompress.c lib/crc32.c
      lib/adler32.c lib/utils.c lib/x86/cpu_features.c lib/arm/cpu_features.c)
  list(TRANSFORM _parcelon_libdeflate_files PREPEND "${PARCELON_LIBDEFLATE_SOURCE_DIR}/")
  add_library(parcelon_libdeflate STATIC ${_parcelon_libdeflate_files})
  target_include_directories(parcelon_libdeflate SYSTEM PUBLIC "${PARCELON_LIBDEFLATE_SOURCE_DIR}")
  set_target_properties(parcelon_libdeflate PROPERTIES POSITION_INDEPENDENT_CODE ON C_VISIBILITY_PRESET hidden)
  if(MSVC)
    target_compile_options(parcelon_libdeflate PRIVATE /w)
  else()
    target_compile_options(parcelon_libdeflate PRIVATE -w)
  endif()
endif()
add_library(parcelon::libdeflate ALIAS parcelon_libdeflate)

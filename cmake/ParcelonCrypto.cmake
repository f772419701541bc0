# mbed TLS's cryptographic library (libmbedcrypto, its crypto part only), as
# the target parcelon::mbedcrypto: the portable AES and SHA-1 under WinZip
# AES (src/crypto/), where the processor has no AES or SHA instructions.
#
# Linux and other systems with a package link the installed library
# (Debian's libmbedtls-dev): pkg-config where it describes mbedcrypto
# (mbed TLS 3), else find_path/find_library. Windows builds compile it from
# its source (`apt-get source mbedtls`, the same version as Linux's) in
# cmake/ParcelonMbedtlsFromSource.cmake, which defines the same target.
#
#   PARCELON_STATIC_DEPENDENCIES=ON  link libmbedcrypto.a rather than the
#                                    shared library (a self-contained
#                                    libParcelon.so, as for the Python wheel)

option(PARCELON_STATIC_DEPENDENCIES "Link the dependencies' static libraries (.a) where there are any" OFF)

if(WIN32)
  include(ParcelonMbedtlsFromSource OPTIONAL RESULT_VARIABLE _parcelon_mbedtls_from_source)
  if(NOT _parcelon_mbedtls_from_source OR NOT TARGET parcelon::mbedcrypto)
    message(FATAL_ERROR
      "cmake/ParcelonMbedtlsFromSource.cmake must compile mbed TLS's crypto library for Windows "
      "and define the target parcelon::mbedcrypto.")
  endif()
  return()
endif()

find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(PARCELON_PC_MBEDCRYPTO QUIET mbedcrypto)
endif()
find_path(PARCELON_MBEDTLS_INCLUDE_DIR NAMES mbedtls/aes.h HINTS ${PARCELON_PC_MBEDCRYPTO_INCLUDE_DIRS})
if(PARCELON_STATIC_DEPENDENCIES)
  # The archive must be position-independent to go into the shared
  # library; Debian's is.
  find_library(PARCELON_MBEDCRYPTO_STATIC_LIBRARY NAMES libmbedcrypto.a
    HINTS ${PARCELON_PC_MBEDCRYPTO_LIBRARY_DIRS})
  set(_parcelon_mbedcrypto_library "${PARCELON_MBEDCRYPTO_STATIC_LIBRARY}")
else()
  find_library(PARCELON_MBEDCRYPTO_LIBRARY NAMES mbedcrypto HINTS ${PARCELON_PC_MBEDCRYPTO_LIBRARY_DIRS})
  set(_parcelon_mbedcrypto_library "${PARCELON_MBEDCRYPTO_LIBRARY}")
endif()
if(NOT PARCELON_MBEDTLS_INCLUDE_DIR OR NOT _parcelon_mbedcrypto_library)
  message(FATAL_ERROR
    "mbed TLS's crypto library not found. Run scripts/setup.sh (it installs libmbedtls-dev), "
    "or set PARCELON_MBEDTLS_INCLUDE_DIR and PARCELON_MBEDCRYPTO_LIBRARY "
    "(PARCELON_MBEDCRYPTO_STATIC_LIBRARY with PARCELON_STATIC_DEPENDENCIES).")
endif()

add_library(parcelon_mbedcrypto INTERFACE)
target_include_directories(parcelon_mbedcrypto SYSTEM INTERFACE "${PARCELON_MBEDTLS_INCLUDE_DIR}")
target_link_libraries(parcelon_mbedcrypto INTERFACE "${_parcelon_mbedcrypto_library}")
add_library(parcelon::mbedcrypto ALIAS parcelon_mbedcrypto)

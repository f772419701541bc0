# libmbedcrypto, the cryptography of mbed TLS, compiled from Debian's source
# into a private static library, as the target parcelon::mbedcrypto: the
# AES, SHA-1, HMAC and PBKDF2 the reader opens WinZip AES entries with in
# the Windows DLLs, which cannot link Debian's libmbedtls-dev.
# scripts/setup.sh --windows fetches it into third_party/ with
# `apt-get source mbedtls`, the version libmbedtls-dev was built from.
#
# The files are those mbed TLS's own library/CMakeLists.txt lists as
# src_crypto (no X.509, no TLS), with the configuration the source ships,
# include/mbedtls/config.h unchanged. Debian's build turns on a few modules
# more (threading, CMAC, MD2, MD4, HAVEGE, DTLS-SRTP), none of which the
# reader uses; its contexts are never shared between threads. Every symbol
# stays inside the DLL.
#
#   PARCELON_MBEDTLS_SOURCE_DIR  a folder holding mbed TLS's library/ and include/

include_guard(GLOBAL)
include(ParcelonThirdPartySource) # parcelon_fetched_source, parcelon_third_party_library

parcelon_fetched_source(PARCELON_MBEDTLS_SOURCE_DIR "mbedtls-*" library/aes.c
                        "mbed TLS source (library/, include/)")
file(READ "${PARCELON_MBEDTLS_SOURCE_DIR}/library/CMakeLists.txt" _parcelon_mbedtls_lists)
if(NOT _parcelon_mbedtls_lists MATCHES "set\\(src_crypto([^)]*)\\)")
  message(FATAL_ERROR "${PARCELON_MBEDTLS_SOURCE_DIR}/library/CMakeLists.txt lists no src_crypto")
endif()
string(REGEX MATCHALL "[A-Za-z0-9_]+\\.c" _parcelon_mbedcrypto_files "${CMAKE_MATCH_1}")
list(TRANSFORM _parcelon_mbedcrypto_files PREPEND "${PARCELON_MBEDTLS_SOURCE_DIR}/library/")
add_library(parcelon_mbedcrypto STATIC ${_parcelon_mbedcrypto_files})
target_include_directories(parcelon_mbedcrypto SYSTEM PUBLIC "${PARCELON_MBEDTLS_SOURCE_DIR}/include")
target_include_directories(parcelon_mbedcrypto PRIVATE "${PARCELON_MBEDTLS_SOURCE_DIR}/library")
if(WIN32)
  # The entropy source of the default configuration: CryptGenRandom.
  target_link_libraries(parcelon_mbedcrypto PRIVATE advapi32)
endif()
parcelon_third_party_library(parcelon_mbedcrypto)
add_library(parcelon::mbedcrypto ALIAS parcelon_mbedcrypto)

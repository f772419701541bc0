# bzip2, liblzma and libzstd compiled from Debian's sources into private
# static libraries, as the targets parcelon::bzip2, parcelon::lzma and
# parcelon::zstd: what the reader decodes bzip2, LZMA, xz and Zstandard
# entries with in the Windows DLLs, which cannot link Debian's -dev
# packages. scripts/setup.sh --windows fetches the sources into third_party/
# with `apt-get source bzip2 xz-utils libzstd`, each the version its -dev
# package on Linux was built from, so both builds decode with the same code.
# Each library is whole (its encoders too: tests may make the streams they
# read); the DLL keeps only the objects the reader calls. Every symbol stays
# inside the DLL: none is declared for export, and the consumers see the
# headers as a static library's.
#
#   PARCELON_BZIP2_SOURCE_DIR  a folder holding bzlib.c and bzlib.h
#   PARCELON_XZ_SOURCE_DIR     a folder holding xz's src/liblzma/
#   PARCELON_ZSTD_SOURCE_DIR   a folder holding libzstd's lib/

include_guard(GLOBAL)

include(ParcelonThirdPartySource) # parcelon_fetched_source, parcelon_third_party_library
include(ParcelonBzip2FromSource)

# ---------------------------------------------------------------- liblzma
parcelon_fetched_source(PARCELON_XZ_SOURCE_DIR "xz-utils-*" src/liblzma/common/common.c
                        "xz-utils source (src/liblzma)")
set(_parcelon_lzma_dir "${PARCELON_XZ_SOURCE_DIR}/src/liblzma")
set(_parcelon_lzma_parts check common delta lz lzma rangecoder simple)
set(_parcelon_lzma_files)
set(_parcelon_lzma_includes "${_parcelon_lzma_dir}/api" "${PARCELON_XZ_SOURCE_DIR}/src/common")
foreach(part IN LISTS _parcelon_lzma_parts)
  file(GLOB part_files "${_parcelon_lzma_dir}/${part}/*.c")
  list(APPEND _parcelon_lzma_files ${part_files})
  list(APPEND _parcelon_lzma_includes "${_parcelon_lzma_dir}/${part}")
endforeach()
# Not part of the library: the programs that print the tables, and the
# small CRC variants that replace the table-driven ones.
list(FILTER _parcelon_lzma_files EXCLUDE REGEX "_(tablegen|small)\\.c$")
list(APPEND _parcelon_lzma_files "${PARCELON_XZ_SOURCE_DIR}/src/common/tuklib_physmem.c"
     "${PARCELON_XZ_SOURCE_DIR}/src/common/tuklib_cpucores.c")
add_library(parcelon_lzma STATIC ${_parcelon_lzma_files})
target_include_directories(parcelon_lzma PRIVATE ${_parcelon_lzma_includes})
target_include_directories(parcelon_lzma SYSTEM INTERFACE "${_parcelon_lzma_dir}/api")
# What xz's configure finds on a Windows or Linux machine with gcc, clang
# or MSVC, and every filter, check and match finder Debian's liblzma has.
# LZMA_API_STATIC: lzma.h neither imports nor exports its functions.
target_compile_definitions(parcelon_lzma PUBLIC LZMA_API_STATIC)
target_compile_definitions(parcelon_lzma PRIVATE
  HAVE_STDBOOL_H HAVE__BOOL HAVE_STDINT_H HAVE_INTTYPES_H HAVE_VISIBILITY=0
  HAVE_CHECK_CRC32 HAVE_CHECK_CRC64 HAVE_CHECK_SHA256
  HAVE_DECODERS HAVE_ENCODERS HAVE_LZIP_DECODER
  HAVE_DECODER_LZMA1 HAVE_DECODER_LZMA2 HAVE_DECODER_DELTA HAVE_DECODER_X86 HAVE_DECODER_POWERPC
  HAVE_DECODER_IA64 HAVE_DECODER_ARM HAVE_DECODER_ARMTHUMB HAVE_DECODER_ARM64 HAVE_DECODER_SPARC
  HAVE_ENCODER_LZMA1 HAVE_ENCODER_LZMA2 HAVE_ENCODER_DELTA HAVE_ENCODER_X86 HAVE_ENCODER_POWERPC
  HAVE_ENCODER_IA64 HAVE_ENCODER_ARM HAVE_ENCODER_ARMTHUMB HAVE_ENCODER_ARM64 HAVE_ENCODER_SPARC
  HAVE_MF_HC3 HAVE_MF_HC4 HAVE_MF_BT2 HAVE_MF_BT3 HAVE_MF_BT4
  TUKLIB_SYMBOL_PREFIX=lzma_ SIZEOF_SIZE_T=${CMAKE_SIZEOF_VOID_P})
if(NOT MSVC)
  target_compile_definitions(parcelon_lzma PRIVATE HAVE___BUILTIN_BSWAPXX HAVE___BUILTIN_ASSUME_ALIGNED)
endif()
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86)$")
  target_compile_definitions(parcelon_lzma PRIVATE TUKLIB_FAST_UNALIGNED_ACCESS)
endif()
# The multithreaded coders: Windows' own threads (Vista and later: SRW
# locks and condition variables from kernel32), else POSIX threads.
if(WIN32)
  target_compile_definitions(parcelon_lzma PRIVATE MYTHREAD_VISTA)
else()
  find_package(Threads REQUIRED)
  target_compile_definitions(parcelon_lzma PRIVATE MYTHREAD_POSIX HAVE_CLOCK_GETTIME HAVE_CLOCK_MONOTONIC
                                                   HAVE_PTHREAD_CONDATTR_SETCLOCK TUKLIB_PHYSMEM_SYSCONF
                                                   TUKLIB_CPUCORES_SCHED_GETAFFINITY _GNU_SOURCE)
  target_link_libraries(parcelon_lzma PRIVATE Threads::Threads)
endif()
parcelon_third_party_library(parcelon_lzma)
add_library(parcelon::lzma ALIAS parcelon_lzma)

# ---------------------------------------------------------------- libzstd
parcelon_fetched_source(PARCELON_ZSTD_SOURCE_DIR "libzstd-*" lib/zstd.h "libzstd source (lib/)")
# The library without its dictionary builder and its multithreaded
# compressor, with the decoders of the old formats v0.5 to v0.7 that
# Debian's libzstd has too (its ZSTD_LEGACY_SUPPORT=5). zstd's x86-64
# assembly is for ELF and Mach-O only; ZSTD_DISABLE_ASM keeps every build
# on its C.
file(GLOB _parcelon_zstd_files
  "${PARCELON_ZSTD_SOURCE_DIR}/lib/common/*.c"
  "${PARCELON_ZSTD_SOURCE_DIR}/lib/compress/*.c"
  "${PARCELON_ZSTD_SOURCE_DIR}/lib/decompress/*.c"
  "${PARCELON_ZSTD_SOURCE_DIR}/lib/legacy/zstd_v0[5-7].c")
add_library(parcelon_zstd STATIC ${_parcelon_zstd_files})
target_include_directories(parcelon_zstd SYSTEM PUBLIC "${PARCELON_ZSTD_SOURCE_DIR}/lib")
target_include_directories(parcelon_zstd PRIVATE "${PARCELON_ZSTD_SOURCE_DIR}/lib/common"
                                                 "${PARCELON_ZSTD_SOURCE_DIR}/lib/legacy")
target_compile_definitions(parcelon_zstd PRIVATE ZSTD_DISABLE_ASM ZSTD_LEGACY_SUPPORT=5)
parcelon_third_party_library(parcelon_zstd)
add_library(parcelon::zstd ALIAS parcelon_zstd)

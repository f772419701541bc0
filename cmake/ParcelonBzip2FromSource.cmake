# libbz2 compiled from Debian's bzip2 source into the private static library
# parcelon::bzip2: in the Windows DLLs, and on Linux when the library should
# need nothing else at run time (PARCELON_STATIC_DEPENDENCIES, the Python
# wheel's copy), because Debian's libbz2.a is not position-independent.
#
#   PARCELON_BZIP2_SOURCE_DIR  a folder holding bzlib.c and bzlib.h

include_guard(GLOBAL)

include(ParcelonThirdPartySource)

parcelon_fetched_source(PARCELON_BZIP2_SOURCE_DIR "bzip2-*" bzlib.c "bzip2 source (bzlib.c, bzlib.h)")
set(_parcelon_bzip2_files blocksort.c huffman.c crctable.c randtable.c compress.c decompress.c bzlib.c)
list(TRANSFORM _parcelon_bzip2_files PREPEND "${PARCELON_BZIP2_SOURCE_DIR}/")
add_library(parcelon_bzip2 STATIC ${_parcelon_bzip2_files})
target_include_directories(parcelon_bzip2 SYSTEM PUBLIC "${PARCELON_BZIP2_SOURCE_DIR}")
# On Windows bzlib.h declares the functions as pointers for loading
# libbz2.dll by hand unless BZ_EXPORT says they are linked in (then they are
# WINAPI functions, the same for the library and its callers). It also
# includes <windows.h> into every caller: the lean one, without the min and
# max macros that would break std::min.
if(WIN32)
  target_compile_definitions(parcelon_bzip2 PUBLIC BZ_EXPORT NOMINMAX WIN32_LEAN_AND_MEAN)
endif()
parcelon_third_party_library(parcelon_bzip2)
add_library(parcelon::bzip2 ALIAS parcelon_bzip2)

# Checks that only make sense for the Windows build (included from
# tests/CMakeLists.txt when WIN32).

# A host that knows nothing but the public header and the import library;
# it runs beside a copy of Parcelon.dll, as a deployed host would.
add_executable(parcelon_dll_host ${CMAKE_CURRENT_LIST_DIR}/dll_host.cpp)
target_link_libraries(parcelon_dll_host PRIVATE Parcelon)
parcelon_warnings(parcelon_dll_host)
if(MINGW)
  target_link_options(parcelon_dll_host PRIVATE -static)
endif()
add_custom_command(TARGET parcelon_dll_host POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Parcelon> $<TARGET_FILE_DIR:parcelon_dll_host>)
add_test(NAME dll_host_roundtrip COMMAND parcelon_dll_host dll_host_work
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})

# The DLL's export table names every member of CParcelon, by the names a
# MinGW (Itanium C++ ABI) host links against, and the C functions without
# decoration.
if(MINGW)
  if(CMAKE_OBJDUMP)
    set(_parcelon_objdump ${CMAKE_OBJDUMP})
  else()
    find_program(_parcelon_objdump NAMES x86_64-w64-mingw32-objdump objdump)
  endif()
  add_test(NAME dll_exports_every_member
    COMMAND ${CMAKE_COMMAND} -DDLL=$<TARGET_FILE:Parcelon> -DOBJDUMP=${_parcelon_objdump}
            -P ${CMAKE_CURRENT_LIST_DIR}/check_dll_exports.cmake)
  # Reads the DLL only: it runs where Wine cannot run the build's programs.
  set_tests_properties(dll_exports_every_member PROPERTIES LABELS no-wine)
endif()

# An MSVC-style host of the C interface: compiled by clang for the
# *-pc-windows-msvc target and linked by lld-link against Parcelon.lib and
# ParcelonC.h, without MinGW's headers, libraries or linker, then run
# beside the DLL. Parcelon.lib is made by the build (ParcelonWindowsExports).
if(MINGW)
  find_program(PARCELON_CLANG NAMES clang)
  find_program(PARCELON_LLD_LINK NAMES lld-link)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_parcelon_msvc_arch x64)
  else()
    set(_parcelon_msvc_arch x86)
  endif()
  add_test(NAME msvc_import_library_host
    COMMAND ${CMAKE_COMMAND} -DCLANG=${PARCELON_CLANG} -DLLD_LINK=${PARCELON_LLD_LINK}
            -DLLVM_DLLTOOL=${PARCELON_LLVM_DLLTOOL} -DARCH=${_parcelon_msvc_arch}
            -DIMPORT_LIB=$<TARGET_FILE_DIR:Parcelon>/Parcelon.lib -DDLL=$<TARGET_FILE:Parcelon>
            -DINCLUDE=${PROJECT_SOURCE_DIR}/include -DSOURCE=${CMAKE_CURRENT_LIST_DIR}/msvc_host.c
            -DWORK=${CMAKE_CURRENT_BINARY_DIR}/msvc_host_work -DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}
            -P ${CMAKE_CURRENT_LIST_DIR}/run_msvc_host.cmake)
endif()

# The reader's libraries as the Windows DLLs compile them from Debian's
# sources (bzip2, liblzma, libzstd, libmbedcrypto): a program linked with
# them as the DLL is decodes, round-trips and checks published answers
# under Wine, and the libraries ask for no exports and need no DLL beyond
# Windows' own. The modules are included here when the build has not
# already made their targets.
if(NOT TARGET parcelon::bzip2 OR NOT TARGET parcelon::lzma OR NOT TARGET parcelon::zstd)
  include(ParcelonCodecsFromSource)
endif()
if(NOT TARGET parcelon::mbedcrypto)
  include(ParcelonMbedtlsFromSource)
endif()
add_executable(parcelon_codecs_smoke ${CMAKE_CURRENT_LIST_DIR}/codecs_smoke.cpp)
target_link_libraries(parcelon_codecs_smoke PRIVATE parcelon::bzip2 parcelon::lzma parcelon::zstd parcelon::mbedcrypto)
parcelon_warnings(parcelon_codecs_smoke)
if(MINGW)
  target_link_options(parcelon_codecs_smoke PRIVATE -static)
endif()
add_test(NAME codecs_from_source_smoke COMMAND parcelon_codecs_smoke)
if(MINGW)
  add_test(NAME codecs_from_source_stay_private
    COMMAND ${CMAKE_COMMAND}
            "-DLIBS=$<TARGET_FILE:parcelon_bzip2>|$<TARGET_FILE:parcelon_lzma>|$<TARGET_FILE:parcelon_zstd>|$<TARGET_FILE:parcelon_mbedcrypto>"
            -DEXE=$<TARGET_FILE:parcelon_codecs_smoke> -DOBJDUMP=${_parcelon_objdump}
            -P ${CMAKE_CURRENT_LIST_DIR}/check_third_party.cmake)
  set_tests_properties(codecs_from_source_stay_private PROPERTIES LABELS no-wine)
endif()

# Parcelon.dll's export table and import libraries with MinGW (included
# from CMakeLists.txt for the Parcelon target).
#
# Exports: the members of CParcelon by their C++ names (dllexport), and the
# functions of cmake/Parcelon.def, undecorated on both architectures: the
# 32-bit linker would name a __stdcall export parcelon_new@0, which
# GetProcAddress, C#'s DllImport, VB's Declare and Delphi's external do not
# find by the header's name; --kill-at drops the @N.
#
# Import libraries, beside the DLL:
#   Parcelon.dll.a  for MinGW hosts, the class and the C interface; made by
#                   dlltool, because the one the linker writes with
#                   --kill-at names the functions without @N too, and a
#                   32-bit __stdcall caller looks for _parcelon_new@0;
#   Parcelon.lib    for MSVC-style linkers (link.exe, lld-link), the C
#                   interface only, made by llvm-dlltool from the .def.

set(PARCELON_DEF ${PROJECT_SOURCE_DIR}/cmake/Parcelon.def)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  # One calling convention and no decoration on x64: the same names
  # without @N.
  file(STRINGS ${PARCELON_DEF} _parcelon_def_exports REGEX "^ +parcelon_[a-z0-9_]+@[0-9]+$")
  set(_parcelon_def_text "; Made from cmake/Parcelon.def for x64: the same names, without @N.\nLIBRARY Parcelon.dll\nEXPORTS\n")
  foreach(_parcelon_export IN LISTS _parcelon_def_exports)
    string(REGEX REPLACE "@[0-9]+$" "" _parcelon_export "${_parcelon_export}")
    string(APPEND _parcelon_def_text "${_parcelon_export}\n")
  endforeach()
  set(PARCELON_LINK_DEF ${PROJECT_BINARY_DIR}/Parcelon.def)
  if(EXISTS ${PARCELON_LINK_DEF})
    file(READ ${PARCELON_LINK_DEF} _parcelon_old_def_text)
  endif()
  if(NOT "${_parcelon_old_def_text}" STREQUAL "${_parcelon_def_text}")
    file(WRITE ${PARCELON_LINK_DEF} "${_parcelon_def_text}")
  endif()
  set(PARCELON_DLLTOOL_MACHINE i386:x86-64)
else()
  set(PARCELON_LINK_DEF ${PARCELON_DEF})
  set(PARCELON_DLLTOOL_MACHINE i386)
endif()
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PARCELON_DEF})

# The .def also makes the link fail when a function is missing or its @N
# no longer matches its arguments. --output-def lists what was exported,
# for the import library.
set(_parcelon_exported_def ${PROJECT_BINARY_DIR}/Parcelon-exported.def)
target_link_options(Parcelon PRIVATE ${PARCELON_LINK_DEF} -Wl,--kill-at -Wl,--output-def,${_parcelon_exported_def})
set_property(TARGET Parcelon APPEND PROPERTY LINK_DEPENDS ${PARCELON_LINK_DEF})

if(NOT CMAKE_DLLTOOL)
  find_program(CMAKE_DLLTOOL NAMES ${PARCELON_MINGW_TRIPLE}-dlltool dlltool)
endif()
find_program(PARCELON_LLVM_DLLTOOL NAMES llvm-dlltool)
if(NOT PARCELON_LLVM_DLLTOOL)
  message(WARNING "llvm-dlltool not found (Debian package llvm): the build makes no Parcelon.lib")
endif()
add_custom_command(TARGET Parcelon POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DDLLTOOL=${CMAKE_DLLTOOL} -DLLVM_DLLTOOL=${PARCELON_LLVM_DLLTOOL}
          -DMACHINE=${PARCELON_DLLTOOL_MACHINE} -DDEF=${PARCELON_LINK_DEF} -DEXPORTED_DEF=${_parcelon_exported_def}
          -DMINGW_LIB=$<TARGET_LINKER_FILE:Parcelon> -DMSVC_LIB=$<TARGET_FILE_DIR:Parcelon>/Parcelon.lib
          -P ${PROJECT_SOURCE_DIR}/cmake/ParcelonImportLibraries.cmake
  VERBATIM)

# Reads Parcelon.dll's export and import tables with objdump -p and checks
# that a MinGW host finds every member of CParcelon by its full name, that
# every host finds the C interface by the undecorated names of ParcelonC.h
# (parcelon_new, not parcelon_new@0: GetProcAddress, C#, VB and Delphi look
# a function up by the name they are given), that nothing else is
# exported, and that the DLL needs nothing but Windows' own DLLs beside it.
#   cmake -DDLL=Parcelon.dll -DOBJDUMP=x86_64-w64-mingw32-objdump -P check_dll_exports.cmake

if(NOT DLL OR NOT OBJDUMP)
  message(FATAL_ERROR "usage: cmake -DDLL=<Parcelon.dll> -DOBJDUMP=<objdump> -P check_dll_exports.cmake")
endif()

# LC_ALL=C: objdump translates its headings, in Japanese under ja_JP.
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${OBJDUMP} -p ${DLL}
  OUTPUT_VARIABLE dump RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed: ${errors}")
endif()

# The names of the export table: lines "\t[   3] name" after its heading.
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" table_at)
if(table_at EQUAL -1)
  message(FATAL_ERROR "${DLL} has no export name table")
endif()
string(SUBSTRING "${dump}" ${table_at} -1 table)
string(FIND "${table}" "\n\n" table_end)
if(NOT table_end EQUAL -1)
  string(SUBSTRING "${table}" 0 ${table_end} table)
endif()
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${table}")
# Every exported address has a name: nothing is exported by ordinal alone.
if(NOT dump MATCHES "Export Address Table[ \t]+([0-9a-fA-F]+)\n")
  message(FATAL_ERROR "${DLL}: objdump shows no export address count")
endif()
math(EXPR address_count "0x${CMAKE_MATCH_1}")
set(exports)
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${row}")
  list(APPEND exports "${name}")
endforeach()

# The members' names as a MinGW (Itanium C++ ABI, libstdc++ with the C++11
# string) host links against them: complete and base object constructors
# and destructors, then the rest with their argument types.
set(wstring_vector "St6vectorINSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEEESaIS")
set(expected
  _ZN9CParcelonC1Ev _ZN9CParcelonC2Ev             # CParcelon()
  _ZN9CParcelonC1ERKS_ _ZN9CParcelonC2ERKS_       # CParcelon(const CParcelon&)
  _ZN9CParcelonC1EOS_ _ZN9CParcelonC2EOS_         # CParcelon(CParcelon&&)
  _ZN9CParcelonD1Ev _ZN9CParcelonD2Ev             # ~CParcelon()
  _ZN9CParcelonaSERKS_                            # operator=(const CParcelon&)
  _ZN9CParcelonaSEOS_                             # operator=(CParcelon&&)
  _ZN9CParcelon13SetCallbackerEP20TZipProgressCallback
  _ZN9CParcelon4StopEv
  _ZN9CParcelon8ZipFilesERK${wstring_vector}6_EEPKwjPKc
  _ZN9CParcelon12ZipDirectoryEPKwS1_RK${wstring_vector}8_EESC_bjPKci
  _ZN9CParcelon12ZipDirectoryEPKwS1_bjPKci
  _ZN9CParcelon9UnzipFileEPKcS1_S1_
  _ZN9CParcelon10GetFileCrcEPKc
  _ZN9CParcelon16_AddFileToZipObjEPvPKwjPKc)

# The C interface (ParcelonC.h), on both architectures by these names.
set(c_functions
  parcelon_new parcelon_free parcelon_set_progress parcelon_stop parcelon_set_threads
  parcelon_zip_files parcelon_zip_directory parcelon_unzip_file
  parcelon_zip_files_utf8 parcelon_zip_directory_utf8 parcelon_unzip_file_utf8
  parcelon_last_error parcelon_last_message parcelon_error_text parcelon_version
  parcelon_set_report parcelon_set_option parcelon_list parcelon_list_utf8 parcelon_test parcelon_test_utf8
  parcelon_extract parcelon_extract_utf8)

set(failures 0)
foreach(name IN LISTS expected c_functions)
  list(FIND exports "${name}" found)
  if(found EQUAL -1)
    message(SEND_ERROR "not exported: ${name}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
foreach(name IN LISTS exports)
  list(FIND expected "${name}" member)
  list(FIND c_functions "${name}" c_function)
  if(name MATCHES "@")
    message(SEND_ERROR "exported with a decoration: ${name}")
    math(EXPR failures "${failures} + 1")
  elseif(member EQUAL -1 AND c_function EQUAL -1)
    message(SEND_ERROR "exported but neither a listed member of CParcelon nor a C function: ${name}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
list(LENGTH exports export_count)
if(NOT address_count EQUAL export_count)
  message(SEND_ERROR "${address_count} exported addresses for ${export_count} names")
  math(EXPR failures "${failures} + 1")
endif()

# Only DLLs every Windows has may be imported.
include(${CMAKE_CURRENT_LIST_DIR}/SystemImports.cmake)
parcelon_check_system_imports("${dump}" "${DLL}" import_problems import_count)
math(EXPR failures "${failures} + ${import_problems}")

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} problem(s) with ${DLL}")
endif()
message(STATUS "${DLL}: ${export_count} exports, the members of CParcelon and the C functions;"
               " ${import_count} system DLLs imported")

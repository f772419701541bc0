# The shared library exports CParcelon's members and the C interface's
# functions, and nothing else: no minizip, no internal helper, nothing a
# host could collide with.
find_program(NM nm REQUIRED)
execute_process(COMMAND ${NM} -D --defined-only ${LIB}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REPLACE "\n" ";" lines "${symbols}")
set(members 0)
set(functions 0)
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    continue()
  endif()
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
  if(name MATCHES "9CParcelon")
    math(EXPR members "${members} + 1")
  elseif(name MATCHES "^parcelon_[a-z0-9_]+$")
    math(EXPR functions "${functions} + 1")
  elseif(NOT name MATCHES "^(_init|_fini|_edata|_end|__bss_start)$")
    message(FATAL_ERROR "unexpected exported symbol: ${name}")
  endif()
endforeach()
# Two constructors and a destructor come in complete and base forms.
foreach(member C1Ev C1ERKS_ C1EOS_ D1Ev aSERKS_ aSEOS_ 13SetCallbacker 4Stop 8ZipFiles
               12ZipDirectory 9UnzipFile 10GetFileCrc 16_AddFileToZipObj)
  if(NOT symbols MATCHES "9CParcelon${member}")
    message(FATAL_ERROR "member not exported: CParcelon ${member}")
  endif()
endforeach()
foreach(function new free set_progress stop set_threads zip_files zip_directory unzip_file zip_files_utf8
                 zip_directory_utf8 unzip_file_utf8 last_error last_message version)
  if(NOT symbols MATCHES "parcelon_${function}\n")
    message(FATAL_ERROR "function not exported: parcelon_${function}")
  endif()
endforeach()
message(STATUS "${members} CParcelon symbols and ${functions} C functions exported, nothing else")

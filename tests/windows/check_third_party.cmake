# The libraries the Windows DLLs compile from Debian's sources stay inside
# whatever links them: no object of theirs asks the linker to export a
# symbol (a __declspec(dllexport) leaves "-export:name" in its .drectve
# section, which Parcelon.dll's .def file would not hold back), and a
# program linked with all of them statically imports only DLLs every
# Windows has.
#   cmake -DLIBS="a.a|b.a" -DEXE=codecs_smoke.exe -DOBJDUMP=<objdump> -P check_third_party.cmake

if(NOT LIBS OR NOT EXE OR NOT OBJDUMP)
  message(FATAL_ERROR "usage: cmake -DLIBS=<a.a|b.a> -DEXE=<program> -DOBJDUMP=<objdump> -P check_third_party.cmake")
endif()
string(REPLACE "|" ";" LIBS "${LIBS}")

set(failures 0)
foreach(lib IN LISTS LIBS)
  # The directives are plain text in the archive (GNU "-export:", MSVC "/EXPORT:").
  file(STRINGS "${lib}" directives REGEX "[-/][Ee][Xx][Pp][Oo][Rr][Tt]:")
  if(directives)
    list(LENGTH directives count)
    list(GET directives 0 first)
    message(SEND_ERROR "${lib} asks for ${count} export(s), the first: ${first}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${OBJDUMP} -p ${EXE}
  OUTPUT_VARIABLE dump RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed: ${errors}")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/SystemImports.cmake)
parcelon_check_system_imports("${dump}" "${EXE}" import_problems import_count)
math(EXPR failures "${failures} + ${import_problems}")

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} problem(s) with the libraries compiled from source")
endif()
list(LENGTH LIBS lib_count)
message(STATUS "${lib_count} libraries export nothing; ${EXE} imports ${import_count} system DLLs")

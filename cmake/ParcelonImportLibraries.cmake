# Writes Parcelon.dll's import libraries after the link (see
# ParcelonWindowsExports.cmake):
#   cmake -DDLLTOOL=<mingw dlltool> [-DLLVM_DLLTOOL=llvm-dlltool] -DMACHINE=i386|i386:x86-64
#         -DDEF=<the C functions' .def> -DEXPORTED_DEF=<the linker's --output-def>
#         -DMINGW_LIB=Parcelon.dll.a -DMSVC_LIB=Parcelon.lib -P ParcelonImportLibraries.cmake

foreach(var DLLTOOL MACHINE DEF EXPORTED_DEF MINGW_LIB MSVC_LIB)
  if(NOT ${var})
    message(FATAL_ERROR "ParcelonImportLibraries.cmake: ${var} is not set")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
    message(FATAL_ERROR "${ARGN} failed (${rc}):\n${out}${err}")
  endif()
endfunction()

# The C functions by their decorated names from the .def (dlltool -k keeps
# the symbol _parcelon_new@0 and imports the name parcelon_new), the rest
# as the linker exported them, without the ordinals it chose.
file(STRINGS "${DEF}" c_functions REGEX "^ +parcelon_[a-z0-9_]+(@[0-9]+)?$")
file(STRINGS "${EXPORTED_DEF}" exported REGEX "^ +[^ ;]")
set(others)
foreach(line IN LISTS exported)
  string(STRIP "${line}" line)
  if(line MATCHES "^parcelon_")
    continue() # "parcelon_new = parcelon_new@0 @22": from the .def instead
  endif()
  if(NOT line MATCHES "^([^ =]+)( @[0-9]+)?$")
    message(FATAL_ERROR "unexpected export in ${EXPORTED_DEF}: ${line}")
  endif()
  list(APPEND others "  ${CMAKE_MATCH_1}")
endforeach()
list(LENGTH c_functions c_count)
if(c_count EQUAL 0)
  message(FATAL_ERROR "no parcelon_ function in ${DEF}")
endif()

get_filename_component(folder "${MINGW_LIB}" DIRECTORY)
set(mingw_def "${folder}/Parcelon-mingw.def")
list(JOIN others "\n" others_text)
list(JOIN c_functions "\n" c_text)
file(WRITE "${mingw_def}" "LIBRARY Parcelon.dll\nEXPORTS\n${others_text}\n${c_text}\n")
run(${DLLTOOL} -k -d "${mingw_def}" -D Parcelon.dll -l "${MINGW_LIB}")

if(LLVM_DLLTOOL)
  run(${LLVM_DLLTOOL} -m ${MACHINE} -k -d "${DEF}" -D Parcelon.dll -l "${MSVC_LIB}")
else()
  file(REMOVE "${MSVC_LIB}") # none rather than one from an older DLL
endif()

# Builds tests/windows/msvc_host.c the way an MSVC project would use
# Parcelon (clang for the *-pc-windows-msvc target, lld-link, Parcelon.lib
# and ParcelonC.h, no MinGW file at all), runs it under Wine beside
# Parcelon.dll and checks what it packed and extracted.
#   cmake -DCLANG=clang -DLLD_LINK=lld-link -DLLVM_DLLTOOL=llvm-dlltool
#         -DARCH=x86|x64 -DIMPORT_LIB=Parcelon.lib -DDLL=Parcelon.dll
#         -DINCLUDE=<include/> -DSOURCE=msvc_host.c -DWORK=<scratch folder>
#         [-DEMULATOR=wine] -P run_msvc_host.cmake

foreach(var CLANG LLD_LINK LLVM_DLLTOOL ARCH IMPORT_LIB DLL INCLUDE SOURCE WORK)
  if(NOT ${var})
    message(FATAL_ERROR "run_msvc_host.cmake: ${var} is not set (clang, lld-link and llvm-dlltool come with "
                        "Debian's clang, lld and llvm packages: scripts/setup.sh --windows)")
  endif()
endforeach()
if(NOT EXISTS "${IMPORT_LIB}")
  message(FATAL_ERROR "no import library at ${IMPORT_LIB}")
endif()

if(ARCH STREQUAL "x86")
  set(target i686-pc-windows-msvc)
  set(machine i386)
  set(link_machine X86)
  # The caller's names of kernel32's __stdcall functions carry @N.
  set(kernel32_exports "ExitProcess@4\nGetStdHandle@4\nWriteFile@20\n")
elseif(ARCH STREQUAL "x64")
  set(target x86_64-pc-windows-msvc)
  set(machine i386:x86-64)
  set(link_machine X64)
  set(kernel32_exports "ExitProcess\nGetStdHandle\nWriteFile\n")
else()
  message(FATAL_ERROR "ARCH must be x86 or x64, not ${ARCH}")
endif()

function(run what)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${WORK}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${ARGN}\n${out}${err}")
  endif()
  if(NOT "${out}${err}" STREQUAL "")
    # Warnings are errors here: the host must build cleanly.
    message(FATAL_ERROR "${what} said:\n${out}${err}")
  endif()
endfunction()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/out")

# No Windows SDK here: kernel32.lib is made from the three functions used.
file(WRITE "${WORK}/kernel32.def" "LIBRARY kernel32.dll\nEXPORTS\n${kernel32_exports}")
run("llvm-dlltool (kernel32.lib)" ${LLVM_DLLTOOL} -m ${machine} -k -d kernel32.def -l kernel32.lib)

run("clang (msvc_host.c for ${target})" ${CLANG} --target=${target} -ffreestanding -fno-builtin
    -fno-stack-protector -O2 -std=c99 -Wall -Wextra -Werror -pedantic -Wno-language-extension-token
    -I "${INCLUDE}" -c "${SOURCE}" -o msvc_host.obj)
run("lld-link" ${LLD_LINK} /nologo /machine:${link_machine} /subsystem:console /entry:host_main
    /nodefaultlib /out:msvc_host.exe msvc_host.obj "${IMPORT_LIB}" kernel32.lib)

configure_file("${DLL}" "${WORK}/Parcelon.dll" COPYONLY)
file(WRITE "${WORK}/one.txt" "the first file, from the MSVC host\n")
string(REPEAT "the second file, long enough to compress. " 3000 second)
file(WRITE "${WORK}/two.log" "${second}")

execute_process(COMMAND ${EMULATOR} msvc_host.exe WORKING_DIRECTORY "${WORK}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE errors)
message(STATUS "msvc_host.exe (${ARCH}):\n${output}")
if(NOT rc EQUAL 0 OR NOT output MATCHES "msvc host: every check passed")
  message(FATAL_ERROR "msvc_host.exe failed (${rc}):\n${output}${errors}")
endif()

foreach(name one.txt two.log)
  file(READ "${WORK}/${name}" expected)
  if(NOT EXISTS "${WORK}/out/${name}")
    message(FATAL_ERROR "${name} was not extracted")
  endif()
  file(READ "${WORK}/out/${name}" actual)
  if(NOT expected STREQUAL actual)
    message(FATAL_ERROR "${name} came back different")
  endif()
endforeach()
# Which names each archive holds: the lists reached the DLL in their places.
function(expect_entries zip)
  if(NOT EXISTS "${WORK}/${zip}")
    message(FATAL_ERROR "the host wrote no ${zip}")
  endif()
  file(STRINGS "${WORK}/${zip}" found REGEX "one\\.txt|two\\.log")
  foreach(name one.txt two.log)
    list(FIND ARGN "${name}" wanted)
    string(REPLACE "." "\\." pattern "${name}")
    if(found MATCHES "${pattern}" AND wanted EQUAL -1)
      message(FATAL_ERROR "${zip} has an entry ${name}, which it should not")
    elseif(NOT found MATCHES "${pattern}" AND NOT wanted EQUAL -1)
      message(FATAL_ERROR "${zip} has no entry ${name}")
    endif()
  endforeach()
endfunction()
expect_entries(msvc_host.zip one.txt two.log)
expect_entries(one.zip one.txt)
expect_entries(two.zip two.log)
expect_entries(stopped.zip)

message(STATUS "${ARCH} host built with clang (${target}) and lld-link against ${IMPORT_LIB} ran under Wine")

# What a Windows program or DLL of this project may import: DLLs every
# Windows has. The C and C++ runtimes, pthreads, zlib and the reader's
# libraries are linked in, so nothing else may appear.
#   include(SystemImports.cmake)  (from a cmake -P script)
#   parcelon_check_system_imports(<objdump -p output> <file> <problem count variable> <import count variable>)

# bcrypt.dll (Vista and later): BCryptGenRandom, the system's random source.
set(PARCELON_SYSTEM_DLLS kernel32.dll msvcrt.dll ucrtbase.dll oleaut32.dll ole32.dll shlwapi.dll
                         user32.dll advapi32.dll bcrypt.dll)

function(parcelon_check_system_imports dump file problems_variable count_variable)
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
  set(problems 0)
  foreach(line IN LISTS imports)
    string(REGEX REPLACE "^DLL Name: *" "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll_lower)
    list(FIND PARCELON_SYSTEM_DLLS "${dll_lower}" known)
    if(known EQUAL -1 AND NOT dll_lower MATCHES "^api-ms-win-")
      message(SEND_ERROR "${file} imports ${dll}, which is not part of Windows")
      math(EXPR problems "${problems} + 1")
    endif()
  endforeach()
  list(LENGTH imports count)
  set(${problems_variable} ${problems} PARENT_SCOPE)
  set(${count_variable} ${count} PARENT_SCOPE)
endfunction()

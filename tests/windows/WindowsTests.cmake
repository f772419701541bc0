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

# The DLL's export table names every member of CParcelon. The names are
# those a MinGW (Itanium C++ ABI) host links against.
if(MINGW)
  if(CMAKE_OBJDUMP)
    set(_parcelon_objdump ${CMAKE_OBJDUMP})
  else()
    find_program(_parcelon_objdump NAMES x86_64-w64-mingw32-objdump objdump)
  endif()
  add_test(NAME dll_exports_every_member
    COMMAND ${CMAKE_COMMAND} -DDLL=$<TARGET_FILE:Parcelon> -DOBJDUMP=${_parcelon_objdump}
            -P ${CMAKE_CURRENT_LIST_DIR}/check_dll_exports.cmake)
endif()

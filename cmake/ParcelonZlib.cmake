# zlib, as the target parcelon::zlib, and the library's operation-scoped
# allocator (src/memory) as parcelon_memory.
#
# By default zlib is compiled from the same source tree that provides
# minizip (third_party/zlib-*/, fetched by scripts/setup.sh) into a private
# static library inside the build tree: position-independent, every symbol
# hidden, and built with zlib's MY_ZCALLOC hook so that Deflate and Inflate
# state comes from src/memory/ZlibAllocator.cpp. The C runtime otherwise
# returns each entry's 260 KiB of Deflate state to the system and faults it
# in again for the next entry, which dominates packing many small files.
#
#   PARCELON_SYSTEM_ZLIB=ON     link the installed zlib instead (find_package);
#                               the default on Windows and with an installed
#                               minizip, which calls its own zlib anyway.
#   PARCELON_ZLIB_SOURCE_DIR    a folder holding zlib's deflate.c, zutil.c, ...

if(WIN32 OR PARCELON_SYSTEM_MINIZIP)
  set(_parcelon_system_zlib_default ON)
else()
  set(_parcelon_system_zlib_default OFF)
endif()
option(PARCELON_SYSTEM_ZLIB "Link the installed zlib instead of compiling a private one" ${_parcelon_system_zlib_default})

add_library(parcelon_memory STATIC "${CMAKE_CURRENT_SOURCE_DIR}/src/memory/OperationMemory.cpp")
target_include_directories(parcelon_memory PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/src")
set_target_properties(parcelon_memory PROPERTIES POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
parcelon_warnings(parcelon_memory)

if(PARCELON_SYSTEM_ZLIB)
  find_package(ZLIB REQUIRED)
  add_library(parcelon_zlib INTERFACE)
  target_link_libraries(parcelon_zlib INTERFACE ZLIB::ZLIB parcelon_memory)
else()
  file(GLOB _parcelon_zlib_candidates "${CMAKE_CURRENT_SOURCE_DIR}/third_party/zlib-*/deflate.c")
  set(_parcelon_zlib_default "")
  if(_parcelon_zlib_candidates)
    list(SORT _parcelon_zlib_candidates)
    list(GET _parcelon_zlib_candidates -1 _parcelon_zlib_default)
    get_filename_component(_parcelon_zlib_default "${_parcelon_zlib_default}" DIRECTORY)
  endif()
  set(PARCELON_ZLIB_SOURCE_DIR "${_parcelon_zlib_default}" CACHE PATH
      "Folder with zlib's source (deflate.c, inflate.c, zutil.c, ...)")
  if(NOT EXISTS "${PARCELON_ZLIB_SOURCE_DIR}/zutil.c")
    message(FATAL_ERROR
      "zlib source not found. Run scripts/setup.sh (it fetches zlib's source into "
      "third_party/), set PARCELON_ZLIB_SOURCE_DIR, or set PARCELON_SYSTEM_ZLIB=ON.")
  endif()
  # The compression core only: the gz* file functions are never used.
  set(_parcelon_zlib_files adler32.c compress.c crc32.c deflate.c infback.c inffast.c
      inflate.c inftrees.c trees.c uncompr.c zutil.c)
  list(TRANSFORM _parcelon_zlib_files PREPEND "${PARCELON_ZLIB_SOURCE_DIR}/")
  add_library(parcelon_zlib STATIC ${_parcelon_zlib_files}
    "${CMAKE_CURRENT_SOURCE_DIR}/src/memory/ZlibAllocator.cpp")
  target_include_directories(parcelon_zlib SYSTEM PUBLIC "${PARCELON_ZLIB_SOURCE_DIR}")
  target_compile_definitions(parcelon_zlib PRIVATE MY_ZCALLOC INTERFACE PARCELON_PRIVATE_ZLIB=1)
  if(NOT MSVC)
    target_compile_definitions(parcelon_zlib PRIVATE HAVE_HIDDEN _LARGEFILE64_SOURCE=1)
  endif()
  # As Debian builds its zlib on x86: longest_match compares two bytes at a
  # time through unaligned loads, some 4% less time on small entries. Not
  # under the sanitizers, whose alignment check would stop at every load.
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86)$"
     AND NOT PARCELON_SANITIZE AND NOT PARCELON_FUZZ)
    target_compile_definitions(parcelon_zlib PRIVATE UNALIGNED_OK)
  endif()
  target_link_libraries(parcelon_zlib PRIVATE parcelon_memory)
  # Its C files are zlib's own, compiled as zlib compiles them; only the
  # hook is the library's.
  set_source_files_properties("${CMAKE_CURRENT_SOURCE_DIR}/src/memory/ZlibAllocator.cpp"
    PROPERTIES COMPILE_OPTIONS "$<$<NOT:$<CXX_COMPILER_ID:MSVC>>:-Wall;-Wextra;-Wpedantic>")
  set_target_properties(parcelon_zlib PROPERTIES POSITION_INDEPENDENT_CODE ON
    C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden)
  if(MSVC)
    target_compile_options(parcelon_zlib PRIVATE $<$<COMPILE_LANGUAGE:C>:/w>)
    target_compile_definitions(parcelon_zlib PRIVATE _CRT_SECURE_NO_WARNINGS)
  else()
    target_compile_options(parcelon_zlib PRIVATE $<$<COMPILE_LANGUAGE:C>:-w>)
  endif()
endif()
add_library(parcelon::zlib ALIAS parcelon_zlib)

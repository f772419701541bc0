# zlib, as the target parcelon::zlib: minizip's writer is built on it, and
# extraction streams entries too large to inflate whole through its Inflate.
#
# By default the installed zlib (find_package). PARCELON_SYSTEM_ZLIB=OFF
# compiles it instead from the same source tree that provides minizip
# (third_party/zlib-*/, fetched by scripts/setup.sh) into a private static
# library inside the build tree, every symbol hidden. With
# PARCELON_STATIC_DEPENDENCIES=ON (ParcelonStaticDependencies.cmake) the
# installed zlib's static archive (libz.a) is linked instead of libz.so.
#
#   PARCELON_SYSTEM_ZLIB=OFF    compile zlib's source
#   PARCELON_ZLIB_SOURCE_DIR    a folder holding zlib's deflate.c, zutil.c, ...

include(ParcelonThirdPartySource) # parcelon_newest_fetched

option(PARCELON_SYSTEM_ZLIB "Link the installed zlib instead of compiling a private one" ON)

if(PARCELON_SYSTEM_ZLIB AND PARCELON_STATIC_DEPENDENCIES)
  find_package(ZLIB REQUIRED) # for its header folder
  get_filename_component(_parcelon_zlib_folder "${ZLIB_LIBRARY}" DIRECTORY)
  parcelon_find_static_archive(PARCELON_ZLIB_STATIC_LIBRARY zlib zlibstatic zs z zlib HINTS "${_parcelon_zlib_folder}")
  add_library(parcelon_zlib INTERFACE)
  target_include_directories(parcelon_zlib INTERFACE ${ZLIB_INCLUDE_DIRS})
  target_link_libraries(parcelon_zlib INTERFACE "${PARCELON_ZLIB_STATIC_LIBRARY}")
elseif(PARCELON_SYSTEM_ZLIB)
  find_package(ZLIB REQUIRED)
  add_library(parcelon_zlib INTERFACE)
  target_link_libraries(parcelon_zlib INTERFACE ZLIB::ZLIB)
else()
  parcelon_newest_fetched(_parcelon_zlib_default deflate.c "zlib-*")
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
  add_library(parcelon_zlib STATIC ${_parcelon_zlib_files})
  target_include_directories(parcelon_zlib SYSTEM PUBLIC "${PARCELON_ZLIB_SOURCE_DIR}")
  if(NOT MSVC)
    target_compile_definitions(parcelon_zlib PRIVATE HAVE_HIDDEN _LARGEFILE64_SOURCE=1)
  endif()
  set_target_properties(parcelon_zlib PROPERTIES POSITION_INDEPENDENT_CODE ON C_VISIBILITY_PRESET hidden)
  if(MSVC)
    target_compile_options(parcelon_zlib PRIVATE /w)
    target_compile_definitions(parcelon_zlib PRIVATE _CRT_SECURE_NO_WARNINGS)
  else()
    target_compile_options(parcelon_zlib PRIVATE -w)
  endif()
endif()
add_library(parcelon::zlib ALIAS parcelon_zlib)

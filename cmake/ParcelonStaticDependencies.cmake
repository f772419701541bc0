# PARCELON_STATIC_DEPENDENCIES: one switch for every third-party library.
#
# OFF (the default): an installed library is linked as the system offers it,
# usually shared (libdeflate.so.0, libz.so.1), and must be present wherever
# Parcelon is loaded.
#
# ON: each dependency module that links an installed library links its
# static archive instead (libdeflate.a, libz.a, ...), so the library carries
# that code inside and needs, at run time, only the C and C++ runtimes. The
# archives' symbols stay inside: the export list (Parcelon.map, Parcelon.def)
# names Parcelon's own. A dependency compiled from its source by this build
# (PARCELON_SYSTEM_ZLIB=OFF, PARCELON_SYSTEM_LIBDEFLATE=OFF, minizip) is
# static already. The Python package's wheel is built this way.
#
# A dependency module honours the switch by finding its archive with
# parcelon_find_static_archive() below, which fails the configuration, with
# the names it looked for, when the system has no such archive.

option(PARCELON_STATIC_DEPENDENCIES
       "Link the static archives of the installed third-party libraries into the library" OFF)

# parcelon_find_static_archive(<variable> <what> <name>...)
# Sets the cache variable <variable> to the static archive of the library
# <what> (a word for messages, e.g. "libdeflate"), found under one of the
# given base names: "deflate" finds libdeflate.a on Unix and deflate.lib with
# MSVC (whose static and import libraries share that suffix: list a static
# name such as "deflatestatic" first there). HINTS <folder>... may follow the
# names.
function(parcelon_find_static_archive variable what)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "HINTS")
  set(files)
  foreach(name IN LISTS arg_UNPARSED_ARGUMENTS)
    list(APPEND files "${CMAKE_STATIC_LIBRARY_PREFIX}${name}${CMAKE_STATIC_LIBRARY_SUFFIX}")
  endforeach()
  find_library(${variable} NAMES ${files} NAMES_PER_DIR HINTS ${arg_HINTS})
  if(NOT ${variable})
    message(FATAL_ERROR
      "PARCELON_STATIC_DEPENDENCIES=ON needs the static archive of ${what} (${files}); none was found. "
      "Install it (Debian ships it in the -dev package), set ${variable} to its path, or turn the option off.")
  endif()
endfunction()

# ThreadSanitizer and fuzzing builds. Included before the dependencies, so
# that minizip (and zlib, where the build compiles its own) is instrumented
# as well: it parses every byte of every archive the library reads.
# (PARCELON_SANITIZE, AddressSanitizer + UBSan, is set up beside the
# library's own targets.)
#
#   PARCELON_TSAN      ThreadSanitizer; adds parcelon_tsan_tests, the
#                      concurrency tests on their own
#   PARCELON_FUZZ      the libFuzzer targets of tests/fuzz (clang only), with
#                      AddressSanitizer + UBSan, over the library's sources
#                      compiled with the same flags

option(PARCELON_TSAN "Build with ThreadSanitizer (parcelon_tsan_tests)" OFF)
option(PARCELON_FUZZ "Build the libFuzzer targets of tests/fuzz (clang only)" OFF)

if((PARCELON_SANITIZE OR PARCELON_FUZZ) AND PARCELON_TSAN)
  message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer")
endif()
if(PARCELON_SANITIZE AND PARCELON_FUZZ)
  message(FATAL_ERROR "PARCELON_FUZZ brings AddressSanitizer and UBSan itself; leave PARCELON_SANITIZE off")
endif()

if(PARCELON_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(PARCELON_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang" OR NOT CMAKE_C_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "PARCELON_FUZZ needs clang: -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # fuzzer-no-link instruments everything for coverage; only the fuzz
  # targets themselves link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings on and clean, per compiler.
function(parcelon_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /permissive- /utf-8)
    # fopen, getenv and friends are the calls the library is written
    # against; MSVC's advice to use its _s forms is not a warning here.
    target_compile_definitions(${target} PRIVATE _CRT_SECURE_NO_WARNINGS)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  endif()
endfunction()

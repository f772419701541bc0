# Helpers for the libraries compiled from the Debian source packages that
# scripts/setup.sh fetches into third_party/.

include_guard(GLOBAL)

# The newest folder third_party/<pattern> (for any of the patterns) that
# holds marker, or "" when none does. marker may lie below the folder
# (library/aes.c): the result is the folder the pattern names.
function(parcelon_newest_fetched out marker)
  set(candidates "")
  foreach(pattern IN LISTS ARGN)
    file(GLOB matches "${PROJECT_SOURCE_DIR}/third_party/${pattern}/${marker}")
    list(APPEND candidates ${matches})
  endforeach()
  set(found "")
  if(candidates)
    list(SORT candidates)
    list(GET candidates -1 found)
    string(LENGTH "/${marker}" marker_length)
    string(LENGTH "${found}" found_length)
    math(EXPR folder_length "${found_length} - ${marker_length}")
    string(SUBSTRING "${found}" 0 ${folder_length} found)
  endif()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# The newest third_party/<pattern> that holds marker, as the cache's default
# for variable.
function(parcelon_fetched_source variable pattern marker description)
  parcelon_newest_fetched(found "${marker}" "${pattern}")
  set(${variable} "${found}" CACHE PATH "${description}")
  if(NOT EXISTS "${${variable}}/${marker}")
    message(FATAL_ERROR
      "${description} not found. Run scripts/setup.sh (with --windows for the sources only the "
      "Windows builds compile; it fetches them into third_party/), or set ${variable}.")
  endif()
endfunction()

# Third-party code keeps its own style: no warnings of ours for it.
function(parcelon_third_party_library target)
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON C_VISIBILITY_PRESET hidden)
  if(MSVC)
    target_compile_options(${target} PRIVATE /w)
    target_compile_definitions(${target} PRIVATE _CRT_SECURE_NO_WARNINGS)
  else()
    target_compile_options(${target} PRIVATE -w)
  endif()
endfunction()

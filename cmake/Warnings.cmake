# Strict warnings on our own targets only; system headers (Qt, GoogleTest) stay untouched.
function(rv4410_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wformat=2 -Werror)
endfunction()

# A logic library of one subsystem: sources, the layers it builds on.
function(rv4410_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  rv4410_warnings(${name})
endfunction()

# CLI11 and nlohmann/json, header-only, from Debian's packages. The Windows
# build takes the same headers through a folder of links of its own: adding
# /usr/include itself would put Linux's system headers before mingw-w64's.
if(NOT WIN32)
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json 3.11 CONFIG REQUIRED)
  return()
endif()

set(RV4410_HEADER_LINKS ${PROJECT_BINARY_DIR}/header-only)
foreach(folder CLI nlohmann)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/setup")
  endif()
  file(MAKE_DIRECTORY ${RV4410_HEADER_LINKS})
  file(CREATE_LINK /usr/include/${folder} ${RV4410_HEADER_LINKS}/${folder} SYMBOLIC)
endforeach()
add_library(CLI11::CLI11 INTERFACE IMPORTED)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
foreach(target CLI11::CLI11 nlohmann_json::nlohmann_json)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${RV4410_HEADER_LINKS})
endforeach()

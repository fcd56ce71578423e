# The header-only libraries of a cross build (CLI11, nlohmann/json) come from the
# build machine's Debian packages: they are plain C++ headers, the same for every
# target. Only their own folders are put on the include path, never /usr/include
# whole, whose C library headers belong to the build machine.
set(ZENDRA_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${ZENDRA_HOST_HEADERS})
foreach(folder CLI nlohmann)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/install-deps.sh windows")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${ZENDRA_HOST_HEADERS}/${folder} SYMBOLIC)
endforeach()
add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${ZENDRA_HOST_HEADERS})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${ZENDRA_HOST_HEADERS})

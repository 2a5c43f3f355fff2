# kelo/Version.h for both programs: the project version and, when built from a git checkout, the
# revision it was built from. The header is rewritten only when its text changes, so a rebuild
# after a new commit recompiles only the files that print the version.
set(_kelo_version_in ${CMAKE_CURRENT_LIST_DIR}/Version.h.in)
set(_kelo_version_out ${CMAKE_BINARY_DIR}/generated/kelo/Version.h)
add_custom_target(kelo_version_header
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DIN=${_kelo_version_in} -DOUT=${_kelo_version_out}
          -DVERSION=${PROJECT_VERSION} -P ${CMAKE_CURRENT_LIST_DIR}/KeloVersionWrite.cmake
  BYPRODUCTS ${_kelo_version_out}
  COMMENT "kelo/Version.h")
add_library(kelo_version INTERFACE)
target_include_directories(kelo_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
add_dependencies(kelo_version kelo_version_header)

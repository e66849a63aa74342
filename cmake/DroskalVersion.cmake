# The one place the version comes from: project(VERSION) in the top CMakeLists.txt.
# Sources include "Version.h"; the header is made in the build tree.
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${PROJECT_BINARY_DIR}/generated/Version.h @ONLY)
add_library(droskal_version INTERFACE)
target_include_directories(droskal_version INTERFACE ${PROJECT_BINARY_DIR}/generated)

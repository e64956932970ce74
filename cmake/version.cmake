# The generated header with the program's name and version from project(), used by the
# banner, --version and the creator of written GPX files.
set(VELMORA_GENERATED_DIR ${CMAKE_CURRENT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.hpp.in
               ${VELMORA_GENERATED_DIR}/platform/version.hpp @ONLY)
target_include_directories(velmora_platform PUBLIC ${VELMORA_GENERATED_DIR})

# Checks of the sources themselves, run once in the normal tree: the include order of the
# layers and the formatting (skipped without clang-format).
if(NOT VELMORA_SANITIZE)
  add_test(NAME Sources.IncludeOnlyTheirOwnAndLowerLayers
           COMMAND ${CMAKE_COMMAND} -DSRC=${CMAKE_CURRENT_SOURCE_DIR}/src
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/layers.cmake)
  add_test(NAME Sources.AreClangFormatClean
           COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR}
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/check_format.cmake)
  set_tests_properties(Sources.AreClangFormatClean PROPERTIES SKIP_RETURN_CODE 77)
endif()

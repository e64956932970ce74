# Checks of what is installed: the man page renders without warnings, an install into a
# staging root works and the Debian package installs a program that runs.  Each skips
# (code 77) where its tool is missing.
set(VELMORA_INSTALL_TEST_ARGS -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR} -DBUILD=${CMAKE_CURRENT_BINARY_DIR})

add_test(NAME Installed.ManPageRendersWithoutWarnings
         COMMAND ${CMAKE_COMMAND} -DMAN_PAGE=${CMAKE_CURRENT_BINARY_DIR}/velmora.1
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/check_man_page.cmake)
add_test(NAME Installed.StagedInstallRunsFromAnotherDirectory
         COMMAND ${CMAKE_COMMAND} ${VELMORA_INSTALL_TEST_ARGS}
                 -DWORK=${CMAKE_CURRENT_BINARY_DIR}/install-test
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/check_install.cmake)
set_tests_properties(Installed.ManPageRendersWithoutWarnings
                     Installed.StagedInstallRunsFromAnotherDirectory
                     PROPERTIES SKIP_RETURN_CODE 77)
# Installs from the build tree.
set_tests_properties(Installed.StagedInstallRunsFromAnotherDirectory
                     PROPERTIES RESOURCE_LOCK velmora_build_tree)
# The package exists only where Velmora is the top-level project; cpack builds the tree
# first.  It is made of the normal build alone: the sanitizer and fuzzing trees skip it.
if(PROJECT_IS_TOP_LEVEL AND NOT VELMORA_SANITIZE AND NOT VELMORA_FUZZ)
  add_test(NAME Installed.DebianPackageRunsFromAnotherDirectory
           COMMAND ${CMAKE_COMMAND} ${VELMORA_INSTALL_TEST_ARGS}
                   -DWORK=${CMAKE_CURRENT_BINARY_DIR}/package-test
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/check_package.cmake)
  set_tests_properties(Installed.DebianPackageRunsFromAnotherDirectory
                       PROPERTIES SKIP_RETURN_CODE 77 RESOURCE_LOCK velmora_build_tree)
endif()

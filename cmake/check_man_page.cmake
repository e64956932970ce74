# Renders the man page with every groff warning on; any warning fails.
find_program(GROFF groff)
if(NOT GROFF)
  message("groff is not installed; skipped")
  cmake_language(EXIT 77)
endif()
execute_process(COMMAND ${GROFF} -man -ww -z ${MAN_PAGE}
                RESULT_VARIABLE rc ERROR_VARIABLE warnings)
if(NOT rc EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "groff -man -ww -z ${MAN_PAGE} (exit ${rc}):\n${warnings}")
endif()

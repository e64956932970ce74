# Installs the build tree into a staging root through DESTDIR, checks the layout and runs
# the staged program from another directory.
include(${CMAKE_CURRENT_LIST_DIR}/run_installed.cmake)
file(REMOVE_RECURSE ${WORK})
set(root ${WORK}/root)
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${root}
                        ${CMAKE_COMMAND} --install ${BUILD} --prefix /opt/velmora
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${err}")
endif()
set(prefix ${root}/opt/velmora)
foreach(file bin/velmora share/velmora/Velmora_gpi.ini share/velmora/Velmora_osm.ini
             share/velmora/Velmora_speedcam.ini
             share/velmora/icons/car.bmp share/velmora/icons/speedcam/Speed_50.bmp
             share/velmora/examples/Velmora_gpi.ini share/velmora/examples/Velmora_speedcam.ini
             share/doc/velmora/Velmora_gpi.ini share/doc/velmora/copyright
             share/man/man1/velmora.1)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
run_installed(${prefix})
file(REMOVE_RECURSE ${WORK})

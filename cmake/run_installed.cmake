# run_installed(<prefix>): runs <prefix>/bin/velmora from a directory of its own on the
# bundled examples, with no user or system configuration, and checks that it takes its
# icons and settings from <prefix>/share/velmora.
function(expect_in text part what)
  string(FIND "${text}" "${part}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${what}: \"${part}\" not found in:\n${text}")
  endif()
endfunction()

function(run_installed prefix)
  file(REAL_PATH ${prefix} prefix)
  set(elsewhere ${WORK}/elsewhere)
  file(MAKE_DIRECTORY ${elsewhere})
  set(env ${CMAKE_COMMAND} -E env XDG_CONFIG_HOME=${WORK}/no-config
          XDG_CONFIG_DIRS=${WORK}/no-config)
  execute_process(COMMAND ${env} ${prefix}/bin/velmora ${SOURCE}/examples/example.gpx
                          ${SOURCE}/examples/speedcams.txt -o out.gpi
                  WORKING_DIRECTORY ${elsewhere} RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the installed program failed (${rc}):\n${err}")
  endif()
  if(NOT EXISTS ${elsewhere}/out.gpi)
    message(FATAL_ERROR "no out.gpi written:\n${err}")
  endif()
  set(data ${prefix}/share/velmora)
  expect_in("${err}" "\n    settings: ${data}/Velmora_gpi.ini" "GPI settings")
  expect_in("${err}" "\n    icons: ${data}/icons/\n" "icons")
  expect_in("${err}" "\n    settings: ${data}/Velmora_speedcam.ini\n" "speed-camera settings")
  expect_in("${err}" "\n    icons: ${data}/icons/speedcam/\n" "speed-camera icons")
  expect_in("${err}" "(2. speedcams.txt)" "speed-camera list")
  expect_in("${err}" "\n    imported 12 pois" "speed cameras")
  string(FIND "${err}" "Error" error_at)
  if(NOT error_at EQUAL -1)
    message(FATAL_ERROR "the installed program reported an error:\n${err}")
  endif()
  execute_process(COMMAND ${prefix}/bin/velmora --version RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  expect_in("${out}" "velmora " "--version")
endfunction()

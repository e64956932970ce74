# Leaflet, the map library of the report page, built into the program from the files of
# Debian's libjs-leaflet (scripts/ensure-deps.sh installs it), so that an installed
# program writes pages that need no file of their own.  VELMORA_LEAFLET_DIR names
# another folder holding leaflet.js (or leaflet.min.js) and leaflet.css.
set(VELMORA_LEAFLET_DIR "/usr/share/javascript/leaflet" CACHE PATH
    "Folder of Leaflet's leaflet.min.js (or leaflet.js) and leaflet.css")
find_file(VELMORA_LEAFLET_JS NAMES leaflet.min.js leaflet.js PATHS ${VELMORA_LEAFLET_DIR}
          NO_DEFAULT_PATH)
find_file(VELMORA_LEAFLET_CSS NAMES leaflet.css PATHS ${VELMORA_LEAFLET_DIR} NO_DEFAULT_PATH)
if(NOT VELMORA_LEAFLET_JS OR NOT VELMORA_LEAFLET_CSS)
  message(FATAL_ERROR "Leaflet not found in ${VELMORA_LEAFLET_DIR} "
                      "(scripts/ensure-deps.sh installs libjs-leaflet)")
endif()

set(VELMORA_LEAFLET_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/generated/report/leaflet_bundle.cpp)
add_custom_command(
  OUTPUT ${VELMORA_LEAFLET_SOURCE}
  COMMAND ${CMAKE_COMMAND} -DJS=${VELMORA_LEAFLET_JS} -DCSS=${VELMORA_LEAFLET_CSS}
          -DOUT=${VELMORA_LEAFLET_SOURCE} -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_leaflet.cmake
  DEPENDS ${VELMORA_LEAFLET_JS} ${VELMORA_LEAFLET_CSS}
          ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_leaflet.cmake
  COMMENT "Building Leaflet into the report page"
  VERBATIM)

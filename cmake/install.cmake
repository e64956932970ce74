# Installation: the program in bin, its icons and default settings in share/velmora
# (where the program looks for them relative to itself, so that a relocated prefix
# still works), commented copies of the settings in share/velmora/examples and the
# documentation with the licence (share/doc/velmora/copyright, where Debian keeps it), and
# the man page.  DESTDIR is honoured as usual.
set(VELMORA_DATA_DIR share/velmora)
set(VELMORA_DOC_DIR share/doc/velmora)
set(VELMORA_SETTINGS_FILES
    ${CMAKE_CURRENT_SOURCE_DIR}/examples/Velmora_gpi.ini
    ${CMAKE_CURRENT_SOURCE_DIR}/examples/Velmora_osm.ini
    ${CMAKE_CURRENT_SOURCE_DIR}/examples/Velmora_speedcam.ini)

configure_file(${CMAKE_CURRENT_SOURCE_DIR}/doc/velmora.1.in ${CMAKE_CURRENT_BINARY_DIR}/velmora.1
               @ONLY)

install(TARGETS velmora RUNTIME DESTINATION bin)
install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/examples/icons DESTINATION ${VELMORA_DATA_DIR})
install(FILES ${VELMORA_SETTINGS_FILES} DESTINATION ${VELMORA_DATA_DIR})
install(FILES ${VELMORA_SETTINGS_FILES}
              ${CMAKE_CURRENT_SOURCE_DIR}/examples/example.gpx
              ${CMAKE_CURRENT_SOURCE_DIR}/examples/speedcams.txt
              ${CMAKE_CURRENT_SOURCE_DIR}/examples/Campsites.csv
              ${CMAKE_CURRENT_SOURCE_DIR}/examples/Campsites.bmp
              ${CMAKE_CURRENT_SOURCE_DIR}/examples/overpass.geojson
              ${CMAKE_CURRENT_SOURCE_DIR}/examples/trip.umap
              ${CMAKE_CURRENT_SOURCE_DIR}/examples/Weekend_in_Budapest.kmz
              ${CMAKE_CURRENT_SOURCE_DIR}/examples/sights.gpx
        DESTINATION ${VELMORA_DATA_DIR}/examples)
# The sounds and the picture that sights.gpx links, beside it as the links expect.
install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/examples/media
        DESTINATION ${VELMORA_DATA_DIR}/examples)
install(FILES ${VELMORA_SETTINGS_FILES} ${CMAKE_CURRENT_SOURCE_DIR}/README.md
              ${CMAKE_CURRENT_SOURCE_DIR}/CHANGELOG.md ${CMAKE_CURRENT_SOURCE_DIR}/doc/copyright
        DESTINATION ${VELMORA_DOC_DIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/velmora.1 DESTINATION share/man/man1)

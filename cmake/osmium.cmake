# Finds libosmium and protozero (header-only) and the libraries of the formats libosmium
# reads (zlib, bzip2, expat), and builds the OpenStreetMap reader as velmora_osm, the layer
# between the formats and the driver.
# Sets VELMORA_WITH_OSM when all are there; without them the program is built without
# OpenStreetMap input.
option(VELMORA_OSM "Build the OpenStreetMap input when libosmium is found" ON)
set(VELMORA_WITH_OSM OFF)
if(VELMORA_OSM)
  find_path(OSMIUM_INCLUDE_DIR osmium/version.hpp)
  find_path(PROTOZERO_INCLUDE_DIR protozero/version.hpp)
  find_package(ZLIB QUIET)
  find_package(BZip2 QUIET)
  find_package(EXPAT QUIET)
  if(OSMIUM_INCLUDE_DIR AND PROTOZERO_INCLUDE_DIR AND ZLIB_FOUND AND BZIP2_FOUND AND EXPAT_FOUND)
    set(VELMORA_WITH_OSM ON)
    set(VELMORA_OSM_SOURCES
      src/osm/osm_import.cpp
      src/osm/osm_reader.cpp
    )
    add_library(velmora_osm STATIC ${VELMORA_OSM_SOURCES})
    # libosmium's own headers are not held to the project's warning set.
    target_include_directories(velmora_osm SYSTEM PRIVATE ${OSMIUM_INCLUDE_DIR}
                               ${PROTOZERO_INCLUDE_DIR})
    target_link_libraries(velmora_osm PUBLIC velmora_formats
                          PRIVATE velmora_warnings ZLIB::ZLIB BZip2::BZip2 EXPAT::EXPAT)
    # GCC 12 reports a false over-read inside libosmium's area builder once it is inlined
    # into the reader (the warning lands on libosmium's own line).
    target_compile_options(velmora_osm PRIVATE
                           $<$<CXX_COMPILER_ID:GNU>:-Wno-stringop-overread>)
    # libosmium's parser of coordinates in OSM XML multiplies by ten once per unit of an
    # exponent such as "1e99999" and so overflows a signed integer before it checks the
    # range of the result, which it then rejects or which the reader's own check of every
    # location refuses.  The sanitizers must not stop on that fault of the library in the
    # one file that instantiates its parsers.
    if(VELMORA_SANITIZE OR VELMORA_FUZZ)
      set_source_files_properties(src/osm/osm_reader.cpp PROPERTIES
                                  COMPILE_OPTIONS -fno-sanitize=signed-integer-overflow)
    endif()
    message(STATUS "OpenStreetMap input: on (libosmium in ${OSMIUM_INCLUDE_DIR})")
  else()
    message(STATUS "OpenStreetMap input: off (libosmium, protozero, zlib, bzip2 or expat "
                   "not found; scripts/ensure-deps.sh installs them)")
  endif()
endif()

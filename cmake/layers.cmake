if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.20)
endif()
# The layers of the program, lowest first, each the folders under src/ it holds (comma
# separated).  A source
# or header may include only headers of its own layer and of the layers below it; the
# library targets link in the same order, so a call upwards would not link either.
set(VELMORA_LAYERS
    "platform"
    "text"
    "model"
    "csv,geojson,gpi,gpx,icons,kml,report,speedcam,tags"
    "osm"
    "driver")

# velmora_check_layers(<src dir>): stops with an error naming every include of a higher
# layer's header.  Also run as a script: cmake -DSRC=<src dir> -P cmake/layers.cmake
function(velmora_check_layers src)
  set(allowed "")
  set(faults "")
  foreach(layer IN LISTS VELMORA_LAYERS)
    string(REPLACE "," ";" folders "${layer}")
    list(APPEND allowed ${folders})
    foreach(folder IN LISTS folders)
      file(GLOB_RECURSE files "${src}/${folder}/*.cpp" "${src}/${folder}/*.hpp")
      foreach(file IN LISTS files)
        file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[a-z_0-9]+/")
        foreach(line IN LISTS includes)
          string(REGEX REPLACE "^[^\"]*\"([a-z_0-9]+)/.*" "\\1" target "${line}")
          if(NOT target IN_LIST allowed)
            file(RELATIVE_PATH name "${src}" "${file}")
            string(STRIP "${line}" line)
            string(APPEND faults "\n  src/${name}: ${line} (${target}/ lies above ${folder}/)")
          endif()
        endforeach()
      endforeach()
    endforeach()
  endforeach()
  if(faults)
    message(FATAL_ERROR "Includes against the order of the layers "
                        "(platform <- text <- model <- formats <- osm <- driver):${faults}")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND SRC)
  velmora_check_layers("${SRC}")
endif()

# Copies the default settings files and the icon directories beside the program.
file(GLOB settings "${SRC}/Velmora_*.ini")
foreach(f IN LISTS settings)
  file(COPY "${f}" DESTINATION "${DST}")
endforeach()
if(EXISTS "${SRC}/icons")
  file(COPY "${SRC}/icons" DESTINATION "${DST}")
endif()

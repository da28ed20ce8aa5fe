# cmake -DSRC=<file> -DDST=<file> -P copy_if_missing.cmake
# Puts the bundled plan next to the program once; a plan a lab has put there is never overwritten
# by a later build.
if(NOT EXISTS "${DST}")
    file(COPY_FILE "${SRC}" "${DST}")
endif()

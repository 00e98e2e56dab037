# Fails when a source includes a header of the program that its library does not use: an include
# that runs back up a floor, or sideways into a room the library does not link.
#   cmake -DRULES=<file> -DSOURCE_DIR=<src> -DSTAMP=<file> -P CheckIncludes.cmake
# RULES sets PLIM_TARGET, PLIM_SOURCES (the files to read) and PLIM_ALLOWED (the headers they may
# include), all relative to SOURCE_DIR.
cmake_minimum_required(VERSION 3.22)
include(${RULES})
set(faults "")
foreach(source IN LISTS PLIM_SOURCES)
    file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" header "${line}")
        # Only the program's own headers, named from the source folder, are floors.
        if(NOT EXISTS ${SOURCE_DIR}/${header} OR IS_DIRECTORY ${SOURCE_DIR}/${header})
            continue()
        endif()
        if(NOT header IN_LIST PLIM_ALLOWED)
            string(APPEND faults "  ${source} includes \"${header}\"\n")
        endif()
    endforeach()
endforeach()
if(faults)
    message(FATAL_ERROR "${PLIM_TARGET} may include only its own headers and those of the libraries it links "
        "(the floors below it):\n${faults}")
endif()
file(TOUCH ${STAMP})

# Fails when a simulator source includes one of the library's headers: a
# simulated controller must be written from the wire, never from the driver's
# code. Included from sim/CMakeLists.txt at configure time, or run as a script:
#   cmake -DSIM_SOURCES="a.cpp;b.h" -DLIBRARY_DIR=<AstrelDLL> -P CheckNoLibraryIncludes.cmake
cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...) when run as a script
foreach(required SIM_SOURCES LIBRARY_DIR)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "CheckNoLibraryIncludes: ${required} is not set")
    endif()
endforeach()

file(GLOB_RECURSE libraryFiles RELATIVE ${LIBRARY_DIR} ${LIBRARY_DIR}/*)
set(libraryNames "")
foreach(file IN LISTS libraryFiles)
    get_filename_component(name ${file} NAME)
    list(APPEND libraryNames ${name})
endforeach()

foreach(source IN LISTS SIM_SOURCES)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include")
    foreach(include IN LISTS includes)
        string(REGEX REPLACE "^[^\"<]*[\"<]([^\">]*)[\">].*$" "\\1" header "${include}")
        get_filename_component(name "${header}" NAME)
        if(header MATCHES "(^|/)(driver|serial|makers|AstrelDLL)/" OR name STREQUAL "Astrel.h"
           OR header IN_LIST libraryFiles OR name IN_LIST libraryNames)
            # A short line of its own first: the error below is wrapped at the
            # terminal width, so a long path would split any text to match.
            get_filename_component(sourceName ${source} NAME)
            message(NOTICE "refused: ${sourceName} includes ${header}")
            message(FATAL_ERROR "${source} includes the library's header ${header}; "
                                "the simulators must not see the library")
        endif()
    endforeach()
endforeach()

# GoogleTest built for the target system from the sources Debian ships in the
# package googletest, for cross-builds where no target copy is installed.
set(ASTREL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${ASTREL_GOOGLETEST_SOURCE} googletest EXCLUDE_FROM_ALL)
# It names its libraries GTest::gtest, GTest::gmock and so on, as installed copies do.
foreach(library gtest gtest_main gmock gmock_main)
    target_compile_options(${library} PRIVATE -w)  # not our code: no warnings
endforeach()

# `cpack -G DEB` in the build directory: one Debian package per install
# component, named as Debian names a library's packages. Configure with
# -DCMAKE_INSTALL_PREFIX=/usr so the library lands in the multiarch directory.
set(CPACK_PACKAGE_NAME libastrel)
set(CPACK_PACKAGE_VENDOR "libastrel")
set(CPACK_PACKAGE_CONTACT "libastrel developers <libastrel@localhost>")
set(ASTREL_SUMMARY "stage-control library for motorised XY/XYZ stages over RS-232")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development Tool Python)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The packages built together find libastrel.so.1 in the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libastrel1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "${ASTREL_SUMMARY}
The shared library libastrel.so.1: a flat C interface to drive stages of
six controller families (move, jog, home, stop, position, status, speeds).")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libastrel-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "${ASTREL_SUMMARY} (development files)
The header Astrel.h, the link to the shared library, astrel.pc for
pkg-config and the CMake package (find_package(astrel): astrel::astrel).")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME astrel)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_DESCRIPTION "command-line tool for libastrel stages and simulated controllers
Drives a stage (status, position, move, jog, home, stop, speeds, raw
commands), serves a simulated controller on a pseudo-terminal and runs a demo.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-astrel)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
# The library of the same version comes from the component's dependency.
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3 (>= 3.9), python3-tango")
# The astrel tool serves the simulated controllers of astrel.simulated().
set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS astrel)
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python package and TANGO device server for libastrel stages
The astrel package drives stages through libastrel from Python, in user
units and within soft limits; astrel-tango serves them on a TANGO control
system as AstrelStage devices and as AstrelAxis motors.")

include(CPack)
cpack_add_component(Runtime DISPLAY_NAME "Shared library")
cpack_add_component(Development DISPLAY_NAME "Development files" DEPENDS Runtime)
cpack_add_component(Tool DISPLAY_NAME "astrel tool" DEPENDS Runtime)
cpack_add_component(Python DISPLAY_NAME "Python package and TANGO server" DEPENDS Runtime)

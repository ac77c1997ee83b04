# What `cmake --install` puts under the prefix, laid out by GNUInstallDirs, in
# three components: Runtime (the shared library), Development (header,
# import libraries, pkg-config file, CMake package) and Tool (the astrel tool).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set_target_properties(astrel PROPERTIES PUBLIC_HEADER ${PROJECT_SOURCE_DIR}/AstrelDLL/Astrel.h)
install(TARGETS astrel EXPORT astrelTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime
        NAMELINK_COMPONENT Development
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)

set(ASTREL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/astrel)
install(EXPORT astrelTargets NAMESPACE astrel:: DESTINATION ${ASTREL_CMAKE_DIR}
    COMPONENT Development)
configure_file(${CMAKE_CURRENT_LIST_DIR}/astrelConfig.cmake.in astrelConfig.cmake COPYONLY)
write_basic_package_version_file(astrelConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/astrelConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/astrelConfigVersion.cmake
    DESTINATION ${ASTREL_CMAKE_DIR} COMPONENT Development)

# astrel.pc names the prefix the tree is installed under (--prefix, or the
# packages' /usr), so it is written at install time.
set(ASTREL_PC_PREFIX "@ASTREL_PC_PREFIX@")
configure_file(${CMAKE_CURRENT_LIST_DIR}/astrel.pc.in astrel.pc.in @ONLY)
install(CODE "
    file(READ \"${CMAKE_CURRENT_BINARY_DIR}/astrel.pc.in\" pc)
    string(REPLACE \"@ASTREL_PC_PREFIX@\" \"\${CMAKE_INSTALL_PREFIX}\" pc \"\${pc}\")
    set(pcdir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\")
    message(STATUS \"Installing: \$ENV{DESTDIR}\${pcdir}/astrel.pc\")
    file(WRITE \"\$ENV{DESTDIR}\${pcdir}/astrel.pc\" \"\${pc}\")
    " COMPONENT Development)

if(TARGET astrel_tool)
    # The tool finds the library beside it in any prefix.
    set_target_properties(astrel_tool PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
    install(TARGETS astrel_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Tool)
endif()

if(WIN32)
    # astrel.lib, the import library Visual Studio's linker takes, made from
    # astrel.def: llvm-dlltool writes the short import format of Microsoft's
    # own tools, naming each function and its ordinal in astrel.dll.
    find_program(ASTREL_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 PATHS /usr/lib/llvm-14/bin)
    if(ASTREL_DLLTOOL)
        set(def ${PROJECT_SOURCE_DIR}/AstrelDLL/astrel.def)
        add_custom_command(OUTPUT astrel.lib
            COMMAND ${ASTREL_DLLTOOL} -m i386:x86-64 -d ${def} -l astrel.lib
            DEPENDS ${def} VERBATIM)
        add_custom_target(astrel_msvc_import_library ALL DEPENDS astrel.lib)
        install(FILES ${CMAKE_CURRENT_BINARY_DIR}/astrel.lib
            DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
    else()
        message(WARNING "llvm-dlltool not found: the install has no astrel.lib for MSVC hosts")
    endif()
    # The installed DLL carries no debug information (the build's keeps it).
    install(CODE "execute_process(COMMAND ${CMAKE_STRIP} --strip-debug
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/astrel.dll\"
        COMMAND_ERROR_IS_FATAL ANY)" COMPONENT Runtime)
endif()

if(NOT WIN32)
    # The Python package in Debian's Python path under the prefix
    # (/usr/lib/python3/dist-packages), with its metadata and the TANGO
    # server's command: the Python component, Debian's python3-astrel.
    set(ASTREL_PYTHON_DIR lib/python3/dist-packages)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/astrel DESTINATION ${ASTREL_PYTHON_DIR}
        COMPONENT Python FILES_MATCHING PATTERN "*.py" PATTERN "py.typed"
        PATTERN "__pycache__" EXCLUDE)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/astrel-python-METADATA.in METADATA @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/METADATA
        DESTINATION ${ASTREL_PYTHON_DIR}/astrel-${PROJECT_VERSION}.dist-info COMPONENT Python)
    install(PROGRAMS ${PROJECT_SOURCE_DIR}/python/astrel-tango
        DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Python)
endif()

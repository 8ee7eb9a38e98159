# Install, component "trel": the public headers, libtrel and trel_release, the
# tool with its manual page and shell completion, a CMake package
# (find_package(trel) -> trel::trel), a pkg-config file and the licence. The
# stand-ins install themselves as the component "standins" (siblings/).
include(CMakePackageConfigHelpers)

# A host that links trel also calls the library-path service (to define its
# libraries, to read its errors), so linking trel::trel or `pkg-config --libs
# trel` brings it along, and trel_release for a C host to release the text of
# trelMapFilePath. hq and kelt stay private: only libtrel calls them.
target_link_libraries(trel INTERFACE dree::dree trel_release)

install(TARGETS trel trel_release
    EXPORT trelTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT trel
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT trel
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT trel
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT trel
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(TREL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/trel)
install(EXPORT trelTargets NAMESPACE trel:: DESTINATION ${TREL_CMAKE_DIR} COMPONENT trel)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/trelConfig.cmake.in
    ${PROJECT_BINARY_DIR}/trelConfig.cmake INSTALL_DESTINATION ${TREL_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/trelConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/trelConfig.cmake ${PROJECT_BINARY_DIR}/trelConfigVersion.cmake
              ${PROJECT_SOURCE_DIR}/cmake/trelFindSiblings.cmake
    DESTINATION ${TREL_CMAKE_DIR} COMPONENT trel)

# trel.pc: the library-path service by its own pkg-config module where it has
# one (the stand-ins do), else by the flags that reached it here. trel_release
# is a static library for C hosts (C++ code, and so the C++ runtime as the
# C++ compiler links it, which libtrel loads anyway; plain C on Windows); a
# host that never calls it links none of its code.
set(requires "")
set(libs "-ltrel")
set(cflags "")
if(TREL_STANDINS OR TREL_SIBLING_dree_MODULE)
    set(requires "dree")
else()
    string(APPEND libs " ${TREL_SIBLING_dree_LIBS}")
    set(cflags "${TREL_SIBLING_dree_CFLAGS}")
endif()
string(APPEND libs " -ltrel_release")
if(NOT WIN32)
    foreach(library IN LISTS TREL_CXX_RUNTIME_LIBRARIES)
        string(APPEND libs " -l${library}")
    endforeach()
endif()
trel_install_pc_file(trel "${PROJECT_DESCRIPTION}" "${requires}" "${libs}" CFLAGS "${cflags}"
    COMPONENT trel)

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md
              ${PROJECT_SOURCE_DIR}/CHANGELOG.md
    DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT trel)

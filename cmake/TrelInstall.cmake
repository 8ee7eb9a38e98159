# Install: the public header, libtrel and the stand-in siblings it links, a
# CMake package (find_package(trel) -> trel::trel) and a pkg-config file.
include(CMakePackageConfigHelpers)

# A host that links trel also calls the library-path service (to define its
# libraries, to read its errors), so linking trel::trel or `pkg-config --libs
# trel` brings the stand-in along, and trel_release for a C host to release
# the text of trelMapFilePath. hq and kelt stay private: only libtrel
# calls them.
target_link_libraries(trel INTERFACE dree trel_release)

install(TARGETS trel dree hq kelt trel_release
    EXPORT trelTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(TREL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/trel)
install(EXPORT trelTargets NAMESPACE trel:: DESTINATION ${TREL_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/trelConfig.cmake.in
    ${PROJECT_BINARY_DIR}/trelConfig.cmake INSTALL_DESTINATION ${TREL_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/trelConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/trelConfig.cmake ${PROJECT_BINARY_DIR}/trelConfigVersion.cmake
    DESTINATION ${TREL_CMAKE_DIR})

# trel.pc finds the prefix from its own folder, so the installed tree works
# wherever it is unpacked or whatever --prefix `cmake --install` was given.
# An absolute libdir cannot move; it keeps the configured prefix.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    set(TREL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
    file(RELATIVE_PATH TREL_PC_UP /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
    string(REGEX REPLACE "/$" "" TREL_PC_UP "${TREL_PC_UP}")
    set(TREL_PC_PREFIX "\${pcfiledir}/${TREL_PC_UP}")
endif()
# trel_release is C++ code, hence the C++ runtime, except on Windows, where it
# is plain C and a host links no C++ runtime.
set(TREL_PC_RELEASE_RUNTIME "")
if(NOT WIN32)
    set(TREL_PC_RELEASE_RUNTIME " -lstdc++")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/trel.pc.in ${PROJECT_BINARY_DIR}/trel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/trel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

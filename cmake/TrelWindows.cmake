# Windows only: what a Windows host links and ships beside the DLLs (the
# module-definition files, import libraries for the platform's own linker,
# version resources), the tool's POSIX needs, and the list of test programs
# that scripts/check-windows runs under Wine.

# A .def fixes each host-facing DLL's export table: the entry points by their
# plain names, nothing else. From it comes the import library that a host
# linked with the platform's own toolchain uses (MinGW hosts may link the
# lib*.dll.a or the DLL itself). dlltool names the library's members after
# its output file, so it is given a bare name in the output folder: a path
# would put the build machine's folders into the shipped file.
set(TREL_IMPORT_LIBRARIES "")
set(host_facing trel)
if(TREL_STANDINS)
    list(APPEND host_facing dree)
endif()
foreach(target IN LISTS host_facing)
    set(def ${PROJECT_SOURCE_DIR}/win32/${target}.def)
    target_sources(${target} PRIVATE ${def})
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/lib/${target}.lib
        COMMAND ${TREL_DLLTOOL} --machine i386 --input-def ${def} --dllname ${target}.dll
                --output-lib ${target}.lib
        WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/lib
        DEPENDS ${def}
        COMMENT "Making the import library ${target}.lib from ${target}.def"
        VERBATIM)
    list(APPEND TREL_IMPORT_LIBRARIES ${PROJECT_BINARY_DIR}/lib/${target}.lib)
    set(component trel)
    if(NOT target STREQUAL "trel")
        set(component standins)
    endif()
    # The host's files beside the MinGW import libraries (lib/): the
    # module-definition file and the import library made from it.
    install(FILES ${def} ${PROJECT_BINARY_DIR}/lib/${target}.lib
        DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${component})
endforeach()
add_custom_target(trel_import_libraries ALL DEPENDS ${TREL_IMPORT_LIBRARIES})

# A version resource in every DLL and in the tool, from the project's version.
# windres runs as a plain command so that no compiler flag reaches it.
function(trel_add_version_resource target description type)
    set(TREL_RC_NAME ${target})
    set(TREL_RC_DESCRIPTION "${description}")
    set(TREL_RC_TYPE ${type})
    if(type STREQUAL "VFT_DLL")
        set(TREL_RC_FILE ${target}.dll)
    else()
        set(TREL_RC_FILE ${target}.exe)
    endif()
    set(script ${PROJECT_BINARY_DIR}/win32/${target}.rc)
    set(object ${PROJECT_BINARY_DIR}/win32/${target}_version.o)
    configure_file(${PROJECT_SOURCE_DIR}/win32/version.rc.in ${script} @ONLY)
    add_custom_command(OUTPUT ${object}
        COMMAND ${CMAKE_RC_COMPILER} --input-format=rc --output-format=coff -i ${script}
                -o ${object}
        DEPENDS ${script}
        VERBATIM)
    add_custom_target(${target}_version_resource DEPENDS ${object})
    add_dependencies(${target} ${target}_version_resource)
    target_link_libraries(${target} PRIVATE ${object})
endfunction()

trel_add_version_resource(trel "Page maps of design units and page-label relabelling" VFT_DLL)
if(TREL_STANDINS)
    trel_add_version_resource(dree "Library-path service stand-in" VFT_DLL)
    trel_add_version_resource(hq "Hierarchical-name library stand-in" VFT_DLL)
    trel_add_version_resource(kelt "Name mapper stand-in" VFT_DLL)
endif()

if(TARGET pagemap)
    trel_add_version_resource(pagemap "Page maps from the command line" VFT_APP)
    # The tool reads lines with POSIX getline, which Windows' C runtime lacks,
    # and writes its output byte for byte as on other platforms.
    target_sources(pagemap PRIVATE ${PROJECT_SOURCE_DIR}/win32/posix_stdio.c)
    target_compile_options(pagemap PRIVATE -include ${PROJECT_SOURCE_DIR}/win32/posix_stdio.h)
endif()


if(TREL_BUILD_TESTS)
    get_property(programs GLOBAL PROPERTY TREL_WINDOWS_TEST_PROGRAMS)
    set(listing "")
    foreach(program IN LISTS programs)
        string(APPEND listing "$<TARGET_FILE_NAME:${program}>\n")
    endforeach()
    file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/windows-test-programs.txt CONTENT "${listing}")
endif()

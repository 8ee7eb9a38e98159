# Windows only: what a Windows host links and ships beside the DLLs (the
# module-definition file, an import library for the platform's own linker,
# version resources), the tool's POSIX needs, and the list of test programs
# that scripts/check-windows runs under Wine.

# trel.def fixes trel.dll's export table: the twenty entry points by their
# plain names, nothing else.
set(TREL_DEF_FILE ${PROJECT_SOURCE_DIR}/win32/trel.def)
target_sources(trel PRIVATE ${TREL_DEF_FILE})

# trel.lib: the import library that a host linked with the platform's own
# toolchain uses (MinGW hosts may link trel.dll.a or the DLL itself).
set(TREL_IMPORT_LIBRARY ${PROJECT_BINARY_DIR}/lib/trel.lib)
add_custom_command(OUTPUT ${TREL_IMPORT_LIBRARY}
    COMMAND ${TREL_DLLTOOL} --machine i386 --input-def ${TREL_DEF_FILE} --dllname trel.dll
            --output-lib ${TREL_IMPORT_LIBRARY}
    DEPENDS ${TREL_DEF_FILE}
    COMMENT "Making the import library trel.lib from trel.def"
    VERBATIM)
add_custom_target(trel_import_library ALL DEPENDS ${TREL_IMPORT_LIBRARY})

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
trel_add_version_resource(dree "Library-path service stand-in" VFT_DLL)
trel_add_version_resource(hq "Hierarchical-name library stand-in" VFT_DLL)
trel_add_version_resource(wox "String library stand-in" VFT_DLL)
trel_add_version_resource(kelt "Name mapper stand-in" VFT_DLL)

if(TARGET pagemap)
    trel_add_version_resource(pagemap "Page maps from the command line" VFT_APP)
    # The tool reads lines with POSIX getline, which Windows' C runtime lacks,
    # and writes its output byte for byte as on other platforms.
    target_sources(pagemap PRIVATE ${PROJECT_SOURCE_DIR}/win32/posix_stdio.c)
    target_compile_options(pagemap PRIVATE -include ${PROJECT_SOURCE_DIR}/win32/posix_stdio.h)
endif()

# The host's files beside the DLLs (bin/) and the MinGW import libraries
# (lib/): the module-definition file and the import library made from it.
install(FILES ${TREL_DEF_FILE} ${TREL_IMPORT_LIBRARY} DESTINATION ${CMAKE_INSTALL_LIBDIR})

if(TREL_BUILD_TESTS)
    # Tests link the library's objects statically through trel_internal: they
    # declare the entry points as defined in their own program, not imported
    # from trel.dll.
    target_compile_definitions(trel_internal INTERFACE TREL_BUILDING)

    get_property(programs GLOBAL PROPERTY TREL_WINDOWS_TEST_PROGRAMS)
    set(listing "")
    foreach(program IN LISTS programs)
        string(APPEND listing "$<TARGET_FILE_NAME:${program}>\n")
    endforeach()
    file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/windows-test-programs.txt CONTENT "${listing}")
endif()

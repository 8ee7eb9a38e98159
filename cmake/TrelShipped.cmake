# trel_shipped(<target>): a binary that hosts ship (the DLLs, pagemap.exe).
#
# On Windows they carry the debug data of the C++ runtime linked into them,
# about a megabyte each. It moves into <file>.debug beside each one, which a
# debugger finds through the link left in the stripped file, and is installed
# only on request (cmake --install ... --component debug). A POST_BUILD step
# must be added where its target is made, so each target's folder calls this.
function(trel_shipped target)
    if(NOT WIN32)
        return()
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${TREL_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}>
                $<TARGET_FILE_NAME:${target}>.debug
        COMMAND ${TREL_OBJCOPY} --strip-all
                --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
                $<TARGET_FILE_NAME:${target}>
        WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
        VERBATIM)
    install(FILES $<TARGET_FILE:${target}>.debug DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT debug EXCLUDE_FROM_ALL)
endfunction()

# The Windows kit as a C host gets it: installs the build into a fresh prefix,
# builds the example host there with the plain MinGW-w64 C driver, once as
# win32/README.md gives the command (import libraries and libtrel_release.a
# named) and once with `pkg-config --cflags --libs trel`, and checks that
# neither host, nor any shipped DLL or program, imports a MinGW runtime DLL
# (libstdc++, libgcc, winpthread), which no host ships.
# Usage: cmake -DBUILD_DIR=... -DWORK_DIR=... -DEXAMPLES_DIR=... -DC_COMPILER=...
#              -DOBJDUMP=... -DPKG_CONFIG=... -P check_windows_kit.cmake
include(${CMAKE_CURRENT_LIST_DIR}/run_command.cmake)

# The DLLs a PE file imports, one "DLL Name: ..." line each.
function(check_imports file)
    run(${OBJDUMP} -p ${file})
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${output}")
    if(NOT imports)
        message(FATAL_ERROR "no imports read from ${file}:\n${output}")
    endif()
    foreach(import IN LISTS imports)
        string(TOLOWER "${import}" name)
        if(name MATCHES "libstdc|libgcc|winpthread")
            message(FATAL_ERROR "${file} imports a MinGW runtime DLL, which no host ships: "
                                "${imports}")
        endif()
    endforeach()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/kit)
set(kit ${WORK_DIR}/kit)
file(GLOB shipped ${kit}/bin/*.dll ${kit}/bin/*.exe)
foreach(file IN LISTS shipped)
    check_imports(${file})
endforeach()

# As win32/README.md says, from the kit's folder.
file(COPY ${EXAMPLES_DIR}/host.c DESTINATION ${kit})
set(warnings -Wall -Wextra -Werror)
execute_process(COMMAND ${C_COMPILER} ${warnings} host.c -Iinclude lib/trel.lib lib/dree.lib
                        lib/libtrel_release.a -o host.exe
    WORKING_DIRECTORY ${kit} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(failed)
    message(FATAL_ERROR "a C host does not link against the kit as documented:\n${out}")
endif()
check_imports(${kit}/host.exe)

# With the kit's trel.pc alone.
set(ENV{PKG_CONFIG_LIBDIR} ${kit}/lib/pkgconfig)
run(${PKG_CONFIG} --cflags --libs trel)
string(STRIP "${output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${C_COMPILER} ${warnings} ${kit}/host.c -o ${kit}/host-pkg-config.exe ${flags})
check_imports(${kit}/host-pkg-config.exe)
message(STATUS "a C host links against the installed kit, as documented and with pkg-config, "
               "and nothing shipped imports a MinGW runtime DLL")

# A packager's build against the environment's own libraries: installs the
# stand-ins alone (siblings/standalone) into a prefix of their own, as the
# environment's service, with neither a CMake package nor a pkg-config module,
# so that only find_library and find_path can find them; builds trel with
# TREL_STANDINS=OFF and TREL_WERROR=OFF against them and installs it into
# another prefix, which must hold trel's files and none under the sibling
# libraries' names; then builds the example host against the two prefixes,
# with find_package(trel) and with pkg-config, and runs it and the installed
# pagemap on the example design.
# Usage: cmake -DSOURCE_DIR=... -DWORK_DIR=... -DGENERATOR=... -DC_COMPILER=...
#              -DCXX_COMPILER=... -DPKG_CONFIG=... -P check_without_standins.cmake
include(${CMAKE_CURRENT_LIST_DIR}/run_command.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
set(service ${WORK_DIR}/service)
set(prefix ${WORK_DIR}/trel)
set(compilers -G ${GENERATOR} -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER})

run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/siblings/standalone -B ${WORK_DIR}/service-build ${compilers})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/service-build -j 2)
run(${CMAKE_COMMAND} --install ${WORK_DIR}/service-build --prefix ${service})
file(REMOVE_RECURSE ${service}/lib/cmake ${service}/lib/pkgconfig)

run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/trel-build ${compilers}
    -DTREL_STANDINS=OFF -DTREL_WERROR=OFF -DTREL_BUILD_TESTS=OFF -DCMAKE_PREFIX_PATH=${service})
if(NOT output MATCHES "The environment's dree: ${service}/lib/libdree.so")
    message(FATAL_ERROR "trel's build did not find the service in ${service}:\n${output}")
endif()
run(${CMAKE_COMMAND} --build ${WORK_DIR}/trel-build -j 2)
run(${CMAKE_COMMAND} --install ${WORK_DIR}/trel-build --prefix ${prefix})

foreach(file include/trel.h include/trel_release.h lib/libtrel.so lib/libtrel_release.a
             lib/pkgconfig/trel.pc lib/cmake/trel/trelConfig.cmake bin/pagemap
             share/man/man1/pagemap.1 share/doc/trel/LICENSE)
    if(NOT EXISTS ${prefix}/${file})
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()
file(GLOB_RECURSE installed RELATIVE ${prefix} ${prefix}/*)
foreach(file IN LISTS installed)
    if(file MATCHES "(^|/)(lib)?(dree|hq|kelt)([.]|Config|Targets|/)")
        message(FATAL_ERROR "installed under a sibling library's name: ${file}")
    endif()
endforeach()

# The service is found by its run path in neither program: the environment
# says where it is, as it does for its own programs.
set(ENV{LD_LIBRARY_PATH} ${service}/lib)
function(check_host host)
    set(design ${WORK_DIR}/design-${host})
    file(COPY ${SOURCE_DIR}/examples/designs ${SOURCE_DIR}/examples/libraries.defs
         DESTINATION ${design})
    run(${host} ${design}/libraries.defs)
    if(NOT output MATCHES "work.top:sch maps page 2 to 3\n")
        message(FATAL_ERROR "${host} printed:\n${output}")
    endif()
endfunction()

set(ENV{CMAKE_PREFIX_PATH} "${prefix}:${service}")
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples -B ${WORK_DIR}/host-build -G ${GENERATOR}
    -DCMAKE_C_COMPILER=${C_COMPILER} "-DCMAKE_C_FLAGS=-Wall -Wextra -Werror")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/host-build)
check_host(${WORK_DIR}/host-build/host)

set(ENV{PKG_CONFIG_LIBDIR} ${prefix}/lib/pkgconfig)
run(${PKG_CONFIG} --cflags --libs trel)
string(STRIP "${output}" flags)
if(NOT flags MATCHES "-I${service}/include" OR NOT flags MATCHES "-L${service}/lib -ldree")
    message(FATAL_ERROR "trel.pc does not reach the service in ${service}: ${flags}")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${C_COMPILER} -Wall -Wextra -Werror ${SOURCE_DIR}/examples/host.c -o ${WORK_DIR}/host-pkg-config
    ${flags} -Wl,-rpath,${prefix}/lib)
check_host(${WORK_DIR}/host-pkg-config)

file(COPY ${SOURCE_DIR}/examples/designs ${SOURCE_DIR}/examples/libraries.defs
     DESTINATION ${WORK_DIR}/tool)
execute_process(COMMAND ${prefix}/bin/pagemap relabel "cpu(work.top:sch)/ALU1@2(work.alu:sch)"
    WORKING_DIRECTORY ${WORK_DIR}/tool RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(failed OR NOT out STREQUAL "cpu(work.top:sch)/page3_ALU1(work.alu:sch)\n")
    message(FATAL_ERROR "the installed pagemap printed (status ${failed}):\n${out}")
endif()
message(STATUS "built and installed with TREL_STANDINS=OFF against the service in ${service}, "
               "nothing installed under the siblings' names, the host linked with CMake and "
               "pkg-config and ran, and so did pagemap")

# Installs the build into a fresh prefix, then configures, builds and runs a
# consumer that finds it with find_package(trel).
# Usage: cmake -DBUILD_DIR=... -DWORK_DIR=... -DSOURCE_DIR=... -DC_FLAGS=...
#              [-DTOOLCHAIN=...] [-DEMULATOR=...] -P check_install.cmake
# A cross build hands its toolchain file to the consumer and runs it through
# its emulator.
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(failed)
        message(FATAL_ERROR "failed: ${ARGN}\n${out}")
    endif()
    set(output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file include/trel.h include/dree.h lib/libtrel.so lib/libtrel.so.1 lib/pkgconfig/trel.pc
             lib/cmake/trel/trelConfig.cmake)
    if(NOT EXISTS ${prefix}/${file})
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()
file(READ ${prefix}/lib/pkgconfig/trel.pc pc)
if(NOT pc MATCHES "Libs: -L\\$\\{libdir\\} -ltrel")
    message(FATAL_ERROR "trel.pc lacks its Libs line:\n${pc}")
endif()

set(toolchain "")
if(TOOLCHAIN)
    set(toolchain -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/consumer -B ${WORK_DIR}/consumer ${toolchain}
    -DCMAKE_PREFIX_PATH=${prefix} "-DCMAKE_C_FLAGS=${C_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(${EMULATOR} ${WORK_DIR}/consumer/consumer)
if(NOT output MATCHES "Wrong lib.cell:view specification \\(nolib.cell:view\\)")
    message(FATAL_ERROR "unexpected output: ${output}")
endif()
message(STATUS "installed package found, linked and ran")

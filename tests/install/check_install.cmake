# Installs the build into a fresh prefix and moves the installed tree
# elsewhere, as an unpacked archive would be; checks that it holds trel's
# files and the stand-ins' and nothing else of theirs; then builds the example
# host against it twice, with find_package(trel) and with `pkg-config
# --define-prefix --cflags --libs trel` alone, and runs each build on a copy of the example design
# (and once on a damaged one, which the host must report); checks that the
# package's version is CHANGELOG.md's newest release; then the installed
# pagemap on the design; last, the first C block of the README, built and run
# as the README says.
# Usage: cmake -DBUILD_DIR=... -DWORK_DIR=... -DEXAMPLES_DIR=... -DREADME=... -DCHANGELOG=...
#              -DC_COMPILER=...
#              -DCXX_COMPILER=... -DC_FLAGS=... -DCXX_FLAGS=... -DPKG_CONFIG=...
#              [-DTOOLCHAIN=...] [-DEMULATOR=...] -P check_install.cmake
# A cross build hands its toolchain file to the host and runs it through its
# emulator.
include(${CMAKE_CURRENT_LIST_DIR}/run_command.cmake)

# Runs a host build on a fresh copy of the example design and checks what it
# says and what it saves.
function(check_host host)
    set(design ${WORK_DIR}/design-${host})
    file(COPY ${EXAMPLES_DIR}/designs ${EXAMPLES_DIR}/libraries.defs DESTINATION ${design})
    run(${EMULATOR} ${WORK_DIR}/${host} ${design}/libraries.defs)
    foreach(expected
            "work.top:sch maps page 2 to 3\n"
            "work.top:sch has no pair for page 9 \\(answered 9\\)\n"
            "-> cpu\\(work.top:sch\\)/page3_ALU1\\(work.alu:sch\\)/page9_R3\\(gates.reg:sch\\)\n"
            "Wrong lib.cell:view specification \\(nolib.cell:view\\): library nolib is not defined"
            "keeps its pairs in [^\n]*/designs/work/alu/sch/page.map\n")
        if(NOT output MATCHES "${expected}")
            message(FATAL_ERROR "${host} did not print \"${expected}\":\n${output}")
        endif()
    endforeach()
    file(READ ${design}/designs/work/alu/sch/page.map saved)
    if(NOT saved STREQUAL "2 6\n5 9\n")
        message(FATAL_ERROR "${host} saved work.alu:sch as:\n${saved}")
    endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/staged)
file(RENAME ${WORK_DIR}/staged ${WORK_DIR}/prefix)
set(prefix ${WORK_DIR}/prefix)
foreach(file include/trel.h include/dree.h include/trel_release.h lib/libtrel.so lib/libtrel.so.1
             lib/libdree.so lib/libtrel_release.a lib/pkgconfig/trel.pc lib/pkgconfig/dree.pc
             lib/cmake/trel/trelConfig.cmake lib/cmake/dree/dreeConfig.cmake bin/pagemap
             share/man/man1/pagemap.1 share/bash-completion/completions/pagemap
             share/doc/trel/LICENSE)
    if(NOT EXISTS ${prefix}/${file})
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()
# The C++ headers of the stand-ins are for libtrel's own build, not for hosts.
foreach(file include/hq.h include/kelt.h)
    if(EXISTS ${prefix}/${file})
        message(FATAL_ERROR "installed, though only libtrel's build reads it: ${file}")
    endif()
endforeach()
# The manual page renders, and the completion offers the commands of the table.
find_program(MAN man)
if(MAN)
    execute_process(COMMAND ${MAN} -l ${prefix}/share/man/man1/pagemap.1
        RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE errors)
    if(failed OR errors OR NOT out MATCHES "relabel-last" OR NOT out MATCHES "EXIT STATUS")
        message(FATAL_ERROR "man -l pagemap.1 gave (status ${failed}):\n${errors}\n${out}")
    endif()
endif()
execute_process(COMMAND bash -c "source '${prefix}/share/bash-completion/completions/pagemap'
    COMP_WORDS=(pagemap rel); COMP_CWORD=1; _pagemap; echo \"\${COMPREPLY[*]}\""
    RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(failed OR NOT out STREQUAL "relabel relabel-last\n")
    message(FATAL_ERROR "the bash completion of \"pagemap rel\" gave (status ${failed}):\n${out}")
endif()

# find_package and trel::trel alone; warnings are errors for the example too.
set(toolchain "")
if(TOOLCHAIN)
    set(toolchain -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
run(${CMAKE_COMMAND} -S ${EXAMPLES_DIR} -B ${WORK_DIR}/cmake-build ${toolchain}
    -DCMAKE_PREFIX_PATH=${prefix} "-DCMAKE_C_FLAGS=${C_FLAGS} -Wall -Wextra -Werror"
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS} -Wall -Wextra -Werror")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
file(COPY_FILE ${WORK_DIR}/cmake-build/host ${WORK_DIR}/host-cmake)
check_host(host-cmake)

# pkg-config alone, with no search path but the moved tree's, in the one C
# command the example's comment gives, the run path included; the moved tree
# takes --define-prefix, and the run path names the library folder plainly.
if(NOT PKG_CONFIG)
    message(FATAL_ERROR "pkg-config is not installed; the package's trel.pc cannot be checked")
endif()
set(ENV{PKG_CONFIG_LIBDIR} ${prefix}/lib/pkgconfig)
run(${PKG_CONFIG} --define-prefix --cflags --libs trel)
string(STRIP "${output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${PKG_CONFIG} --define-prefix --variable=libdir trel)
string(STRIP "${output}" libdir)
if(NOT libdir STREQUAL "${prefix}/lib")
    message(FATAL_ERROR "trel.pc gives the library folder ${libdir}, not ${prefix}/lib")
endif()
separate_arguments(c_flags UNIX_COMMAND "${C_FLAGS}")
run(${C_COMPILER} ${c_flags} -Wall -Wextra -Werror ${EXAMPLES_DIR}/host.c
    -o ${WORK_DIR}/host-pkg-config ${flags} -Wl,-rpath,${libdir})
check_host(host-pkg-config)

# A damaged page.map: a lookup alone would go on with the pairs before the
# damage, so the host loads each unit first and stops at the library's message.
file(COPY ${EXAMPLES_DIR}/designs ${EXAMPLES_DIR}/libraries.defs DESTINATION ${WORK_DIR}/damaged)
file(WRITE ${WORK_DIR}/damaged/designs/work/top/sch/page.map "1 2\n3 x\n")
execute_process(COMMAND ${EMULATOR} ${WORK_DIR}/host-pkg-config ${WORK_DIR}/damaged/libraries.defs
    RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT failed OR NOT out MATCHES "work/top/sch/page.map is damaged at line 2")
    message(FATAL_ERROR "the example host did not report a damaged page.map (status ${failed}):\n${out}")
endif()

# One version everywhere: the package says the version of trel.h, which the
# newest release of CHANGELOG.md names.
run(${PKG_CONFIG} --define-prefix --modversion trel)
string(STRIP "${output}" version)
file(STRINGS ${CHANGELOG} releases REGEX "^## [0-9]+[.][0-9]+[.][0-9]+")
list(GET releases 0 newest)
if(NOT newest MATCHES "^## ([0-9.]+)" OR NOT CMAKE_MATCH_1 STREQUAL version)
    message(FATAL_ERROR "trel.pc says version ${version}; CHANGELOG.md's newest release is "
                        "\"${newest}\"")
endif()

# The installed tool, which carries the library and finds the stand-ins by its
# run path, in a copy of the example design as the README runs it.
file(COPY ${EXAMPLES_DIR}/designs ${EXAMPLES_DIR}/libraries.defs DESTINATION ${WORK_DIR}/tool)
execute_process(COMMAND ${EMULATOR} ${prefix}/bin/pagemap relabel "cpu(work.top:sch)/ALU1@2(work.alu:sch)"
    WORKING_DIRECTORY ${WORK_DIR}/tool
    RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(failed OR NOT out STREQUAL "cpu(work.top:sch)/page3_ALU1(work.alu:sch)\n")
    message(FATAL_ERROR "the installed pagemap printed (status ${failed}):\n${out}")
endif()

# The README's snippet, pasted into a file as it stands, run in a copy of examples/.
file(READ ${README} readme)
string(FIND "${readme}" "```c\n" begin)
if(begin EQUAL -1)
    message(FATAL_ERROR "no C block in ${README}")
endif()
math(EXPR begin "${begin} + 5")
string(SUBSTRING "${readme}" ${begin} -1 snippet)
string(FIND "${snippet}" "```" end)
string(SUBSTRING "${snippet}" 0 ${end} snippet)
file(WRITE ${WORK_DIR}/snippet/host.c "${snippet}")
run(${C_COMPILER} ${c_flags} -Wall -Wextra -Werror ${WORK_DIR}/snippet/host.c
    -o ${WORK_DIR}/snippet/host ${flags} -Wl,-rpath,${libdir})
file(COPY ${EXAMPLES_DIR}/designs DESTINATION ${WORK_DIR}/snippet/examples)
execute_process(COMMAND ${EMULATOR} ${WORK_DIR}/snippet/host
    WORKING_DIRECTORY ${WORK_DIR}/snippet/examples
    RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(failed OR NOT out STREQUAL "work.alu:sch maps page 2 to 6\n")
    message(FATAL_ERROR "the README's snippet printed (status ${failed}):\n${out}")
endif()
message(STATUS "installed package found, linked and ran, with CMake and with pkg-config, "
               "the installed pagemap ran, and the README's snippet as pasted")

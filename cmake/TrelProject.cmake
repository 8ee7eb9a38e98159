# The settings every part of the build shares, the stand-ins' own package
# included: language standards, the build type, where binaries go in the build
# tree and the install tree, the run path, warnings, sanitizers, checked link
# flags and the writing of pkg-config files.
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_C_STANDARD 11)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
if(PROJECT_IS_TOP_LEVEL AND NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
    set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

option(TREL_WERROR "Make compiler warnings errors (the presets and scripts/check turn it on)" OFF)
set(TREL_SANITIZE "" CACHE STRING "Comma-separated -fsanitize= list for every target, e.g. address,undefined")

include(GNUInstallDirs)

# The host loads trel.dll and its siblings by their plain names.
if(WIN32)
    set(CMAKE_SHARED_LIBRARY_PREFIX "")
endif()

# 64-bit file offsets and inode numbers on 32-bit builds too: without them,
# stat and readdir fail with EOVERFLOW on large file systems.
add_compile_definitions(_FILE_OFFSET_BITS=64)
include(${CMAKE_CURRENT_LIST_DIR}/TrelWarnings.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/TrelShipped.cmake)

if(TREL_SANITIZE)
    add_compile_options(-fsanitize=${TREL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${TREL_SANITIZE})
endif()

# The library and its stand-in siblings live side by side in the build tree, so
# tests and tools find them without LD_LIBRARY_PATH.
if(PROJECT_IS_TOP_LEVEL)
    set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/lib)
    set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
    set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/lib)
endif()
# Installed, the tool and libtrel find their neighbours in the install tree
# wherever it is moved; a distribution that installs into the system's
# library folders gives -DCMAKE_INSTALL_RPATH= (nothing) instead.
set(CMAKE_INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}" CACHE STRING
    "Run path of the installed libraries and programs")

# trel_link_checked(<target>): refuses undefined symbols when the target is
# linked (a missing sibling function is a link error here, not a host's load
# error), where the linker takes the flag.
include(CheckLinkerFlag)
check_linker_flag(CXX "-Wl,--no-undefined" TREL_LINKER_HAS_NO_UNDEFINED)
function(trel_link_checked target)
    if(TREL_LINKER_HAS_NO_UNDEFINED)
        target_link_options(${target} PRIVATE -Wl,--no-undefined)
    endif()
endfunction()

# The libraries the C++ compiler links beyond what the C compiler does (the
# C++ runtime and what it needs, as CMake learnt them from the compiler): what
# a C host must name to link a static library of C++ code with the C driver.
set(TREL_CXX_RUNTIME_LIBRARIES "")
foreach(library IN LISTS CMAKE_CXX_IMPLICIT_LINK_LIBRARIES)
    if(NOT library IN_LIST CMAKE_C_IMPLICIT_LINK_LIBRARIES
       AND NOT library IN_LIST TREL_CXX_RUNTIME_LIBRARIES)
        list(APPEND TREL_CXX_RUNTIME_LIBRARIES ${library})
    endif()
endforeach()

# trel_install_pc_file(<name> <description> <requires> <libs> [CFLAGS <flags>]
#                      COMPONENT <component>):
# installs lib/pkgconfig/<name>.pc for <libs> (after -L of the library folder)
# and <flags> (after -I of the include folder), naming the modules <requires>. The prefix is written when `cmake --install`
# runs, so the file names the folder it was installed into (--prefix
# included); an installed tree moved elsewhere is found with `pkg-config
# --define-prefix`, which takes the prefix from where the file lies (as
# pkg-config on Windows does by itself).
function(trel_install_pc_file name description requires libs)
    cmake_parse_arguments(ARG "" "COMPONENT;CFLAGS" "" ${ARGN})
    if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
        set(libdir "${CMAKE_INSTALL_LIBDIR}")
    else()
        set(libdir "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
    endif()
    if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
        set(includedir "${CMAKE_INSTALL_INCLUDEDIR}")
    else()
        set(includedir "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
    endif()
    set(text "prefix=@TREL_PC_PREFIX@\nlibdir=${libdir}\nincludedir=${includedir}\n\n")
    string(APPEND text "Name: ${name}\nDescription: ${description}\nVersion: ${PROJECT_VERSION}\n")
    string(APPEND text "# Licence: MIT, in share/doc/trel/LICENSE of the install tree\n")
    if(requires)
        string(APPEND text "Requires: ${requires}\n")
    endif()
    string(APPEND text "Libs: -L\${libdir} ${libs}\nCflags: -I\${includedir}${ARG_CFLAGS}\n")
    set(template ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${name}.pc.in)
    if(WIN32)
        # A Windows kit is unpacked anywhere, and names no folder of the
        # machine that built it: the prefix is found from the file's folder.
        file(RELATIVE_PATH up /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
        string(REGEX REPLACE "/$" "" up "${up}")
        string(REPLACE "@TREL_PC_PREFIX@" "\${pcfiledir}/${up}" text "${text}")
        file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${name}.pc "${text}")
        install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${name}.pc
            DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT ${ARG_COMPONENT})
        return()
    endif()
    file(WRITE ${template} "${text}")
    install(CODE "
        set(TREL_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
        configure_file(\"${template}\" \"${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${name}.pc\" @ONLY)
        file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\"
             TYPE FILE FILES \"${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${name}.pc\")"
        COMPONENT ${ARG_COMPONENT})
endfunction()

# trel_find_sibling(<name> <header>): finds the environment's own library
# <name> (dree, hq, kelt) and makes the imported target <name>::<name>, by
# the usual means in this order:
#   - its CMake package (find_package(<name> CONFIG), which the stand-ins
#     install too);
#   - its pkg-config module <name>;
#   - the library lib<name> and its header <header> by find_library and
#     find_path, on CMAKE_PREFIX_PATH and the system's folders.
# Sets TREL_SIBLING_<name>_MODULE to <name> when a pkg-config module of that
# name exists (trel.pc then requires it), TREL_SIBLING_<name>_LIBS and
# _CFLAGS to the flags that reach it and its header otherwise, and TREL_SIBLING_<name>_FOUND_AS to
# what was found. Read by trel's build with
# TREL_STANDINS=OFF and by the installed trelConfig.cmake alike.
macro(trel_find_sibling name header)
    set(TREL_SIBLING_${name}_FOUND_AS "")
    if(NOT TARGET ${name}::${name})
        find_package(${name} CONFIG QUIET HINTS ${TREL_SIBLING_HINTS})
        if(TARGET ${name}::${name})
            set(TREL_SIBLING_${name}_FOUND_AS "the CMake package in ${${name}_DIR}")
        endif()
    endif()
    find_package(PkgConfig QUIET)
    set(TREL_SIBLING_${name}_MODULE "")
    if(PKG_CONFIG_FOUND)
        pkg_check_modules(TREL_SIBLING_PC_${name} QUIET IMPORTED_TARGET ${name})
        if(TREL_SIBLING_PC_${name}_FOUND)
            set(TREL_SIBLING_${name}_MODULE ${name})
        endif()
    endif()
    if(NOT TARGET ${name}::${name} AND TARGET PkgConfig::TREL_SIBLING_PC_${name})
        add_library(${name}::${name} INTERFACE IMPORTED)
        target_link_libraries(${name}::${name} INTERFACE PkgConfig::TREL_SIBLING_PC_${name})
        set(TREL_SIBLING_${name}_FOUND_AS "the pkg-config module ${name}")
    endif()
    if(NOT TARGET ${name}::${name})
        find_library(TREL_SIBLING_${name}_LIBRARY ${name})
        find_path(TREL_SIBLING_${name}_INCLUDE_DIR ${header})
        if(TREL_SIBLING_${name}_LIBRARY AND TREL_SIBLING_${name}_INCLUDE_DIR)
            add_library(${name}::${name} UNKNOWN IMPORTED)
            set_target_properties(${name}::${name} PROPERTIES
                IMPORTED_LOCATION ${TREL_SIBLING_${name}_LIBRARY}
                INTERFACE_INCLUDE_DIRECTORIES ${TREL_SIBLING_${name}_INCLUDE_DIR})
            set(TREL_SIBLING_${name}_FOUND_AS "${TREL_SIBLING_${name}_LIBRARY}")
        endif()
    endif()
    set(TREL_SIBLING_${name}_LIBS "")
    set(TREL_SIBLING_${name}_CFLAGS "")
    if(TARGET ${name}::${name} AND NOT TREL_SIBLING_${name}_MODULE)
        get_target_property(trel_sibling_type ${name}::${name} TYPE)
        if(NOT trel_sibling_type STREQUAL "INTERFACE_LIBRARY")
            get_target_property(trel_sibling_file ${name}::${name} LOCATION)
            get_filename_component(trel_sibling_dir "${trel_sibling_file}" DIRECTORY)
            set(TREL_SIBLING_${name}_LIBS "-L${trel_sibling_dir} -l${name}")
            get_target_property(trel_sibling_includes ${name}::${name} INTERFACE_INCLUDE_DIRECTORIES)
            foreach(trel_sibling_include IN LISTS trel_sibling_includes)
                string(APPEND TREL_SIBLING_${name}_CFLAGS " -I${trel_sibling_include}")
            endforeach()
        endif()
    endif()
endmacro()

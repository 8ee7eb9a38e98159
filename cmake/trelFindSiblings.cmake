# trel_find_sibling(<name> <header>): finds the environment's own library
# <name> (dree, hq, kelt) and makes the imported target <name>::<name>, by
# the usual means in this order:
#   - its CMake package (find_package(<name> CONFIG), which the stand-ins
#     install too);
#   - its pkg-config module <name>;
#   - the library lib<name> and its header <header> by find_library and
#     find_path, on CMAKE_PREFIX_PATH and the system's folders.
# Sets TREL_SIBLING_<name>_MODULE to <name> when a pkg-config module of that
# name exists (trel.pc then requires it), and TREL_SIBLING_<name>_LIBS to the
# link flags that reach it otherwise. Read by trel's build with
# TREL_STANDINS=OFF and by the installed trelConfig.cmake alike.
macro(trel_find_sibling name header)
    if(NOT TARGET ${name}::${name})
        find_package(${name} CONFIG QUIET HINTS ${TREL_SIBLING_HINTS})
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
    endif()
    if(NOT TARGET ${name}::${name})
        find_library(TREL_SIBLING_${name}_LIBRARY ${name})
        find_path(TREL_SIBLING_${name}_INCLUDE_DIR ${header})
        if(TREL_SIBLING_${name}_LIBRARY AND TREL_SIBLING_${name}_INCLUDE_DIR)
            add_library(${name}::${name} UNKNOWN IMPORTED)
            set_target_properties(${name}::${name} PROPERTIES
                IMPORTED_LOCATION ${TREL_SIBLING_${name}_LIBRARY}
                INTERFACE_INCLUDE_DIRECTORIES ${TREL_SIBLING_${name}_INCLUDE_DIR})
        endif()
    endif()
    set(TREL_SIBLING_${name}_LIBS "")
    if(TARGET ${name}::${name} AND NOT TREL_SIBLING_${name}_MODULE)
        get_target_property(trel_sibling_type ${name}::${name} TYPE)
        if(NOT trel_sibling_type STREQUAL "INTERFACE_LIBRARY")
            get_target_property(trel_sibling_file ${name}::${name} LOCATION)
            get_filename_component(trel_sibling_dir "${trel_sibling_file}" DIRECTORY)
            set(TREL_SIBLING_${name}_LIBS "-L${trel_sibling_dir} -l${name}")
        endif()
    endif()
endmacro()

# The layers of src/ as targets the build keeps apart. Each layer is one
# target whose include path holds its own headers and those of the layers it
# uses, and nothing above it: an include that reaches up a layer does not
# build. Headers are named "<layer>/<file>.h" everywhere, so each layer gets a
# folder of its own in the build tree, holding one link: <layer> -> src/<layer>.
#
# trel_layer(<layer> [STATIC] SOURCES <files...>
#            [EXPOSES <targets...>] [USES <targets...>])
# EXPOSES: what the layer's headers include (linked PUBLIC, so whatever uses
# the layer sees those too); USES: what only its sources include (PRIVATE).
# The target is trel_<layer>: an object library, or with STATIC an archive.
function(trel_layer layer)
    cmake_parse_arguments(PARSE_ARGV 1 arg "STATIC" "" "SOURCES;EXPOSES;USES")
    set(root ${PROJECT_BINARY_DIR}/layers/${layer})
    if(NOT EXISTS ${root}/${layer})
        file(MAKE_DIRECTORY ${root})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${layer} ${root}/${layer} RESULT linked SYMBOLIC)
        if(NOT linked STREQUAL "0")
            # A host that cannot make links (Windows without the privilege)
            # still builds; only the build's watch over the layers is lost.
            message(WARNING "src/${layer} cannot be linked into the build tree (${linked}): "
                "this build does not keep the layers apart")
            set(root ${PROJECT_SOURCE_DIR}/src)
        endif()
    endif()
    if(arg_STATIC)
        add_library(trel_${layer} STATIC ${arg_SOURCES})
    else()
        add_library(trel_${layer} OBJECT ${arg_SOURCES})
    endif()
    target_include_directories(trel_${layer} PUBLIC
        $<BUILD_INTERFACE:${root}>
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>)
    target_link_libraries(trel_${layer} PUBLIC ${arg_EXPOSES} PRIVATE ${arg_USES} trel_warnings)
    # Compiled as part of libtrel: its own entry points are exported, nothing
    # else of it is visible outside.
    target_compile_definitions(trel_${layer} PRIVATE TREL_BUILDING)
    set_target_properties(trel_${layer} PROPERTIES
        CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()

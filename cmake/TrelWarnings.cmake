# The warnings every target of the project compiles with; errors with
# TREL_WERROR, which the presets and scripts/check turn on, so that a new
# warning breaks the project's own builds but never a user's build with a
# newer compiler. MSVC spells them its own way.
add_library(trel_warnings INTERFACE)
if(MSVC)
    target_compile_options(trel_warnings INTERFACE /W4 $<$<BOOL:${TREL_WERROR}>:/WX>)
else()
    target_compile_options(trel_warnings INTERFACE
        -Wall -Wextra -Wpedantic -Wshadow -Wformat=2 -Wcast-align
        $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor -Wold-style-cast>
        $<$<BOOL:${TREL_WERROR}>:-Werror>)
endif()

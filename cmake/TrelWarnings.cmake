# Warnings are errors in every build: a new warning is a build break, not noise.
add_library(trel_warnings INTERFACE)
target_compile_options(trel_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wformat=2 -Wcast-align -Werror
    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor -Wold-style-cast>)

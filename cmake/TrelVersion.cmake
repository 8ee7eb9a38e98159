# TREL_VERSION from trel.h, which holds the version so that hosts can test it
# at compile time and the library's file names and resources can never
# disagree with it. Read before project(), which takes it.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../include/trel.h trel_version_lines
     REGEX "^#define TREL_VERSION_(MAJOR|MINOR|PATCH) [0-9]+$")
foreach(line IN LISTS trel_version_lines)
    string(REGEX MATCH "(MAJOR|MINOR|PATCH) ([0-9]+)" ignored "${line}")
    set(trel_version_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
endforeach()
set(TREL_VERSION ${trel_version_MAJOR}.${trel_version_MINOR}.${trel_version_PATCH})
